#include "engine/Removal.h"

#include <windows.h>

#include <set>
#include <vector>

#include "base/Cp949.h"
#include "engine/InstallManager.h"
#include "engine/InstalledList.h"
#include "engine/InstalledRecord.h"
#include "engine/Manifest.h"
#include "engine/ProductFiles.h"
#include "engine/Registration.h"
#include "engine/RestartOperations.h"
#include "net/BodySink.h"
#include "net/dsInetUtils.h"
#include "shell/Shortcut.h"
#include "win32/CheckedFile.h"
#include "win32/FileSystem.h"
#include "win32/Text.h"

namespace {

constexpr std::size_t kMaxShortcutSize = 1 << 20;
// How long the uninstaller that ran the removal may take to let go of its file.
constexpr DWORD kUninstallerGoneMs = 5000;
constexpr DWORD kRetryMs = 200;

enum class TGone { Removed, AtRestart, Stays, Failed };

std::wstring FolderOf(const std::wstring& Path) {
  return Path.substr(0, Path.find_last_of(L'\\') + 1);
}

// One installed file, through a checked handle only: never through a link, never a file with
// other names. A file in use goes when Windows restarts. With Aside, the file is the uninstaller
// that runs this removal, which can't be deleted while it runs: it is renamed aside (its new
// path stored there) for its caller to delete once it has ended.
TGone RemoveFile(const std::wstring& Path, std::wstring* Aside = nullptr) {
  TCheckedFile File = TCheckedFile::OpenExisting(Path, 0);
  switch (File.Result()) {
    case TCheckedFile::TOpen::Missing:
      return TGone::Removed;
    case TCheckedFile::TOpen::Elsewhere:
      return TGone::Stays;
    case TCheckedFile::TOpen::Failed:
      // Held without leave to delete it, it cannot even be renamed.
      if (File.Error() == ERROR_SHARING_VIOLATION || File.Error() == ERROR_LOCK_VIOLATION)
        return DeleteAtRestart(Path) ? TGone::AtRestart : TGone::Failed;
      return TGone::Failed;
    case TCheckedFile::TOpen::Opened:
      break;
  }
  if (!Aside && File.Delete()) return TGone::Removed;
  // A running program's file cannot be deleted, but renamed: aside under a temporary body's
  // name, so that a reinstall before the restart keeps the new file, and a later run sweeps it.
  for (int Try = 0; Try < 8; ++Try) {
    const std::wstring Name = FolderOf(Path) + RandomFileName(L"~vq", L".tmp", 4);
    if (!File.Rename(Name)) continue;
    if (Aside) {
      *Aside = Name;
      return TGone::Removed;
    }
    File.Close();
    return DeleteAtRestart(Name) ? TGone::AtRestart : TGone::Failed;
  }
  File.Close();
  return DeleteAtRestart(Path) ? TGone::AtRestart : TGone::Failed;
}

// What an earlier build installed, which kept no list: the files of its kept manifest and the
// manifest itself with its signature.
std::vector<std::string> ListOfEarlierBuild(const std::string& InstallDir) {
  std::vector<std::string> Listed = {std::string(kManifestName), std::string(kSignatureName)};
  TManifest Kept;
  try {
    LoadManifest(InstallDir + std::string(kManifestName), Kept);
  } catch (const std::exception&) {
    return Listed;
  }
  for (const std::string& File : FilesOf(Kept)) Listed.push_back(File);
  for (std::string& Path : Listed) Path = WideToUtf8(WideLocalPath(Path));
  return Listed;
}

// The shortcut at the path kept at installation, when it still leads to the program.
void RemoveShortcut(const std::string& InstallDir) {
  const std::string Link = KeptShortcutPath();
  if (Link.empty()) return;
  const std::wstring Path = AnsiToWide(Link);
  if (!IsUsersOwnFolder(FolderOf(Path))) return;
  TCheckedFile File = TCheckedFile::OpenExisting(Path, GENERIC_READ);
  std::string Bytes;
  if (File && File.ReadAll(Bytes, kMaxShortcutSize) &&
      IsShortcutTo(Bytes, InstallDir + std::string(kProgramFile)))
    File.Delete();
}

bool HoldsAnythingBut(const std::wstring& Folder, const std::wstring& Name) {
  WIN32_FIND_DATAW Data;
  const TFindHandle Find(FindFirstFileW((Folder + L"*").c_str(), &Data));
  if (!Find) return false;
  do {
    const std::wstring Found = Data.cFileName;
    if (Found != L"." && Found != L".." &&
        CompareStringOrdinal(Found.c_str(), -1, Name.c_str(), -1, TRUE) != CSTR_EQUAL)
      return true;
  } while (FindNextFileW(Find.Get(), &Data));
  return false;
}

void RemoveInstallFolder(const std::wstring& Dir) {
  RemoveDirectoryW(Dir.c_str());
  RemoveDirectoryW(Dir.substr(0, Dir.find_last_of(L'\\', Dir.size() - 2)).c_str());
}

// The files the product keeps beside what it installed, but for its list and its uninstaller.
constexpr std::string_view kRecords[] = {kRecordName, kManifestName, kSignatureName};

}  // namespace

