#include "win32/CheckedFile.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "win32/Cng.h"
#include "win32/FileSystem.h"
#include "win32/RunningImage.h"

namespace {

// The removal's private folders: "VelquorManager-" and 16 random hex digits, owned by the
// administrators and open to nobody else.
constexpr std::wstring_view kPrivatePrefix = L"VelquorManager-";
constexpr int kPrivateDigits = 16;
constexpr wchar_t kPrivateFolderDescriptor[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// The token of the user an elevated process acts for: its elevated token's linked token. None
// for a process that is not elevated on someone's behalf (no split token, or not elevated).
TKernelHandle UnelevatedUserToken() {
  TKernelHandle Process;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, Process.Put())) {
    Process.Release();
    return {};
  }
  TOKEN_ELEVATION_TYPE Type = TokenElevationTypeDefault;
  DWORD Size = 0;
  if (!GetTokenInformation(Process.Get(), TokenElevationType, &Type, sizeof Type, &Size) ||
      Type != TokenElevationTypeFull)
    return {};
  TOKEN_LINKED_TOKEN Linked = {};
  if (!GetTokenInformation(Process.Get(), TokenLinkedToken, &Linked, sizeof Linked, &Size))
    return {};
  return TKernelHandle(Linked.LinkedToken);
}

std::wstring FolderOf(const std::wstring& Path) {
  const size_t Separator = Path.find_last_of(L"\\/");
  return Separator == std::wstring::npos ? std::wstring() : Path.substr(0, Separator + 1);
}

