#include "net/BodySink.h"

#include <algorithm>
#include <cwctype>
#include <set>

#include <sddl.h>

#include "win32/CheckedFile.h"
#include "win32/FileSystem.h"

namespace {

constexpr wchar_t kPrefix[] = L"~vq";
// Random names collide only by chance: a few tries, then the folder counts as full.
constexpr int kNameTries = 16;

}  // namespace

// The temporary bodies' names: "~vq", one to four hex digits, ".tmp". Checked here because the
// pattern "~vq*.tmp" also matches longer names through their short forms.
bool IsTemporaryBodyName(const std::wstring& Name) {
  if (Name.size() < 8 || Name.size() > 11) return false;
  const size_t Digits = Name.size() - 7;
  if (CompareStringOrdinal(Name.c_str(), 3, kPrefix, 3, TRUE) != CSTR_EQUAL) return false;
  if (CompareStringOrdinal(Name.c_str() + 3 + Digits, 4, L".tmp", 4, TRUE) != CSTR_EQUAL)
    return false;
  for (size_t i = 3; i < 3 + Digits; ++i)
    if (!std::iswxdigit(Name[i])) return false;
  return true;
}

namespace {

// The folders swept since the run began: a killed run can leave a temporary body behind, and
// the next run clears a folder the first time it comes there, and only then, so it never
// deletes what it is writing itself.
std::set<std::wstring> Cleared;

void DeleteLeftoversOnce(const std::wstring& Folder) {
  std::wstring Key = Folder;
  CharUpperBuffW(Key.data(), static_cast<DWORD>(Key.size()));
  if (!Cleared.insert(Key).second) return;
  WIN32_FIND_DATAW Data;
  const TFindHandle Find(FindFirstFileW((Folder + kPrefix + L"*.tmp").c_str(), &Data));
  if (!Find) return;
  do {
    if (!(Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryBodyName(Data.cFileName))
      DeleteFileW((Folder + Data.cFileName).c_str());
  } while (FindNextFileW(Find.Get(), &Data));
}

// The folder of Target as the file system names it, so that "a\\b.dll" and "a/b.dll" share one;
// Full receives the target's full path. "" when the platform can't form it.
std::wstring FolderOf(const std::wstring& Target, std::wstring& Full) {
  const DWORD Needed = GetFullPathNameW(Target.c_str(), 0, nullptr, nullptr);
  if (Needed == 0) return {};
  Full.assign(Needed, L'\0');
  wchar_t* FilePart = nullptr;
  const DWORD Length = GetFullPathNameW(Target.c_str(), Needed, Full.data(), &FilePart);
  if (Length == 0 || Length >= Needed || !FilePart) return {};
  Full.resize(Length);
  return Full.substr(0, FilePart - Full.data());
}

}  // namespace

void StartLeftoverSweep() { Cleared.clear(); }

void SweepLeftovers(const std::wstring& Target) {
  std::wstring Full;
  const std::wstring Folder = FolderOf(Target, Full);
  if (!Folder.empty()) DeleteLeftoversOnce(Folder);
}

bool TMemoryBody::Write(const void* Data, DWORD Size) {
  const std::size_t Room = MaxSize_ + 1 - Bytes_.size();
  Bytes_.append(static_cast<const char*>(Data), std::min<std::size_t>(Size, Room));
  return Bytes_.size() <= MaxSize_;
}

bool TBodySink::Open(const std::wstring& Target, TFileAccess Access) {
  Discard();
  PathRefused_ = false;
  std::wstring Full;
  const std::wstring Folder = FolderOf(Target, Full);
  if (Folder.empty()) {
    PathRefused_ = true;
    return false;
  }
  DeleteLeftoversOnce(Folder);

  TSecurityDescriptor Descriptor;
  const std::wstring_view Sddl = FileAccessDescriptor(Access);
  if (!Sddl.empty() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(
          std::wstring(Sddl).c_str(), SDDL_REVISION_1, Descriptor.Put(), nullptr)) {
    Descriptor.Release();
    return false;
  }
  SECURITY_ATTRIBUTES Security = {sizeof Security, Descriptor.Get(), FALSE};
  // A name nobody could prepare, made new: no other program may open the body while it grows,
  // and no limit of the old temporary names (MAX_PATH) meets a deep folder of the manifest's.
  for (int Try = 0; Try < kNameTries; ++Try) {
    const std::wstring Name = ExtendedPath(Folder + RandomFileName(kPrefix, L".tmp", 4));
    File_.Reset(CreateFileW(Name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, &Security,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (File_) {
      Temporary_ = Name;
      Target_ = ExtendedPath(Full);
      Deletable_ = true;
      return true;
    }
    const DWORD Error = GetLastError();
    if (Error != ERROR_FILE_EXISTS && Error != ERROR_ALREADY_EXISTS) {
      PathRefused_ = IsPathRefused(Error);
      return false;
    }
  }
  return false;
}

bool TBodySink::Write(const void* Data, DWORD Size) {
  if (!File_ || WriteFailed_) return false;
  // A volume that fills up may take part of a write first; the rest then says why it can't.
  const char* Bytes = static_cast<const char*>(Data);
  for (DWORD Left = Size; Left > 0;) {
    DWORD Written = 0;
    if (!WriteFile(File_.Get(), Bytes, Left, &Written, nullptr) || Written == 0) {
      const DWORD Error = GetLastError();
      DiskFull_ = Error == ERROR_DISK_FULL || Error == ERROR_HANDLE_DISK_FULL;
      WriteFailed_ = true;
      return false;
    }
    Bytes += Written;
    Left -= Written;
  }
  Size_ += Size;
  return true;
}

bool TBodySink::Hold() {
  if (!File_ || WriteFailed_ || !FlushFileBuffers(File_.Get())) return false;
  // The profile reader opens the body by its name and shares no deletion: this handle may read
  // it while others do, but neither it nor anybody else may change it.
  File_.Reset();
  File_.Reset(CreateFileW(Temporary_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  Deletable_ = false;
  return static_cast<bool>(File_);
}

bool IsTargetInUse(DWORD MoveError, DWORD TargetAttributes) noexcept {
  if (TargetAttributes == INVALID_FILE_ATTRIBUTES || (TargetAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  switch (MoveError) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return true;
    case ERROR_ACCESS_DENIED:
      return !(TargetAttributes & FILE_ATTRIBUTE_READONLY);
    default:
      return false;
  }
}

bool TBodySink::Commit(bool AtRestartWhenInUse) {
  TargetInUse_ = AtRestart_ = false;
  if (!File_ || WriteFailed_) {
    Discard();
    return false;
  }
  // A held body is taken back from the readers for the rename; nobody but administrators can
  // have opened it meanwhile (its descriptor, or the install folder's).
  if (!Deletable_) {
    File_.Reset();
    File_.Reset(CreateFileW(Temporary_.c_str(), DELETE | SYNCHRONIZE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    Deletable_ = static_cast<bool>(File_);
  } else if (!FlushFileBuffers(File_.Get())) {
    Discard();
    return false;
  }
  if (File_ && RenameByHandle(File_.Get(), Target_, true)) {
    File_.Reset();
    Temporary_.clear();
    return true;
  }
  // Read before anything else can overwrite the error.
  const DWORD Error = GetLastError();
  TargetInUse_ = IsTargetInUse(Error, GetFileAttributesW(Target_.c_str()));
  if (TargetInUse_ && AtRestartWhenInUse) {
    File_.Reset();
    if (MoveFileExW(Temporary_.c_str(), Target_.c_str(),
                    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
      Temporary_.clear();
      AtRestart_ = true;
      return true;
    }
  }
  Discard();
  return false;
}

void TBodySink::Discard() {
  if (File_ && Deletable_ && DeleteByHandle(File_.Get())) Temporary_.clear();
  File_.Reset();
  if (!Temporary_.empty()) DeleteFileW(Temporary_.c_str());
  Temporary_.clear();
  Deletable_ = false;
  Size_ = 0;
  WriteFailed_ = DiskFull_ = false;
}
