#include "win32/FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <utility>

std::uint64_t FileSizeOf(const std::wstring& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExW(Path.c_str(), GetFileExInfoStandard, &Data)) return 0;
  return (std::uint64_t{Data.nFileSizeHigh} << 32) | Data.nFileSizeLow;
}

bool FolderExists(const std::wstring& Path) {
  const DWORD Attributes = GetFileAttributesW(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::wstring& Folder) {
  std::wstring Path = Folder;
  while (!Path.empty() && (Path.back() == L'\\' || Path.back() == L'/')) Path.pop_back();
  if (Path.empty() || FolderExists(Path)) return !Path.empty();
  const size_t Separator = Path.find_last_of(L"\\/");
  // Stop at a drive ("C:") or the root; everything above exists or cannot be made.
  if (Separator != std::wstring::npos && Separator > 0 && Path[Separator - 1] != L':')
    ForceDirectories(Path.substr(0, Separator));
  return CreateDirectoryW(Path.c_str(), nullptr) || FolderExists(Path);
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
  wchar_t Root[MAX_PATH + 1] = {};
  DWORD SectorsPerCluster = 0, BytesPerSector = 0, FreeClusters = 0, Clusters = 0;
  if (Folder.empty() || !GetDiskFreeSpaceExW(Folder.c_str(), &Free, nullptr, nullptr) ||
      !GetVolumePathNameW(Folder.c_str(), Root, MAX_PATH) ||
      !GetDiskFreeSpaceW(Root, &SectorsPerCluster, &BytesPerSector, &FreeClusters, &Clusters))
    return std::nullopt;
  return TVolumeRoom{Free.QuadPart, std::uint64_t{SectorsPerCluster} * BytesPerSector};
}
