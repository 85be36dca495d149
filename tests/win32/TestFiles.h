#pragma once
// Files and folders that Wine tests write, in the prefix's temporary folder.

#include <windows.h>

#include <string>
#include <set>
#include <string_view>

// A path of any length: past MAX_PATH only its "\\?\" form reaches the file.
std::wstring AnyLength(const std::string& Path);
// Writes Bytes as they are (no conversion) to an ANSI path.
void WriteBytes(const std::string& Path, std::string_view Bytes);
std::string ReadBytes(const std::string& Path);
bool FileExistsA(const std::string& Path);
std::string TempPathA();
// Deletes a folder with all it holds; a folder that is not there is no error.
void RemoveTree(const std::string& Folder);
bool FolderExistsA(const std::string& Path);
// The names of the files and folders that Pattern ("folder\\~*.sss") matches.
std::set<std::string> NamesMatching(const std::string& Pattern);
// The downloads' temporary bodies ("~vq*") that stand in Folder (ending in a backslash).
std::set<std::string> Leftovers(const std::string& Folder);
// A Unix symbolic link at Link to Target (ANSI paths). Wine 8's CreateSymbolicLink makes nothing;
// a link made by ln is one that Wine resolves as Windows resolves a link or junction. False when
// no link stands at Link afterwards.
bool MakeSymbolicLink(const std::string& Link, const std::string& Target);
// Removes such a link, not what it leads to (Wine's DeleteFile deletes the target); its target
// must still stand.
bool RemoveSymbolicLink(const std::string& Link);
// The shortcut the installer leaves on the desktop.
std::string DesktopLink();
// install.rec as a signed run keeps it: the manifest's bytes, then its signature's trailer.
std::string SignedRecord(const std::string& Manifest, const std::string& Signature);
// HKLM\Software\Harlune\VelquorManager's "Version": its text, "(none)" when the value is not
// there; and setting it (nullptr removes it).
std::string InstalledBoundValue();
void SetInstalledBoundValue(const char* Version);
// A value of the product's Uninstall entry (64-bit view) as text (a number in decimal);
// "(none)" when it is not there.
std::string UninstallValue(const char* Name);
// What Windows is to rename or delete at the next restart, upper case, NULs shown as '|':
// "\\??\\PATH||" deletes PATH. "" when nothing waits. Clearing takes it all back.
std::string PendingRenames();
void ClearPendingRenames();
// A machine without the product: its install folder, its registry keys and the desktop shortcut
// gone.
void ForgetInstallation();

// A new empty folder in the temporary folder, removed with all it holds when the test ends.
class TTestFolder {
 public:
  TTestFolder();
  ~TTestFolder();
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;
  // The folder's path, ending in a backslash.
  const std::string& Path() const { return Path_; }
  std::string operator/(std::string_view Name) const { return Path_ + std::string(Name); }

 private:
  std::string Path_;
};

// Sets an environment variable of this process for one scope, restoring the old value after.
class TScopedEnv {
 public:
  TScopedEnv(const char* Name, const char* Value);
  ~TScopedEnv();

 private:
  std::string Name_;
  std::string Old_;
  bool HadOld_ = false;
};
