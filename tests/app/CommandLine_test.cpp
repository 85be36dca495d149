#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "PrintU16.h"

namespace {

using TArgs = std::vector<std::u16string>;
using TCopyOf = std::optional<std::pair<std::uint64_t, std::uint64_t>>;

std::string Shown(const TArgs& Arguments) {
  std::string Text;
  for (const std::u16string& Argument : Arguments) Text += '"' + Printable(Argument) + "\" ";
  return Text;
}

// The installer ignores its whole command line; with removal asked for (by a switch, or by the
// installed uninstaller's place) every argument must be one of its switches.
TEST(CommandLine, ChecksRemovalSwitchesAndTheInstallerIgnoresItsLine) {
  const struct {
    TArgs Arguments;
    bool InstalledUninstaller, Remove, Quiet;
    TCopyOf CopyOf = std::nullopt;
  } Valid[] = {
      {{}, false, false, false},
      {{u"/quiet", u"/S", u"setup", u""}, false, false, false},
      {{u"uninstall", u"/uninstaller", u"/uninstall:yes", u"/copyofx:1,2", u"\\uninstall"},
       false,
       false,
       false},
      // Only ASCII letters fold: a dotted capital I does not make "uninstall".
      {{u"/un\u0130nstall"}, false, false, false},
      {{u"/uninstall"}, false, true, false},
      {{u"/quiet", u"-UNINSTALL", u"/uninstall", u"-Quiet"}, false, true, true},
      {{}, true, true, false},
      {{u"/quiet", u"/uninstall"}, true, true, true},
      {{u"-COPYOF:1a2B,ff", u"/quiet"}, false, true, true, {{0x1a2b, 0xff}}},
      {{u"/copyof:FFFFFFFFFFFFFFFF,0000000000000001"}, false, true, false, {{~0ull, 1}}},
      {{u"/copyof:1,2", u"/uninstall", u"/copyof:1,2"}, false, true, false, {{1, 2}}},
  };
  for (const auto& c : Valid) {
    const TCommandLine Line = ParseCommandLine(c.Arguments, c.InstalledUninstaller);
    SCOPED_TRACE(Shown(c.Arguments));
    EXPECT_TRUE(Line.Valid);
    EXPECT_EQ(Line.Remove, c.Remove);
    EXPECT_EQ(Line.Quiet, c.Quiet);
    EXPECT_EQ(Line.CopyOf, c.CopyOf);
  }
  // Quiet holds on a bad line, so a deployment tool gets its code without a message box.
  const std::pair<TArgs, bool> Invalid[] = {
      {{u"/uninstall", u"quiet"}, false},
      {{u"/uninstall", u""}, false},
      {{u"-", u"/uninstall"}, false},
      {{u"/uninstall", u"/uninstall:yes"}, false},
      {{u"/uninstall", u"/quiet", u"/norestart"}, true},
      {{u"/copyof:1,2", u"/copyof:1,3"}, false},
      {{u"/copyof:10000000000000000,1"}, false},
      {{u"/copyof"}, false},
      {{u"/copyof:1"}, false},
      {{u"/copyof:,1"}, false},
      {{u"/copyof:1,"}, false},
      {{u"/copyof:1,2,3"}, false},
      {{u"/copyof:0x1,2"}, false},
      {{u"/copyof:g,-1"}, false},
      {{u"/copyof: 1,2"}, false},
  };
  for (const auto& [Arguments, Quiet] : Invalid) {
    const TCommandLine Line = ParseCommandLine(Arguments, false);
    SCOPED_TRACE(Shown(Arguments));
    EXPECT_FALSE(Line.Valid);
    EXPECT_TRUE(Line.Remove);
    EXPECT_EQ(Line.Quiet, Quiet);
  }
  // The installed uninstaller's line.
  EXPECT_FALSE(ParseCommandLine({u"setup"}, true).Valid);
  const TCommandLine Unknown = ParseCommandLine({u"-quiet", u"/x"}, true);
  EXPECT_FALSE(Unknown.Valid);
  EXPECT_TRUE(Unknown.Quiet);
}

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
