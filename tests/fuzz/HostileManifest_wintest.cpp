// A thousand hostile manifests, made by a seeded generator, read through LoadManifest and the
// platform's profile reader: nothing may crash or raise, no Files entry may be empty, and every
// entry the generator wrote plainly under a key of its own must arrive, in order.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Manifest.h"
#include "base/Cp949.h"
#include "base/Error.h"
#include "win32/ProfileFile.h"
#include "win32/TestFiles.h"

namespace {

constexpr std::uint32_t kSeed = 20240611;
constexpr int kManifestCount = 1000;
// The first manifest has kManyEntriesMax entries; after it, about one in kLongManifestEvery has
// kManyEntriesMin or more, the others at most kFewEntriesMax. Under Wine every entry costs a
// profile read of its own, so the long ones are few.
constexpr unsigned kLongManifestEvery = 500;
constexpr unsigned kManyEntriesMin = 1000;
constexpr unsigned kManyEntriesMax = 5000;
constexpr unsigned kFewEntriesMax = 20;
// Longer than the 2047 characters a value is cut to; the longest keys pass one read of the
// key list on their own.
constexpr unsigned kLongLineMin = 3000;
constexpr unsigned kLongLineMax = 40000;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";

// A manifest's bytes, and what must come out of it.
struct TGenerated {
  std::string Text;
  std::vector<std::string> PlainFiles;  // in file order
  std::string PlainLicFile;             // "" when none was written plainly
};

// The key of an entry as the profile reader compares keys: Latin letters without case.
std::string FoldedKey(std::string_view Key) {
  std::string Folded(Key);
  for (char& c : Folded)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return Folded;
}

class TManifestGenerator {
 public:
  explicit TManifestGenerator(std::uint32_t Seed) : Random_(Seed) {}

  TGenerated Next() {
    TGenerated Out;
    Entries_.clear();
    // Hangul stays Hangul only while the file is read in the ANSI code page: a byte-order mark
    // makes the reader take the file as Unicode, so under one only ASCII entries count as plain.
    const unsigned Start = Below(100);
    Ansi_ = Start >= 12;
    if (Start < 10) Out.Text += kUtf8Bom;
    const bool Utf16 = Start == 10 || Start == 11;
    if (Utf16) Out.Text += kUtf16Bom;
    Breaks_ = Below(3);

    for (unsigned i = Below(3); i > 0; --i) Line(Out.Text, Junk());  // before any section
    Line(Out.Text, SectionHeader("files"));
    const unsigned Count = Made_++ == 0 ? kManyEntriesMax
                           : Below(kLongManifestEvery) == 0
                               ? kManyEntriesMin + Below(kManyEntriesMax - kManyEntriesMin)
                               : Below(kFewEntriesMax + 1);
    for (unsigned i = 0; i < Count; ++i) FilesLine(Out.Text);

    if (Below(2) == 0) {
      Line(Out.Text, SectionHeader("info"));
      if (Below(2) == 0) {
        const std::string Lic = PlainValue();
        Line(Out.Text, Cased("licfile") + "=" + Lic);
        Out.PlainLicFile = Lic;
      }
      for (unsigned i = Below(4); i > 0; --i) Line(Out.Text, HostileEntry());
    }
    // A repeated section: the reader keeps to the first one, so nothing in it counts.
    if (Below(4) == 0) {
      Line(Out.Text, SectionHeader("files"));
      for (unsigned i = Below(10); i > 0; --i) Line(Out.Text, HostileEntry());
    }
    if (Below(4) == 0) Out.Text.erase(Out.Text.size() - LineBreak().size());  // no final break

    if (!Utf16) {
      std::map<std::string, int> Uses;
      for (const TEntry& Entry : Entries_) ++Uses[Entry.Key];
      for (const TEntry& Entry : Entries_)
        if (Entry.Plain && Uses[Entry.Key] == 1) Out.PlainFiles.push_back(Entry.Value);
    } else {
      Out.PlainLicFile.clear();
    }
    return Out;
  }

 private:
  struct TEntry {
    std::string Key;  // folded
    std::string Value;
    bool Plain;
  };

  unsigned Below(unsigned Bound) { return Random_() % Bound; }

  std::string_view LineBreak() const { return Breaks_ == 0 ? "\n" : "\r\n"; }

