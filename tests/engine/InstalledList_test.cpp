#include "engine/InstalledList.h"
#include "engine/RemovalPlan.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using TPaths = std::vector<std::string>;
using TLocalPaths = std::vector<std::u16string>;

const auto kCaseName = [](const auto& Info) { return std::string(Info.param.Name); };

struct TParseCase {
  const char* Name;
  std::string Text;
  TPaths Paths;
  friend void PrintTo(const TParseCase& c, std::ostream* os) { *os << c.Name; }
};

class InstalledListParse : public testing::TestWithParam<TParseCase> {};

TEST_P(InstalledListParse, GivesOnePathALine) {
  EXPECT_EQ(ParseInstalledList(GetParam().Text), GetParam().Paths);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstalledListParse,
    testing::Values(
        TParseCase{"Empty", "", {}},
        TParseCase{"MixedEndsLastUnended", "a.exe\r\nb.dll\nc.dll", {"a.exe", "b.dll", "c.dll"}},
        TParseCase{"EmptyLinesSkipped", "\r\na.exe\r\n\r\n\n\r\n", {"a.exe"}},
        TParseCase{"ByteOrderMarkIgnored",
                   "\xEF\xBB\xBF"
                   "a.exe\r\n",
                   {"a.exe"}},
        // Only a mark at the start is the encoding's, and only a CR before the LF ends a line.
        TParseCase{"InnerMarkAndCrKept",
                   "a.exe\r\n\xEF\xBB\xBF"
                   "b\rc.dll\r\n",
                   {"a.exe",
                    "\xEF\xBB\xBF"
                    "b\rc.dll"}}),
    kCaseName);

TEST(InstalledListText, EndsEveryPathWithCrLfAndReadsBack) {
  const TPaths Paths = {"a.exe", "도움말\\설명서.txt"};
  EXPECT_EQ(InstalledListText(Paths), "a.exe\r\n도움말\\설명서.txt\r\n");
  EXPECT_EQ(ParseInstalledList(InstalledListText(Paths)), Paths);
}

struct TUnionCase {
  const char* Name;
  TPaths Listed;
  TPaths Added;
  TPaths Union;
  friend void PrintTo(const TUnionCase& c, std::ostream* os) { *os << c.Name; }
};

class InstalledListUnionRule : public testing::TestWithParam<TUnionCase> {};

TEST_P(InstalledListUnionRule, KeepsTheListThenAddsWhatIsNew) {
  EXPECT_EQ(InstalledListUnion(GetParam().Listed, GetParam().Added), GetParam().Union);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstalledListUnionRule,
    testing::Values(
        TUnionCase{"FirstInstallInLocalForm", {}, {"a.exe", "b/c.dll"}, {"a.exe", "b\\c.dll"}},
        TUnionCase{"ListFirstInItsOrder",
                   {"z.dll", "a.exe"},
                   {"a.exe", "m.dll"},
                   {"z.dll", "a.exe", "m.dll"}},
        TUnionCase{"CaseAndSeparatorsFolded",
                   {"Lang\\KO\\M.txt"},
                   {"lang/ko/m.TXT", "X", "x"},
                   {"Lang\\KO\\M.txt", "X"}},
        // The list stays as written, repeats aside.
        TUnionCase{
            "ListRepeatsDropped", {"a/b.exe", "A\\B.EXE", "c.dll"}, {}, {"a/b.exe", "c.dll"}},
        // Only ASCII letters fold: the dotted capital I is another letter.
        TUnionCase{"OnlyAsciiFolds", {"i.txt"}, {"\xC4\xB0.txt"}, {"i.txt", "\xC4\xB0.txt"}}),
    kCaseName);

struct TPlanCase {
  const char* Name;
  TLocalPaths Listed;
  TLocalPaths Files;
  TLocalPaths Skipped;
  TLocalPaths Folders;
  friend void PrintTo(const TPlanCase& c, std::ostream* os) { *os << c.Name; }
};

class RemovalPlanOrder : public testing::TestWithParam<TPlanCase> {};