TRemovalOutcome RemoveProduct(const std::string& InstallDir, std::wstring* UninstallerAside) {
  TRemovalOutcome Outcome;
  if (UninstallerAside) UninstallerAside->clear();
  const std::wstring Dir = AnsiToWide(InstallDir);
  const std::wstring ListPath = Dir + Utf8ToWide(kListName);
  std::string Text;
  const TFileRead List = ReadWholeFile(ListPath, kMaxListSize, Text);
  if (List == TFileRead::Failed) {
    Outcome.Failed = true;
    return Outcome;
  }
  if (List == TFileRead::Missing && !FolderExists(Dir)) {
    // A stale entry of an installation that is gone.
    RemoveProductKey();
    Outcome.Failed = !RemoveUninstallEntry();
    Outcome.NotInstalled = !Outcome.Failed;
    return Outcome;
  }
  std::vector<std::u16string> Listed;
  for (const std::string& Path :
       List == TFileRead::Read ? ParseInstalledList(Text) : ListOfEarlierBuild(InstallDir))
    Listed.push_back(AsU16(Utf8ToWide(Path)));
  const TRemovalPlan Plan = PlanRemoval(Listed);
  const auto Note = [&](TGone Gone) {
    Outcome.AtRestart |= Gone == TGone::AtRestart;
    Outcome.Failed |= Gone == TGone::Failed;
  };
  for (const std::u16string& File : Plan.Files) {
    const std::wstring Path = Dir + AsWide(File);
    // The path rules passed; the full path must still lie inside. The product's own files go
    // after all others, however the list names them: the list must outlive every file it names.
    if (IsInsideFolder(Path, Dir) && !IsProductFile(Path, Dir)) Note(RemoveFile(Path));
  }
  // The bodies a killed run left where the product's files were.
  std::vector<std::wstring> Folders = {Dir};
  for (const std::u16string& Folder : Plan.Folders) Folders.push_back(Dir + AsWide(Folder) + L'\\');
  for (const std::wstring& Folder : Folders) {
    WIN32_FIND_DATAW Data;
    const TFindHandle Find(FindFirstFileW((Folder + L"~vq*.tmp").c_str(), &Data));
    if (!Find) continue;
    do {
      if (IsTemporaryBodyName(Data.cFileName)) Note(RemoveFile(Folder + Data.cFileName));
    } while (FindNextFileW(Find.Get(), &Data));
  }
  // A removal that could not finish stays removable: its list and its entry are kept.
  if (Outcome.Failed) return Outcome;
  for (std::string_view Record : kRecords) Note(RemoveFile(Dir + Utf8ToWide(Record)));
  const std::wstring Uninstaller = Dir + Utf8ToWide(kUninstallerName);
  Note(RemoveFile(Uninstaller, UninstallerAside));
  if (Outcome.Failed) return Outcome;
  Note(RemoveFile(ListPath));
  for (const std::u16string& Folder : Plan.Folders)
    RemoveDirectoryW(ExtendedPath(Dir + AsWide(Folder)).c_str());
  if (!UninstallerAside || UninstallerAside->empty()) RemoveInstallFolder(Dir);
  RemoveShortcut(InstallDir);
  Outcome.Failed |= !RemoveProductKey();
  Outcome.Failed |= !RemoveUninstallEntry();
  const std::wstring Aside = UninstallerAside ? *UninstallerAside : std::wstring();
  Outcome.FolderKept =
      FolderExists(Dir) && HoldsAnythingBut(Dir, Aside.substr(Aside.find_last_of(L'\\') + 1));
  return Outcome;
}

void RemoveUninstallerAfterwards(const std::string& InstallDir, const std::wstring& Aside) {
  for (DWORD Waited = 0; !Aside.empty(); Waited += kRetryMs) {
    TCheckedFile File = TCheckedFile::OpenExisting(Aside, 0);
    if (File.Result() == TCheckedFile::TOpen::Missing || (File && File.Delete())) break;
    if (Waited >= kUninstallerGoneMs) {
      DeleteAtRestart(Aside);
      break;
    }
    Sleep(kRetryMs);
  }
  RemoveInstallFolder(AnsiToWide(InstallDir));
}

void RemovePrivateLeftovers() {
  const std::wstring Root = UpperCase(PrivateFoldersRoot());
  if (Root.empty()) return;
  // The folder of a restart deletion under the root, when its name has the private form.
  const auto PrivateFolderOf = [&](std::u16string_view Deleted) {
    const std::wstring Path = UpperCase(std::wstring(AsWide(Deleted)));
    if (!Path.starts_with(Root)) return std::wstring();
    const std::wstring Folder = Path.substr(0, Path.find(L'\\', Root.size()));
    return IsPrivateFolderName(std::wstring_view(Folder).substr(Root.size())) ? Folder
                                                                              : std::wstring();
  };
  // Only an administrator can have marked these for the restart: they are the folders the
  // installed uninstaller made for its copies, and no user may take one's name before the
  // restart once it is gone.
  std::set<std::wstring> Marked;
  for (const std::u16string& Deleted : RestartDeletions())
    if (std::wstring Folder = PrivateFolderOf(Deleted); !Folder.empty()) Marked.insert(Folder);
  std::set<std::wstring> Gone;
  for (const std::wstring& Folder : Marked) {
    TCheckedFile Copy =
        TCheckedFile::OpenExisting(Folder + L'\\' + Utf8ToWide(kUninstallerName), 0);
    Copy.Delete();
    Copy.Close();
    RemoveDirectoryW(Folder.c_str());
    if (!FolderExists(Folder)) Gone.insert(Folder);
  }
  if (!Gone.empty())
    CancelRestartDeletions(
        [&](std::u16string_view Deleted) { return Gone.contains(PrivateFolderOf(Deleted)); });
}
