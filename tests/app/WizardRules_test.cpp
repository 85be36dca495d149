#include "app/WizardRules.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

constexpr int kProgress = 3;

struct PageCase {
  int Page;
  bool Ticked;
  TWizardButtons Expected;
  friend void PrintTo(const PageCase& c, std::ostream* os) {
    *os << "page " << c.Page << (c.Ticked ? ", ticked" : ", unticked");
  }
};

class WizardButtonsByPage : public testing::TestWithParam<PageCase> {};

TEST_P(WizardButtonsByPage, FollowThePage) {
  const PageCase& c = GetParam();
  const TWizardButtons b = WizardButtons(c.Page, kProgress, c.Ticked);
  EXPECT_EQ(b.PrevEnabled, c.Expected.PrevEnabled);
  EXPECT_EQ(b.NextEnabled, c.Expected.NextEnabled);
  EXPECT_EQ(b.FinishBoundToFinish, c.Expected.FinishBoundToFinish);
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardButtonsByPage,
                         testing::Values(PageCase{0, false, {false, true, false}},
                                         PageCase{0, true, {false, true, false}},
                                         PageCase{1, false, {true, false, false}},
                                         PageCase{1, true, {true, true, false}},
                                         PageCase{2, false, {true, true, false}},
                                         PageCase{2, true, {true, true, false}},
                                         PageCase{3, true, {false, false, false}},
                                         PageCase{4, true, {false, false, true}},
                                         PageCase{5, false, {false, false, true}}),
                         [](const testing::TestParamInfo<PageCase>& Info) {
                           return "Page" + std::to_string(Info.param.Page) +
                                  (Info.param.Ticked ? "Ticked" : "Unticked");
                         });

}  // namespace
