#include "engine/ProgressDisplay.h"

#include <gtest/gtest.h>

namespace {

class FakeView final : public TProgressView {
 public:
  std::string AllFiles, CurrentFile;
  double CurrMax = -1, CurrPos = -1, AllMax = -1, AllPos = -1;
  int CurrentFileWrites = 0;

  void SetAllFilesText(const std::string& Text) override { AllFiles = Text; }
  void SetAllFilesBar(double Max, double Position) override { AllMax = Max, AllPos = Position; }
  std::string CurrentFileText() const override { return CurrentFile; }
  void SetCurrentFileText(const std::string& Text) override {
    CurrentFile = Text;
    ++CurrentFileWrites;
  }
  void SetCurrentFileBar(double Max, double Position) override {
    CurrMax = Max, CurrPos = Position;
  }
};

TEST(ProgressDisplay, TheSizeLabelWaitsForTheFirstKnownSizeThenStays) {
  FakeView v;
  v.CurrentFile = "from the previous file";
  ShowDownloadStart(v);
  EXPECT_EQ(v.CurrentFile, "");

  ShowDownloadProgress(v, 0, 0, ",");  // connecting
  ShowDownloadProgress(v, 0, 0, ",");  // request sent
  EXPECT_EQ(v.CurrentFile, "");
  ShowDownloadProgress(v, 1234567, 0, ",");
  EXPECT_EQ(v.CurrentFile, "1,234,567 Byte");
  ShowDownloadProgress(v, 2000000, 1000, ",");
  ShowDownloadProgress(v, 0, 1234567, ",");
  EXPECT_EQ(v.CurrentFile, "1,234,567 Byte");
  EXPECT_EQ(v.CurrentFileWrites, 2);  // the start's clearing and the one size
}

TEST(ProgressDisplay, TheBarFollowsEveryNotificationWithoutSign) {
  FakeView v;
  ShowDownloadStart(v);
  ShowDownloadProgress(v, 100, 0, ",");
  EXPECT_EQ(v.CurrMax, 100);
  EXPECT_EQ(v.CurrPos, 0);
  ShowDownloadProgress(v, 100, 100, ",");
  EXPECT_EQ(v.CurrPos, 100);
  ShowDownloadProgress(v, 0xFFFFFFFFu, 0x80000000u, ",");
  EXPECT_EQ(v.CurrMax, 4294967295.0);
  EXPECT_EQ(v.CurrPos, 2147483648.0);
}

}  // namespace
