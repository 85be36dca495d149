// MakeTempFileName on kernel32's temporary folder and names.

#include <windows.h>

#include "net/dsInetUtils.h"

std::string TSystemTempFolder::NewPlaceholder() {
  // One buffer serves as the folder and as the result, as GetTempFileNameA allows.
  char Buffer[MAX_PATH + 1] = {};
  const DWORD Length = GetTempPathA(MAX_PATH, Buffer);
  if (Length == 0 || Length > MAX_PATH) return {};
  if (GetTempFileNameA(Buffer, "~", 0, Buffer) == 0) return {};
  return Buffer;
}

bool TSystemTempFolder::FileExists(const std::string& FileName) {
  const DWORD Attributes = GetFileAttributesA(FileName.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string MakeTempFileName(std::string_view Ext) {
  TSystemTempFolder Folder;
  return MakeTempFileName(Ext, Folder);
}
