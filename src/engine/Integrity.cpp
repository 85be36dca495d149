#include "engine/Integrity.h"

#include <cstdint>
#include <utility>

namespace {

const TEcdsaP256PublicPoint* RegisteredKey = nullptr;

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::string_view kTrailerStart = "\r\n;sig=";
constexpr std::string_view kTrailerEnd = "\r\n";
constexpr std::size_t kTrailerSize =
    kTrailerStart.size() + 2 * kEcdsaP256SignatureSize + kTrailerEnd.size();

}  // namespace

void SetManifestPublicKey(const TEcdsaP256PublicPoint* Key) noexcept { RegisteredKey = Key; }

const TEcdsaP256PublicPoint* ManifestPublicKey() noexcept { return RegisteredKey; }

namespace {

// Exactly Size bytes as 2 * Size hex digits of either case.
template <typename Bytes>
bool ParseHex(std::string_view Text, Bytes& Out, std::size_t Size) {
  if (Text.size() != 2 * Size) return false;
  for (std::size_t i = 0; i < Size; ++i) {
    const int High = HexDigitValue(Text[2 * i]);
    const int Low = HexDigitValue(Text[2 * i + 1]);
    if (High < 0 || Low < 0) return false;
    Out[i] = static_cast<std::uint8_t>(High << 4 | Low);
  }
  return true;
}

}  // namespace

std::optional<TSha256Digest> ParseSha256Hex(std::string_view Text) {
  TSha256Digest Digest;
  if (!ParseHex(Text, Digest, Digest.size())) return std::nullopt;
  return Digest;
}

namespace {

TFileSizeCheck SizeCheck(std::optional<std::string_view> Value, bool KeyCompiledIn) {
  constexpr std::size_t kMaxDigits = 15;
  std::uint64_t Size = 0;
  bool WellFormed = Value && !Value->empty() && Value->size() <= kMaxDigits;
  for (std::size_t i = 0; WellFormed && i < Value->size(); ++i) {
    const char Digit = (*Value)[i];
    WellFormed = Digit >= '0' && Digit <= '9';
    Size = Size * 10 + static_cast<std::uint64_t>(Digit - '0');
  }
  if (WellFormed) return {false, Size};
  return {KeyCompiledIn, std::nullopt};
}

TFileDigestCheck DigestCheck(std::optional<std::string_view> Value, bool KeyCompiledIn) {
  if (!Value) return {KeyCompiledIn ? TDigestCheck::Refuse : TDigestCheck::Unchecked, {}};
  const std::optional<TSha256Digest> Digest = ParseSha256Hex(*Value);
  if (!Digest) return {TDigestCheck::Refuse, {}};
  return {TDigestCheck::Compare, *Digest};
}

}  // namespace

TFileSizeCheck SizeCheckOf(const std::vector<std::string>& SizeLines, std::string_view RelativePath,
                           bool KeyCompiledIn) {
  return SizeCheck(FindValueOfName(SizeLines, RelativePath), KeyCompiledIn);
}

TFileSizeCheck SizeCheckOf(const TSectionLines& Sizes, std::string_view RelativePath,
                           bool KeyCompiledIn) {
  return SizeCheck(Sizes.Find(RelativePath), KeyCompiledIn);
}

TFileDigestCheck DigestCheckOf(const std::vector<std::string>& Sha256Lines,
                               std::string_view RelativePath, bool KeyCompiledIn) {
  return DigestCheck(FindValueOfName(Sha256Lines, RelativePath), KeyCompiledIn);
}

TFileDigestCheck DigestCheckOf(const TSectionLines& Sha256, std::string_view RelativePath,
                               bool KeyCompiledIn) {
  return DigestCheck(Sha256.Find(RelativePath), KeyCompiledIn);
}

std::string InstalledRecord(std::string_view Manifest, std::string_view Signature) {
  std::string Record(Manifest);
  if (Signature.empty() || !SplitInstalledRecord(Manifest).Signature.empty()) return Record;
  constexpr char kDigits[] = "0123456789abcdef";
  Record += kTrailerStart;
  for (const char Byte : Signature) {
    Record += kDigits[static_cast<std::uint8_t>(Byte) >> 4];
    Record += kDigits[static_cast<std::uint8_t>(Byte) & 0xF];
  }
  return Record += kTrailerEnd;
}

TInstalledRecordParts SplitInstalledRecord(std::string_view Record) {
  constexpr std::string_view kTrailerLine = kTrailerStart.substr(2);
  // Every line that begins ";sig=": a line begins at the start or after CR or LF.
  std::size_t Lines = 0, Last = 0;
  for (std::size_t At = 0; At != std::string_view::npos;) {
    if (Record.substr(At).starts_with(kTrailerLine)) ++Lines, Last = At;
    At = Record.find_first_of("\r\n", At);
    if (At != std::string_view::npos) ++At;
  }
  if (Lines == 0) return {Record, {}};
  if (Lines == 1 && Record.size() >= kTrailerSize && Last == Record.size() - kTrailerSize + 2) {
    const std::string_view Trailer = Record.substr(Record.size() - kTrailerSize);
    std::string Signature(kEcdsaP256SignatureSize, '\0');
    if (Trailer.starts_with(kTrailerStart) && Trailer.ends_with(kTrailerEnd) &&
        ParseHex(Trailer.substr(kTrailerStart.size(), 2 * kEcdsaP256SignatureSize), Signature,
                 kEcdsaP256SignatureSize))
      return {Record.substr(0, Record.size() - kTrailerSize), std::move(Signature)};
  }
  return {Record, {}, true};
}
