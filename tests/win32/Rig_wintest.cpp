// The rig itself: the code page the installer is made for, and a prefix that keeps every write
// inside the build tree.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "win32/Handle.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

namespace {

// A Linux folder as Wine's Z: drive shows it.
std::string OnDriveZ(std::string UnixPath) {
  for (char& c : UnixPath)
    if (c == '/') c = '\\';
  return "Z:" + UnixPath;
}

std::string EnvA(const char* Name) {
  char Buffer[MAX_PATH * 4] = {};
  GetEnvironmentVariableA(Name, Buffer, sizeof Buffer);
  return Buffer;
}

TEST(WineRig, AnsiCodePageIsKorean) {
  EXPECT_EQ(GetACP(), 949u);
  // A Hangul syllable takes two bytes in the ANSI form and comes back unchanged.
  EXPECT_EQ(WideToAnsi(L"\uAC00"), "\xB0\xA1");
  EXPECT_EQ(AnsiToWide("\xB0\xA1"), L"\uAC00");
}

// Wine links the desktop into $HOME; the rig makes it a folder of the prefix, as Windows has it,
// so that nothing reaches the real home folder and an elevated program may write there.
TEST(WineRig, DesktopIsAFolderOfThePrefix) {
  wchar_t Desktop[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, Desktop), S_OK);
  const std::string Marker = WideToAnsi(Desktop) + "\\rig-marker.txt";
  WriteBytes(Marker, "marker");

  const TFileHandle Folder(CreateFileW(Desktop, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  wchar_t Final[MAX_PATH] = {};
  ASSERT_TRUE(Folder);
  ASSERT_NE(GetFinalPathNameByHandleW(Folder.Get(), Final, MAX_PATH, 0), 0u);
  EXPECT_EQ(std::wstring(Final), L"\\\\?\\" + std::wstring(Desktop));

  const std::string RealHome = EnvA("VELQUOR_REAL_HOME");
  ASSERT_FALSE(RealHome.empty());
  EXPECT_FALSE(FileExistsA(OnDriveZ(RealHome + "/Desktop/rig-marker.txt")));
  EXPECT_FALSE(FileExistsA(OnDriveZ(RealHome + "/rig-marker.txt")));
  DeleteFileA(Marker.c_str());
}

}  // namespace
