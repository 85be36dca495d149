#include "engine/Version.h"

namespace {

constexpr std::size_t kMaxPartDigits = 5;
constexpr std::uint32_t kMaxPartValue = 65535;

}  // namespace

std::optional<TVersion> ParseVersion(std::string_view Text) {
  TVersion Version{};
  std::size_t Part = 0;
  std::size_t Start = 0;
  for (;;) {
    if (Part == Version.size()) return std::nullopt;
    const std::size_t End = std::min(Text.find('.', Start), Text.size());
    const std::string_view Digits = Text.substr(Start, End - Start);
    if (Digits.empty() || Digits.size() > kMaxPartDigits) return std::nullopt;
    std::uint32_t Value = 0;
    for (const char c : Digits) {
      if (c < '0' || c > '9') return std::nullopt;
      Value = Value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (Value > kMaxPartValue) return std::nullopt;
    Version[Part++] = static_cast<std::uint16_t>(Value);
    if (End == Text.size()) return Version;
    Start = End + 1;
  }
}
