#include "engine/InstallSequence.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Records every step as a line, and fails the downloads it is told to.
class RecordingSteps final : public TInstallSteps {
 public:
  std::vector<std::string> Log;
  std::set<std::string> Failing;

  void CreateFolders() override { Log.push_back("folders"); }
  void ShowCounter(int Position, int Total) override {
    Log.push_back(std::to_string(Position) + " / " + std::to_string(Total));
  }
  bool InstallFile(const std::string& RelativePath) override {
    Log.push_back("get " + RelativePath);
    return Failing.count(RelativePath) == 0;
  }
  void AllFilesInstalled(int Total) override { Log.push_back("all " + std::to_string(Total)); }
  void NothingToInstall() override { Log.push_back("nothing"); }
  bool RegisterInstallation() override {
    Log.push_back("register");
    return !RegistrationFails;
  }
  bool RegistrationFails = false;
  void CreateShortcuts() override { Log.push_back("shortcut"); }
  void Pause() override { Log.push_back("pause"); }
  void DeleteFirewallScript() override { Log.push_back("cleanup"); }
};

using Lines = std::vector<std::string>;

TEST(RunInstallSequence, CountsBothExtrasAndEndsWithTheFinishingSteps) {
  RecordingSteps s;
  const TManifest m{{"a.exe", "Update\\b.dll"}, "lic.txt", "msg.txt"};
  EXPECT_TRUE(RunInstallSequence(m, s));
  EXPECT_EQ(s.Log, (Lines{"folders", "1 / 4", "get lic.txt", "2 / 4", "get msg.txt", "3 / 4",
                          "get a.exe", "4 / 4", "get Update\\b.dll", "all 4", "register",
                          "shortcut", "pause", "cleanup"}));
}

TEST(RunInstallSequence, AbsentExtrasStillPassTheirPlaceInTheCounter) {
  RecordingSteps s;
  EXPECT_TRUE(RunInstallSequence(TManifest{{"a.exe"}, "", ""}, s));
  EXPECT_EQ(s.Log, (Lines{"folders", "1 / 3", "2 / 3", "3 / 3", "get a.exe", "all 3", "register",
                          "shortcut", "pause", "cleanup"}));
}

TEST(RunInstallSequence, TheFirstFailedDownloadEndsTheRun) {
  RecordingSteps s;
  s.Failing = {"b.dll"};
  EXPECT_FALSE(RunInstallSequence(TManifest{{"a.exe", "b.dll", "c.dll"}, "", ""}, s));
  EXPECT_EQ(s.Log,
            (Lines{"folders", "1 / 5", "2 / 5", "3 / 5", "get a.exe", "4 / 5", "get b.dll"}));
}

TEST(RunInstallSequence, ARegistrationThatFailsEndsTheRunBeforeTheShortcut) {
  RecordingSteps s;
  s.RegistrationFails = true;
  EXPECT_FALSE(RunInstallSequence(TManifest{{"a.exe"}, "", ""}, s));
  EXPECT_EQ(s.Log, (Lines{"folders", "1 / 3", "2 / 3", "3 / 3", "get a.exe", "all 3", "register"}));
}

TEST(RunInstallSequence, AFailedExtraFileEndsTheRunBeforeTheList) {
  RecordingSteps s;
  s.Failing = {"lic.txt"};
  EXPECT_FALSE(RunInstallSequence(TManifest{{"a.exe"}, "lic.txt", "msg.txt"}, s));
  EXPECT_EQ(s.Log, (Lines{"folders", "1 / 3", "get lic.txt"}));
}

TEST(RunInstallSequence, AnEmptyListFetchesTheExtrasThenFails) {
  RecordingSteps s;
  EXPECT_FALSE(RunInstallSequence(TManifest{{}, "lic.txt", ""}, s));
  EXPECT_EQ(s.Log, (Lines{"folders", "1 / 2", "get lic.txt", "2 / 2", "nothing"}));
}

}  // namespace
