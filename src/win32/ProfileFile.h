#pragma once
// The platform's profile (INI) reader on one file: a whole section at once through
// GetPrivateProfileSectionW, or one key through GetPrivateProfileStringA.

#include <string>

#include "base/ProfileReader.h"

class TProfileFile final : public TProfileReader {
 public:
  explicit TProfileFile(std::string FileName) : FileName_(std::move(FileName)) {}

  // Reads into a buffer that starts at kKeyListChars and doubles until the whole list fits, so no
  // key of a long section is lost. Nameless entries are left out: they can't be looked up.
  std::vector<std::string> SectionKeys(std::string_view Section) override;
  // Cut to its first kValueChars - 1 characters; "" for a nameless key.
  std::string Value(std::string_view Section, std::string_view Key) override;
  // What SectionKeys and Value give, from one read of the section: in time linear in its size.
  std::vector<TProfileEntry> SectionEntries(std::string_view Section) override;

  // Called before each read and every few milliseconds while a long section is worked through:
  // the reader runs on the window's thread, and the window must answer throughout.
  void (*KeepAnswering)() = nullptr;

  static constexpr unsigned kKeyListChars = 16384;
  static constexpr unsigned kValueChars = 2048;

 private:
  std::string FileName_;
};
