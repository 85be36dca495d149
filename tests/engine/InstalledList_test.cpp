#include "engine/InstalledList.h"
#include "engine/RemovalPlan.h"

#include <gtest/gtest.h>

namespace {

using TPaths = std::vector<std::string>;
using TLocalPaths = std::vector<std::u16string>;

TEST(InstalledList, GivesOnePathALineAndReadsBackWhatItWrote) {
  const std::pair<std::string, TPaths> Cases[] = {
      {"", {}},
      {"a.exe\r\nb.dll\nc.dll", {"a.exe", "b.dll", "c.dll"}},
      {"\r\na.exe\r\n\r\n\n\r\n", {"a.exe"}},
      {"\xEF\xBB\xBF"
       "a.exe\r\n",
       {"a.exe"}},
      // Only a mark at the start is the encoding's, and only a CR before the LF ends a line.
      {"a.exe\r\n\xEF\xBB\xBF"
       "b\rc.dll\r\n",
       {"a.exe",
        "\xEF\xBB\xBF"
        "b\rc.dll"}},
  };
  for (const auto& [Text, Paths] : Cases) EXPECT_EQ(ParseInstalledList(Text), Paths) << Text;
  const TPaths Paths = {"a.exe", "도움말\\설명서.txt"};
  EXPECT_EQ(InstalledListText(Paths), "a.exe\r\n도움말\\설명서.txt\r\n");
  EXPECT_EQ(ParseInstalledList(InstalledListText(Paths)), Paths);
}

TEST(InstalledList, KeepsTheListThenAddsWhatIsNew) {
  const struct {
    const char* What;
    TPaths Listed, Added, Union;
  } Cases[] = {
      {"a first install, in local form", {}, {"a.exe", "b/c.dll"}, {"a.exe", "b\\c.dll"}},
      {"the list first, in its order",
       {"z.dll", "a.exe"},
       {"a.exe", "m.dll"},
       {"z.dll", "a.exe", "m.dll"}},
      {"case and separators folded",
       {"Lang\\KO\\M.txt"},
       {"lang/ko/m.TXT", "X", "x"},
       {"Lang\\KO\\M.txt", "X"}},
      {"the list's repeats dropped", {"a/b.exe", "A\\B.EXE", "c.dll"}, {}, {"a/b.exe", "c.dll"}},
      // The dotted capital I is another letter.
      {"only ASCII folds", {"i.txt"}, {"\xC4\xB0.txt"}, {"i.txt", "\xC4\xB0.txt"}},
  };
  for (const auto& c : Cases) EXPECT_EQ(InstalledListUnion(c.Listed, c.Added), c.Union) << c.What;
}

// What could reach outside is reported, never deleted, and gives no folder either; folders
// come before their parents, the work folders once, the install folder never.
TEST(RemovalPlan, DeletesOnlyInsideTheFolderAndEmptiesFoldersBeforeTheirParents) {
  const struct {
    const char* What;
    TLocalPaths Listed, Files, Skipped, Folders;
  } Cases[] = {
      {"nothing listed", {}, {}, {}, {u"Log", u"Update", u"Report"}},
      {"a product with hostile paths",
       {u"VelquorManager.exe", u"Lang\\ko\\messages.txt", u"..\\x.dll", u"Update\\Lib\\b.dll",
        u"C:\\x.dll", u"s\\..\\..\\y.dll", u"Lang\\en\\m.txt", u"a\\b\\c\\d.txt"},
       {u"VelquorManager.exe", u"Lang\\ko\\messages.txt", u"Update\\Lib\\b.dll", u"Lang\\en\\m.txt",
        u"a\\b\\c\\d.txt"},
       {u"..\\x.dll", u"C:\\x.dll", u"s\\..\\..\\y.dll"},
       {u"a\\b\\c", u"Lang\\ko", u"Update\\Lib", u"Lang\\en", u"a\\b", u"Lang", u"Update", u"a",
        u"Log", u"Report"}},
      {"repeats once, whatever their case",
       {u"Lang\\ko\\m.txt", u"LANG\\KO\\M.TXT", u"lang/ko/m.txt", u"..\\x", u"..\\X"},
       {u"Lang\\ko\\m.txt"},
       {u"..\\x"},
       {u"Lang\\ko", u"Lang", u"Log", u"Update", u"Report"}},
      {"a work folder among the files keeps its place",
       {u"update\\a.dll", u"Log\\x\\y.log"},
       {u"update\\a.dll", u"Log\\x\\y.log"},
       {},
       {u"Log\\x", u"update", u"Log", u"Report"}},
      // "", "." and "c." name the install folder or one already there.
      {"the install folder is never planned",
       {u".\\a.txt", u"\\b.txt", u"c\\\\d.txt", u"c.\\e.txt", u"x/y/z.txt"},
       {u".\\a.txt", u"\\b.txt", u"c\\\\d.txt", u"c.\\e.txt", u"x/y/z.txt"},
       {},
       {u"x\\y", u"c", u"x", u"Log", u"Update", u"Report"}},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.What);
    const TRemovalPlan Plan = PlanRemoval(c.Listed);
    EXPECT_EQ(Plan.Files, c.Files);
    EXPECT_EQ(Plan.Skipped, c.Skipped);
    EXPECT_EQ(Plan.Folders, c.Folders);
  }
}

// The codes are written out: they are Windows Installer's, which deployment tools read.
TEST(RemovalPlan, EndsWithWindowsInstallersCodeAndSaysWhatWasLeft) {
  const std::string Removed = "Velquor 매니저를 제거했습니다.";
  const std::string AtRestart = "\r\n사용 중인 파일은 컴퓨터를 다시 시작하면 제거됩니다.";
  const std::string FolderKept = "\r\n설치 폴더에 남은 파일이 있어 폴더를 남겨 두었습니다.";
  const struct {
    TRemovalOutcome Outcome;
    int ExitCode;
    std::string Message;
  } Cases[] = {
      {{}, 0, Removed},
      {{.AtRestart = true}, 3010, Removed + AtRestart},
      {{.FolderKept = true}, 0, Removed + FolderKept},
      {{.AtRestart = true, .FolderKept = true}, 3010, Removed + AtRestart + FolderKept},
      {{.Failed = true, .AtRestart = true, .FolderKept = true},
       1603,
       "Velquor 매니저를 모두 제거하지 못했습니다."},
      {{.NotInstalled = true}, 0, "Velquor 매니저가 설치되어 있지 않습니다."},
  };
  for (const auto& c : Cases) {
    EXPECT_EQ(RemovalExitCode(c.Outcome), c.ExitCode) << c.Message;
    EXPECT_EQ(RemovalMessage(c.Outcome), c.Message);
  }
}

}  // namespace
