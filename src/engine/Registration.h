#pragma once
// What lets Windows list and remove the product: the entry under Uninstall (64-bit view), read by
// Settings ▸ Apps, winget and inventory tools, and the values this product keeps in its own key
// beside the version bound (engine/InstalledRecord.h).

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::string_view kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelquorManager";

struct TUninstallEntry {
  std::string InstallDir;  // ANSI, ending in a backslash
  std::string Version;     // the manifest's, as written; "" when it is not well formed
  std::uint64_t SizeBytes = 0;
};

// Writes every value of the entry; false when any could not be written.
bool WriteUninstallEntry(const TUninstallEntry& Entry);
// Removes the entry; true when it is gone (or was never there).
bool RemoveUninstallEntry();
// Whether the entry is there.
bool UninstallEntryExists();

// The shortcut's full path as written, kept where another account's removal finds it (a
// removal run as SYSTEM reads another HKCU). "" when none is kept.
bool KeepShortcutPath(const std::string& LinkPath);
std::string KeptShortcutPath();
// Removes the product's own key (the bound and the shortcut's path), and "Harlune" when empty.
bool RemoveProductKey();
