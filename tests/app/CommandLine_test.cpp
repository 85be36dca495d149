#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <ostream>

#include "PrintU16.h"

namespace {

using TCopyOf = std::optional<std::pair<std::uint64_t, std::uint64_t>>;

struct TLineCase {
  const char* Name;
  std::vector<std::u16string> Arguments;
  bool InstalledUninstaller;
  bool Remove;
  bool Quiet;
  bool Valid;
  TCopyOf CopyOf = std::nullopt;
  friend void PrintTo(const TLineCase& c, std::ostream* os) {
    for (const std::u16string& Argument : c.Arguments) *os << '"' << Printable(Argument) << "\" ";
    *os << (c.InstalledUninstaller ? "(installed uninstaller)" : "(installer)");
  }
};

class CommandLineRule : public testing::TestWithParam<TLineCase> {};

TEST_P(CommandLineRule, ChecksRemovalSwitchesAndIgnoresTheInstallers) {
  const TLineCase& c = GetParam();
  const TCommandLine Line = ParseCommandLine(c.Arguments, c.InstalledUninstaller);
  EXPECT_EQ(Line.Remove, c.Remove);
  EXPECT_EQ(Line.Quiet, c.Quiet);
  EXPECT_EQ(Line.Valid, c.Valid);
  // A line that is not valid ends the run before its handles are used.
  if (c.Valid) {
    EXPECT_EQ(Line.CopyOf, c.CopyOf);
  }
}

const auto kCaseName = [](const auto& Info) { return std::string(Info.param.Name); };

INSTANTIATE_TEST_SUITE_P(
    Installer, CommandLineRule,
    testing::Values(
        TLineCase{"Nothing", {}, false, false, false, true},
        TLineCase{
            "IgnoresEverything", {u"/quiet", u"/S", u"setup", u""}, false, false, false, true},
        TLineCase{
            "Lookalikes",
            {u"uninstall", u"/uninstaller", u"/uninstall:yes", u"/copyofx:1,2", u"\\uninstall"},
            false,
            false,
            false,
            true},
        // Only ASCII letters fold: a dotted capital I does not make "uninstall".
        TLineCase{"DottedCapitalI", {u"/un\u0130nstall"}, false, false, false, true}),
    kCaseName);

INSTANTIATE_TEST_SUITE_P(
    Uninstall, CommandLineRule,
    testing::Values(
        TLineCase{"Slash", {u"/uninstall"}, false, true, false, true},
        TLineCase{"AnyCaseRepeated",
                  {u"/quiet", u"-UNINSTALL", u"/uninstall", u"-Quiet"},
                  false,
                  true,
                  true,
                  true},
        TLineCase{"BareWord", {u"/uninstall", u"quiet"}, false, true, false, false},
        TLineCase{"EmptyArgument", {u"/uninstall", u""}, false, true, false, false},
        TLineCase{"SwitchCharacterAlone", {u"-", u"/uninstall"}, false, true, false, false},
        TLineCase{"SwitchWithValue", {u"/uninstall", u"/uninstall:yes"}, false, true, false, false},
        // Quiet holds on a bad line, so a deployment tool gets its code without a message box.
        TLineCase{"QuietOnABadLine",
                  {u"/uninstall", u"/quiet", u"/norestart"},
                  false,
                  true,
                  true,
                  false}),
    kCaseName);

INSTANTIATE_TEST_SUITE_P(
    InstalledUninstaller, CommandLineRule,
    testing::Values(TLineCase{"Nothing", {}, true, true, false, true},
                    TLineCase{"Quiet", {u"/quiet", u"/uninstall"}, true, true, true, true},
                    TLineCase{"BareWord", {u"setup"}, true, true, false, false},
                    TLineCase{"UnknownSwitch", {u"-quiet", u"/x"}, true, true, true, false}),
    kCaseName);

INSTANTIATE_TEST_SUITE_P(
    CopyOf, CommandLineRule,
    testing::Values(
        TLineCase{
            "Hex", {u"-COPYOF:1a2B,ff", u"/quiet"}, false, true, true, true, {{0x1a2b, 0xff}}},
        TLineCase{"SixteenDigits",
                  {u"/copyof:FFFFFFFFFFFFFFFF,0000000000000001"},
                  false,
                  true,
                  false,
                  true,
                  {{~std::uint64_t{0}, 1}}},
        TLineCase{"RepeatedAlike",
                  {u"/copyof:1,2", u"/uninstall", u"/copyof:1,2"},
                  false,
                  true,
                  false,
                  true,
                  {{1, 2}}},
        TLineCase{"RepeatedDiffering", {u"/copyof:1,2", u"/copyof:1,3"}, false, true, false, false},
        TLineCase{"SeventeenDigits", {u"/copyof:10000000000000000,1"}, false, true, false, false},
        TLineCase{"NoValues", {u"/copyof"}, false, true, false, false},
        TLineCase{"OneValue", {u"/copyof:1"}, false, true, false, false},
        TLineCase{"FirstEmpty", {u"/copyof:,1"}, false, true, false, false},
        TLineCase{"SecondEmpty", {u"/copyof:1,"}, false, true, false, false},
        TLineCase{"ThreeValues", {u"/copyof:1,2,3"}, false, true, false, false},
        TLineCase{"HexPrefix", {u"/copyof:0x1,2"}, false, true, false, false},
        TLineCase{"NotHex", {u"/copyof:g,-1"}, false, true, false, false},
        TLineCase{"Blank", {u"/copyof: 1,2"}, false, true, false, false}),
    kCaseName);

// Split as every Windows program splits its command line, so that a quoted path or an argument
// the uninstaller's caller built reaches the rules above as it was meant.
TEST(SplitCommandLine, SplitsAsWindowsProgramsDo) {
  using TArgs = std::vector<std::u16string>;
  const std::pair<std::u16string, TArgs> Cases[] = {
      {u"setup.exe", {}},
      {u"\"C:\\Program Files\\a b\\u.exe\"  /uninstall\t/quiet ", {u"/uninstall", u"/quiet"}},
      {u"u.exe \"a b\" c\"d e\"f", {u"a b", u"cd ef"}},
      {u"u.exe a\\\\b \\\\\"x y\" \\\"q", {u"a\\\\b", u"\\x y", u"\"q"}},
      {u"u.exe \"\" trailing\\", {u"", u"trailing\\"}},
  };
  for (const auto& [Line, Arguments] : Cases)
    EXPECT_EQ(SplitCommandLine(Line), Arguments) << Printable(Line);
}

}  // namespace
