#include "engine/InstallManager.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/InstalledRecord.h"
#include "engine/ProductFiles.h"
#include "engine/ProgressDisplay.h"
#include "engine/Registration.h"
#include "engine/Removal.h"
#include "net/BodySink.h"
#include "net/FileDigest.h"
#include "net/dsInetUtils.h"
#include "shell/Shortcut.h"
#include "win32/CheckedFile.h"
#include "win32/Cng.h"
#include "win32/FileSystem.h"
#include "win32/Registry.h"
#include "win32/RunningImage.h"
#include "win32/Text.h"

namespace {

constexpr std::string_view kBaseURL = "http://" VELQUOR_INSTALL_HOST "/program/manager/install/";
constexpr DWORD kNotFoundStatus = 404;
constexpr std::string_view kInstallSubDir = "Harlune\\VelquorManager\\";
constexpr std::string_view kWorkFolders[] = {"Log", "Update", "Report"};
constexpr std::string_view kShortcutDescription = "Harlune Velquor 매니저";  // UTF-8
constexpr std::string_view kManifestCopyExt = ".sss";
constexpr DWORD kPauseAfterShortcutMs = 1000;
constexpr std::string_view kFirewallScript = "___addfirewall.bat";

std::string UserThousandSeparator() {
  wchar_t Separator[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, Separator, 8) == 0) return ",";
  return WideToUtf8(Separator);
}

// A release's files lie in its own folder, which never changes once published: a run fetches
// the release its manifest names, whatever the vendor publishes meanwhile.
std::string SourceURL(const std::optional<std::string>& Release, const std::string& RelativePath) {
  return std::string(kBaseURL) + Release.value_or("") + AnsiURLPath(RelativePath);
}

}  // namespace

TInstallManager::TInstallManager() : TInstallManager(InstallProgressView()) {}

TInstallManager::TInstallManager(TProgressView& View)
    : InstallDir(InstallFolder()), View_(View), ThousandSeparator_(UserThousandSeparator()) {}

TInstallManager::~TInstallManager() = default;

bool TInstallManager::Run() {
  Failure_ = {};
  StartLeftoverSweep();
  // What would become the uninstaller must be the program that runs: when that can't be proven,
  // nothing is asked of the server and nothing is written.
  if (!RunningImage()) {
    Failure_ = {TInstallFailure::TKind::UnprovenImage, "", 0};
    return false;
  }
  RemovePrivateLeftovers();
  return FetchManifest() && InstallFiles();
}

bool TInstallManager::FetchManifest() {
  // Held in memory, hashed and verified there, and never read back from the temporary folder,
  // which the user's programs control.
  std::string Manifest;
  TURLDownload& Fetch = NewSession(std::string(kBaseURL) + std::string(kManifestName));
  if (!Fetch.Fetch(Manifest, kMaxManifestSize)) {
    if (Manifest.size() > kMaxManifestSize)
      Failure_ = {TInstallFailure::TKind::Corrupt, std::string(kManifestName), 0};
    else
      FailDownload(std::string(kManifestName));
    return false;
  }
  if (PublicKey && !SignatureHolds(Manifest)) return false;
  KeepManifestCopy(Manifest);

  const std::wstring Dir = AnsiToWide(InstallDir);
  const std::wstring Parent = Dir.substr(0, Dir.find_last_of(L'\\', Dir.size() - 2) + 1);
  const bool MadeParent = !FolderExists(Parent), MadeInstallDir = !FolderExists(Dir);
  TBodySink Record;
  const bool Staged = StageRecord(Record, Manifest);
  if (Staged) LoadManifest(WideToAnsi(Record.BodyPath()));
  // Outside the grammar, a release could name another folder of the server or break the URL.
  const bool BadRelease = Staged && Release && !IsReleasePath(*Release);
  if (BadRelease) Failure_ = {TInstallFailure::TKind::Corrupt, std::string(kManifestName), 0};
  // A refused release leaves nothing behind.
  if (!Staged || BadRelease || !NotOlderThanInstalled() || !RoomForFiles()) {
    Record.Discard();
    RemoveMadeFolders(MadeParent, MadeInstallDir);
    return false;
  }
  if (!KeepRecord(Record) || !KeepInstalledList() || !KeepUninstaller()) return false;
  KeepFilesAtRestart();
  return true;
}

