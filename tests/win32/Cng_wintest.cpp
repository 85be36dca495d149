// CNG as the installer uses it: SHA-256 fed in pieces, and the ECDSA P-256 check of a manifest
// that the publishing tool signed, against the key compiled in as the installer's is.

#include "win32/Cng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "CngVectors.h"
#include "VelquorManifestKey.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string HexOf(const std::optional<TSha256Digest>& Digest) {
  if (!Digest) return "(no digest)";
  std::string Hex;
  for (const std::uint8_t Byte : *Digest) {
    Hex += "0123456789abcdef"[Byte >> 4];
    Hex += "0123456789abcdef"[Byte & 15];
  }
  return Hex;
}

// Fed in pieces of the given sizes, over and over, as a download hands them over.
std::optional<TSha256Digest> Sha256InPieces(const std::string& Text,
                                            const std::vector<std::size_t>& Pieces) {
  TSha256 Hash;
  for (std::size_t At = 0, i = 0; At < Text.size(); ++i) {
    const std::size_t Size = std::min(Pieces[i % Pieces.size()], Text.size() - At);
    Hash.Update(Text.data() + At, Size);
    At += Size;
  }
  return Hash.Finish();
}

TSha256Digest DigestOf(const Bytes& Message) {
  TSha256 Hash;
  Hash.Update(Message.data(), Message.size());
  return Hash.Finish().value();
}

TEST(Sha256, GivesTheStandardDigestsHoweverTheBytesArrive) {
  const struct {
    std::string Text;
    const char* Hex;
  } Cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Text.size());
    EXPECT_EQ(HexOf(Sha256InPieces(c.Text, {c.Text.size() + 1})), c.Hex);
    EXPECT_EQ(HexOf(Sha256InPieces(c.Text, {1, 63, 4096, 65537, 7})), c.Hex);
  }
}

TEST(VerifyEcdsaP256, AcceptsThePublishedSignatureOnlyWithEveryByteAsSigned) {
  ASSERT_NE(kManifestPublicKey, nullptr);
  const TEcdsaP256PublicPoint& Key = *kManifestPublicKey;
  const Bytes Manifest(std::begin(kSignedManifest), std::end(kSignedManifest));
  const Bytes Signature(std::begin(kManifestSignature), std::end(kManifestSignature));
  ASSERT_TRUE(VerifyEcdsaP256(Key, DigestOf(Manifest), Signature));

  auto Flipped = [](auto Value, std::size_t At) {
    Value[At] ^= 0x01;
    return Value;
  };
  const struct {
    const char* What;
    TEcdsaP256PublicPoint Key;
    Bytes Manifest;
    Bytes Signature;
  } Refused[] = {
      {"manifest, first byte", Key, Flipped(Manifest, 0), Signature},
      {"manifest, last byte", Key, Flipped(Manifest, Manifest.size() - 1), Signature},
      {"signature, r", Key, Manifest, Flipped(Signature, 0)},
      {"signature, s", Key, Manifest, Flipped(Signature, 63)},
      {"key, X", Flipped(Key, 0), Manifest, Signature},
      {"key, Y", Flipped(Key, 63), Manifest, Signature},
      {"signature cut short", Key, Manifest, Bytes(Signature.begin(), Signature.end() - 1)},
      {"signature with a byte more", Key, Manifest,
       [&] {
         Bytes Longer = Signature;
         Longer.push_back(0);
         return Longer;
       }()},
      {"no signature", Key, Manifest, {}},
  };
  for (const auto& c : Refused) {
    EXPECT_FALSE(VerifyEcdsaP256(c.Key, DigestOf(c.Manifest), c.Signature)) << c.What;
  }
}

}  // namespace
