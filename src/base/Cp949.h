#pragma once
// Code page 949, the ANSI code page of the systems we ship to: a lead byte (0x81-0xFE) and a
// trail byte (0x41-0x5A, 0x61-0x7A, 0x81-0xFE) make one character. A backslash, colon or full
// stop is never the second half of a character, also when it follows a lead byte: then the lead
// byte stands alone. Portable: the rules of ANSI texts need no platform.

#include <cstddef>
#include <string>
#include <string_view>

inline bool IsCp949LeadByte(unsigned char Byte) { return Byte >= 0x81 && Byte <= 0xFE; }

inline bool IsCp949TrailByte(unsigned char Byte) {
  return (Byte >= 0x41 && Byte <= 0x5A) || (Byte >= 0x61 && Byte <= 0x7A) ||
         (Byte >= 0x81 && Byte <= 0xFE);
}

// The length in bytes (1 or 2) of the character that starts at Text[At].
inline std::size_t Cp949CharSize(std::string_view Text, std::size_t At) {
  return IsCp949LeadByte(static_cast<unsigned char>(Text[At])) && At + 1 < Text.size() &&
                 IsCp949TrailByte(static_cast<unsigned char>(Text[At + 1]))
             ? 2
             : 1;
}

// Latin letters only: names that the platform compares without regard to case (profile keys,
// device names) fold no other character.
template <typename Char>
constexpr Char AsciiUpper(Char c) {
  return (c >= Char('a') && c <= Char('z')) ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

// Two texts that differ at most in the case of Latin letters.
template <typename Char>
constexpr bool SameAsciiText(std::basic_string_view<Char> A, std::basic_string_view<Char> B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (AsciiUpper(A[i]) != AsciiUpper(B[i])) return false;
  return true;
}

// A relative path as the file system tells paths apart: either separator is one, and Latin
// letters have no case. In UTF-8 every byte of a longer character is 0x80 or above, so folding
// single bytes touches no other character.
template <typename Char>
std::basic_string<Char> PathKey(std::basic_string_view<Char> Path) {
  std::basic_string<Char> Key;
  Key.reserve(Path.size());
  for (Char c : Path) Key += c == Char('/') ? Char('\\') : AsciiUpper(c);
  return Key;
}
