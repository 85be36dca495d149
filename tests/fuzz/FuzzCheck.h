#pragma once
// What the fuzz targets share: a property check that stops the run, so libFuzzer keeps the input
// that broke it, and the readable form of a text for the report.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// Printable ASCII as it is, everything else as \xNN (bytes) or \uNNNN (UTF-16 units).
template <typename TChar>
std::string Escaped(std::basic_string_view<TChar> Text) {
  std::string Out;
  for (TChar c : Text) {
    const auto Unit = static_cast<unsigned>(static_cast<std::make_unsigned_t<TChar>>(c));
    if (Unit >= 0x20 && Unit < 0x7F && Unit != '\\') {
      Out += static_cast<char>(Unit);
    } else if (Unit == '\\') {
      Out += "\\\\";
    } else {
      char Code[8];
      std::snprintf(Code, sizeof Code, sizeof(TChar) == 1 ? "\\x%02X" : "\\u%04X", Unit);
      Out += Code;
    }
  }
  return Out;
}

inline void FuzzCheck(bool Holds, const char* Property, const std::string& Input) {
  if (Holds) return;
  std::fprintf(stderr, "property broken: %s\n  input: \"%s\"\n", Property, Input.c_str());
  std::abort();
}
