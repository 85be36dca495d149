#pragma once
// The names this product gives its files on the install server and in the install folder, and
// the bounds of what it reads whole into memory: one place, so that the installer, its record,
// its list and its removal agree.

#include <cstddef>
#include <string_view>

inline constexpr std::string_view kManifestName = "install.inf";
inline constexpr std::string_view kSignatureName = "install.inf.sig";
inline constexpr std::string_view kRecordName = "install.rec";
inline constexpr std::string_view kListName = "install.lst";
inline constexpr std::string_view kUninstallerName = "VelquorManager_Uninstall.exe";
inline constexpr std::string_view kProgramFile = "VelquorManager.exe";

// install.inf is read into memory whole: a longer one is refused as damaged, unread.
inline constexpr std::size_t kMaxManifestSize = 4 << 20;
// Far above any real list or program image, far below what memory allows.
inline constexpr std::size_t kMaxListSize = 64 << 20;
inline constexpr std::size_t kMaxImageSize = 64 << 20;
