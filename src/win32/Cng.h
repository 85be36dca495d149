#pragma once
// SHA-256 and ECDSA P-256 signature checks through CNG. bcrypt.dll is not one of Windows'
// KnownDLLs, so it is loaded at run time from System32 only: a static import would let a copy
// planted beside the installer decide what counts as verified. Every failure of CNG fails
// closed: no digest, or not verified.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/CryptoTypes.h"
#include "win32/Handle.h"

// BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE: destroyed through the bcrypt.dll that made them.
struct TBcryptAlgorithmTraits : TNullIsInvalid<void*> {
  static void Close(Type h) noexcept;
};
using TBcryptAlgorithm = TUniqueHandle<TBcryptAlgorithmTraits>;

struct TBcryptHashTraits : TNullIsInvalid<void*> {
  static void Close(Type h) noexcept;
};
using TBcryptHash = TUniqueHandle<TBcryptHashTraits>;

// A SHA-256 of bytes that arrive in pieces: Update with each piece as it comes, then Finish
// once. A failure at any step (bcrypt.dll missing included) makes Finish give nothing, so the
// caller can tell "could not hash" from a digest that does not match.
class TSha256 {
 public:
  TSha256() noexcept;
  void Update(const void* Data, std::size_t Size) noexcept;
  std::optional<TSha256Digest> Finish() noexcept;

 private:
  TBcryptHash Hash_;
};

// Whether Signature (64 bytes, r then s) is Key's ECDSA P-256 signature over the message whose
// SHA-256 is Digest. False for a signature of any other length and on any failure of CNG.
bool VerifyEcdsaP256(const TEcdsaP256PublicPoint& Key, const TSha256Digest& Digest,
                     std::span<const std::uint8_t> Signature) noexcept;

// The same over Message itself, hashed here; for the messages kept whole in memory.
bool VerifyEcdsaP256(const TEcdsaP256PublicPoint& Key, std::string_view Message,
                     std::string_view Signature) noexcept;

// Size bytes from the system's random number generator; false when it gives none.
bool RandomBytes(void* Data, std::size_t Size) noexcept;
