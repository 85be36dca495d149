#pragma once
// What a signed run knows of the release installed before it: the version it may not go below.
// That bound lives in HKLM\Software\Harlune\VelquorManager, value "Version" (64-bit view), where
// only administrators write and nobody can hold it open. An installation by an earlier build has
// only its record in the install folder: install.rec (engine/Integrity.h), or the pair
// install.inf and install.inf.sig of the first signed builds.

#include <string>
#include <string_view>

#include "base/CryptoTypes.h"
#include "engine/ProductFiles.h"
#include "engine/Version.h"

inline constexpr std::string_view kProductKey = "Software\\Harlune\\VelquorManager";

struct TInstalledBound {
  enum class TRead {
    None,        // nothing installed sets a bound
    Bound,       // Version is the bound
    Unreadable,  // something is there but could not be read: the run must not go on
  };
  TRead Read = TRead::None;
  TVersion Version{};
};

// HKLM's Version when that value exists (Unreadable when it can't be read or is no version).
// Without it, the record in InstallDir or else the earlier pair: not there is None, there but
// unreadable (held without sharing) is Unreadable, read but not verified by Key or without a
// well-formed version is None.
TInstalledBound ReadInstalledBound(const std::string& InstallDir, const TEcdsaP256PublicPoint& Key);

// Stores Version as HKLM's bound; false when it can't.
bool WriteInstalledBound(const std::string& Version);
