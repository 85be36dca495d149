#include "win32/Cng.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "win32/SystemLibrary.h"

namespace {

constexpr NTSTATUS kStatusSuccess = 0;

// The exports of bcrypt.dll that the checks use, loaded once for the process. Null pointers all
// round when the DLL or any export is missing.
struct TBcrypt {
  TModule Module = LoadSystemLibrary(L"bcrypt.dll");
  decltype(&BCryptOpenAlgorithmProvider) OpenAlgorithmProvider =
      Export<decltype(&BCryptOpenAlgorithmProvider)>("BCryptOpenAlgorithmProvider");
  decltype(&BCryptCloseAlgorithmProvider) CloseAlgorithmProvider =
      Export<decltype(&BCryptCloseAlgorithmProvider)>("BCryptCloseAlgorithmProvider");
  decltype(&BCryptCreateHash) CreateHash = Export<decltype(&BCryptCreateHash)>("BCryptCreateHash");
  decltype(&BCryptHashData) HashData = Export<decltype(&BCryptHashData)>("BCryptHashData");
  decltype(&BCryptFinishHash) FinishHash = Export<decltype(&BCryptFinishHash)>("BCryptFinishHash");
  decltype(&BCryptDestroyHash) DestroyHash =
      Export<decltype(&BCryptDestroyHash)>("BCryptDestroyHash");
  decltype(&BCryptImportKeyPair) ImportKeyPair =
      Export<decltype(&BCryptImportKeyPair)>("BCryptImportKeyPair");
  decltype(&BCryptDestroyKey) DestroyKey = Export<decltype(&BCryptDestroyKey)>("BCryptDestroyKey");
  decltype(&BCryptVerifySignature) VerifySignature =
      Export<decltype(&BCryptVerifySignature)>("BCryptVerifySignature");
  decltype(&BCryptGenRandom) GenRandom = Export<decltype(&BCryptGenRandom)>("BCryptGenRandom");

  bool Loaded() const noexcept {
    return OpenAlgorithmProvider && CloseAlgorithmProvider && CreateHash && HashData &&
           FinishHash && DestroyHash && ImportKeyPair && DestroyKey && VerifySignature;
  }

 private:
  template <typename Function>
  Function Export(const char* Name) const noexcept {
    return GetProcedure<Function>(Module.Get(), Name);
  }
};

const TBcrypt& Bcrypt() noexcept {
  static const TBcrypt Loaded;
  return Loaded;
}

struct TBcryptKeyTraits : TNullIsInvalid<BCRYPT_KEY_HANDLE> {
  static void Close(Type h) noexcept { Bcrypt().DestroyKey(h); }
};
using TBcryptKey = TUniqueHandle<TBcryptKeyTraits>;

// Whether a call that hands out a handle through Put() succeeded. On failure the out value is
// not a handle of ours, so it is dropped without being closed.
template <typename Owner>
bool Obtained(NTSTATUS Status, Owner& Handle) noexcept {
  if (Status == kStatusSuccess && Handle) return true;
  Handle.Release();
  return false;
}

}  // namespace

void TBcryptAlgorithmTraits::Close(Type h) noexcept { Bcrypt().CloseAlgorithmProvider(h, 0); }

void TBcryptHashTraits::Close(Type h) noexcept { Bcrypt().DestroyHash(h); }

namespace {

// Opening a provider is CNG's slow step, and every file of a run is hashed: one for the process,
// made after bcrypt.dll's exports and so closed before them.
const TBcryptAlgorithm& Sha256Provider() noexcept {
  static const TBcryptAlgorithm Provider = [] {
    TBcryptAlgorithm Opened;
    const TBcrypt& Cng = Bcrypt();
    if (Cng.Loaded())
      Obtained(Cng.OpenAlgorithmProvider(Opened.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0),
               Opened);
    return Opened;
  }();
  return Provider;
}

}  // namespace

