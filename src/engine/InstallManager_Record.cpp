// TInstallManager: what a run keeps beside the files it installs. The record of the release and
// the bound it sets, the room the release needs, the list of everything installed, and once the
// files are in, the uninstaller and the entry that lets Windows list and remove the product.

#include <windows.h>

#include <cstdint>
#include <unordered_set>

#include "engine/InstallManager.h"
#include "engine/InstalledList.h"
#include "engine/InstalledRecord.h"
#include "engine/ProductFiles.h"
#include "engine/Registration.h"
#include "engine/RestartOperations.h"
#include "net/BodySink.h"
#include "net/dsInetUtils.h"
#include "win32/FileSystem.h"
#include "win32/MessagePump.h"
#include "win32/RunningImage.h"
#include "win32/Text.h"

bool TInstallManager::StageRecord(TBodySink& Record, const std::string& Manifest) {
  // Made for the record when missing: only administrators write there.
  ForceDirectories(AnsiToWide(InstallDir));
  const std::string Bytes = InstalledRecord(Manifest, Signature_);
  if (Record.Open(AnsiToWide(InstallDir + std::string(kRecordName)), AccessOf(kRecordName)) &&
      Record.Write(Bytes.data(), static_cast<DWORD>(Bytes.size())) && Record.Hold())
    return true;
  using TKind = TInstallFailure::TKind;
  Failure_ = {Record.DiskFull() ? TKind::DiskFull : TKind::Download, std::string(kRecordName), 0};
  return false;
}

bool TInstallManager::NotOlderThanInstalled() {
  // Only a verified manifest tells which release it is.
  if (!PublicKey) return true;
  const TInstalledBound Installed = ReadInstalledBound(InstallDir, *PublicKey);
  using TRead = TInstalledBound::TRead;
  if (Installed.Read == TRead::None) return true;
  if (Installed.Read == TRead::Unreadable) {
    // Whoever can keep the record from being read must not lift the bound by it.
    Failure_ = {TInstallFailure::TKind::InstalledUnknown, "", 0};
    return false;
  }
  const std::optional<TVersion> Offered = ParseVersion(Version);
  if (Offered && *Offered >= Installed.Version) return true;
  Failure_ = {TInstallFailure::TKind::Older, AnsiToUtf8(Version), 0};
  return false;
}

bool TInstallManager::RoomForFiles() {
  const std::vector<std::string> Listed = FilesOf({Files, LicFile, MsgFile});
  const std::wstring Dir = AnsiToWide(InstallDir);
  std::vector<TFileRoom> Room;
  std::uint64_t ListBytes = FileSizeOf(Dir + Utf8ToWide(kListName));
  TKeepAnswering Answering;
  for (const std::string& Path : Listed) {
    Answering.Tick();
    const std::optional<std::uint64_t> Size = SizeCheckOf(Sizes, Path, false).Size;
    // Without every size there is nothing to go by: the run finds out as it goes, as before.
    if (!Size) return true;
    const std::wstring Local = WideLocalPath(Path);
    Room.push_back({*Size, FileSizeOf(Dir + Local)});
    ListBytes += Local.size() * 3 + 2;  // at most three bytes of UTF-8 a character, CR LF
  }
  // What the product keeps beside them; the record stands already.
  LARGE_INTEGER ImageSize = {};
  if (RunningImage()) GetFileSizeEx(RunningImage(), &ImageSize);
  Room.push_back({ListBytes, FileSizeOf(Dir + Utf8ToWide(kListName))});
  Room.push_back({static_cast<std::uint64_t>(ImageSize.QuadPart),
                  FileSizeOf(Dir + Utf8ToWide(kUninstallerName))});
  const std::optional<TVolumeRoom> Volume = VolumeRoomOf(Dir);
  if (!Volume) return true;
  const std::uint64_t Needed = RoomNeeded(Room, Volume->Cluster);
  if (Needed <= Volume->Free) return true;
  Failure_ = {TInstallFailure::TKind::NoRoom, ByteSizeText(Needed, ThousandSeparator_), 0, false,
              ByteSizeText(Volume->Free, ThousandSeparator_)};
  return false;
}

