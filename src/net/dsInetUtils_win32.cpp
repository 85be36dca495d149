// MakeTempFileName on kernel32's temporary folder and names.

#include <windows.h>

#include "net/dsInetUtils.h"
#include "win32/CheckedFile.h"
#include "win32/FileSystem.h"
#include "win32/Text.h"

std::string TSystemTempFolder::NewPlaceholder() {
  const std::string Folder = GetTempDir();
  if (Folder.empty()) return {};
  // The user's programs decide where the temporary folder resolves: the placeholder is made new,
  // under a name nobody could prepare, and only where it was meant to be.
  const std::wstring Name = AnsiToWide(Folder) + RandomFileName(L"~", L".tmp");
  if (!CreateUserFile(Name, {})) return {};
  return WideToAnsi(Name);
}

bool TSystemTempFolder::FileExists(const std::string& FileName) {
  const DWORD Attributes = GetFileAttributesA(FileName.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string MakeTempFileName(std::string_view Ext) {
  TSystemTempFolder Folder;
  return MakeTempFileName(Ext, Folder);
}

std::string AnsiURLPath(std::string_view RelativePath) {
  return WideToAnsi(AsWide(ToURLPath(AsU16(AnsiToWide(RelativePath)))));
}

std::wstring WideLocalPath(std::string_view RelativePath) {
  return AsWide(ToLocalPath(AsU16(AnsiToWide(RelativePath))));
}
