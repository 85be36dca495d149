#pragma once
// The parts of shortcut creation that need no platform: which registry value names the folder,
// the shortcut's file name, its full path and its working directory. All texts are ANSI strings
// in code page 949, searched character by character.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum ShortcutLocation : std::uint8_t {
  slDesktop = 0,
  slQuickLaunch = 1,
  slSendTo = 2,
  slStartMenu = 3,
  slCustom = 4,
};

// Where a location's folder is read under the current user's hive: create-or-open BaseKey, open
// SubKey below it, read ValueName. slCustom has a BaseKey but no SubKey or ValueName; a value
// outside the enumeration has nothing at all, so no folder is found for it.
struct TShortcutFolderKey {
  std::string_view BaseKey;
  std::string_view SubKey;
  std::string_view ValueName;
};
TShortcutFolderKey ShortcutFolderKey(ShortcutLocation Location);

// Index of the last character of Text that is one of the single-byte Delimiters; npos if none.
std::size_t LastAnsiDelimiter(std::string_view Text, std::string_view Delimiters);

// The shortcut's file name: Target with its extension (from the last full stop after the last
// backslash or colon) replaced by ".lnk", or ".lnk" appended; then only what follows the last
// backslash or colon. An empty Target gives ".lnk".
std::string ShortcutLinkName(std::string_view Target);

// Folder, SubFolder (only when not empty and not slCustom) and LinkName, each join adding one
// backslash whatever the left part ends with.
std::string ShortcutFilePath(std::string_view Folder, ShortcutLocation Location,
                             std::string_view SubFolder, std::string_view LinkName);

// WorkingDir when given; otherwise Target up to and including its last backslash or colon, or ""
// when it has neither.
std::string ShortcutWorkingDir(std::string_view Target, std::string_view WorkingDir);
