#include "engine/Manifest.h"
#include "engine/InstallRules.h"
#include "engine/Integrity.h"

#include <gtest/gtest.h>

#include "base/Cp949.h"

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
  m.Sha256 = {"left.over=from an earlier read"};
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
  p.Sections["Info"] = {{"VERSION", "1.2"}, {"LicFile", "lic.txt"}, {"MSGFILE", "msg.txt"}};
  const TManifest m = Read(p);
  EXPECT_EQ(m.Files, std::vector<std::string>{"a.exe"});
  EXPECT_EQ(m.LicFile, "lic.txt");
  EXPECT_EQ(m.MsgFile, "msg.txt");
  EXPECT_EQ(m.Version, "1.2");
}

TEST(ReadManifest, MissingSectionsGiveEmptyResults) {
  FakeProfile p;
  const TManifest m = Read(p);
  EXPECT_TRUE(m.Files.empty());
  EXPECT_EQ(m.LicFile, "");
  EXPECT_EQ(m.MsgFile, "");
  EXPECT_EQ(m.Version, "");
  EXPECT_TRUE(m.Sha256.empty());
}

TEST(ReadManifest, Sha256AndSizeSectionsGiveTheirLinesInFileOrder) {
  FakeProfile p;
  p.Sections["SHA256"] = {{"Update\\b.dll", "00ff"}, {"a.exe", ""}};
  p.Sections["Size"] = {{"a.exe", "12"}, {"Update\\b.dll", "3"}};
  const TManifest m = Read(p);
  EXPECT_EQ(m.Sha256, (std::vector<std::string>{"Update\\b.dll=00ff", "a.exe="}));
  EXPECT_EQ(m.Sizes, (std::vector<std::string>{"a.exe=12", "Update\\b.dll=3"}));
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

// The digest of "abc".
constexpr const char* kAbcHex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr TSha256Digest kAbcDigest = {
    0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40, 0xde, 0x5d, 0xae, 0x22, 0x23,
    0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17, 0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};

struct DigestCase {
  const char* What;
  std::vector<std::string> Sha256;  // the section's lines; the file asked for is Update\b.dll
  TDigestCheck WithKey;
  TDigestCheck WithoutKey;
};

TEST(DigestCheckOf, ChecksEveryDigestPresentAndWithAKeyRequiresOne) {
  using enum TDigestCheck;
  const std::string Abc = kAbcHex;
  std::string AbcUpper = Abc;
  for (char& c : AbcUpper) c = AsciiUpper(c);
  const DigestCase Cases[] = {
      {"listed as is", {"a.exe=" + Abc, "Update\\b.dll=" + Abc}, Compare, Compare},
      {"name and digits in other case", {"UPDATE\\B.DLL=" + AbcUpper}, Compare, Compare},
      {"no entry", {"a.exe=" + Abc}, Refuse, Unchecked},
      {"entry under another separator", {"Update/b.dll=" + Abc}, Refuse, Unchecked},
      {"empty value", {"Update\\b.dll="}, Refuse, Refuse},
      {"63 digits", {"Update\\b.dll=" + Abc.substr(1)}, Refuse, Refuse},
      {"65 digits", {"Update\\b.dll=" + Abc + "0"}, Refuse, Refuse},
      {"a letter that is no hex digit", {"Update\\b.dll=" + Abc.substr(1) + "g"}, Refuse, Refuse},
  };
  for (const DigestCase& c : Cases) {
    SCOPED_TRACE(c.What);
    for (const bool Key : {true, false}) {
      const TFileDigestCheck Check = DigestCheckOf(c.Sha256, "Update\\b.dll", Key);
      EXPECT_EQ(Check.Check, Key ? c.WithKey : c.WithoutKey) << "key: " << Key;
      if (Check.Check == Compare) {
        EXPECT_EQ(Check.Digest, kAbcDigest);
      }
    }
  }
}

// A size bounds the download of its file; a keyed build needs one for every file, as it needs a
// digest, and nothing but 1 to 15 ASCII digits is a size.
TEST(SizeCheckOf, BoundsWhatIsListedAndWithAKeyRequiresIt) {
  const struct {
    const char* What;
    std::vector<std::string> Sizes;  // the section's lines; the file asked for is Update\b.dll
    std::optional<std::uint64_t> Size;
  } Cases[] = {
      {"listed", {"a.exe=1", "UPDATE\\B.DLL=1234"}, 1234},
      {"zero", {"Update\\b.dll=0"}, 0},
      {"fifteen digits", {"Update\\b.dll=999999999999999"}, 999999999999999},
      {"sixteen digits", {"Update\\b.dll=1000000000000000"}, std::nullopt},
      {"no entry", {"a.exe=1"}, std::nullopt},
      {"empty", {"Update\\b.dll="}, std::nullopt},
      {"a sign", {"Update\\b.dll=+5"}, std::nullopt},
      {"a blank inside", {"Update\\b.dll=1 2"}, std::nullopt},
      {"hex", {"Update\\b.dll=0x10"}, std::nullopt},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.What);
    for (const bool Key : {true, false}) {
      const TFileSizeCheck Check = SizeCheckOf(c.Sizes, "Update\\b.dll", Key);
      EXPECT_EQ(Check.Size, c.Size);
      EXPECT_EQ(Check.Refuse, Key && !c.Size);
    }
  }
}

