#include "win32/ProfileFile.h"

#include <windows.h>

#include <vector>

namespace {

// A list of zero-terminated strings from one of the profile reader's list functions, read into
// a buffer that doubles until the whole list fits (a list that did not fit comes back as
// Size - 2 characters).
template <typename ReadList>
std::vector<std::string> ReadWholeList(ReadList&& Read) {
  std::vector<char> Buffer(TProfileFile::kKeyListChars);
  DWORD Length = 0;
  for (;;) {
    const auto Size = static_cast<DWORD>(Buffer.size());
    Length = Read(Buffer.data(), Size);
    if (Length + 2 < Size) break;
    Buffer.assign(Buffer.size() * 2, '\0');
  }
  std::vector<std::string> Items;
  for (DWORD Start = 0; Start < Length;) {
    std::string Item(Buffer.data() + Start);
    Start += static_cast<DWORD>(Item.size()) + 1;
    Items.push_back(std::move(Item));
  }
  return Items;
}

// A nameless entry can't be looked up by its name: under Wine, asking for the key "" reads past
// the reader's own buffers and can crash the process. Blanks round a name are not part of it.
bool IsNameless(const std::string& Key) {
  return Key.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

std::vector<std::string> TProfileFile::SectionKeys(std::string_view Section) {
  const std::string Name(Section);
  std::vector<std::string> Keys = ReadWholeList([&](char* Buffer, DWORD Size) {
    return GetPrivateProfileStringA(Name.c_str(), nullptr, "", Buffer, Size, FileName_.c_str());
  });
  std::erase_if(Keys, IsNameless);
  if (!Keys.empty()) return Keys;

  // An entry without a name ("=value") at the top of a section makes the key list come back
  // empty under Wine, which would lose every entry after it; the section's lines still hold
  // them.
  for (const std::string& Line : ReadWholeList([&](char*Buffer, DWORD Size) {
         return GetPrivateProfileSectionA(Name.c_str(), Buffer, Size, FileName_.c_str());
       })) {
    const size_t Equals = Line.find('=');
    if (Equals != std::string::npos && !IsNameless(Line.substr(0, Equals)))
      Keys.push_back(Line.substr(0, Equals));
  }
  return Keys;
}

std::string TProfileFile::Value(std::string_view Section, std::string_view Key) {
  if (IsNameless(std::string(Key))) return {};
  char Buffer[kValueChars] = {};
  GetPrivateProfileStringA(std::string(Section).c_str(), std::string(Key).c_str(), "", Buffer,
                           kValueChars, FileName_.c_str());
  return Buffer;
}