bool TInstallManager::KeepRecord(TBodySink& Record) {
  using TKind = TInstallFailure::TKind;
  // Any local account may hold the record open: it then stays as it was, and the bound below
  // carries the release.
  if (!Record.Commit() && !Record.TargetInUse()) {
    Failure_ = {TKind::Download, std::string(kRecordName), 0};
    return false;
  }
  // The bound runs with the record, ahead of the files: it only refuses older releases.
  if (PublicKey && ParseVersion(Version) && !WriteInstalledBound(Version)) {
    Failure_ = {TKind::InstalledUnknown, "", 0};
    return false;
  }
  return true;
}

bool TInstallManager::KeepInstalledList() {
  // Every file this run may install, so that a run that fails halfway is removable too; what
  // earlier releases installed stays listed, as nothing removes it but the uninstaller.
  TKeepAnswering Answering;
  std::vector<std::string> Added;
  for (const std::string& Path : FilesOf({Files, LicFile, MsgFile})) {
    Answering.Tick();
    const std::wstring Local = WideLocalPath(Path);
    if (IsInstallablePath(AsU16(Local))) Added.push_back(WideToUtf8(Local));
  }
  for (std::string_view Own : {kRecordName, kUninstallerName, kListName}) Added.emplace_back(Own);
  // An earlier build's record of its release.
  for (std::string_view Pair : {kManifestName, kSignatureName})
    if (GetFileAttributesA((InstallDir + std::string(Pair)).c_str()) != INVALID_FILE_ATTRIBUTES)
      Added.emplace_back(Pair);
  // Read whole, or not at all: a list that lost the files of earlier releases could no longer
  // remove them.
  std::string Text;
  if (ReadWholeFile(AnsiToWide(InstallDir + std::string(kListName)), kMaxListSize, Text) ==
      TFileRead::Failed) {
    const bool Held = GetLastError() == ERROR_SHARING_VIOLATION;
    using TKind = TInstallFailure::TKind;
    Failure_ = {Held ? TKind::InUse : TKind::Download, std::string(kListName), 0};
    return false;
  }
  Installed_ = InstalledListUnion(ParseInstalledList(Text), Added, [&] { Answering.Tick(); });
  return KeepFile(kListName, InstalledListText(Installed_));
}

bool TInstallManager::KeepFile(std::string_view Name, std::string_view Bytes,
                               bool AtRestartWhenInUse) {
  TBodySink Sink;
  if (Sink.Open(AnsiToWide(InstallDir + std::string(Name)), AccessOf(Name)) &&
      Sink.Write(Bytes.data(), static_cast<DWORD>(Bytes.size())) && Sink.Commit(AtRestartWhenInUse))
    return true;
  using TKind = TInstallFailure::TKind;
  Failure_ = {Sink.TargetInUse() ? TKind::InUse
              : Sink.DiskFull()  ? TKind::DiskFull
                                 : TKind::Download,
              std::string(Name), 0};
  return false;
}

bool TInstallManager::RegisterInstallation() {
  std::uint64_t Size = 0;
  for (const std::string& Path : Installed_)
    Size += FileSizeOf(AnsiToWide(InstallDir) + Utf8ToWide(Path));
  // An installation that Windows cannot list and remove is not complete.
  if (WriteUninstallEntry({InstallDir, ParseVersion(Version) ? Version : "", Size})) return true;
  Failure_ = {TInstallFailure::TKind::Unregistered, "", 0};
  return false;
}

bool TInstallManager::KeepUninstaller() {
  // The image this process runs, as held since start-up: its path may have been refilled with
  // another file since the elevation prompt showed this one, its held file cannot.
  const HANDLE Image = RunningImage();
  // The installed uninstaller itself runs this update: it is in place already.
  if (Image && IsInstalledFile(Image, InstallDir, kUninstallerName)) return true;
  std::string Bytes;
  if (!ReadRunningImage(Bytes, kMaxImageSize)) {
    Failure_ = {TInstallFailure::TKind::Download, std::string(kUninstallerName), 0};
    return false;
  }
  // Users may run the uninstaller, so any of them can hold it: the old one then serves until the
  // restart replaces it.
  return KeepFile(kUninstallerName, Bytes, true);
}

