#pragma once
// Whether a downloaded file is what the vendor published: the manifest's [sha256] digests and
// the key that signs the manifest. Portable rules; the hashing and the signature check itself
// are CNG's (win32/Cng.h).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/CryptoTypes.h"
#include "engine/Manifest.h"

// The entry point registers the public key compiled into the installer before anything else
// runs; nullptr (the default) is a build without a key, which installs unsigned payloads. The
// key must outlive the run.
void SetManifestPublicKey(const TEcdsaP256PublicPoint* Key) noexcept;
const TEcdsaP256PublicPoint* ManifestPublicKey() noexcept;

// Exactly 64 hex digits, of either case, as a digest; nothing for any other text.
std::optional<TSha256Digest> ParseSha256Hex(std::string_view Text);

// What the download of a file to install (the extra files included) must meet before the file
// is moved into place, by its entry among the [sha256] section's lines (names compared without
// regard to case, as the profile reader does). An entry that is there but not a digest is
// refused, never taken as missing. With a key compiled in, every file needs its digest; without
// one, only the digests that the manifest has are checked. A Refuse is the cause "파일이
// 손상되었습니다: %s", decided before anything is requested for the file.
enum class TDigestCheck {
  Unchecked,  // no entry and no key: installed as before
  Compare,    // hashed while it streams in, moved into place only when Digest matches
  Refuse,     // a wrong entry, or no entry while a key is compiled in
};
struct TFileDigestCheck {
  TDigestCheck Check = TDigestCheck::Refuse;
  TSha256Digest Digest{};  // when Compare
};
TFileDigestCheck DigestCheckOf(const std::vector<std::string>& Sha256Lines,
                               std::string_view RelativePath, bool KeyCompiledIn);
TFileDigestCheck DigestCheckOf(const TSectionLines& Sha256, std::string_view RelativePath,
                               bool KeyCompiledIn);

// The length a file to install must have, by its entry among the [size] section's lines (names
// compared as for [sha256]): 1 to 15 decimal digits. A body that runs past it is cut off, and one
// that ends short of it refused. With a key compiled in, every file needs a well-formed size, as
// it needs a digest; without one, a missing or malformed size sets no bound.
struct TFileSizeCheck {
  bool Refuse = true;                 // no size (or a malformed one) while a key is compiled in
  std::optional<std::uint64_t> Size;  // the bound, when there is one
};
TFileSizeCheck SizeCheckOf(const std::vector<std::string>& SizeLines, std::string_view RelativePath,
                           bool KeyCompiledIn);
TFileSizeCheck SizeCheckOf(const TSectionLines& Sizes, std::string_view RelativePath,
                           bool KeyCompiledIn);

// The record of the installed release, install.rec: the manifest's exact bytes, then, when it
// was signed, a trailer that the profile reader skips as a comment line (CR LF, ";sig=", the
// signature's 128 hex digits, CR LF). So the record is one file, replaced by one move, and the
// bytes before the trailer are exactly the ones signed. A manifest published with its trailer
// already is its own record: it is kept as received, never with a second trailer.
std::string InstalledRecord(std::string_view Manifest, std::string_view Signature);
struct TInstalledRecordParts {
  std::string_view Manifest;
  std::string Signature;  // its 64 bytes; empty when the record has no trailer
  // A ";sig=" line other than one well-formed trailer at the very end: a second one, one before
  // the end, one malformed. Such bytes are signed by nobody.
  bool StrayTrailer = false;
};
// A record's (or a published manifest's) signed bytes and signature. The trailer is found by
// line, never by substring (a file may be named "a;sig=b"); without exactly one well-formed
// trailer at the very end it is all manifest.
TInstalledRecordParts SplitInstalledRecord(std::string_view Record);
