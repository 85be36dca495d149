// MakeTempFileName on kernel32's temporary folder and names.

#include <windows.h>

#include "net/dsInetUtils.h"
#include "win32/FileSystem.h"
#include "win32/Text.h"

std::string TSystemTempFolder::NewPlaceholder() {
  const std::string Folder = GetTempDir();
  if (Folder.empty()) return {};
  char Name[MAX_PATH + 1] = {};
  if (GetTempFileNameA(Folder.c_str(), "~", 0, Name) == 0) return {};
  return Name;
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
