// The rig itself: the code page the installer is made for, and a prefix that keeps every write
// inside the build tree.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

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

TEST(WineRig, DesktopResolvesInsideTheBuildTree) {
  wchar_t Desktop[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, Desktop), S_OK);
  const std::string Marker = WideToAnsi(Desktop) + "\\rig-marker.txt";
  WriteBytes(Marker, "marker");

  // The marker shows up in the rig's own home folder on the Linux side, not in the real one.
  const std::string RigHome = EnvA("VELQUOR_RIG_HOME");
  const std::string RealHome = EnvA("VELQUOR_REAL_HOME");
  ASSERT_FALSE(RigHome.empty());
  ASSERT_FALSE(RealHome.empty());
  EXPECT_TRUE(FileExistsA(OnDriveZ(RigHome + "/Desktop/rig-marker.txt")));
  EXPECT_FALSE(FileExistsA(OnDriveZ(RealHome + "/Desktop/rig-marker.txt")));
  EXPECT_FALSE(FileExistsA(OnDriveZ(RealHome + "/rig-marker.txt")));
  DeleteFileA(Marker.c_str());
}

}  // namespace
