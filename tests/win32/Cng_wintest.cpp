// CNG as the installer uses it: SHA-256 fed in pieces, and the ECDSA P-256 check of a manifest
// that the publishing tool signed, against the key compiled in as the installer's is.

#include "win32/Cng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "CngVectors.h"
#include "VelquorManifestKey.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Fed in pieces of the given sizes, over and over, as a download hands them over.
std::optional<TSha256Digest> Sha256Of(const Bytes& Message,
                                      std::vector<std::size_t> Pieces = {SIZE_MAX}) {
  TSha256 Hash;
  for (std::size_t At = 0, i = 0; At < Message.size(); ++i) {
    const std::size_t Size = std::min(Pieces[i % Pieces.size()], Message.size() - At);
    Hash.Update(Message.data() + At, Size);
    At += Size;
  }
  return Hash.Finish();
}

std::string HexOf(const std::optional<TSha256Digest>& Digest) {
  if (!Digest) return "(no digest)";
  std::string Hex;
  for (const std::uint8_t Byte : *Digest)
    Hex += {"0123456789abcdef"[Byte >> 4], "0123456789abcdef"[Byte & 15]};
  return Hex;
}

TEST(Sha256, GivesTheStandardDigestsHoweverTheBytesArrive) {
  const struct {
    Bytes Message;
    const char* Hex;
  } Cases[] = {
      {{}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {{'a', 'b', 'c'}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Bytes(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Message.size());
    EXPECT_EQ(HexOf(Sha256Of(c.Message)), c.Hex);
    EXPECT_EQ(HexOf(Sha256Of(c.Message, {1, 63, 4096, 65537, 7})), c.Hex);
  }
}

TEST(VerifyEcdsaP256, AcceptsThePublishedSignatureOnlyWithEveryByteAsSigned) {
  ASSERT_NE(kManifestPublicKey, nullptr);
  const TEcdsaP256PublicPoint& Key = *kManifestPublicKey;
  const Bytes Manifest(std::begin(kSignedManifest), std::end(kSignedManifest));
  const Bytes Signature(std::begin(kManifestSignature), std::end(kManifestSignature));
  auto Verify = [](const TEcdsaP256PublicPoint& k, const Bytes& Message, const Bytes& s) {
    return VerifyEcdsaP256(k, Sha256Of(Message).value(), s);
  };
  ASSERT_TRUE(Verify(Key, Manifest, Signature));

  auto Flipped = [](auto Value, std::size_t At) {
    Value[At] ^= 0x01;
    return Value;
  };
  Bytes Longer = Signature;
  Longer.push_back(0);
  EXPECT_FALSE(Verify(Key, Flipped(Manifest, Manifest.size() - 1), Signature)) << "manifest";
  EXPECT_FALSE(Verify(Key, Manifest, Flipped(Signature, 40))) << "signature";
  EXPECT_FALSE(Verify(Flipped(Key, 0), Manifest, Signature)) << "key";
  EXPECT_FALSE(Verify(Key, Manifest, Longer)) << "a byte after the signature";
}

}  // namespace