TSha256::TSha256() noexcept {
  const TBcryptAlgorithm& Provider = Sha256Provider();
  if (!Provider) return;
  // No buffer of ours for the hash object: CNG allocates it itself.
  Obtained(Bcrypt().CreateHash(Provider.Get(), Hash_.Put(), nullptr, 0, nullptr, 0, 0), Hash_);
}

void TSha256::Update(const void* Data, std::size_t Size) noexcept {
  // CNG only reads the bytes; its prototype just lacks the const.
  auto* Bytes = static_cast<PUCHAR>(const_cast<void*>(Data));
  while (Hash_ && Size > 0) {
    const ULONG Piece = static_cast<ULONG>(std::min<std::size_t>(Size, ULONG_MAX));
    // A hash that missed some bytes must never finish.
    if (Bcrypt().HashData(Hash_.Get(), Bytes, Piece, 0) != kStatusSuccess) Hash_.Reset();
    Bytes += Piece;
    Size -= Piece;
  }
}

std::optional<TSha256Digest> TSha256::Finish() noexcept {
  if (!Hash_) return std::nullopt;
  TSha256Digest Digest;
  const NTSTATUS Status =
      Bcrypt().FinishHash(Hash_.Get(), Digest.data(), static_cast<ULONG>(Digest.size()), 0);
  Hash_.Reset();  // a finished CNG hash takes no more data
  if (Status != kStatusSuccess) return std::nullopt;
  return Digest;
}

bool VerifyEcdsaP256(const TEcdsaP256PublicPoint& Key, const TSha256Digest& Digest,
                     std::span<const std::uint8_t> Signature) noexcept {
  if (Signature.size() != kEcdsaP256SignatureSize) return false;
  const TBcrypt& Cng = Bcrypt();
  if (!Cng.Loaded()) return false;
  TBcryptAlgorithm Algorithm;
  if (!Obtained(Cng.OpenAlgorithmProvider(Algorithm.Put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0),
                Algorithm))
    return false;

  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  const BCRYPT_ECCKEY_BLOB Header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, sizeof Key / 2};
  std::array<UCHAR, sizeof Header + sizeof Key> Blob;
  std::memcpy(Blob.data(), &Header, sizeof Header);
  std::memcpy(Blob.data() + sizeof Header, Key.data(), sizeof Key);
  TBcryptKey PublicKey;
  if (!Obtained(Cng.ImportKeyPair(Algorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, PublicKey.Put(),
                                  Blob.data(), static_cast<ULONG>(Blob.size()), 0),
                PublicKey))
    return false;

  // Copies, as the prototype takes writable buffers; no padding information for ECDSA.
  TSha256Digest Hash = Digest;
  std::array<UCHAR, kEcdsaP256SignatureSize> RawSignature;
  std::copy(Signature.begin(), Signature.end(), RawSignature.begin());
  return Cng.VerifySignature(PublicKey.Get(), nullptr, Hash.data(), static_cast<ULONG>(Hash.size()),
                             RawSignature.data(), static_cast<ULONG>(RawSignature.size()),
                             0) == kStatusSuccess;
}

bool VerifyEcdsaP256(const TEcdsaP256PublicPoint& Key, std::string_view Message,
                     std::string_view Signature) noexcept {
  TSha256 Hash;
  Hash.Update(Message.data(), Message.size());
  const std::optional<TSha256Digest> Digest = Hash.Finish();
  return Digest && VerifyEcdsaP256(
                       Key, *Digest,
                       {reinterpret_cast<const std::uint8_t*>(Signature.data()), Signature.size()});
}

bool RandomBytes(void* Data, std::size_t Size) noexcept {
  const TBcrypt& Cng = Bcrypt();
  if (!Cng.GenRandom || Size > ULONG_MAX) return false;
  return Cng.GenRandom(nullptr, static_cast<PUCHAR>(Data), static_cast<ULONG>(Size),
                       BCRYPT_USE_SYSTEM_PREFERRED_RNG) == kStatusSuccess;
}
