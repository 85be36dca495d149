#include "net/BodySink.h"

#include <algorithm>
#include <cwctype>
#include <set>

namespace {

constexpr wchar_t kPrefix[] = L"~vq";

}  // namespace

// GetTempFileNameW's names with our prefix: "~vq", one to four hex digits, ".tmp". Checked
// here because the pattern "~vq*.tmp" also matches longer names through their short forms.
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

bool TBodySink::Open(const std::wstring& Target) {
  Discard();
  std::wstring Full;
  const std::wstring Folder = FolderOf(Target, Full);
  if (Folder.empty()) return false;

  DeleteLeftoversOnce(Folder);
  wchar_t Name[MAX_PATH] = {};
  if (GetTempFileNameW(Folder.c_str(), kPrefix, 0, Name) == 0) return false;
  Temporary_ = Name;
  File_.Reset(CreateFileW(Name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
  if (!File_) {
    DeleteFileW(Name);
    Temporary_.clear();
    return false;
  }
  Target_ = Full;
  return true;
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
  if (!File_ || WriteFailed_) return false;
  File_.Reset();  // the writer shares nothing
  File_.Reset(CreateFileW(Temporary_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
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

bool TBodySink::Commit() {
  TargetInUse_ = false;
  if (!File_ || WriteFailed_) {
    Discard();
    return false;
  }
  File_.Reset();
  if (!MoveFileExW(Temporary_.c_str(), Target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    // Read before anything else can overwrite the error.
    const DWORD Error = GetLastError();
    TargetInUse_ = IsTargetInUse(Error, GetFileAttributesW(Target_.c_str()));
    Discard();
    return false;
  }
  Temporary_.clear();
  return true;
}

void TBodySink::Discard() {
  File_.Reset();
  if (!Temporary_.empty()) DeleteFileW(Temporary_.c_str());
  Temporary_.clear();
  Size_ = 0;
  WriteFailed_ = DiskFull_ = false;
}
