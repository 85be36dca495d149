#include "engine/Manifest.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// A profile reader over sections held in memory, with the platform's lookup: the first entry of
// a key, names compared without regard to case.
class FakeProfile final : public TProfileReader {
 public:
  std::map<std::string, Entries> Sections;

  std::vector<std::string> SectionKeys(std::string_view Section) override {
    std::vector<std::string> Keys;
    if (const Entries* e = Find(Section))
      for (const auto& [Key, Value] : *e) Keys.push_back(Key);
    return Keys;
  }
  std::string Value(std::string_view Section, std::string_view Key) override {
    if (const Entries* e = Find(Section))
      for (const auto& [k, v] : *e)
        if (SameAnsiText(k, Key)) return v;
    return {};
  }

 private:
  const Entries* Find(std::string_view Section) const {
    for (const auto& [Name, e] : Sections)
      if (SameAnsiText(Name, Section)) return &e;
    return nullptr;
  }
};

TManifest Read(FakeProfile& Profile) {
  TManifest m;
  m.Files = {"left over from an earlier read"};
  ReadManifest(Profile, m);
  return m;
}

TEST(ReadManifest, SkipsEmptyValuesAndKeepsTheOrder) {
  FakeProfile p;
  p.Sections["files"] = {{"1", "a.exe"}, {"2", ""}, {"3", "Update\\b.dll"}};
  EXPECT_EQ(Read(p).Files, (std::vector<std::string>{"a.exe", "Update\\b.dll"}));
}

TEST(ReadManifest, ARepeatedKeyAddsTheFirstEntrysValueAgain) {
  FakeProfile p;
  p.Sections["files"] = {{"f", "first.dll"}, {"g", "other.dll"}, {"F", "second.dll"}};
  EXPECT_EQ(Read(p).Files, (std::vector<std::string>{"first.dll", "other.dll", "first.dll"}));
}

TEST(ReadManifest, NamesOfInfoKeysIgnoreCase) {
  FakeProfile p;
  p.Sections["FILES"] = {{"1", "a.exe"}};
  p.Sections["Info"] = {{"version", "1.2"}, {"LicFile", "lic.txt"}, {"MSGFILE", "msg.txt"}};
  const TManifest m = Read(p);
  EXPECT_EQ(m.Files, std::vector<std::string>{"a.exe"});
  EXPECT_EQ(m.LicFile, "lic.txt");
  EXPECT_EQ(m.MsgFile, "msg.txt");
}

TEST(ReadManifest, MissingSectionsGiveEmptyResults) {
  FakeProfile p;
  const TManifest m = Read(p);
  EXPECT_TRUE(m.Files.empty());
  EXPECT_EQ(m.LicFile, "");
  EXPECT_EQ(m.MsgFile, "");
}

TEST(ValueOfName, TakesTheTextAfterTheFirstEqualsSignOfTheFirstMatch) {
  const std::vector<std::string> Lines = {"a=x=y", "A=z", "b="};
  EXPECT_EQ(ValueOfName(Lines, "a"), "x=y");
  EXPECT_EQ(ValueOfName(Lines, "B"), "");
  EXPECT_EQ(ValueOfName(Lines, "c"), "");
}

TEST(SameAnsiText, FoldsLatinLettersButNotTheTrailBytesOfHangul) {
  EXPECT_TRUE(SameAnsiText("LicFile", "licfile"));
  EXPECT_FALSE(SameAnsiText("licfile", "licfiles"));
  EXPECT_TRUE(SameAnsiText("\xB0\xA1z", "\xB0\xA1Z"));  // 가z
  // Two different code page 949 characters whose trail bytes differ only in ASCII case.
  EXPECT_FALSE(SameAnsiText("\x81\x41", "\x81\x61"));
}

}  // namespace
