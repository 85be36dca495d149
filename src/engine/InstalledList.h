#pragma once
// install.lst in the install folder: what this product put there, so that the uninstaller
// removes exactly that. UTF-8, one relative path a line in local form (backslashes), each line
// ended by CR LF. Paths are compared without regard to ASCII letter case, as Windows names are.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ProductFiles.h"

// The paths of the list's text in their order: lines split at LF with a CR before it dropped,
// empty lines skipped, a UTF-8 byte-order mark at the start ignored (an editor may add one).
std::vector<std::string> ParseInstalledList(std::string_view Text);

// Each path followed by CR LF.
std::string InstalledListText(const std::vector<std::string>& Paths);

// Listed in its order with repeats dropped (the first kept), then each of Added not yet in it,
// '/' turned into '\'. Two paths are the same when they differ only in ASCII letter case or in
// which separator they use.
// Between, when given, is called for each path on the way: a list of many thousand paths takes a
// while, and the caller's window must answer meanwhile.
std::vector<std::string> InstalledListUnion(std::vector<std::string> Listed,
                                            const std::vector<std::string>& Added,
                                            const std::function<void()>& Between = {});
