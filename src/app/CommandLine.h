#pragma once
// The switches of the installer and of the uninstaller it places in the install folder. Both are
// one image; removal is asked for by a switch or by running the image from its installed place.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct TCommandLine {
  bool Remove = false;
  bool Quiet = false;
  bool Valid = true;  // false: the caller ends with kExitBadCommandLine
  // The two handle values the uninstaller hands to its private copy, which it runs from the
  // temporary folder so that the installed image can be deleted.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> CopyOf;
};

// Arguments without the program's name. A switch starts with '/' or '-' and its name is
// compared without regard to ASCII case: "uninstall", "quiet" and the private
// "copyof:<hex>,<hex>" (1-16 hex digits each), which implies removal.
// Removal is asked for by any "uninstall" or "copyof" switch (also a malformed one), or by
// InstalledUninstaller. Then every argument must be one of these switches, each as often as
// wanted (repeated "copyof" values must agree); anything else makes the line not Valid. Quiet
// is kept even then, so a deployment tool's bad line still ends without a message box.
// Without removal the installer ignores its whole command line, as it always has.
TCommandLine ParseCommandLine(const std::vector<std::u16string>& Arguments,
                              bool InstalledUninstaller);

// The arguments of a command line as Windows programs split it (CommandLineToArgvW's rules,
// without shell32): the program's name first, quoted or up to a blank, is left out; blanks
// separate arguments outside double quotes; backslashes are literal unless they stand before a
// quote, where each pair gives one and an odd one makes the quote literal.
std::vector<std::u16string> SplitCommandLine(std::u16string_view Line);
