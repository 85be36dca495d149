#pragma once
// The platform's profile (INI) reader as the manifest rules use it. The rules are portable; the
// Win32 build reads through the platform's profile functions (win32/ProfileFile.h), the tests
// through fakes.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One entry of a section: its name, and the value that a lookup of that name gives (the first
// entry of the name's, so a repeated name gives the first value again).
struct TProfileEntry {
  std::string Name;
  std::string Value;
};

class TProfileReader {
 public:
  virtual ~TProfileReader() = default;
  // The keys of a section in file order, a repeated key once per occurrence; none when the
  // section is absent.
  virtual std::vector<std::string> SectionKeys(std::string_view Section) = 0;
  // The value of the first entry of Key in Section; "" when absent.
  virtual std::string Value(std::string_view Section, std::string_view Key) = 0;
  // Each of SectionKeys with its Value, in file order. A reader that can read a whole section at
  // once does so: one lookup a key costs time quadratic in the section's length.
  virtual std::vector<TProfileEntry> SectionEntries(std::string_view Section) {
    std::vector<TProfileEntry> Entries;
    for (std::string& Key : SectionKeys(Section)) {
      std::string Found = Value(Section, Key);
      Entries.push_back({std::move(Key), std::move(Found)});
    }
    return Entries;
  }
};
