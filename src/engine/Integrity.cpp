#include "engine/Integrity.h"

namespace {

const TEcdsaP256PublicPoint* RegisteredKey = nullptr;

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void SetManifestPublicKey(const TEcdsaP256PublicPoint* Key) noexcept { RegisteredKey = Key; }

const TEcdsaP256PublicPoint* ManifestPublicKey() noexcept { return RegisteredKey; }

std::optional<TSha256Digest> ParseSha256Hex(std::string_view Text) {
  TSha256Digest Digest;
  if (Text.size() != 2 * Digest.size()) return std::nullopt;
  for (size_t i = 0; i < Digest.size(); ++i) {
    const int High = HexDigitValue(Text[2 * i]);
    const int Low = HexDigitValue(Text[2 * i + 1]);
    if (High < 0 || Low < 0) return std::nullopt;
    Digest[i] = static_cast<std::uint8_t>(High << 4 | Low);
  }
  return Digest;
}

TFileDigestCheck DigestCheckOf(const std::vector<std::string>& Sha256Lines,
                               std::string_view RelativePath, bool KeyCompiledIn) {
  const std::optional<std::string> Value = FindValueOfName(Sha256Lines, RelativePath);
  if (!Value) return {KeyCompiledIn ? TDigestCheck::Refuse : TDigestCheck::Unchecked, {}};
  const std::optional<TSha256Digest> Digest = ParseSha256Hex(*Value);
  if (!Digest) return {TDigestCheck::Refuse, {}};
  return {TDigestCheck::Compare, *Digest};
}
