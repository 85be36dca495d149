#pragma once
// Readable test names and messages for UTF-16 parameters: ASCII as it is, the rest as \uXXXX.

#include <cstdio>
#include <ostream>
#include <string>

inline std::string Printable(const std::u16string& Text) {
  std::string Out;
  for (char16_t c : Text) {
    if (c >= 0x20 && c < 0x7F) {
      Out += static_cast<char>(c);
    } else {
      char Buffer[8];
      std::snprintf(Buffer, sizeof Buffer, "\\u%04X", static_cast<unsigned>(c));
      Out += Buffer;
    }
  }
  return Out;
}
