#pragma once
// The fixed-size values of the manifest check, shared by the CNG adapter that computes them and
// the install engine's rules that expect them.

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kSha256DigestSize = 32;
constexpr std::size_t kEcdsaP256SignatureSize = 64;  // r then s, 32 big-endian bytes each

using TSha256Digest = std::array<std::uint8_t, kSha256DigestSize>;
// An ECDSA P-256 public key as its point: X then Y, 32 big-endian bytes each.
using TEcdsaP256PublicPoint = std::array<std::uint8_t, 64>;