// The handle's path as the file system resolved it, without the "\\?\" form's prefix.
std::wstring FinalPath(HANDLE File) {
  std::wstring Path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = GetFinalPathNameByHandleW(
        File, Path.data(), static_cast<DWORD>(Path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (Length == 0) return {};
    if (Length < Path.size()) {
      Path.resize(Length);
      break;
    }
    Path.resize(Length + 1);
  }
  constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\", kLocal = L"\\\\?\\";
  if (Path.starts_with(kUnc)) return L"\\\\" + Path.substr(kUnc.size());
  if (Path.starts_with(kLocal)) return Path.substr(kLocal.size());
  return Path;
}

bool SamePath(const std::wstring& A, const std::wstring& B) {
  return !A.empty() && A.size() == B.size() &&
         CompareStringOrdinal(A.c_str(), static_cast<int>(A.size()), B.c_str(),
                              static_cast<int>(B.size()), TRUE) == CSTR_EQUAL;
}

bool IsRedirection(const FILE_ATTRIBUTE_TAG_INFO& Info) {
  // Compression and cloud-file tags leave the file where it is; junctions and links do not.
  return (Info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         IsReparseTagNameSurrogate(Info.ReparseTag);
}

// The path a file or folder is meant to have, as its final path shows it: its full path in long
// form, or, while it does not exist yet, its folder's. "" when it can't be formed.
std::wstring MeantPath(const std::wstring& Path) {
  const std::wstring Extended = ExtendedPath(Path);
  const std::wstring Full = WithoutExtendedPrefix(Extended);
  if (std::wstring Long = LongPathForm(Extended); !Long.empty()) return WithoutExtendedPrefix(Long);
  const std::wstring Folder = FolderOf(Full);
  if (Folder.empty()) return {};
  std::wstring Long = WithoutExtendedPrefix(LongPathForm(ExtendedPath(Folder)));
  if (Long.empty()) return Full;
  if (Long.back() != L'\\') Long += L'\\';
  return Long + Full.substr(Folder.size());
}

// Whether the user on whose behalf this process runs elevated holds Access on the file or folder
// open as Object (with READ_CONTROL): what the user could not do, this process does not do for
// him. A process that is not elevated on someone's behalf acts for itself.
bool UserHasRight(HANDLE Object, DWORD Access) {
  const TKernelHandle User = UnelevatedUserToken();
  if (!User) return true;
  TSecurityDescriptor Descriptor;
  if (GetSecurityInfo(
          Object, SE_FILE_OBJECT,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          nullptr, nullptr, nullptr, nullptr, Descriptor.Put()) != ERROR_SUCCESS) {
    Descriptor.Release();
    return false;
  }
  GENERIC_MAPPING Mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  PRIVILEGE_SET Privileges = {};
  DWORD PrivilegesSize = sizeof Privileges;
  DWORD Granted = 0;
  BOOL Allowed = FALSE;
  return AccessCheck(Descriptor.Get(), User.Get(), Access, &Mapping, &Privileges, &PrivilegesSize,
                     &Granted, &Allowed) &&
         Allowed;
}

}  // namespace

bool IsUsersOwnFolder(const std::wstring& Folder) {
  // The folder as it resolves now: a link in its place leads elsewhere, and a descriptor read
  // through one would be another folder's.
  const TFileHandle Handle(CreateFileW(
      Folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::wstring Named = Folder;
  while (!Named.empty() && Named.back() == L'\\') Named.pop_back();
  return Handle && SamePath(FinalPath(Handle.Get()), MeantPath(Named)) &&
         UserHasRight(Handle.Get(), FILE_ADD_FILE);
}

std::wstring RandomFileName(std::wstring_view Prefix, std::wstring_view Ext, int Digits) {
  std::uint64_t Value = 0;
  // Without the generator, a name that is at least not the next free number.
  if (!RandomBytes(&Value, sizeof Value)) Value = GetTickCount64() ^ GetCurrentProcessId();
  wchar_t Hex[17] = {};
  std::swprintf(Hex, 17, L"%016llX", static_cast<unsigned long long>(Value));
  return std::wstring(Prefix) + std::wstring(Hex, std::clamp(Digits, 1, 16)) + std::wstring(Ext);
}

bool IsPlainFileAt(HANDLE File, const std::wstring& Path) {
  FILE_ATTRIBUTE_TAG_INFO Tag = {};
  BY_HANDLE_FILE_INFORMATION Info = {};
  return GetFileInformationByHandleEx(File, FileAttributeTagInfo, &Tag, sizeof Tag) &&
         !IsRedirection(Tag) && !(Tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         GetFileInformationByHandle(File, &Info) && Info.nNumberOfLinks == 1 &&
         SamePath(FinalPath(File), MeantPath(Path));
}

THeldFolder THeldFolder::Open(const std::wstring& Folder) {
  // Listing access, not only attributes: an open for attributes alone holds nothing against a
  // rename or a deletion.
  TFileHandle Handle(CreateFileW(Folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
  FILE_ATTRIBUTE_TAG_INFO Tag = {};
  std::wstring Named = Folder;
  while (!Named.empty() && Named.back() == L'\\') Named.pop_back();
  THeldFolder Held;
  if (!Handle ||
      !GetFileInformationByHandleEx(Handle.Get(), FileAttributeTagInfo, &Tag, sizeof Tag) ||
      IsRedirection(Tag) || !(Tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return Held;
  std::wstring Final = ::FinalPath(Handle.Get());
  if (!SamePath(Final, MeantPath(Named))) return Held;
  Held.Folder_ = std::move(Handle);
  Held.FinalPath_ = std::move(Final);
  return Held;
}

bool IsPlainFileNamed(HANDLE File, std::wstring_view FinalPathMeant) {
  // The link count from the standard information: GetFileInformationByHandle asks the volume
  // too, which costs Wine a hundred times as much (0.4 ms a file).
  FILE_ATTRIBUTE_TAG_INFO Tag = {};
  FILE_STANDARD_INFO Standard = {};
  return GetFileInformationByHandleEx(File, FileAttributeTagInfo, &Tag, sizeof Tag) &&
         !IsRedirection(Tag) && !(Tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         GetFileInformationByHandleEx(File, FileStandardInfo, &Standard, sizeof Standard) &&
         Standard.NumberOfLinks == 1 && !Standard.Directory && !FinalPathMeant.empty() &&
         FinalPath(File) == FinalPathMeant;
}

TCheckedFile TCheckedFile::CreateNew(const std::wstring& Path) {
  TFileHandle File(CreateFileW(ExtendedPath(Path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File) {
    const DWORD Error = GetLastError();
    return TCheckedFile({}, TOpen::Failed, Error);
  }
  if (!IsPlainFileAt(File.Get(), Path)) {
    // Made somewhere else than meant: gone again before a byte is written.
    DeleteByHandle(File.Get());
    return TCheckedFile({}, TOpen::Elsewhere, ERROR_SUCCESS);
  }
  return TCheckedFile(std::move(File), TOpen::Opened, ERROR_SUCCESS);
}

TCheckedFile TCheckedFile::OpenExisting(const std::wstring& Path, DWORD Access) {
  TFileHandle File(
      CreateFileW(ExtendedPath(Path).c_str(), Access | DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!File) {
    const DWORD Error = GetLastError();
    const bool Missing = Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND;
    return TCheckedFile({}, Missing ? TOpen::Missing : TOpen::Failed, Error);
  }
  if (!IsPlainFileAt(File.Get(), Path)) return TCheckedFile({}, TOpen::Elsewhere, ERROR_SUCCESS);
  return TCheckedFile(std::move(File), TOpen::Opened, ERROR_SUCCESS);
}

bool TCheckedFile::ReadAll(std::string& Bytes, std::size_t MaxSize) {
  LARGE_INTEGER Start = {};
  Bytes.clear();
  return File_ && SetFilePointerEx(File_.Get(), Start, nullptr, FILE_BEGIN) &&
         ReadToEnd(File_.Get(), MaxSize, Bytes);
}

bool TCheckedFile::WriteAll(std::string_view Bytes) {
  LARGE_INTEGER Start = {};
  if (!File_ || !SetFilePointerEx(File_.Get(), Start, nullptr, FILE_BEGIN)) return false;
  while (!Bytes.empty()) {
    const DWORD Piece = static_cast<DWORD>(std::min<std::size_t>(Bytes.size(), 1 << 20));
    DWORD Written = 0;
    if (!WriteFile(File_.Get(), Bytes.data(), Piece, &Written, nullptr) || Written == 0)
      return false;
    Bytes.remove_prefix(Written);
  }
  return SetEndOfFile(File_.Get());
}

bool TCheckedFile::UserMay(DWORD Access) const {
  return File_ && UserHasRight(File_.Get(), Access);
}

bool TCheckedFile::Delete() { return File_ && DeleteByHandle(File_.Get()); }

bool TCheckedFile::Rename(const std::wstring& NewPath) {
  return File_ && RenameByHandle(File_.Get(), NewPath, false);
}

bool CreateUserFile(const std::wstring& Path, std::string_view Bytes) {
  if (!IsUsersOwnFolder(FolderOf(Path))) return false;
  TCheckedFile File = TCheckedFile::CreateNew(Path);
  if (!File) return false;
  if (File.WriteAll(Bytes)) return true;
  File.Delete();
  return false;
}

bool WriteUserFile(const std::wstring& Path, std::string_view Bytes) {
  if (!IsUsersOwnFolder(FolderOf(Path))) return false;
  TCheckedFile File = TCheckedFile::OpenExisting(Path, GENERIC_READ | GENERIC_WRITE);
  if (File.Result() == TCheckedFile::TOpen::Missing)
    File = TCheckedFile::CreateNew(Path);
  else if (!File.UserMay(FILE_WRITE_DATA))
    return false;
  return File && File.WriteAll(Bytes);
}

bool DeleteUserFile(const std::wstring& Path) {
  if (!IsUsersOwnFolder(FolderOf(Path))) return false;
  TCheckedFile File = TCheckedFile::OpenExisting(Path, 0);
  return File.UserMay(DELETE) && File.Delete();
}

std::wstring PrivateFoldersRoot() {
  wchar_t Windows[MAX_PATH + 1] = {};
  const UINT Length = GetSystemWindowsDirectoryW(Windows, MAX_PATH);
  if (Length == 0 || Length >= MAX_PATH) return {};
  std::wstring Root = Windows;
  if (Root.back() != L'\\') Root += L'\\';
  return Root + L"Temp\\";
}

bool IsPrivateFolderName(std::wstring_view Name) {
  if (Name.size() != kPrivatePrefix.size() + kPrivateDigits ||
      CompareStringOrdinal(Name.data(), static_cast<int>(kPrivatePrefix.size()),
                           kPrivatePrefix.data(), static_cast<int>(kPrivatePrefix.size()),
                           TRUE) != CSTR_EQUAL)
    return false;
  return std::all_of(Name.begin() + kPrivatePrefix.size(), Name.end(),
                     [](wchar_t c) { return std::iswxdigit(c); });
}

std::wstring CreatePrivateFolder() {
  const std::wstring Root = PrivateFoldersRoot();
  if (Root.empty()) return {};
  const std::wstring Folder = Root + RandomFileName(kPrivatePrefix, L"", kPrivateDigits);
  TSecurityDescriptor Descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          kPrivateFolderDescriptor, SDDL_REVISION_1, Descriptor.Put(), nullptr)) {
    Descriptor.Release();
    return {};
  }
  SECURITY_ATTRIBUTES Security = {sizeof Security, Descriptor.Get(), FALSE};
  if (!CreateDirectoryW(Folder.c_str(), &Security)) return {};
  const TFileHandle Made(CreateFileW(
      Folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!Made || !SamePath(FinalPath(Made.Get()), MeantPath(Folder))) {
    RemoveDirectoryW(Folder.c_str());
    return {};
  }
  return Folder + L'\\';
}

bool LiesInPrivateFolder(HANDLE File) {
  const std::wstring Path = FinalPath(File);
  const size_t Name = Path.find_last_of(L'\\');
  if (Name == std::wstring::npos || Name == 0) return false;
  const size_t Folder = Path.find_last_of(L'\\', Name - 1);
  if (Folder == std::wstring::npos ||
      !IsPrivateFolderName(std::wstring_view(Path).substr(Folder + 1, Name - Folder - 1)))
    return false;
  const TFileHandle Parent = OpenForComparing(Path.substr(0, Folder + 1));
  const TFileHandle Root = OpenForComparing(PrivateFoldersRoot());
  return Parent && Root && SameFile(Parent.Get(), Root.Get());
}

bool DeleteAtRestart(const std::wstring& Path) {
  return MoveFileExW(ExtendedPath(Path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
