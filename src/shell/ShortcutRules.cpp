#include "shell/ShortcutRules.h"

#include "base/Cp949.h"

namespace {

constexpr std::string_view kExplorerKey = "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
constexpr std::string_view kGrpConvKey = "Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv";
constexpr std::string_view kShellFolders = "Shell Folders";
constexpr std::string_view kLinkExt = ".lnk";
constexpr std::string_view kPathDelimiters = "\\:";
constexpr std::string_view kExtDelimiters = "\\:.";

}  // namespace

TShortcutFolderKey ShortcutFolderKey(ShortcutLocation Location) {
  switch (Location) {
    case slDesktop:
      return {kExplorerKey, kShellFolders, "Desktop"};
    case slQuickLaunch:
      return {kGrpConvKey, "MapGroups", "Quick Launch"};
    case slSendTo:
      return {kExplorerKey, kShellFolders, "SendTo"};
    case slStartMenu:
      return {kExplorerKey, kShellFolders, "Start Menu"};
    case slCustom:
      return {kExplorerKey, {}, {}};
  }
  return {};
}

std::size_t LastAnsiDelimiter(std::string_view Text, std::string_view Delimiters) {
  std::size_t Last = std::string_view::npos;
  for (std::size_t i = 0; i < Text.size(); i += Cp949CharSize(Text, i)) {
    if (Cp949CharSize(Text, i) == 1 && Delimiters.find(Text[i]) != std::string_view::npos) Last = i;
  }
  return Last;
}

std::string ShortcutLinkName(std::string_view Target) {
  std::string Name(Target);
  const std::size_t Ext = LastAnsiDelimiter(Target, kExtDelimiters);
  if (Ext != std::string_view::npos && Target[Ext] == '.') Name.resize(Ext);
  Name += kLinkExt;
  const std::size_t Folder = LastAnsiDelimiter(Name, kPathDelimiters);
  return Folder == std::string::npos ? Name : Name.substr(Folder + 1);
}

std::string ShortcutFilePath(std::string_view Folder, ShortcutLocation Location,
                             std::string_view SubFolder, std::string_view LinkName) {
  std::string Path(Folder);
  if (!SubFolder.empty() && Location != slCustom) {
    Path += '\\';
    Path += SubFolder;
  }
  Path += '\\';
  Path += LinkName;
  return Path;
}

std::string ShortcutWorkingDir(std::string_view Target, std::string_view WorkingDir) {
  if (!WorkingDir.empty()) return std::string(WorkingDir);
  const std::size_t Folder = LastAnsiDelimiter(Target, kPathDelimiters);
  if (Folder == std::string_view::npos) return {};
  return std::string(Target.substr(0, Folder + 1));
}
