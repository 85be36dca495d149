#include "win32/ProfileFile.h"

#include <windows.h>

#include <vector>

std::vector<std::string> TProfileFile::SectionKeys(std::string_view Section) {
  const std::string SectionName(Section);
  std::vector<char> Buffer(kKeyListChars);
  DWORD Length = 0;
  for (;;) {
    const auto Size = static_cast<DWORD>(Buffer.size());
    Length = GetPrivateProfileStringA(SectionName.c_str(), nullptr, "", Buffer.data(), Size,
                                      FileName_.c_str());
    // A list that did not fit comes back as Size - 2 characters.
    if (Length + 2 < Size) break;
    Buffer.assign(Buffer.size() * 2, '\0');
  }
  std::vector<std::string> Keys;
  for (DWORD Start = 0; Start < Length;) {
    std::string Key(Buffer.data() + Start);
    Start += static_cast<DWORD>(Key.size()) + 1;
    Keys.push_back(std::move(Key));
  }
  return Keys;
}

std::string TProfileFile::Value(std::string_view Section, std::string_view Key) {
  char Buffer[kValueChars] = {};
  GetPrivateProfileStringA(std::string(Section).c_str(), std::string(Key).c_str(), "", Buffer,
                           kValueChars, FileName_.c_str());
  return Buffer;
}
