// The path refusal rule as the install manager applies it: a manifest path, its separators made
// local, judged by IsInstallablePath. An accepted path joined to the install folder and resolved
// the way Windows resolves it must stay inside the folder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "engine/InstallRules.h"
#include "net/dsInetUtils.h"

namespace {

constexpr std::u16string_view kInstallFolder = u"C:\\Program Files\\Velquor\\";
// Components of kInstallFolder: the drive, "Program Files", "Velquor".
constexpr std::size_t kFolderDepth = 3;
// Bytes below this stand for themselves (ASCII and Latin-1, where the superscript digits are);
// a byte from here on starts a two-byte UTF-16 unit, so any unit can be reached.
constexpr std::uint8_t kWideEscape = 0xF0;

std::u16string DecodePath(const std::uint8_t* Data, std::size_t Size) {
  std::u16string Path;
  for (std::size_t i = 0; i < Size; ++i) {
    if (Data[i] < kWideEscape) {
      Path += static_cast<char16_t>(Data[i]);
    } else if (i + 2 < Size) {
      Path += static_cast<char16_t>((Data[i + 1] << 8) | Data[i + 2]);
      i += 2;
    }
  }
  return Path;
}

bool OnlyDotsAndBlanks(std::u16string_view Segment) {
  return Segment.find_first_not_of(u". ") == std::u16string_view::npos;
}

// Resolves Path as Windows would, erring towards leaving: "/" is a separator, runs of separators
// collapse, "." stays, a segment of dots and blanks with two dots or more goes up (the file
// system drops trailing dots and blanks, so "..." and ".. " end up as ".."), and any other
// segment loses its trailing dots and blanks. False when it climbs above the install folder.
bool StaysInsideFolder(std::u16string_view Path) {
  std::size_t Depth = 0;
  std::size_t Start = 0;
  for (;;) {
    const std::size_t End = Path.find_first_of(u"\\/", Start);
    const std::u16string_view Segment = Path.substr(Start, End - Start);
    if (OnlyDotsAndBlanks(Segment)) {
      std::size_t DotCount = 0;
      for (char16_t c : Segment) DotCount += c == u'.';
      if (DotCount >= 2) {
        if (Depth <= kFolderDepth) return false;
        --Depth;
      }
    } else {
      ++Depth;
    }
    if (End == std::u16string_view::npos) return true;
    Start = End + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::u16string Local = ToLocalPath(DecodePath(Data, Size));
  if (!IsInstallablePath(Local)) return 0;
  const std::string Shown = Escaped(std::u16string_view(Local));
  FuzzCheck(Local.find(u':') == std::u16string::npos, "an accepted path holds no ':'", Shown);
  FuzzCheck(Local.substr(0, 2) != u"\\\\", "an accepted path does not begin with \"\\\\\"", Shown);
  FuzzCheck(StaysInsideFolder(std::u16string(kInstallFolder) + Local),
            "an accepted path stays inside the install folder", Shown);
  return 0;
}
