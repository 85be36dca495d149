#include "win32/FileSystem.h"

#include <windows.h>

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
