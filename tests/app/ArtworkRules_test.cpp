#include "app/ArtworkRules.h"

#include <gtest/gtest.h>

// The logo never larger than its place, the banner never enlarged where a set is large enough.
TEST(ArtworkRules, EachScalingTakesTheSetThatFitsIt) {
  struct {
    unsigned Dpi;
    int Logo, Banner;
  } const Cases[] = {{72, 100, 100},  {96, 100, 100},  {110, 100, 125}, {120, 125, 125},
                     {144, 150, 150}, {168, 150, 200}, {192, 200, 200}, {288, 200, 200}};
  for (const auto& c : Cases) {
    EXPECT_EQ(LogoScale(c.Dpi), c.Logo) << c.Dpi << " dpi";
    EXPECT_EQ(BannerScale(c.Dpi), c.Banner) << c.Dpi << " dpi";
  }
}