  void Line(std::string& Text, std::string_view Content) {
    // Wine reports a section whose first entry has an empty name as having no keys at all
    // (measured: GetPrivateProfileStringA returns 0), so the first entry always gets a name;
    // KeylessFirstEntryHidesTheSection below keeps that case in view.
    const size_t First = Content.find_first_not_of(' ');
    const bool Entry =
        First != std::string_view::npos && Content[First] != ';' && Content[First] != '[';
    if (Entry && NeedName_) {
      const auto c = static_cast<unsigned char>(Content[First]);
      const bool Named = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                         (c >= 'a' && c <= 'z') || IsCp949LeadByte(c);
      if (!Named) Text += 'x';
    }
    if (Entry) NeedName_ = false;
    Text += Content;
    Text += LineBreak();
  }

  // Name with each Latin letter in either case.
  std::string Cased(std::string_view Name) {
    std::string Text(Name);
    for (char& c : Text) {
      if (c >= 'a' && c <= 'z' && Below(2) == 0)
        c = static_cast<char>(c - 'a' + 'A');
      else if (c >= 'A' && c <= 'Z' && Below(2) == 0)
        c = static_cast<char>(c - 'A' + 'a');
    }
    return Text;
  }

  std::string SectionHeader(std::string_view Name) {
    NeedName_ = true;
    std::string Header(1, '[');
    Header += Cased(Name);
    return Header += ']';
  }

  // One Hangul syllable in code page 949 (the KS X 1001 block 0xB0A1..0xC8FE).
  std::string Hangul() {
    return {static_cast<char>(0xB0 + Below(0xC8 - 0xB0 + 1)),
            static_cast<char>(0xA1 + Below(0xFE - 0xA1 + 1))};
  }

  std::string PlainValue() {
    static constexpr std::string_view kChars =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.\\";
    std::string Value;
    for (unsigned i = 1 + Below(40); i > 0; --i) {
      if (Ansi_ && Below(6) == 0)
        Value += Hangul();
      else
        Value += kChars[Below(static_cast<unsigned>(kChars.size()))];
    }
    return Value;
  }

  std::string Blanks() { return std::string(Below(3), ' '); }

  // Bytes of every kind on one line. It never opens a section, and it ends in an ASCII letter
  // so that a lead byte at its end cannot take the line break as its second half.
  std::string Junk(unsigned Length) {
    std::string Text;
    for (unsigned i = 0; i < Length; ++i) {
      char c = static_cast<char>(Below(256));
      if (c == '\n' || c == '\r') c = ' ';
      Text += c;
    }
    const size_t First = Text.find_first_not_of(" \t");
    if (First != std::string::npos && Text[First] == '[') Text[First] = '(';
    return Text + "x";
  }
  std::string Junk() { return Junk(Below(80)); }

  void FilesLine(std::string& Text) {
    const unsigned Kind = Below(20);
    if (Kind < 8) {  // plain: a key of its own, a value as it is
      std::string Key = Cased("plain") + std::to_string(Serial_++);
      if (Ansi_ && Below(3) == 0) Key = Hangul() + Key;
      const std::string Value = PlainValue();
      Line(Text, Blanks() + Key + Blanks() + "=" + Blanks() + Value + Blanks());
      Entries_.push_back({FoldedKey(Key), Value, true});
    } else if (Kind < 10 && !Entries_.empty()) {  // an earlier key again, its case varied
      const std::string& Earlier = Entries_[Below(static_cast<unsigned>(Entries_.size()))].Key;
      const std::string Key = Cased(Earlier);
      Line(Text, Key + "=" + PlainValue());
      Entries_.push_back({FoldedKey(Key), {}, false});
    } else {
      Line(Text, HostileEntry());
    }
  }

  std::string HostileEntry() {
    std::string Key(1, 'k');
    Key += std::to_string(Serial_++);
    switch (Below(10)) {
      case 0:
        return Junk();
      case 1:  // no "="
        return Key + (Ansi_ ? Hangul() : "");
      case 2:
        return Key + "=";
      case 3:
        return Key + "=\"" + PlainValue() + "\"";
      case 4:
        return Key + "='" + PlainValue() + "'";
      case 5:
        return Key + "=\"" + PlainValue();
      case 6:  // a value past the cut, or a key that long
        return Below(2) == 0 ? Key + "=" + std::string(kLongLineMin + Below(kLongLineMax), 'v')
                             : std::string(kLongLineMin + Below(kLongLineMax), 'k') + "=v";
      case 7:
        return Below(2) == 0 ? "; " + Junk() : Blanks();
      case 8:  // a Hangul lead byte with no trail byte, and stray bytes above 0x7F
        return Key + "=" + std::string(1, static_cast<char>(0x81 + Below(0x7E))) + "x" +
               Junk(Below(8));
      default:
        return Key + "=" + Junk(Below(40)) + "=" + Junk(Below(10));
    }
  }

