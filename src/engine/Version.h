#pragma once
// A release's version as the manifest's [info] "version" gives it, and the order of two of them,
// by which a signed build refuses a release older than the one installed. The publishing tool
// checks the same grammar before it signs.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// Four parts, compared from the first: {1, 2, 0, 0} for "1.2".
using TVersion = std::array<std::uint16_t, 4>;

// One to four parts separated by ".", each of 1 to 5 ASCII digits with a value of at most
// 65535, and nothing else: no blank, sign or empty part. Leading zeros count for nothing and
// missing parts are 0, so "01.2" and "1.2.0.0" are the same version. Nothing for any other text.
std::optional<TVersion> ParseVersion(std::string_view Text);
