// The version grammar against the vectors that the publishing tool's tests read too.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "engine/Version.h"

namespace {

// The quoted text of a vector line, its \xNN escapes undone.
std::string Unescaped(std::string_view Quoted) {
  std::string Text;
  for (std::size_t i = 0; i < Quoted.size(); ++i) {
    if (Quoted[i] == '\\' && i + 3 < Quoted.size() && Quoted[i + 1] == 'x') {
      Text += static_cast<char>(std::stoi(std::string(Quoted.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      Text += Quoted[i];
    }
  }
  return Text;
}

std::string Parts(const TVersion& V) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%u.%u.%u.%u", V[0], V[1], V[2], V[3]);
  return Text;
}

TEST(VersionGrammar, MeetsTheSharedVectors) {
  std::ifstream Vectors(VELQUOR_VECTORS_DIR "/versions.txt", std::ios::binary);
  ASSERT_TRUE(Vectors) << "cannot read the vectors";
  int Count = 0;
  for (std::string Line; std::getline(Vectors, Line);) {
    if (Line.empty() || Line[0] == '#') continue;
    const std::size_t Close = Line.rfind('"');
    ASSERT_TRUE(Line[0] == '"' && Close > 0 && Close + 1 < Line.size()) << Line;
    const std::string Text = Unescaped(std::string_view(Line).substr(1, Close - 1));
    const std::string Expected = Line.substr(Close + 2);
    const std::optional<TVersion> Version = ParseVersion(Text);
    EXPECT_EQ(Version ? Parts(*Version) : "malformed", Expected) << Line;
    ++Count;
  }
  EXPECT_GT(Count, 30);
}

}  // namespace
