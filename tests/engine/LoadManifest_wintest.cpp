// LoadManifest on manifest files that each test writes, read by the platform's profile reader.

#include <windows.h>

#include <gtest/gtest.h>

#include "engine/Manifest.h"
#include "base/Error.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

namespace {

class LoadManifestTest : public testing::Test {
 protected:
  TTestFolder Folder;

  TManifest Load(std::string_view Text) {
    const std::string Path = Folder / "install.inf";
    WriteBytes(Path, Text);
    TManifest m;
    m.Files = {"stale"};
    LoadManifest(Path, m);
    return m;
  }
};

using Files = std::vector<std::string>;

TEST_F(LoadManifestTest, ReadsFilesInOrderAndTheTwoInfoNames) {
  const TManifest m = Load(
      "[info]\r\nversion=1.0.0.0\r\nlicfile=license.txt\r\nmsgfile=readme.txt\r\n"
      "[files]\r\n1=a.exe\r\n2=\r\n3=Update\\b.dll\r\n");
  EXPECT_EQ(m.Files, (Files{"a.exe", "Update\\b.dll"}));
  EXPECT_EQ(m.LicFile, "license.txt");
  EXPECT_EQ(m.MsgFile, "readme.txt");
}

TEST_F(LoadManifestTest, FollowsTheProfileRulesTheServerRelieson) {
  const TManifest m = Load(
      "[FILES]\n"
      "One =   spaced.exe   \n"
      "two=\"double quoted.dll\"\n"
      "three='single quoted.dll'\n"
      "four=\"unmatched.dll\n"
      "ONE=again.exe\n"
      "[Info]\n"
      "LicFile = lic.txt\n");
  EXPECT_EQ(m.Files, (Files{"spaced.exe", "double quoted.dll", "single quoted.dll",
                            "\"unmatched.dll", "spaced.exe"}));
  EXPECT_EQ(m.LicFile, "lic.txt");
  EXPECT_EQ(m.MsgFile, "");
}

TEST_F(LoadManifestTest, CutsAValueToItsFirst2047Characters) {
  const std::string Long(3000, 'x');
  const TManifest m = Load("[files]\n1=" + Long + "\n2=short.txt\n");
  ASSERT_EQ(m.Files.size(), 2u);
  EXPECT_EQ(m.Files[0], std::string(2047, 'x'));
  EXPECT_EQ(m.Files[1], "short.txt");
}

TEST_F(LoadManifestTest, EmptyOrMissingSectionsGiveEmptyResults) {
  TManifest m = Load("[files]\n[info]\n");
  EXPECT_TRUE(m.Files.empty());
  EXPECT_EQ(m.LicFile, "");

  m = Load("[files]\n1=a.exe\n");
  EXPECT_EQ(m.Files, Files{"a.exe"});
  EXPECT_EQ(m.LicFile, "");
  EXPECT_EQ(m.MsgFile, "");

  m = Load("");
  EXPECT_TRUE(m.Files.empty());
}

TEST_F(LoadManifestTest, HangulValuesArriveInCodePage949) {
  const std::string Help = Utf8ToAnsi("도움말\\사용 설명서.txt");
  const std::string Lic = Utf8ToAnsi("사용권 계약서.txt");
  ASSERT_EQ(Help.substr(0, 2), "\xB5\xB5");  // 도
  const TManifest m = Load("[files]\n1=" + Help + "\n[info]\nlicfile=" + Lic + "\n");
  EXPECT_EQ(m.Files, Files{Help});
  EXPECT_EQ(m.LicFile, Lic);
}

TEST_F(LoadManifestTest, NoEntryIsLostFromASectionWhoseKeysPassTheFirstBuffer) {
  // 3000 keys of 9 characters take 30000 characters of key list, well past 16384.
  std::string Text = "[files]\n";
  Files Expected;
  for (int i = 0; i < 3000; ++i) {
    char Key[16];
    snprintf(Key, sizeof Key, "file%05d", i);
    Text += std::string(Key) + "=dir\\" + Key + ".dat\n";
    Expected.push_back(std::string("dir\\") + Key + ".dat");
  }
  Text += "[info]\nmsgfile=last.txt\n";
  const TManifest m = Load(Text);
  EXPECT_EQ(m.Files, Expected);
  EXPECT_EQ(m.MsgFile, "last.txt");
}

TEST_F(LoadManifestTest, AFileThatCannotBeOpenedRaisesTheErrorWithItsQuotedPath) {
  const std::string Missing = Folder / "missing.sss";
  TManifest m;
  m.Files = {"stale"};
  try {
    LoadManifest(Missing, m);
    FAIL() << "no error raised";
  } catch (const EInstallerError& e) {
    const std::string Prefix = "Cannot open file \"" + Missing + "\". ";
    EXPECT_EQ(e.Message().substr(0, Prefix.size()), Prefix);
    EXPECT_GT(e.Message().size(), Prefix.size()) << "the system's reason is missing";
  }
  EXPECT_TRUE(m.Files.empty());
}

TEST_F(LoadManifestTest, AFileHeldOpenExclusivelyRaisesTheErrorToo) {
  const std::string Path = Folder / "held.inf";
  WriteBytes(Path, "[files]\n1=a.exe\n");
  HANDLE Held = CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(Held, INVALID_HANDLE_VALUE);
  TManifest m;
  EXPECT_THROW(LoadManifest(Path, m), EInstallerError);
  CloseHandle(Held);
}

}  // namespace
