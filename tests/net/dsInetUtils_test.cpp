#include "net/dsInetUtils.h"
#include "net/StallWatch.h"

#include <gtest/gtest.h>

#include "PrintU16.h"

#include <deque>
#include <ostream>
#include <set>

namespace {

struct MappingCase {
  std::u16string Path;
  std::u16string Url;
  std::u16string Local;
  friend void PrintTo(const MappingCase& c, std::ostream* os) {
    *os << '"' << Printable(c.Path) << '"';
  }
};

class PathMapping : public testing::TestWithParam<MappingCase> {};

TEST_P(PathMapping, MapsOnlyTheSeparatorAndKeepsTheLength) {
  const MappingCase& c = GetParam();
  EXPECT_EQ(ToURLPath(c.Path), c.Url);
  EXPECT_EQ(ToLocalPath(c.Path), c.Local);
  EXPECT_EQ(ToURLPath(c.Path).size(), c.Path.size());
  EXPECT_EQ(ToLocalPath(c.Path).size(), c.Path.size());
}

TEST_P(PathMapping, RoundTripsEndInTheSameForm) {
  const std::u16string& p = GetParam().Path;
  EXPECT_EQ(ToLocalPath(ToURLPath(p)), ToLocalPath(p));
  EXPECT_EQ(ToURLPath(ToLocalPath(p)), ToURLPath(p));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathMapping,
    testing::Values(MappingCase{u"", u"", u""},
                    MappingCase{u"Update\\Lib\\b.dll", u"Update/Lib/b.dll", u"Update\\Lib\\b.dll"},
                    MappingCase{u"Update/Lib/b.dll", u"Update/Lib/b.dll", u"Update\\Lib\\b.dll"},
                    MappingCase{u"a/b\\c/d", u"a/b/c/d", u"a\\b\\c\\d"},
                    MappingCase{u"\\lead", u"/lead", u"\\lead"},
                    MappingCase{u"trail/", u"trail/", u"trail\\"},
                    MappingCase{u"a\\\\b//c", u"a//b//c", u"a\\\\b\\\\c"},
                    MappingCase{u"../x/./y", u"../x/./y", u"..\\x\\.\\y"},
                    MappingCase{u"도움말\\사용 설명서 100%.txt", u"도움말/사용 설명서 100%.txt",
                                u"도움말\\사용 설명서 100%.txt"},
                    MappingCase{u"Case#Kept?.TXT", u"Case#Kept?.TXT", u"Case#Kept?.TXT"}),
    [](const testing::TestParamInfo<MappingCase>& Info) {
      return "Case" + std::to_string(Info.index);
    });

TEST(ChangeFileExt, ReplacesTheLastExtensionOfTheLastComponent) {
  EXPECT_EQ(ChangeFileExt("C:\\Temp\\~1A2B.tmp", ".sss"), "C:\\Temp\\~1A2B.sss");
  EXPECT_EQ(ChangeFileExt("C:\\Temp\\~1A2B.tmp", "sss"), "C:\\Temp\\~1A2Bsss");
  EXPECT_EQ(ChangeFileExt("C:\\Temp\\~1A2B.tmp", ""), "C:\\Temp\\~1A2B");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\name", ".sss"), "C:\\a.b\\name.sss");
  EXPECT_EQ(ChangeFileExt("C:name", ".x"), "C:name.x");
  EXPECT_EQ(ChangeFileExt("a.b.c", ".d"), "a.b.d");
}

// A temporary folder that hands out placeholders from a script and knows which names are taken.
class FakeTempFolder final : public TTempFolder {
 public:
  std::deque<std::string> Placeholders;
  std::set<std::string> Taken;
  bool EverythingTaken = false;
  int Requests = 0;

  std::string NewPlaceholder() override {
    ++Requests;
    if (Placeholders.empty()) return {};
    std::string Name = Placeholders.front();
    Placeholders.pop_front();
    return Name;
  }
  bool FileExists(const std::string& FileName) override {
    return EverythingTaken || Taken.count(FileName) > 0;
  }
};

TEST(MakeTempFileName, TakesTheNextPlaceholderWhileTheCandidateExists) {
  FakeTempFolder Folder;
  Folder.Placeholders = {"T:\\~1.tmp", "T:\\~2.tmp", "T:\\~3.tmp"};
  Folder.Taken = {"T:\\~1.sss"};
  EXPECT_EQ(MakeTempFileName(".sss", Folder), "T:\\~2.sss");
  EXPECT_EQ(Folder.Requests, 2);
}

TEST(MakeTempFileName, GivesUpWhenNoPlaceholderCanBeMade) {
  FakeTempFolder Folder;
  EXPECT_EQ(MakeTempFileName(".sss", Folder), "");
  EXPECT_EQ(Folder.Requests, 1);
}

TEST(MakeTempFileName, GivesUpAfterABoundedNumberOfTakenCandidates) {
  FakeTempFolder Folder;
  Folder.EverythingTaken = true;
  for (int i = 0; i < 10 * kMaxTempNamePasses; ++i)
    Folder.Placeholders.push_back("T:\\~" + std::to_string(i) + ".tmp");
  EXPECT_EQ(MakeTempFileName(".sss", Folder), "");
  EXPECT_EQ(Folder.Requests, kMaxTempNamePasses);
}

// A download as the watch sees it: First bytes at Start, then Bytes every Every ms up to At
// (0 bytes: a notification alone); then the question whether it stalled at At.
struct StallCase {
  const char* Name;
  std::uint64_t Start, First, Every, Bytes;
  std::uint64_t At;
  bool Stalled;
};

TEST(StallWatch, EndsSilenceAndCrawlsButNeverASteadyTransfer) {
  constexpr std::uint64_t T = kStallTimeoutMs, MiB = 1 << 20, Never = ~0ull;
  const StallCase Cases[] = {
      {"silent from the start", Never, 0, 0, 0, T - 1, false},
      {"silent from the start", Never, 0, 0, 0, T, true},
      {"silent after a burst", 1000, MiB, Never, 0, 1000 + T - 1, false},
      {"silent after a burst", 1000, MiB, Never, 0, 1000 + T, true},
      {"notifications without bytes", 10000, 0, 10000, 0, T - 1, false},
      {"notifications without bytes", 10000, 0, 10000, 0, T, true},
      {"a steady 5 KiB/s", 100, 512, 100, 512, 5 * T, false},
      {"2 KiB a minute", 1000, 34, 1000, 34, T - 1, false},
      {"2 KiB a minute", 1000, 34, 1000, 34, T, true},
      {"just under 4 KiB/s", 1000, 4000, 1000, 4000, T, true},
      {"a crawl after a burst", 10000, MiB, 1000, 10, 10000 + T - 1, false},
      {"a crawl after a burst", 10000, MiB, 1000, 10, 10000 + T, true},
  };
  for (const StallCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Name) + " at " + std::to_string(Case.At));
    TStallWatch Watch(0, kStallTimeoutMs);
    for (std::uint64_t t = Case.Start; t <= Case.At; t += Case.Every) {
      Watch.Received(t, t == Case.Start ? Case.First : Case.Bytes);
      if (Case.Every == Never) break;
    }
    EXPECT_EQ(Watch.Stalled(Case.At), Case.Stalled);
    // The wait it asks for never runs past the moment the rule turns.
    const std::uint64_t Wait = Watch.MsUntilCheck(Case.At);
    EXPECT_EQ(Wait == 0, Case.Stalled);
    if (Wait > 0) {
      EXPECT_FALSE(Watch.Stalled(Case.At + Wait - 1));
    }
  }
}

}  // namespace
