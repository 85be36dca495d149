// The shortcut's name, path and working directory, and where each location's folder is read.

#include "shell/ShortcutRules.h"

#include <gtest/gtest.h>

namespace {

// Code page 949 bytes: 게임 (B0 D4 C0 D3), 도구 (B5 B5 B1 B8), 갂 (B0 41: a trail byte that
// reads as 'A').
const std::string kGame = "\xB0\xD4\xC0\xD3";
const std::string kTool = "\xB5\xB5\xB1\xB8";
const std::string kTrailA = "\xB0\x41";

struct TNameCase {
  std::string Target;
  std::string LinkName;
};

class LinkName : public testing::TestWithParam<TNameCase> {};

TEST_P(LinkName, ReplacesTheExtensionAndKeepsTheLastComponent) {
  EXPECT_EQ(ShortcutLinkName(GetParam().Target), GetParam().LinkName);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, LinkName,
    testing::Values(
        TNameCase{"D:\\Apps\\tool.exe", "tool.lnk"}, TNameCase{"D:\\Apps\\tool", "tool.lnk"},
        TNameCase{"D:\\Apps.old\\tool", "tool.lnk"},
        TNameCase{"D:\\Apps\\tool.beta.exe", "tool.beta.lnk"}, TNameCase{"C:tool.exe", "tool.lnk"},
        TNameCase{"D:.hidden\\tool", "tool.lnk"}, TNameCase{"tool.exe", "tool.lnk"},
        TNameCase{"D:\\Apps\\", ".lnk"}, TNameCase{"", ".lnk"},
        // Hangul folders and names; a trail byte never ends the scan early.
        TNameCase{"D:\\" + kGame + "\\" + kTool + ".exe", kTool + ".lnk"},
        TNameCase{"D:\\" + kGame + ".v2\\" + kTool, kTool + ".lnk"},
        TNameCase{"D:\\" + kTrailA + ".exe", kTrailA + ".lnk"},
        // 0x5C after a lead byte is no trail byte: it is a backslash, and the lead
        // byte before it stands alone.
        TNameCase{"D:\\\xB0\\tool.exe", "tool.lnk"}, TNameCase{"D:\\Apps\\tool.\xB0", "tool.lnk"},
        TNameCase{"D:\\Apps\\tool\xB0.exe", "tool\xB0.lnk"}));

struct TWorkingDirCase {
  std::string Target;
  std::string WorkingDir;
  std::string Expected;
};

class WorkingDir : public testing::TestWithParam<TWorkingDirCase> {};

TEST_P(WorkingDir, IsTheGivenOneOrTheTargetsFolderWithItsDelimiter) {
  EXPECT_EQ(ShortcutWorkingDir(GetParam().Target, GetParam().WorkingDir), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, WorkingDir,
    testing::Values(TWorkingDirCase{"D:\\Apps\\tool.exe", "", "D:\\Apps\\"},
                    TWorkingDirCase{"D:\\Apps\\tool.exe", "F:\\Work", "F:\\Work"},
                    TWorkingDirCase{"C:tool.exe", "", "C:"}, TWorkingDirCase{"tool.exe", "", ""},
                    TWorkingDirCase{"", "", ""},
                    TWorkingDirCase{"D:\\" + kGame + "\\" + kTool + ".exe", "",
                                    "D:\\" + kGame + "\\"},
                    TWorkingDirCase{"D:\\\xB0\\tool.exe", "", "D:\\\xB0\\"}));

struct TPathCase {
  std::string Folder;
  ShortcutLocation Location;
  std::string SubFolder;
  std::string Expected;
};

class FilePath : public testing::TestWithParam<TPathCase> {};

TEST_P(FilePath, JoinsEachPartWithOneBackslash) {
  const TPathCase& c = GetParam();
  EXPECT_EQ(ShortcutFilePath(c.Folder, c.Location, c.SubFolder, "tool.lnk"), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FilePath,
    testing::Values(TPathCase{"E:\\Desk", slDesktop, "", "E:\\Desk\\tool.lnk"},
                    TPathCase{"E:\\Desk\\", slDesktop, "", "E:\\Desk\\\\tool.lnk"},
                    TPathCase{"E:\\Menu", slStartMenu, "Tools", "E:\\Menu\\Tools\\tool.lnk"},
                    TPathCase{"E:\\Menu", slStartMenu, "Tools\\", "E:\\Menu\\Tools\\\\tool.lnk"},
                    TPathCase{"E:\\Send", slSendTo, "", "E:\\Send\\tool.lnk"},
                    // slCustom's folder is SubFolder itself, never appended a second time.
                    TPathCase{"F:\\Links", slCustom, "F:\\Links", "F:\\Links\\tool.lnk"}));

TEST(ShortcutFolderKey, NamesTheRegistryValueOfEachLocation) {
  const std::string Explorer = "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
  struct TRow {
    ShortcutLocation Location;
    std::string BaseKey, SubKey, ValueName;
  };
  const TRow Rows[] = {
      {slDesktop, Explorer, "Shell Folders", "Desktop"},
      {slQuickLaunch, "Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv", "MapGroups",
       "Quick Launch"},
      {slSendTo, Explorer, "Shell Folders", "SendTo"},
      {slStartMenu, Explorer, "Shell Folders", "Start Menu"},
      {slCustom, Explorer, "", ""},
      {static_cast<ShortcutLocation>(5), "", "", ""},
      {static_cast<ShortcutLocation>(255), "", "", ""},
  };
  for (const TRow& r : Rows) {
    const TShortcutFolderKey Key = ShortcutFolderKey(r.Location);
    EXPECT_EQ(Key.BaseKey, r.BaseKey) << int(r.Location);
    EXPECT_EQ(Key.SubKey, r.SubKey) << int(r.Location);
    EXPECT_EQ(Key.ValueName, r.ValueName) << int(r.Location);
  }
}

}  // namespace
