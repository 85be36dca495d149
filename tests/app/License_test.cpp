// The licence text that the agreement page shows is our own; its shape is part of the window.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(LicenseText, HasOneHundredAndTwoLinesOfWhichTwentyAreBlank) {
  std::ifstream File(VELQUOR_LICENSE_FILE, std::ios::binary);
  ASSERT_TRUE(File) << VELQUOR_LICENSE_FILE;
  std::stringstream Bytes;
  Bytes << File.rdbuf();
  const std::string Text = Bytes.str();
  ASSERT_FALSE(Text.empty());
  EXPECT_EQ(Text.back(), '\n') << "the last line ends like the others";

  int Lines = 0, Blank = 0;
  std::istringstream Stream(Text);
  for (std::string Line; std::getline(Stream, Line);) {
    ++Lines;
    if (Line.find_first_not_of(" \t\r") == std::string::npos) ++Blank;
  }
  EXPECT_EQ(Lines, 102);
  EXPECT_EQ(Blank, 20);
  EXPECT_EQ(Text.rfind("Velquor 매니저 최종 사용자 사용권 계약서", 0), 0u) << "the title first";
}

}  // namespace
