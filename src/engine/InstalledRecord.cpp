#include "engine/InstalledRecord.h"

#include <windows.h>

#include <optional>

#include "engine/Integrity.h"
#include "engine/Manifest.h"
#include "win32/Cng.h"
#include "win32/Handle.h"
#include "win32/FileSystem.h"
#include "win32/Registry.h"
#include "win32/Text.h"

namespace {

constexpr std::string_view kVersionValue = "Version";
constexpr REGSAM kView = KEY_WOW64_64KEY;

TInstalledBound BoundOf(std::string_view Text) {
  const std::optional<TVersion> Version = ParseVersion(Text);
  if (!Version) return {};
  return {TInstalledBound::TRead::Bound, *Version};
}

// The version of a record that Key signed; None for any other.
TInstalledBound VerifiedBound(const std::string& Path, std::string_view Manifest,
                              std::string_view Signature, const TEcdsaP256PublicPoint& Key) {
  if (!VerifyEcdsaP256(Key, Manifest, Signature)) return {};
  TManifest Installed;
  LoadManifest(Path, Installed);
  return BoundOf(Installed.Version);
}

TInstalledBound RecordBound(const std::string& InstallDir, const TEcdsaP256PublicPoint& Key) {
  constexpr std::size_t kMaxRecordSize = kMaxManifestSize + 256;
  const auto Unreadable = TInstalledBound{TInstalledBound::TRead::Unreadable};
  const std::string Record = InstallDir + std::string(kRecordName);
  TFileHandle Held;
  std::string Bytes;
  switch (ReadWholeFile(AnsiToWide(Record), kMaxRecordSize, Bytes, &Held)) {
    case TFileRead::Read: {
      const TInstalledRecordParts Parts = SplitInstalledRecord(Bytes);
      return VerifiedBound(Record, Parts.Manifest, Parts.Signature, Key);
    }
    case TFileRead::Failed:
      return Unreadable;
    case TFileRead::Missing:
      break;
  }
  // An earlier build's pair: the manifest and, beside it, its signature.
  const std::string Manifest = InstallDir + std::string(kManifestName);
  switch (ReadWholeFile(AnsiToWide(Manifest), kMaxRecordSize, Bytes, &Held)) {
    case TFileRead::Missing:
      return {};
    case TFileRead::Failed:
      return Unreadable;
    case TFileRead::Read:
      break;
  }
  TFileHandle HeldSignature;
  std::string Signature;
  // Read whole when too long as well: such a signature only fails to verify.
  constexpr std::size_t kMaxSignatureSize = 4096;
  switch (ReadWholeFile(AnsiToWide(InstallDir + std::string(kSignatureName)), kMaxSignatureSize,
                        Signature, &HeldSignature)) {
    case TFileRead::Failed:
      return Unreadable;
    case TFileRead::Missing:
      return {};
    case TFileRead::Read:
      return VerifiedBound(Manifest, Bytes, Signature, Key);
  }
  return Unreadable;
}

}  // namespace

TInstalledBound ReadInstalledBound(const std::string& InstallDir,
                                   const TEcdsaP256PublicPoint& Key) {
  const auto Unreadable = TInstalledBound{TInstalledBound::TRead::Unreadable};
  LONG Status = ERROR_SUCCESS;
  const TRegKey Product =
      OpenRegKey(HKEY_LOCAL_MACHINE, std::string(kProductKey), KEY_READ | kView, &Status);
  std::string Version;
  if (Product) Status = QueryRegString(Product.Get(), std::string(kVersionValue), Version);
  if (Status == ERROR_FILE_NOT_FOUND) return RecordBound(InstallDir, Key);
  if (Status != ERROR_SUCCESS) return Unreadable;
  // Only this program writes the value, and only a well-formed one: anything else is damage.
  const TInstalledBound Bound = BoundOf(Version);
  return Bound.Read == TInstalledBound::TRead::Bound ? Bound : Unreadable;
}

bool WriteInstalledBound(const std::string& Version) {
  const TRegKey Product =
      CreateOrOpenRegKey(HKEY_LOCAL_MACHINE, std::string(kProductKey), KEY_SET_VALUE | kView);
  return Product &&
         WriteRegString(Product.Get(), std::string(kVersionValue), Version) == ERROR_SUCCESS;
}