void TInstallManager::KeepFilesAtRestart() {
  // A removal marks a file it could not delete by its own path; this run's file of that path
  // must not go when the computer restarts. Either form of the folder may be marked.
  const std::wstring Dir = AnsiToWide(InstallDir);
  std::vector<std::wstring> Forms;
  for (std::wstring Form : {LongPathForm(Dir), ShortPathForm(Dir)}) {
    if (Form.empty()) continue;
    if (Form.back() != L'\\') Form += L'\\';
    Forms.push_back(UpperCase(std::move(Form)));
  }
  // This run's files, as keys relative to the folder: made only once a deletion under the
  // folder is found, which is seldom.
  std::unordered_set<std::wstring> Ours;
  const auto OurKeys = [&]() -> const std::unordered_set<std::wstring>& {
    if (!Ours.empty()) return Ours;
    TKeepAnswering Answering;
    std::vector<std::string> Listed = FilesOf({Files, LicFile, MsgFile});
    for (std::string_view Own : kOwnFiles) Listed.emplace_back(Own);
    const std::wstring Base = FullPathName(Dir);
    for (const std::string& Path : Listed) {
      Answering.Tick();
      // Canonical, as the restart's entry was made: "." segments and trailing dots gone.
      const std::wstring Full = FullPathName(Dir + WideLocalPath(Path));
      if (Full.size() > Base.size() && Full.starts_with(Base))
        Ours.insert(UpperCase(Full.substr(Base.size())));
    }
    return Ours;
  };
  CancelRestartDeletions([&](std::u16string_view Deleted) {
    const std::wstring Path = UpperCase(std::wstring(AsWide(Deleted)));
    for (const std::wstring& Form : Forms)
      if (Path.starts_with(Form) && OurKeys().contains(Path.substr(Form.size()))) return true;
    return false;
  });
}

void TInstallManager::RemoveMadeFolders(bool MadeParent, bool MadeInstallDir) {
  const std::wstring Dir = AnsiToWide(InstallDir);
  if (MadeInstallDir) RemoveDirectoryW(Dir.c_str());
  if (MadeParent) RemoveDirectoryW(Dir.substr(0, Dir.find_last_of(L'\\', Dir.size() - 2)).c_str());
}

bool IsProductFile(const std::wstring& Path, const std::wstring& InstallDir) {
  const std::wstring Full = FullPathName(Path), Dir = FullPathName(InstallDir);
  if (Full.size() <= Dir.size() || Dir.back() != L'\\' ||
      CompareStringOrdinal(Full.c_str(), static_cast<int>(Dir.size()), Dir.c_str(),
                           static_cast<int>(Dir.size()), TRUE) != CSTR_EQUAL)
    return false;
  // The product keeps its files at the top of the folder.
  const std::wstring Name = Full.substr(Dir.size());
  if (Name.find(L'\\') != std::wstring::npos) return false;
  for (std::string_view Own : kOwnFiles)
    if (CompareStringOrdinal(Name.c_str(), -1, Utf8ToWide(Own).c_str(), -1, TRUE) == CSTR_EQUAL)
      return true;
  // A short name ("INSTAL~1.LST") names its file only on disk: there the two are compared as
  // files. Every short name has a tilde.
  if (Name.find(L'~') == std::wstring::npos) return false;
  const TFileHandle Listed = OpenForComparing(Full);
  if (!Listed) return false;
  for (std::string_view Own : kOwnFiles) {
    const TFileHandle File = OpenForComparing(Dir + Utf8ToWide(Own));
    if (File && SameFile(Listed.Get(), File.Get())) return true;
  }
  return false;
}

bool IsInstalledFile(HANDLE File, const std::string& InstallDir, std::string_view Name) {
  const TFileHandle Installed = OpenForComparing(AnsiToWide(InstallDir + std::string(Name)));
  return Installed && SameFile(File, Installed.Get());
}
