#include "engine/InstallSequence.h"

bool RunInstallSequence(const TManifest& Manifest, TInstallSteps& Steps) {
  Steps.CreateFolders();
  const int Total = static_cast<int>(Manifest.Files.size()) + 2;

  Steps.ShowCounter(1, Total);
  if (!Manifest.LicFile.empty() && !Steps.InstallFile(Manifest.LicFile)) return false;
  Steps.ShowCounter(2, Total);
  if (!Manifest.MsgFile.empty() && !Steps.InstallFile(Manifest.MsgFile)) return false;

  if (Manifest.Files.empty()) {
    Steps.NothingToInstall();
    return false;
  }
  for (size_t i = 0; i < Manifest.Files.size(); ++i) {
    Steps.ShowCounter(static_cast<int>(i) + 3, Total);
    if (!Steps.InstallFile(Manifest.Files[i])) return false;
  }
  Steps.AllFilesInstalled(Total);
  if (!Steps.RegisterInstallation()) return false;

  Steps.CreateShortcuts();
  Steps.Pause();
  Steps.DeleteFirewallScript();
  return true;
}
