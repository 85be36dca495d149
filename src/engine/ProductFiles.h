#pragma once
// The names this product gives its files on the install server and in the install folder, and
// the bounds of what it reads whole into memory: one place, so that the installer, its record,
// its list and its removal agree.

#include <cstddef>
#include <string_view>

#include "base/FileAccess.h"

inline constexpr std::string_view kManifestName = "install.inf";
inline constexpr std::string_view kSignatureName = "install.inf.sig";
inline constexpr std::string_view kRecordName = "install.rec";
inline constexpr std::string_view kListName = "install.lst";
inline constexpr std::string_view kUninstallerName = "VelquorManager_Uninstall.exe";
inline constexpr std::string_view kProgramFile = "VelquorManager.exe";
// What the product itself keeps at the top of the install folder (an earlier build's record
// included): no listed path may name one of them.
inline constexpr std::string_view kOwnFiles[] = {kManifestName, kSignatureName, kRecordName,
                                                 kListName, kUninstallerName};

// Who may open each of the product's own files: the record and the list are the administrators'
// alone, so no account can hold them and block every later update and removal; users run the
// uninstaller. What the manifest lists keeps the folder's access.
constexpr TFileAccess AccessOf(std::string_view Name) {
  if (Name == kRecordName || Name == kListName) return TFileAccess::AdministratorsOnly;
  if (Name == kUninstallerName) return TFileAccess::UsersReadExecute;
  return TFileAccess::Inherited;
}

// install.inf is read into memory whole: a longer one is refused as damaged, unread.
inline constexpr std::size_t kMaxManifestSize = 4 << 20;
// Far above any real list or program image, far below what memory allows.
inline constexpr std::size_t kMaxListSize = 64 << 20;
inline constexpr std::size_t kMaxImageSize = 64 << 20;
