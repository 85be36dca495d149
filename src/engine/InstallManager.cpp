#include "engine/InstallManager.h"

#include "engine/ProgressDisplay.h"
#include "net/dsInetUtils.h"
#include "shell/Shortcut.h"
#include "win32/Cng.h"
#include "win32/FileSystem.h"
#include "win32/Registry.h"
#include "win32/Text.h"

namespace {

constexpr std::string_view kBaseURL = "http://" VELQUOR_INSTALL_HOST "/program/manager/install/";
constexpr std::string_view kManifestName = "install.inf";
constexpr std::string_view kSignatureName = "install.inf.sig";
constexpr DWORD kNotFoundStatus = 404;
constexpr std::string_view kInstallSubDir = "Harlune\\VelquorManager\\";
constexpr std::string_view kWorkFolders[] = {"Log", "Update", "Report"};
constexpr std::string_view kProgramFile = "VelquorManager.exe";
constexpr std::string_view kShortcutDescription = "Harlune Velquor 매니저";  // UTF-8
constexpr std::string_view kManifestCopyExt = ".sss";
constexpr DWORD kPauseAfterShortcutMs = 1000;
constexpr std::string_view kFirewallScript = "___addfirewall.bat";

std::string UserThousandSeparator() {
  wchar_t Separator[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, Separator, 8) == 0) return ",";
  return WideToUtf8(Separator);
}

std::string SourceURL(const std::string& RelativePath) {
  return std::string(kBaseURL) + AnsiURLPath(RelativePath);
}

}  // namespace

TInstallManager::TInstallManager() : TInstallManager(InstallProgressView()) {}

TInstallManager::TInstallManager(TProgressView& View)
    : View_(View), ThousandSeparator_(UserThousandSeparator()) {
  InstallDir = GetProgramFilesDir();
  if (InstallDir.empty() || InstallDir.back() != '\\') InstallDir += '\\';
  InstallDir += kInstallSubDir;
}

TInstallManager::~TInstallManager() = default;

bool TInstallManager::Run() {
  Failure_ = {};
  return FetchManifest() && InstallFiles();
}

bool TInstallManager::FetchManifest() {
  const std::string ManifestCopy = MakeTempFileName(kManifestCopyExt);
  bool Arrived = false;
  if (!ManifestCopy.empty()) {
    TURLDownload& Manifest = NewSession(std::string(kBaseURL) + std::string(kManifestName));
    // A signed manifest is checked against its bytes as they arrived.
    Manifest.HashBody = PublicKey != nullptr;
    Arrived = Download(Manifest, ManifestCopy);
  }
  if (!Arrived) {
    FailDownload(std::string(kManifestName));
    return false;
  }
  // Copied: the signature's own session replaces the manifest's, and its digest with it.
  const std::string ManifestPath = LastFile;
  const std::optional<TSha256Digest> ManifestDigest = Session->Digest();
  TFileHandle Held;
  if (PublicKey) {
    // What is read is what was checked: nobody may write the copy until it has been read.
    Held.Reset(CreateFileA(ManifestPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!SignatureHolds(Held ? ManifestDigest : std::nullopt)) return false;
  }
  LoadManifest(ManifestPath);
  return true;
}

bool TInstallManager::SignatureHolds(const std::optional<TSha256Digest>& ManifestDigest) {
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
  if (Arrived && ManifestDigest &&
      VerifyEcdsaP256(*PublicKey, *ManifestDigest,
                      {reinterpret_cast<const std::uint8_t*>(Signature.data()), Signature.size()}))
    return true;
  Failure_ = {TInstallFailure::TKind::BadSignature, "", 0};
  return false;
}

void TInstallManager::LoadManifest(const std::string& ManifestPath) {
  TManifest Manifest;
  ::LoadManifest(ManifestPath, Manifest);
  Files = std::move(Manifest.Files);
  LicFile = std::move(Manifest.LicFile);
  MsgFile = std::move(Manifest.MsgFile);
  Sha256 = std::move(Manifest.Sha256);
}

bool TInstallManager::InstallFiles() {
  const TManifest Manifest{Files, LicFile, MsgFile, Sha256};
  return RunInstallSequence(Manifest, *this);
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
}

void TInstallManager::ShowCounter(int Position, int Total) {
  View_.SetAllFilesText(CounterText(Position, Total));
  View_.SetAllFilesBar(Total, Position - 1);
}

bool TInstallManager::InstallFile(const std::string& RelativePath) {
  const std::wstring Local = WideLocalPath(RelativePath);
  const std::wstring LocalFile = AnsiToWide(InstallDir) + Local;
  // A manifest entry must not write outside the install folder: nothing is requested for it.
  if (!IsInstallablePath(AsU16(Local)) || !IsInsideFolder(LocalFile, AnsiToWide(InstallDir))) {
    Failure_ = {TInstallFailure::TKind::BadPath, AnsiToUtf8(RelativePath), 0};
    return false;
  }
  // With a key, a file without its digest is refused before anything is requested for it.
  const TFileDigestCheck Check = DigestCheckOf(Sha256, RelativePath, PublicKey != nullptr);
  if (Check.Check == TDigestCheck::Refuse) {
    Failure_ = {TInstallFailure::TKind::Corrupt, AnsiToUtf8(RelativePath), 0};
    return false;
  }
  // The service needs the file's folder to exist; if this fails, the download fails and says so.
  ForceDirectories(LocalFile.substr(0, LocalFile.find_last_of(L'\\')));
  TURLDownload& File = NewSession(SourceURL(RelativePath));
  if (Check.Check == TDigestCheck::Compare) File.ExpectedDigest = Check.Digest;
  if (!Download(File, WideToAnsi(LocalFile))) {
    if (File.DigestMismatch())
      Failure_ = {TInstallFailure::TKind::Corrupt, AnsiToUtf8(RelativePath), 0};
    else
      FailDownload(RelativePath);
    return false;
  }
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

std::string GetProgramFilesDir() {
  // Reading is all it takes: asking for full access fails for a standard user, who would then
  // install into a folder at the drive's root.
  const TRegKey Key =
      OpenRegKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_READ);
  return ReadRegString(Key.Get(), "ProgramFilesDir");
}

void DeleteFirewallScript() {
  const std::string TempDir = GetTempDir();
  if (!TempDir.empty()) DeleteFileA((TempDir + std::string(kFirewallScript)).c_str());
}
