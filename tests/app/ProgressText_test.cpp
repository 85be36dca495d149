#include "app/ProgressText.h"

#include <gtest/gtest.h>

namespace {

struct TPercentCase {
  double Min, Max, Position;
  int Percent;
};

class ProgressPercentRule : public testing::TestWithParam<TPercentCase> {};

TEST_P(ProgressPercentRule, ShowsTheRoundedShareOfTheRange) {
  const TPercentCase& c = GetParam();
  EXPECT_EQ(ProgressPercent(c.Min, c.Max, c.Position), c.Percent);
  EXPECT_EQ(ProgressText(c.Min, c.Max, c.Position), std::to_string(c.Percent) + " %");
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressPercentRule,
                         testing::Values(
                             // At creation: range 0 to 100, position 0.
                             TPercentCase{0, 100, 0, 0}, TPercentCase{0, 100, 100, 100},
                             TPercentCase{0, 3, 1, 33}, TPercentCase{0, 3, 2, 67},
                             // Halves go to the even neighbour.
                             TPercentCase{0, 200, 1, 0}, TPercentCase{0, 200, 3, 2},
                             TPercentCase{0, 200, 5, 2}, TPercentCase{0, 200, 7, 4},
                             TPercentCase{0, 8, 1, 12},
                             // The minimum shifts the range.
                             TPercentCase{10, 20, 15, 50},
                             // Never above 100, even past the maximum.
                             TPercentCase{0, 100, 250, 100}, TPercentCase{0, 0, 5, 100},
                             // A range narrower than 1 counts as 1: no division by zero.
                             TPercentCase{0, 0, 0, 0}, TPercentCase{5, 5, 5, 0},
                             TPercentCase{0, 0.5, 0.5, 50}, TPercentCase{7, 2, 7.25, 25},
                             // A position below the minimum does not read as a negative share.
                             TPercentCase{10, 20, 0, 0}),
                         [](const testing::TestParamInfo<TPercentCase>& Info) {
                           return "Case" + std::to_string(Info.index);
                         });

// A large file: byte counts far beyond int still give the right share.
TEST(ProgressPercent, LargeByteCounts) {
  EXPECT_EQ(ProgressPercent(0, 4294967295.0, 2147483648.0), 50);
}

}  // namespace
