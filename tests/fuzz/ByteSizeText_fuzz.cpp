// The size label for any byte count and separator: digits in groups of three (the first of one
// to three) joined by the separator, then " Byte"; the digits read back are the count.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "engine/InstallRules.h"

namespace {

constexpr std::string_view kUnit = " Byte";
constexpr std::size_t kGroupDigits = 3;
constexpr std::size_t kMaxSeparatorBytes = 4;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads Text back as grouped digits into Digits; false when it is not made of them.
bool ReadGroupedDigits(std::string_view Text, std::string_view Separator, std::string& Digits) {
  Digits.clear();
  bool First = true;
  while (!Text.empty()) {
    if (!First) {
      if (Text.substr(0, Separator.size()) != Separator) return false;
      Text.remove_prefix(Separator.size());
    }
    std::size_t Group = 0;
    while (Group < Text.size() && IsDigit(Text[Group])) ++Group;
    if (Group == 0) return false;
    // With no separator the groups run together and cannot be told apart.
    if (!Separator.empty() && (First ? Group > kGroupDigits : Group != kGroupDigits)) return false;
    Digits += Text.substr(0, Group);
    Text.remove_prefix(Group);
    First = false;
  }
  return !First;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  std::uint64_t Bytes = 0;
  std::memcpy(&Bytes, Data, Size < sizeof Bytes ? Size : sizeof Bytes);
  std::string Separator;
  for (std::size_t i = sizeof Bytes; i < Size && Separator.size() < kMaxSeparatorBytes; ++i)
    if (!IsDigit(static_cast<char>(Data[i]))) Separator += static_cast<char>(Data[i]);

  const std::string Text = ByteSizeText(Bytes, Separator);
  const std::string Shown = std::to_string(Bytes) + " with separator \"" +
                            Escaped(std::string_view(Separator)) + "\" gave \"" +
                            Escaped(std::string_view(Text)) + "\"";
  const bool HasUnit =
      Text.size() > kUnit.size() && Text.substr(Text.size() - kUnit.size()) == kUnit;
  FuzzCheck(HasUnit, "the text ends in \" Byte\"", Shown);
  std::string Digits;
  FuzzCheck(ReadGroupedDigits(std::string_view(Text).substr(0, Text.size() - kUnit.size()),
                              Separator, Digits),
            "the text is digits grouped in threes by the separator", Shown);
  // Compared as text, so a leading zero counts as wrong too.
  FuzzCheck(Digits == std::to_string(Bytes), "the digits read back are the count", Shown);
  return 0;
}
