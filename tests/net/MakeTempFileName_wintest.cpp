#include <windows.h>

#include <gtest/gtest.h>

#include "net/dsInetUtils.h"
#include "win32/TestFiles.h"

namespace {

// The real temporary folder, counting requests; it can take a candidate's name itself, as
// another process might, right after the placeholder is made.
class TObservedTempFolder final : public TSystemTempFolder {
 public:
  std::vector<std::string> Placeholders;
  std::string TakeWithExt;  // when not empty: the first candidate is created before the check

  std::string NewPlaceholder() override {
    std::string Name = TSystemTempFolder::NewPlaceholder();
    Placeholders.push_back(Name);
    if (!TakeWithExt.empty() && Placeholders.size() == 1 && !Name.empty())
      WriteBytes(ChangeFileExt(Name, TakeWithExt), "taken");
    return Name;
  }
};

std::string Stem(const std::string& Placeholder) { return ChangeFileExt(Placeholder, ""); }

class MakeTempFileNameTest : public testing::Test {
 protected:
  // Each test in a fresh temporary folder of its own, so the leftovers can be counted.
  TTestFolder Folder;
  TScopedEnv TmpVariable{"TMP", Folder.Path().c_str()};
  TScopedEnv TempVariable{"TEMP", Folder.Path().c_str()};

  int FilesInFolder() {
    WIN32_FIND_DATAA Data;
    HANDLE Find = FindFirstFileA((Folder.Path() + "*").c_str(), &Data);
    int Count = 0;
    if (Find == INVALID_HANDLE_VALUE) return 0;
    do {
      if (!(Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++Count;
    } while (FindNextFileA(Find, &Data));
    FindClose(Find);
    return Count;
  }
};

TEST_F(MakeTempFileNameTest, NamesAFreeFileBesideAnEmptyPlaceholder) {
  TObservedTempFolder Temp;
  const std::string Name = MakeTempFileName(".sss", Temp);
  ASSERT_EQ(Temp.Placeholders.size(), 1u);
  const std::string& Placeholder = Temp.Placeholders[0];

  // <temp folder>~<hex>.tmp becomes <temp folder>~<hex>.sss
  ASSERT_EQ(Placeholder.rfind(Folder.Path() + "~", 0), 0u) << Placeholder;
  ASSERT_EQ(Placeholder.substr(Placeholder.size() - 4), ".tmp");
  const std::string Hex =
      Placeholder.substr(Folder.Path().size() + 1, Placeholder.size() - Folder.Path().size() - 5);
  EXPECT_FALSE(Hex.empty());
  EXPECT_EQ(Hex.find_first_not_of("0123456789ABCDEFabcdef"), std::string::npos) << Hex;
  EXPECT_EQ(Name, Stem(Placeholder) + ".sss");

  EXPECT_FALSE(FileExistsA(Name));
  ASSERT_TRUE(FileExistsA(Placeholder));
  EXPECT_EQ(ReadBytes(Placeholder), "");
  EXPECT_EQ(FilesInFolder(), 1);
}

TEST_F(MakeTempFileNameTest, TheSystemBindingUsesTheUsersTemporaryFolder) {
  const std::string Name = MakeTempFileName(".sss");
  EXPECT_EQ(Name.rfind(Folder.Path() + "~", 0), 0u) << Name;
  EXPECT_TRUE(FileExistsA(ChangeFileExt(Name, ".tmp")));
}

TEST_F(MakeTempFileNameTest, TakesTheExtensionAsItIs) {
  TObservedTempFolder Temp;
  const std::string WithoutDot = MakeTempFileName("sss", Temp);
  const std::string WithoutExt = MakeTempFileName("", Temp);
  ASSERT_EQ(Temp.Placeholders.size(), 2u);
  EXPECT_EQ(WithoutDot, Stem(Temp.Placeholders[0]) + "sss");
  EXPECT_EQ(WithoutExt, Stem(Temp.Placeholders[1]));
  EXPECT_EQ(FilesInFolder(), 2);
}

TEST_F(MakeTempFileNameTest, ATakenCandidateGivesASecondPlaceholder) {
  TObservedTempFolder Temp;
  Temp.TakeWithExt = ".sss";
  const std::string Name = MakeTempFileName(".sss", Temp);
  ASSERT_EQ(Temp.Placeholders.size(), 2u);
  EXPECT_NE(Temp.Placeholders[0], Temp.Placeholders[1]);
  EXPECT_EQ(Name, Stem(Temp.Placeholders[1]) + ".sss");
  EXPECT_TRUE(FileExistsA(Temp.Placeholders[0]));
  EXPECT_TRUE(FileExistsA(Temp.Placeholders[1]));
  EXPECT_FALSE(FileExistsA(Name));
}

TEST_F(MakeTempFileNameTest, AFolderOfTheCandidatesNameDoesNotCount) {
  TObservedTempFolder Probe;
  const std::string First = MakeTempFileName(".dir", Probe);
  ASSERT_TRUE(CreateDirectoryA(First.c_str(), nullptr));
  TSystemTempFolder System;
  EXPECT_FALSE(System.FileExists(First));
  EXPECT_TRUE(System.FileExists(Probe.Placeholders[0]));
}

TEST_F(MakeTempFileNameTest, AnUnusableTemporaryFolderEndsAtOnceWithAnEmptyName) {
  TScopedEnv MissingTmp("TMP", "C:\\no such folder\\really not\\");
  TScopedEnv MissingTemp("TEMP", "C:\\no such folder\\really not\\");
  TObservedTempFolder Temp;
  EXPECT_EQ(MakeTempFileName(".sss", Temp), "");
  EXPECT_EQ(Temp.Placeholders, std::vector<std::string>{""});
  EXPECT_EQ(MakeTempFileName(".sss"), "");
}

}  // namespace
