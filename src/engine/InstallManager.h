#pragma once
// TInstallManager: one whole installation. Fetches the manifest from the install server, reads
// it, creates the install folder with its work folders, downloads the extra files and every
// listed file through one download session at a time, and finishes with the desktop shortcut.
// Needs COM on the calling thread. Lives for one Run.

#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/InstallRules.h"
#include "engine/Integrity.h"
#include "engine/InstallSequence.h"
#include "engine/ProgressView.h"
#include "engine/Version.h"
#include "net/URLDownload.h"
#include "win32/CheckedFile.h"
#include "win32/FileSystem.h"

class TInstallManager final : private TInstallSteps {
 public:
  // Works out the install folder from the registry; raises EInstallerError when
  // "ProgramFilesDir" is there but no string. Writes progress into the view that the installer
  // window registered (InstallProgressView).
  TInstallManager();
  // The same, writing progress into View.
  explicit TInstallManager(TProgressView& View);
  TInstallManager(const TInstallManager&) = delete;
  TInstallManager& operator=(const TInstallManager&) = delete;
  ~TInstallManager() override;

  // True only when the manifest was fetched and every step of the installation was reached.
  bool Run();
  // Why the last Run ended with false; Kind None after a success.
  const TInstallFailure& Failure() const { return Failure_; }
  const std::string& GetInstallDir() const { return InstallDir; }
  // Handed to every download session: how long a download may stop moving.
  DWORD StallTimeoutMs = kStallTimeoutMs;
  // The key install.inf must be signed with (the one the entry point registered, see
  // engine/Integrity.h); nullptr: unsigned payloads install, with the digests they list checked.
  const TEcdsaP256PublicPoint* PublicKey = ManifestPublicKey();
  // The room on the install folder's volume; tests hand in a volume of their own.
  std::function<std::optional<TVolumeRoom>(const std::wstring& Folder)> VolumeRoomOf = VolumeRoom;
  // Called with the path of the manifest's copy in the temporary folder once it is written there,
  // after the manifest was verified: where any program of the user could change it.
  std::function<void(const std::string& Path)> AfterManifestCopied;

  bool FetchManifest();
  void LoadManifest(const std::string& ManifestPath);
  bool InstallFiles();
  bool DownloadFile(const std::string& URL, const std::string& LocalFile);
  void CreateFolders() override;
  void CreateShortcuts() override;

  void HandleDownloadStart(TURLDownload* Sender, const std::string& URL);
  void HandleDownloadStop(TURLDownload* Sender);
  void HandleDownloadProgress(TURLDownload* Sender, ULONG ProgressMax, ULONG Progress,
                              const std::string& StatusText, bool& Cancel);

 private:
  // The steps of the install sequence that need the platform.
  void ShowCounter(int Position, int Total) override;
  bool InstallFile(const std::string& RelativePath) override;
  void AllFilesInstalled(int Total) override;
  void NothingToInstall() override;
  bool RegisterInstallation() override;
  void Pause() override;
  void DeleteFirewallScript() override;

  void FailDownload(const std::string& RelativePath);
  // Whether the copy at LocalFile already has Digest; the page then stands as after its download.
  // FinalPath: the final path it shows when it stands where it is meant, "" when not known.
  bool InstalledCopyIsCurrent(const std::wstring& LocalFile, const std::wstring& FinalPath,
                              const TSha256Digest& Digest);
  // A new session for URL, wired to this manager's handlers, in Session.
  TURLDownload& NewSession(const std::string& URL);
  bool Download(TURLDownload& File, const std::string& LocalFile);
  // The signature in the manifest's last line, or without one install.inf.sig fetched, checked
  // against the manifest's bytes; the failure's cause set when it does not hold.
  bool SignatureHolds(const std::string& Manifest);
  // The copy of the manifest a run has always left in the temporary folder, for nobody to read
  // back: made only where the user may create files and where it was meant to be, else left out.
  void KeepManifestCopy(const std::string& Manifest);
  // The verified manifest (with its signature's trailer) written beside the record it will
  // become, held, and read from there; the cause set when it can't be written.
  bool StageRecord(TBodySink& Record, const std::string& Manifest);
  // Whether the manifest's version may replace the installed one; the cause set when not.
  bool NotOlderThanInstalled();
  // Whether the install folder's volume has room for the run at its peak, when every file to
  // fetch has its size; the cause set when not.
  bool RoomForFiles();
  // The staged record moved over install.rec, and with a key its version made the bound.
  bool KeepRecord(TBodySink& Record);
  // install.lst: the list already there and every file this run may install, before any is
  // requested; the cause set when it can't be written.
  bool KeepInstalledList();
  // The running image, as held since start-up, as the uninstaller in the install folder (one that
  // a program holds is replaced at the restart); the cause set when it can't be.
  bool KeepUninstaller();
  // What a removal left to be deleted at the restart on this product's paths is cancelled, so
  // the restart does not take the files this run installs. Never ends the run.
  void KeepFilesAtRestart();
  // Bytes written to Name in the install folder as a download lands, open to whom AccessOf(Name)
  // says; the cause set when not.
  bool KeepFile(std::string_view Name, std::string_view Bytes, bool AtRestartWhenInUse = false);
  // After a refusal: the install folder and its parent, when this run made them and they are
  // empty again.
  void RemoveMadeFolders(bool MadeParent, bool MadeInstallDir);

  std::string LastFile;
  std::string InstallDir;
  std::string LicFile;
  std::string MsgFile;
  std::vector<std::string> Files;
  TSectionLines Sha256;                 // the manifest's [sha256] lines
  TSectionLines Sizes;                  // and its [size] lines
  std::string Version;                  // the manifest's [info] version, "" when none
  std::optional<std::string> Release;   // its [info] release, nothing when absent
  std::string Signature_;               // with a key: the manifest's signature, as verified
  std::vector<std::string> Installed_;  // install.lst as this run keeps it
  THeldFolder HeldInstallDir_;          // while the files are installed
  Microsoft::WRL::ComPtr<TURLDownload> Session;

  TProgressView& View_;
  std::string ThousandSeparator_;
  TInstallFailure Failure_;
};

// The install folder, ending in a backslash: Program Files, then "Harlune\VelquorManager\".
// Raises as GetProgramFilesDir does.
std::string InstallFolder();
// Whether File is the file Name in InstallDir, compared as files (volume and index), not by path.
bool IsInstalledFile(HANDLE File, const std::string& InstallDir, std::string_view Name);
// Whether Path, however written (other letter cases, trailing dots, "." segments, a short name),
// is one of the product's own files in InstallDir (engine/ProductFiles.h kOwnFiles).
bool IsProductFile(const std::wstring& Path, const std::wstring& InstallDir);
// "ProgramFilesDir" under HKEY_LOCAL_MACHINE, opened for reading only; "" when the key or the
// value can't be read. Raises EInstallerError for a value that is not a string.
std::string GetProgramFilesDir();
// Deletes the leftover "___addfirewall.bat" from the temporary folder; every failure ignored.
void DeleteFirewallScript();