TEST_P(RemovalPlanOrder, DeletesOnlyInsideTheFolderAndEmptiesFoldersBeforeTheirParents) {
  const TRemovalPlan Plan = PlanRemoval(GetParam().Listed);
  EXPECT_EQ(Plan.Files, GetParam().Files);
  EXPECT_EQ(Plan.Skipped, GetParam().Skipped);
  EXPECT_EQ(Plan.Folders, GetParam().Folders);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemovalPlanOrder,
    testing::Values(
        TPlanCase{"NothingListed", {}, {}, {}, {u"Log", u"Update", u"Report"}},
        // What could reach outside is reported, not deleted, and gives no folder either.
        TPlanCase{
            "ProductWithHostilePaths",
            {u"VelquorManager.exe", u"Lang\\ko\\messages.txt", u"..\\x.dll", u"Update\\Lib\\b.dll",
             u"C:\\x.dll", u"s\\..\\..\\y.dll", u"Lang\\en\\m.txt", u"a\\b\\c\\d.txt"},
            {u"VelquorManager.exe", u"Lang\\ko\\messages.txt", u"Update\\Lib\\b.dll",
             u"Lang\\en\\m.txt", u"a\\b\\c\\d.txt"},
            {u"..\\x.dll", u"C:\\x.dll", u"s\\..\\..\\y.dll"},
            {u"a\\b\\c", u"Lang\\ko", u"Update\\Lib", u"Lang\\en", u"a\\b", u"Lang", u"Update",
             u"a", u"Log", u"Report"}},
        TPlanCase{"RepeatsOnceWhateverTheirCase",
                  {u"Lang\\ko\\m.txt", u"LANG\\KO\\M.TXT", u"lang/ko/m.txt", u"..\\x", u"..\\X"},
                  {u"Lang\\ko\\m.txt"},
                  {u"..\\x"},
                  {u"Lang\\ko", u"Lang", u"Log", u"Update", u"Report"}},
        // A work folder met among the files keeps its place.
        TPlanCase{"WorkFoldersOnce",
                  {u"update\\a.dll", u"Log\\x\\y.log"},
                  {u"update\\a.dll", u"Log\\x\\y.log"},
                  {},
                  {u"Log\\x", u"update", u"Log", u"Report"}},
        // "", "." and "c." name the install folder or one already there.
        TPlanCase{"InstallFolderNotPlanned",
                  {u".\\a.txt", u"\\b.txt", u"c\\\\d.txt", u"c.\\e.txt", u"x/y/z.txt"},
                  {u".\\a.txt", u"\\b.txt", u"c\\\\d.txt", u"c.\\e.txt", u"x/y/z.txt"},
                  {},
                  {u"x\\y", u"c", u"x", u"Log", u"Update", u"Report"}}),
    kCaseName);

struct TOutcomeCase {
  const char* Name;
  TRemovalOutcome Outcome;
  int ExitCode;
  std::string Message;
  friend void PrintTo(const TOutcomeCase& c, std::ostream* os) { *os << c.Name; }
};

class RemovalPlanOutcome : public testing::TestWithParam<TOutcomeCase> {};

// The codes are written out: they are Windows Installer's, which deployment tools read.
TEST_P(RemovalPlanOutcome, EndsWithWindowsInstallersCodeAndSaysWhatWasLeft) {
  EXPECT_EQ(RemovalExitCode(GetParam().Outcome), GetParam().ExitCode);
  EXPECT_EQ(RemovalMessage(GetParam().Outcome), GetParam().Message);
}

const std::string kRemoved = "Velquor 매니저를 제거했습니다.";
const std::string kAtRestart = "\r\n사용 중인 파일은 컴퓨터를 다시 시작하면 제거됩니다.";
const std::string kFolderKept = "\r\n설치 폴더에 남은 파일이 있어 폴더를 남겨 두었습니다.";
const std::string kNotRemoved = "Velquor 매니저를 모두 제거하지 못했습니다.";

INSTANTIATE_TEST_SUITE_P(
    Cases, RemovalPlanOutcome,
    testing::Values(TOutcomeCase{"Removed", {}, 0, kRemoved},
                    TOutcomeCase{"AtRestart", {.AtRestart = true}, 3010, kRemoved + kAtRestart},
                    TOutcomeCase{"FolderKept", {.FolderKept = true}, 0, kRemoved + kFolderKept},
                    TOutcomeCase{"AtRestartFolderKept",
                                 {.AtRestart = true, .FolderKept = true},
                                 3010,
                                 kRemoved + kAtRestart + kFolderKept},
                    TOutcomeCase{"FailedOutweighsTheRest",
                                 {.Failed = true, .AtRestart = true, .FolderKept = true},
                                 1603,
                                 kNotRemoved},
                    TOutcomeCase{"NotInstalled",
                                 {.NotInstalled = true},
                                 0,
                                 "Velquor 매니저가 설치되어 있지 않습니다."}),
    kCaseName);

}  // namespace
