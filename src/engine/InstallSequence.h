#pragma once
// The order of an installation after the manifest has been read, apart from the platform:
// the work folders, the two extra files, the listed files with the counter, then the registration
// that lets it be removed, the shortcut, the pause and the clean-up. TInstallManager supplies each
// step.

#include <string>

#include "engine/Manifest.h"

class TInstallSteps {
 public:
  virtual ~TInstallSteps() = default;
  virtual void CreateFolders() = 0;
  // The counter: Position of Total, from 1 to Total.
  virtual void ShowCounter(int Position, int Total) = 0;
  // Downloads one relative path into the install folder; false ends the run.
  virtual bool InstallFile(const std::string& RelativePath) = 0;
  // Every listed file has arrived.
  virtual void AllFilesInstalled(int Total) = 0;
  // Called when the manifest lists no file at all.
  virtual void NothingToInstall() = 0;
  // After the last file: what lets the installation be found and removed; false ends the run.
  virtual bool RegisterInstallation() = 0;
  virtual void CreateShortcuts() = 0;
  virtual void Pause() = 0;
  virtual void DeleteFirewallScript() = 0;
};

// True when every step up to the end was reached. The total counts both extra files, present
// or not; the first failed download ends the run at once.
bool RunInstallSequence(const TManifest& Manifest, TInstallSteps& Steps);
