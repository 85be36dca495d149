#pragma once
// What a removal does, in order, and how it ends: the files and folders to delete, the exit code
// and the closing text.

#include <string>
#include <string_view>
#include <vector>

// Windows Installer's codes, which deployment tools already read.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRestartRequired = 3010;
inline constexpr int kExitUserCancelled = 1602;
inline constexpr int kExitFailed = 1603;
inline constexpr int kExitAnotherSetupRuns = 1618;
inline constexpr int kExitBadCommandLine = 1639;

// Paths relative to the install folder, in local form. The install folder itself and its parent
// are never in a plan: the caller removes those last.
struct TRemovalPlan {
  std::vector<std::u16string> Files;    // to delete, in list order
  std::vector<std::u16string> Skipped;  // listed but able to leave the install folder: left alone
  std::vector<std::u16string> Folders;  // to remove when empty, each before its parents
};

// Files: each listed path that IsInstallablePath accepts; Skipped: each it refuses; both in list
// order, a path repeated (ASCII case and separators aside) once. Folders: every folder that holds
// one of Files, deepest first (ties in the order first met), then Log, Update and Report, the
// work folders the install makes, unless already there. A folder is named by its segments joined
// with '\'; segments that name the folder they are in ("", ".") are left out.
TRemovalPlan PlanRemoval(const std::vector<std::u16string>& Listed);

struct TRemovalOutcome {
  bool Failed = false;        // something listed is still there and will not go by itself
  bool AtRestart = false;     // something goes only when Windows restarts
  bool FolderKept = false;    // the install folder still holds files we did not put there
  bool NotInstalled = false;  // nothing was there to remove
};

// kExitFailed, else kExitRestartRequired when something waits for the restart, else kExitSuccess.
int RemovalExitCode(const TRemovalOutcome& Outcome);

// The closing message, UTF-8, lines joined by CR LF.
std::string RemovalMessage(const TRemovalOutcome& Outcome);

inline constexpr std::string_view kConfirmRemovalText = "Velquor 매니저를 제거하겠습니까?";
inline constexpr std::string_view kSetupRunningText =
    "Velquor 매니저 설치가 진행 중입니다. 끝난 뒤에 다시 시도해 주세요.";
