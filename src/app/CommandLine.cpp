#include "app/CommandLine.h"

#include <string_view>

#include "base/Cp949.h"

namespace {

constexpr std::u16string_view kUninstallSwitch = u"uninstall";
constexpr std::u16string_view kQuietSwitch = u"quiet";
constexpr std::u16string_view kCopyOfSwitch = u"copyof";
constexpr size_t kMaxHexDigits = 16;

enum class TSwitch { None, Uninstall, Quiet, CopyOf };

// The text after the switch character, or nothing when Argument is no switch.
std::optional<std::u16string_view> SwitchName(std::u16string_view Argument) {
  if (Argument.empty() || (Argument[0] != u'/' && Argument[0] != u'-')) return std::nullopt;
  return Argument.substr(1);
}

// "copyof" alone or with ":..." after it: ours, well formed or not.
bool IsCopyOfName(std::u16string_view Name) {
  return SameAsciiText<char16_t>(Name.substr(0, kCopyOfSwitch.size()), kCopyOfSwitch) &&
         (Name.size() == kCopyOfSwitch.size() || Name[kCopyOfSwitch.size()] == u':');
}

TSwitch SwitchOf(std::u16string_view Argument) {
  const std::optional<std::u16string_view> Name = SwitchName(Argument);
  if (!Name) return TSwitch::None;
  if (SameAsciiText<char16_t>(*Name, kUninstallSwitch)) return TSwitch::Uninstall;
  if (SameAsciiText<char16_t>(*Name, kQuietSwitch)) return TSwitch::Quiet;
  if (IsCopyOfName(*Name)) return TSwitch::CopyOf;
  return TSwitch::None;
}

std::optional<std::uint64_t> HexValue(std::u16string_view Digits) {
  if (Digits.empty() || Digits.size() > kMaxHexDigits) return std::nullopt;
  std::uint64_t Value = 0;
  for (char16_t c : Digits) {
    const char16_t Upper = AsciiUpper(c);
    unsigned Digit;
    if (Upper >= u'0' && Upper <= u'9')
      Digit = Upper - u'0';
    else if (Upper >= u'A' && Upper <= u'F')
      Digit = Upper - u'A' + 10;
    else
      return std::nullopt;
    Value = (Value << 4) | Digit;
  }
  return Value;
}

// Name is a copyof switch's name: "copyof:<hex>,<hex>" gives the two values.
std::optional<std::pair<std::uint64_t, std::uint64_t>> CopyOfValues(std::u16string_view Name) {
  if (Name.size() <= kCopyOfSwitch.size()) return std::nullopt;
  const std::u16string_view Values = Name.substr(kCopyOfSwitch.size() + 1);
  const size_t Comma = Values.find(u',');
  if (Comma == std::u16string_view::npos) return std::nullopt;
  const std::optional<std::uint64_t> First = HexValue(Values.substr(0, Comma));
  const std::optional<std::uint64_t> Second = HexValue(Values.substr(Comma + 1));
  if (!First || !Second) return std::nullopt;
  return std::pair{*First, *Second};
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::u16string>& Arguments,
                              bool InstalledUninstaller) {
  TCommandLine Line;
  Line.Remove = InstalledUninstaller;
  for (const std::u16string& Argument : Arguments) {
    const TSwitch Switch = SwitchOf(Argument);
    if (Switch == TSwitch::Uninstall || Switch == TSwitch::CopyOf) Line.Remove = true;
  }
  if (!Line.Remove) return Line;
  for (const std::u16string& Argument : Arguments) {
    switch (SwitchOf(Argument)) {
      case TSwitch::Uninstall:
        break;
      case TSwitch::Quiet:
        Line.Quiet = true;
        break;
      case TSwitch::CopyOf: {
        const auto Values = CopyOfValues(*SwitchName(Argument));
        if (!Values || (Line.CopyOf && *Line.CopyOf != *Values))
          Line.Valid = false;
        else
          Line.CopyOf = Values;
        break;
      }
      case TSwitch::None:
        Line.Valid = false;
        break;
    }
  }
  return Line;
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view Line) {
  const auto IsBlank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  size_t At = 0;
  if (!Line.empty() && Line[0] == u'"') {
    const size_t Close = Line.find(u'"', 1);
    At = Close == std::u16string_view::npos ? Line.size() : Close + 1;
  }
  while (At < Line.size() && !IsBlank(Line[At])) ++At;
  std::vector<std::u16string> Arguments;
  for (;;) {
    while (At < Line.size() && IsBlank(Line[At])) ++At;
    if (At == Line.size()) return Arguments;
    std::u16string Argument;
    bool Quoted = false;
    for (; At < Line.size() && (Quoted || !IsBlank(Line[At])); ++At) {
      size_t Backslashes = 0;
      while (At < Line.size() && Line[At] == u'\\') ++Backslashes, ++At;
      if (At < Line.size() && Line[At] == u'"') {
        Argument.append(Backslashes / 2, u'\\');
        if (Backslashes % 2 == 1)
          Argument += u'"';
        else
          Quoted = !Quoted;
      } else {
        Argument.append(Backslashes, u'\\');
        if (At == Line.size() || (!Quoted && IsBlank(Line[At]))) break;
        Argument += Line[At];
      }
    }
    Arguments.push_back(std::move(Argument));
  }
}