  std::mt19937 Random_;
  std::vector<TEntry> Entries_;
  unsigned Made_ = 0;
  unsigned Serial_ = 0;  // keeps the generated keys apart
  unsigned Breaks_ = 0;
  bool Ansi_ = true;
  bool NeedName_ = false;
};

// The first expected entry missing from Files, in order; "" when all arrived.
std::string FirstLost(const std::vector<std::string>& Files,
                      const std::vector<std::string>& Expected) {
  auto At = Files.begin();
  for (const std::string& Value : Expected) {
    At = std::find(At, Files.end(), Value);
    if (At == Files.end()) return Value;
    ++At;
  }
  return {};
}

TEST(HostileManifestTest, NoCrashNoEmptyEntryAndNoPlainEntryLost) {
  TTestFolder Folder;
  TManifestGenerator Generator(kSeed);
  const std::string Path = Folder / "install.inf";
  int Failures = 0;
  size_t PlainChecked = 0, Longest = 0;
  for (int n = 0; n < kManifestCount && Failures < 5; ++n) {
    const TGenerated Generated = Generator.Next();
    WriteBytes(Path, Generated.Text);
    TManifest Manifest;
    try {
      LoadManifest(Path, Manifest);
    } catch (const EInstallerError& e) {
      ADD_FAILURE() << "manifest " << n << " raised: " << e.Message();
      ++Failures;
      continue;
    }
    const bool NoneEmpty = std::none_of(Manifest.Files.begin(), Manifest.Files.end(),
                                        [](const std::string& File) { return File.empty(); });
    const std::string Lost = FirstLost(Manifest.Files, Generated.PlainFiles);
    const bool LicFileKept =
        Generated.PlainLicFile.empty() || Manifest.LicFile == Generated.PlainLicFile;
    PlainChecked += Generated.PlainFiles.size();
    Longest = std::max(Longest, Manifest.Files.size());
    if (NoneEmpty && Lost.empty() && LicFileKept) continue;
    ++Failures;
    // Kept in the prefix's temporary folder for a look at the bytes.
    const std::string Kept = TempPathA() + "hostile-manifest-" + std::to_string(n) + ".inf";
    WriteBytes(Kept, Generated.Text);
    EXPECT_TRUE(NoneEmpty) << "manifest " << n << " gave an empty Files entry; kept as " << Kept;
    EXPECT_EQ(Lost, "") << "manifest " << n << " lost a plain entry ("
                        << Generated.PlainFiles.size() << " written, " << Manifest.Files.size()
                        << " read); kept as " << Kept;
    EXPECT_TRUE(LicFileKept) << "manifest " << n << " lost licfile \"" << Generated.PlainLicFile
                             << "\", read \"" << Manifest.LicFile << "\"; kept as " << Kept;
  }
  std::printf("%d manifests, %zu plain entries checked, longest Files list %zu\n", kManifestCount,
              PlainChecked, Longest);
}

// Wine hides every key of a section whose first entry has an empty name; the reader must not
// lose the entries after it.
TEST(HostileManifestTest, AKeylessFirstEntryDoesNotHideTheSection) {
  TTestFolder Folder;
  const std::string Path = Folder / "install.inf";
  WriteBytes(Path, "[files]\r\n=stray\r\n1=a.exe\r\n2=b.dll\r\n");
  TManifest Manifest;
  LoadManifest(Path, Manifest);
  EXPECT_EQ(Manifest.Files, (std::vector<std::string>{"a.exe", "b.dll"}));
  // Nameless entries further down are left out too: looking up the name "" made Wine's reader
  // read past its buffers and, depending on the heap, crash.
  WriteBytes(Path, "[files]\r\n1=a.exe\r\n=stray\r\n \t=blank\r\n2=b.dll\r\n");
  LoadManifest(Path, Manifest);
  EXPECT_EQ(Manifest.Files, (std::vector<std::string>{"a.exe", "b.dll"}));
}

// The reader takes a whole section in one read and works out what a lookup of each key gives:
// it must give exactly what the platform's lookups give, key by key (TProfileReader's own
// SectionEntries asks for each key), on the generator's manifests and on lines chosen for the
// platform's rules.
std::string FirstDifference(const std::vector<TProfileEntry>& Read,
                            const std::vector<TProfileEntry>& LookedUp) {
  for (size_t i = 0; i < std::max(Read.size(), LookedUp.size()); ++i) {
    const std::string Got = i < Read.size() ? Read[i].Name + "=" + Read[i].Value : "(none)";
    const std::string Want =
        i < LookedUp.size() ? LookedUp[i].Name + "=" + LookedUp[i].Value : "(none)";
    if (Got != Want)
      return "entry " + std::to_string(i) + ": read \"" + Got.substr(0, 80) + "\", looked up \"" +
             Want.substr(0, 80) + "\"";
  }
  return {};
}

// The platform keeps a file it read in memory only once it is 2 s old: the lookups, one call a
// key, would otherwise parse the whole file again each time. Each text gets a time of its own,
// so that no text is taken for the one before it.
void AgeFile(const std::string& Path, int Serial) {
  HANDLE File =
      CreateFileA(Path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(File, INVALID_HANDLE_VALUE);
  FILETIME Now;
  GetSystemTimeAsFileTime(&Now);
  ULARGE_INTEGER Time = {{Now.dwLowDateTime, Now.dwHighDateTime}};
  Time.QuadPart -= (3600ULL + static_cast<ULONGLONG>(Serial)) * 10000000ULL;
  const FILETIME Aged = {Time.LowPart, Time.HighPart};
  EXPECT_TRUE(SetFileTime(File, nullptr, nullptr, &Aged));
  CloseHandle(File);
}

TEST(HostileManifestTest, ASectionReadGivesWhatTheLookupsOfItsKeysGive) {
  const std::string Hangul1100 = [] {
    std::string Text;
    for (int i = 0; i < 1100; ++i) Text += "\xB0\xA1";  // 가
    return Text;
  }();
  const auto Quoted = [](char Quote, size_t Length) {
    return Quote + std::string(Length, 'q') + Quote;
  };
  std::vector<std::string> Texts = {
      // A nameless first line, a line without "=" before the same name with one, blanks round
      // the "=", a comment, a repeated section.
      "[files]\r\n=stray\r\nA\r\na=1\r\n b = \"2\" \r\n;c=3\r\nB=4\r\n[FILES]\r\nz=9\r\n",
      // Quotes: a pair, an empty pair, one alone, mixed, and the cut round them.
      "[files]\r\n1=\"x\"\r\n2=''\r\n3=\"\r\n4=\"x'\r\n5='\"y\"'\r\n6=" + Quoted('"', 2045) +
          "\r\n7=" + Quoted('"', 2046) + "\r\n8=" + Quoted('\'', 2047) +
          "\r\n9=" + Quoted('"', 2048) + "\r\n10=" + std::string(3000, 'v') + "\r\n",
      // Values whose ANSI form is cut between characters.
      "[files]\r\n1=" + Hangul1100 + "\r\n2=z" + Hangul1100 + "\r\n3=\"" + Hangul1100 + "\"\r\n",
      // Names: Hangul, blanks and tabs, a name that is only blanks, control characters.
      "[files]\r\n\xB0\xA1=h\r\n\xB0\xA1 =again\r\n\ta\tb\t=tab\r\n \t =blank\r\n\x1A=eof\r\n",
  };
  // UTF-8 and UTF-16 texts whose names the ANSI code page can't show: a lookup asks for "?".
  Texts.push_back(
      "\xEF\xBB\xBF[files]\r\n?=question\r\n\xC4\x89=hat\r\n\xC3\xA9=acute\r\nx\xE2\x82\xAC="
      "euro\r\n");
  {
    const std::wstring Wide = L"\xFEFF[files]\r\n\x0109=hat\r\n?=q\r\n\x0109=again\r\n";
    Texts.emplace_back(reinterpret_cast<const char*>(Wide.data()), Wide.size() * 2);
  }
  TManifestGenerator Generator(kSeed);
  for (int n = 0; n < kManifestCount; ++n) Texts.push_back(Generator.Next().Text);

  TTestFolder Folder;
  const std::string Path = Folder / "install.inf";
  int Failures = 0;
  for (int n = 0; n < static_cast<int>(Texts.size()) && Failures < 5; ++n) {
    WriteBytes(Path, Texts[n]);
    AgeFile(Path, n);
    TProfileFile File(Path);
    for (const char* Section : {"files", "info"}) {
      const std::string Difference = FirstDifference(File.SectionEntries(Section),
                                                     File.TProfileReader::SectionEntries(Section));
      if (Difference.empty()) continue;
      ++Failures;
      const std::string Kept = TempPathA() + "section-read-" + std::to_string(n) + ".inf";
      WriteBytes(Kept, Texts[n]);
      ADD_FAILURE() << "text " << n << ", [" << Section << "]: " << Difference << "; kept as "
                    << Kept;
    }
  }
}

}  // namespace