bool TInstallManager::SignatureHolds(const std::string& Manifest) {
  // Signed in its last line, the manifest is one file: no publish can fall between it and its
  // signature. Its bytes are verified as they came; a proxy that changed them fails here.
  const TInstalledRecordParts Parts = SplitInstalledRecord(Manifest);
  if (!Parts.Signature.empty() || Parts.StrayTrailer) {
    if (Parts.StrayTrailer || !VerifyEcdsaP256(*PublicKey, Parts.Manifest, Parts.Signature)) {
      Failure_ = {TInstallFailure::TKind::BadSignature, "", 0};
      return false;
    }
    Signature_ = Parts.Signature;
    return true;
  }
  TURLDownload& Fetch = NewSession(std::string(kBaseURL) + std::string(kSignatureName));
  std::string Signature;
  const bool Arrived = Fetch.Fetch(Signature, kEcdsaP256SignatureSize);
  // A missing or overlong signature is the signature's fault; a transfer that broke off is the
  // network's, and says so as any download does.
  const bool Refused =
      Fetch.HttpStatus() == kNotFoundStatus || Signature.size() > kEcdsaP256SignatureSize;
  if (!Arrived && !Refused) {
    FailDownload(std::string(kSignatureName));
    return false;
  }
  if (Arrived && VerifyEcdsaP256(*PublicKey, Manifest, Signature)) {
    Signature_ = std::move(Signature);
    return true;
  }
  Failure_ = {TInstallFailure::TKind::BadSignature, "", 0};
  return false;
}

void TInstallManager::KeepManifestCopy(const std::string& Manifest) {
  const std::string Copy = MakeTempFileName(kManifestCopyExt);
  if (Copy.empty() || !CreateUserFile(AnsiToWide(Copy), Manifest)) return;
  if (AfterManifestCopied) AfterManifestCopied(Copy);
}

void TInstallManager::LoadManifest(const std::string& ManifestPath) {
  TManifest Manifest;
  ::LoadManifest(ManifestPath, Manifest);
  Files = std::move(Manifest.Files);
  LicFile = std::move(Manifest.LicFile);
  MsgFile = std::move(Manifest.MsgFile);
  Sha256 = TSectionLines(std::move(Manifest.Sha256));
  Sizes = TSectionLines(std::move(Manifest.Sizes));
  Version = std::move(Manifest.Version);
  Release = std::move(Manifest.Release);
}

bool TInstallManager::InstallFiles() {
  // Held while its files are checked and installed, so that its final path, found once, stays
  // what each file's final path is compared with.
  HeldInstallDir_ = THeldFolder::Open(AnsiToWide(InstallDir));
  const TManifest Manifest{Files, LicFile, MsgFile};
  const bool Installed = RunInstallSequence(Manifest, *this);
  HeldInstallDir_ = THeldFolder();
  return Installed;
}

bool TInstallManager::DownloadFile(const std::string& URL, const std::string& LocalFile) {
  return Download(NewSession(URL), LocalFile);
}

TURLDownload& TInstallManager::NewSession(const std::string& URL) {
  LastFile.clear();
  // The new session's only counted reference is Session's; the previous session goes here.
  Session = new TURLDownload();
  Session->OnDownloadStart = TDownloadStartEvent(this, &TInstallManager::HandleDownloadStart);
  Session->OnDownloadStop = TDownloadStopEvent(this, &TInstallManager::HandleDownloadStop);
  Session->OnDownloadProgress =
      TDownloadProgressEvent(this, &TInstallManager::HandleDownloadProgress);
  Session->URL = URL;
  Session->StallTimeoutMs = StallTimeoutMs;
  return *Session.Get();
}

bool TInstallManager::Download(TURLDownload& File, const std::string& LocalFile) {
  if (!File.Download(LocalFile)) return false;
  LastFile = File.FileName();
  return true;
}

void TInstallManager::CreateFolders() {
  const std::wstring Dir = AnsiToWide(InstallDir);
  for (std::string_view Folder : kWorkFolders) ForceDirectories(Dir + AnsiToWide(Folder));
}

void TInstallManager::CreateShortcuts() {
  std::string LinkPath;
  CreateShortcut(InstallDir + std::string(kProgramFile), slDesktop, "", "", "",
                 Utf8ToAnsi(kShortcutDescription), LinkPath);
  // For the removal, which may run as another account and so read another desktop's value.
  if (!LinkPath.empty()) KeepShortcutPath(LinkPath);
}

void TInstallManager::ShowCounter(int Position, int Total) {
  View_.SetAllFilesText(CounterText(Position, Total));
  View_.SetAllFilesBar(Total, Position - 1);
}

