#include "win32/FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";

}  // namespace

std::uint64_t FileSizeOf(const std::wstring& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExW(ExtendedPath(Path).c_str(), GetFileExInfoStandard, &Data)) return 0;
  return (std::uint64_t{Data.nFileSizeHigh} << 32) | Data.nFileSizeLow;
}

bool FolderExists(const std::wstring& Path) {
  const DWORD Attributes = GetFileAttributesW(ExtendedPath(Path).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::wstring& Folder) {
  std::wstring Path = WithoutExtendedPrefix(FullPathName(Folder));
  while (!Path.empty() && Path.back() == L'\\') Path.pop_back();
  if (Path.empty() || FolderExists(Path)) return !Path.empty();
  const size_t Separator = Path.find_last_of(L'\\');
  // Stop at a drive ("C:") or the root; everything above exists or cannot be made.
  if (Separator != std::wstring::npos && Separator > 0 && Path[Separator - 1] != L':')
    ForceDirectories(Path.substr(0, Separator));
  return CreateDirectoryW(ExtendedPath(Path).c_str(), nullptr) || FolderExists(Path);
}

std::wstring FullPathName(const std::wstring& Path) {
  const DWORD Needed = GetFullPathNameW(Path.c_str(), 0, nullptr, nullptr);
  if (Needed == 0) return {};
  std::wstring Full(Needed, L'\0');
  const DWORD Length = GetFullPathNameW(Path.c_str(), Needed, Full.data(), nullptr);
  if (Length == 0 || Length >= Needed) return {};
  Full.resize(Length);
  return Full;
}

std::wstring ExtendedPath(const std::wstring& Path) {
  if (Path.starts_with(kExtendedPrefix)) return Path;
  const std::wstring Full = FullPathName(Path);
  if (Full.size() < 2) return {};
  if (Full.starts_with(L"\\\\.\\")) return Full;  // a device: no prefix makes it a file
  if (Full.starts_with(L"\\\\")) return std::wstring(kExtendedUncPrefix) + Full.substr(2);
  return std::wstring(kExtendedPrefix) + Full;
}

std::wstring WithoutExtendedPrefix(const std::wstring& Path) {
  if (Path.starts_with(kExtendedUncPrefix)) return L"\\\\" + Path.substr(kExtendedUncPrefix.size());
  if (Path.starts_with(kExtendedPrefix)) return Path.substr(kExtendedPrefix.size());
  return Path;
}

namespace {

template <typename Convert>
std::wstring ConvertedPath(const std::wstring& Path, Convert&& Call) {
  const DWORD Needed = Call(Path.c_str(), nullptr, 0);
  if (Needed == 0) return {};
  std::wstring Converted(Needed, L'\0');
  const DWORD Length = Call(Path.c_str(), Converted.data(), Needed);
  if (Length == 0 || Length >= Needed) return {};
  Converted.resize(Length);
  return Converted;
}

}  // namespace

std::wstring LongPathForm(const std::wstring& Path) {
  return ConvertedPath(Path, GetLongPathNameW);
}

std::wstring ShortPathForm(const std::wstring& Path) {
  return ConvertedPath(Path, GetShortPathNameW);
}

std::wstring UpperCase(std::wstring Text) {
  if (!Text.empty()) CharUpperBuffW(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

TFileHandle OpenForComparing(const std::wstring& Path) {
  return TFileHandle(CreateFileW(ExtendedPath(Path).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool IsPathRefused(DWORD Error) noexcept {
  switch (Error) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
    case ERROR_BUFFER_OVERFLOW:
    // Wine answers a name longer than the file system holds as a missing file.
    case ERROR_FILE_NOT_FOUND:
      return true;
    default:
      return false;
  }
}

bool IsInsideFolder(const std::wstring& Path, const std::wstring& Folder) {
  const std::wstring FullPath = FullPathName(Path);
  const std::wstring FullFolder = FullPathName(Folder);
  if (FullPath.empty() || FullFolder.empty() || FullPath.size() <= FullFolder.size()) return false;
  if (FullFolder.back() != L'\\') return false;
  return CompareStringOrdinal(FullPath.c_str(), static_cast<int>(FullFolder.size()),
                              FullFolder.c_str(), static_cast<int>(FullFolder.size()),
                              TRUE) == CSTR_EQUAL;
}

std::string GetTempDir() {
  // A buffer of 260, as the folder was always read: GetTempPathA writes no more than it is given
  // and answers a longer folder with the length it would need, which comes back as "" (the steps
  // there are left out).
  char Buffer[MAX_PATH + 1] = {};
  const DWORD Length = GetTempPathA(MAX_PATH, Buffer);
  if (Length == 0 || Length > MAX_PATH) return {};
  return Buffer;
}

bool ReadToEnd(HANDLE File, std::size_t MaxSize, std::string& Bytes) {
  Bytes.clear();
  char Buffer[64 * 1024];
  for (;;) {
    DWORD Read = 0;
    if (!ReadFile(File, Buffer, sizeof Buffer, &Read, nullptr)) return false;
    if (Read == 0) return true;
    if (Read > MaxSize - Bytes.size()) return false;
    Bytes.append(Buffer, Read);
  }
}

bool RenameByHandle(HANDLE File, const std::wstring& NewPath, bool Replace) {
  // FILE_RENAME_INFO ends in the name's first character.
  const size_t Size = sizeof(FILE_RENAME_INFO) + NewPath.size() * sizeof(wchar_t);
  std::vector<unsigned char> Buffer(Size, 0);
  auto* Info = reinterpret_cast<FILE_RENAME_INFO*>(Buffer.data());
  Info->ReplaceIfExists = Replace;
  Info->RootDirectory = nullptr;
  Info->FileNameLength = static_cast<DWORD>(NewPath.size() * sizeof(wchar_t));
  std::copy(NewPath.begin(), NewPath.end(), Info->FileName);
  return SetFileInformationByHandle(File, FileRenameInfo, Info, static_cast<DWORD>(Size));
}

bool DeleteByHandle(HANDLE File) {
  FILE_DISPOSITION_INFO Disposition = {TRUE};
  return SetFileInformationByHandle(File, FileDispositionInfo, &Disposition, sizeof Disposition);
}

TFileRead ReadWholeFile(const std::wstring& Path, std::size_t MaxSize, std::string& Bytes,
                        TFileHandle* Held) {
  Bytes.clear();
  TFileHandle File(CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File) {
    const DWORD Error = GetLastError();
    return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND ? TFileRead::Missing
                                                                          : TFileRead::Failed;
  }
  if (!ReadToEnd(File.Get(), MaxSize, Bytes)) return TFileRead::Failed;
  if (Held) *Held = std::move(File);
  return TFileRead::Read;
}

std::optional<TVolumeRoom> VolumeRoom(const std::wstring& Path) {
  std::wstring Folder = FullPathName(Path);
  while (!Folder.empty() && !FolderExists(Folder)) {
    const size_t Separator = Folder.find_last_of(L'\\', Folder.size() - 2);
    Folder.resize(Separator == std::wstring::npos ? 0 : Separator + 1);
  }
  ULARGE_INTEGER Free = {};
  // The volume's path is at most the folder's (a folder a volume is mounted on) and a backslash.
  std::wstring Root(Folder.size() + 2, L'\0');
  DWORD SectorsPerCluster = 0, BytesPerSector = 0, FreeClusters = 0, Clusters = 0;
  if (Folder.empty() || !GetDiskFreeSpaceExW(Folder.c_str(), &Free, nullptr, nullptr) ||
      !GetVolumePathNameW(Folder.c_str(), Root.data(), static_cast<DWORD>(Root.size())) ||
      !GetDiskFreeSpaceW(Root.c_str(), &SectorsPerCluster, &BytesPerSector, &FreeClusters,
                         &Clusters))
    return std::nullopt;
  return TVolumeRoom{Free.QuadPart, std::uint64_t{SectorsPerCluster} * BytesPerSector};
}
