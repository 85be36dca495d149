// GetMappedFileNameW from kernel32 itself (K32GetMappedFileNameW): psapi.dll is no static import.
#define PSAPI_VERSION 2
#include "win32/RunningImage.h"

#include <psapi.h>

namespace {

// The handle's final path without its "\\?\" prefix; "" when it has none.
std::wstring FolderOfFinalPath(HANDLE File) {
  wchar_t Path[32768];
  const DWORD Length = GetFinalPathNameByHandleW(File, Path, ARRAYSIZE(Path), 0);
  if (Length == 0 || Length >= ARRAYSIZE(Path)) return {};
  const std::wstring Full(Path, Length);
  const size_t Separator = Full.find_last_of(L'\\');
  return Separator == std::wstring::npos ? std::wstring() : Full.substr(0, Separator + 1);
}

}  // namespace

TFileHandle OpenRunningImage() {
  wchar_t Mapped[32768];
  const DWORD Length =
      GetMappedFileNameW(GetCurrentProcess(), GetModuleHandleW(nullptr), Mapped, ARRAYSIZE(Mapped));
  if (Length == 0 || Length >= ARRAYSIZE(Mapped)) return {};
  // Windows names the device ("\Device\HarddiskVolume3\..."), which only the GLOBALROOT link
  // reaches; Wine names a DOS path in the object namespace ("\??\C:\...").
  const std::wstring Name(Mapped, Length);
  const std::wstring Path =
      Name.starts_with(L"\\??\\") ? L"\\\\?\\" + Name.substr(4) : L"\\\\?\\GLOBALROOT" + Name;
  return TFileHandle(CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool SameFile(HANDLE A, HANDLE B) {
  BY_HANDLE_FILE_INFORMATION First = {}, Second = {};
  return GetFileInformationByHandle(A, &First) && GetFileInformationByHandle(B, &Second) &&
         First.dwVolumeSerialNumber == Second.dwVolumeSerialNumber &&
         First.nFileIndexHigh == Second.nFileIndexHigh &&
         First.nFileIndexLow == Second.nFileIndexLow;
}

TFileHandle OpenFolder(const std::wstring& Folder) {
  return TFileHandle(CreateFileW(Folder.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool IsInFolder(HANDLE File, const std::wstring& Folder) {
  const std::wstring Parent = FolderOfFinalPath(File);
  if (Parent.empty()) return false;
  const TFileHandle Actual = OpenFolder(Parent), Expected = OpenFolder(Folder);
  return Actual && Expected && SameFile(Actual.Get(), Expected.Get());
}