// A release folder reaches the URL as it stands: only plain segments, each ending in "/".
TEST(IsReleasePath, TakesPlainSegmentsEndingInASlash) {
  const std::string Longest = std::string(199, 'a') + "/";
  for (const std::string& Taken :
       {std::string("releases/2.0.0.0/"), std::string("R_1/v-2.x/"), Longest})
    EXPECT_TRUE(IsReleasePath(Taken)) << Taken;
  for (const std::string& Refused :
       {"a" + Longest, std::string("./"), std::string("r/.2/"), std::string("r/-2/"),
        std::string("r/a b/"), std::string("r/2?/"), std::string("r/\xB0\xA1/")})
    EXPECT_FALSE(IsReleasePath(Refused)) << Refused;
}

// The record gives back exactly the bytes signed, and only one well-formed trailer at the very
// end, found by line, counts as one: anything else is a record without a signature, which no key
// verifies, and a published manifest whose signature fails.
TEST(InstalledRecord, SplitsIntoTheSignedBytesAndTheirSignature) {
  const std::string Manifest = "[files]\r\n1=a.exe\r\n", Signature(64, '\xA5');
  const std::string Hex(128, 'x');
  std::string A5;
  for (int i = 0; i < 64; ++i) A5 += "a5";
  const std::string Trailer = "\r\n;sig=" + A5 + "\r\n";
  const std::string Upper = Manifest + "\r\n;sig=" + std::string(128, 'A') + "\r\n";
  EXPECT_EQ(InstalledRecord(Manifest, Signature), Manifest + Trailer);
  EXPECT_EQ(InstalledRecord(Manifest, ""), Manifest);
  EXPECT_EQ(InstalledRecord(Upper, std::string(64, '\xAA')), Upper) << "kept as received";
  const std::string Named = "[files]\r\n1=a;sig=" + A5 + "\r\n";
  const struct {
    const char* What;
    std::string Record;
    std::string Manifest, Signature;
    bool Stray = true;
  } Cases[] = {
      {"signed", InstalledRecord(Manifest, Signature), Manifest, Signature, false},
      {"upper-case digits", Upper, Manifest, std::string(64, '\xAA'), false},
      {"unsigned", Manifest, Manifest, "", false},
      {"an empty manifest, signed", InstalledRecord("", Signature), "", Signature, false},
      {"a file named with ;sig=", Named + Trailer, Named, Signature, false},
      {"a digit short", Manifest + "\r\n;sig=" + A5.substr(1) + "\r\n",
       Manifest + "\r\n;sig=" + A5.substr(1) + "\r\n", ""},
      {"no line end", Manifest + "\r\n;sig=" + A5, Manifest + "\r\n;sig=" + A5, ""},
      {"not hex", Manifest + "\r\n;sig=" + Hex + "\r\n", Manifest + "\r\n;sig=" + Hex + "\r\n", ""},
      {"after a lone line feed", Manifest + "\n;sig=" + A5 + "\r\n",
       Manifest + "\n;sig=" + A5 + "\r\n", ""},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.What);
    const TInstalledRecordParts Parts = SplitInstalledRecord(c.Record);
    EXPECT_EQ(Parts.Manifest, c.Manifest);
    EXPECT_EQ(Parts.Signature, c.Signature);
    EXPECT_EQ(Parts.StrayTrailer, c.Stray);
  }
}

}  // namespace
