#pragma once
// The platform's profile (INI) reader as the manifest rules use it. The rules are portable; the
// Win32 build reads through GetPrivateProfileStringA (win32/ProfileFile.h), the tests through
// fakes.

#include <string>
#include <string_view>
#include <vector>

class TProfileReader {
 public:
  virtual ~TProfileReader() = default;
  // The keys of a section in file order, a repeated key once per occurrence; none when the
  // section is absent.
  virtual std::vector<std::string> SectionKeys(std::string_view Section) = 0;
  // The value of the first entry of Key in Section; "" when absent.
  virtual std::string Value(std::string_view Section, std::string_view Key) = 0;
};