bool TInstallManager::InstallFile(const std::string& RelativePath) {
  const std::wstring Local = WideLocalPath(RelativePath);
  const std::wstring LocalFile = AnsiToWide(InstallDir) + Local;
  // A manifest entry must not write outside the install folder, nor over the product's own
  // files however it names them: nothing is requested for it.
  if (!IsInstallablePath(AsU16(Local)) || !IsInsideFolder(LocalFile, AnsiToWide(InstallDir)) ||
      IsProductFile(LocalFile, AnsiToWide(InstallDir))) {
    Failure_ = {TInstallFailure::TKind::BadPath, AnsiToUtf8(RelativePath), 0};
    return false;
  }
  // With a key, a file without its digest and size is refused before anything is requested.
  const TFileDigestCheck Check = DigestCheckOf(Sha256, RelativePath, PublicKey != nullptr);
  const TFileSizeCheck Size = SizeCheckOf(Sizes, RelativePath, PublicKey != nullptr);
  if (Check.Check == TDigestCheck::Refuse || Size.Refuse) {
    Failure_ = {TInstallFailure::TKind::Corrupt, AnsiToUtf8(RelativePath), 0};
    return false;
  }
  // A killed run's bodies go, whether or not anything in this folder is fetched.
  SweepLeftovers(LocalFile);
  // A copy that already has the published digest needs nothing from the network: an update
  // fetches only what changed, and leaves alone the unchanged files a running program holds.
  if (Check.Check == TDigestCheck::Compare &&
      InstalledCopyIsCurrent(LocalFile,
                             HeldInstallDir_ ? HeldInstallDir_.FinalPath() + L'\\' + Local : L"",
                             Check.Digest))
    return true;
  // The service needs the file's folder to exist; if this fails, the download fails and says so.
  ForceDirectories(LocalFile.substr(0, LocalFile.find_last_of(L'\\')));
  TURLDownload& File = NewSession(SourceURL(Release, RelativePath));
  if (Check.Check == TDigestCheck::Compare) File.ExpectedDigest = Check.Digest;
  File.ExpectedSize = Size.Size;
  if (!Download(File, WideToAnsi(LocalFile))) {
    if (File.Damaged())
      Failure_ = {TInstallFailure::TKind::Corrupt, AnsiToUtf8(RelativePath), 0};
    else if (File.DiskFull())
      Failure_ = {TInstallFailure::TKind::DiskFull, AnsiToUtf8(RelativePath), 0};
    else if (File.TargetInUse())
      Failure_ = {TInstallFailure::TKind::InUse, AnsiToUtf8(RelativePath), 0};
    else if (File.PathRefused())
      Failure_ = {TInstallFailure::TKind::BadPath, AnsiToUtf8(RelativePath), 0};
    else
      FailDownload(RelativePath);
    return false;
  }
  return true;
}

bool TInstallManager::InstalledCopyIsCurrent(const std::wstring& LocalFile,
                                             const std::wstring& FinalPath,
                                             const TSha256Digest& Digest) {
  // A copy read long enough to be seen shows on the page as a download does, its size and how
  // far the read has come; every copy that is current leaves it as its download's end would.
  const auto Counted = [](ULONGLONG Bytes) {
    return static_cast<std::uint32_t>(std::min<ULONGLONG>(Bytes, UINT32_MAX));
  };
  bool Started = false;
  const auto Show = [&](ULONGLONG Read, ULONGLONG Size) {
    if (!std::exchange(Started, true)) ShowDownloadStart(View_);
    ShowDownloadProgress(View_, Counted(Size), Counted(Read), ThousandSeparator_);
  };
  const std::optional<ULONGLONG> Size = SizeWithDigest(LocalFile, Digest, Show, FinalPath);
  if (!Size) return false;
  Show(*Size, *Size);
  return true;
}

void TInstallManager::FailDownload(const std::string& RelativePath) {
  Failure_ = {TInstallFailure::TKind::Download, AnsiToUtf8(RelativePath),
              Session ? static_cast<int>(Session->HttpErrorStatus()) : 0,
              Session && Session->TimedOut()};
}

void TInstallManager::AllFilesInstalled(int Total) { View_.SetAllFilesBar(Total, Total); }

void TInstallManager::NothingToInstall() { Failure_ = {TInstallFailure::TKind::NoFiles, "", 0}; }

void TInstallManager::Pause() { Sleep(kPauseAfterShortcutMs); }

void TInstallManager::DeleteFirewallScript() { ::DeleteFirewallScript(); }

void TInstallManager::HandleDownloadStart(TURLDownload*, const std::string&) {
  ShowDownloadStart(View_);
}

void TInstallManager::HandleDownloadStop(TURLDownload*) {}

void TInstallManager::HandleDownloadProgress(TURLDownload*, ULONG ProgressMax, ULONG Progress,
                                             const std::string&, bool&) {
  ShowDownloadProgress(View_, ProgressMax, Progress, ThousandSeparator_);
}

std::string InstallFolder() {
  std::string Folder = GetProgramFilesDir();
  if (Folder.empty() || Folder.back() != '\\') Folder += '\\';
  return Folder + std::string(kInstallSubDir);
}

std::string GetProgramFilesDir() {
  // Reading is all it takes: asking for full access fails for a standard user, who would then
  // install into a folder at the drive's root.
  const TRegKey Key =
      OpenRegKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_READ);
  return ReadRegString(Key.Get(), "ProgramFilesDir");
}

void DeleteFirewallScript() {
  // Through a checked handle only: the user's programs decide where the folder resolves.
  const std::string TempDir = GetTempDir();
  if (!TempDir.empty()) DeleteUserFile(AnsiToWide(TempDir + std::string(kFirewallScript)));
}
