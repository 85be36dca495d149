// The shortcut's name, path and working directory for any ANSI (code page 949) text: a
// backslash or colon counts only where it stands as a character of its own, never as the second
// byte of a Hangul character.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "shell/ShortcutRules.h"
#include "base/Cp949.h"

namespace {

constexpr std::string_view kLinkExt = ".lnk";
constexpr std::size_t kMaxTextBytes = 260;

// Whether the byte at Index begins a single-byte character, scanning Text from its start.
bool IsSingleByteAt(std::string_view Text, std::size_t Index) {
  std::size_t i = 0;
  while (i < Index) {
    const bool Pair = IsCp949LeadByte(static_cast<unsigned char>(Text[i])) && i + 1 < Text.size() &&
                      IsCp949TrailByte(static_cast<unsigned char>(Text[i + 1]));
    i += Pair ? 2 : 1;
  }
  if (i != Index) return false;
  return !(IsCp949LeadByte(static_cast<unsigned char>(Text[i])) && i + 1 < Text.size() &&
           IsCp949TrailByte(static_cast<unsigned char>(Text[i + 1])));
}

// Whether Text, from From on, holds one of Chars as a character of its own.
bool HasCharIn(std::string_view Text, std::size_t From, std::string_view Chars) {
  for (std::size_t i = From; i < Text.size(); ++i)
    if (Chars.find(Text[i]) != std::string_view::npos && IsSingleByteAt(Text, i)) return true;
  return false;
}

// The last position where one of Chars stands as a character of its own; npos if none.
std::size_t LastCharIn(std::string_view Text, std::string_view Chars) {
  for (std::size_t i = Text.size(); i-- > 0;)
    if (Chars.find(Text[i]) != std::string_view::npos && IsSingleByteAt(Text, i)) return i;
  return std::string_view::npos;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

bool EndsWith(std::string_view Text, std::string_view Suffix) {
  return Text.size() >= Suffix.size() && Text.substr(Text.size() - Suffix.size()) == Suffix;
}

void CheckLinkName(std::string_view Target, const std::string& Shown) {
  const std::string Name = ShortcutLinkName(Target);
  FuzzCheck(EndsWith(Name, kLinkExt), "the link name ends in \".lnk\"", Shown);
  FuzzCheck(!HasCharIn(Name, 0, "\\:"), "the link name holds no backslash or colon", Shown);
  // The name is Target's file part, its last extension (if any) replaced.
  const std::size_t Folder = LastCharIn(Target, "\\:");
  const std::string_view FilePart =
      Folder == std::string_view::npos ? Target : Target.substr(Folder + 1);
  const std::string_view Stem = std::string_view(Name).substr(0, Name.size() - kLinkExt.size());
  FuzzCheck(StartsWith(FilePart, Stem), "the link name comes from Target's file part", Shown);
  if (Stem.size() < FilePart.size()) {
    FuzzCheck(FilePart[Stem.size()] == '.' && IsSingleByteAt(FilePart, Stem.size()) &&
                  !HasCharIn(FilePart, Stem.size() + 1, "."),
              "only the last extension is replaced", Shown);
  }
}

void CheckWorkingDir(std::string_view Target, std::string_view Given, const std::string& Shown) {
  const std::string Dir = ShortcutWorkingDir(Target, Given);
  if (!Given.empty()) {
    FuzzCheck(Dir == Given, "a given working directory is kept", Shown);
    return;
  }
  FuzzCheck(StartsWith(Target, Dir), "the working directory is a prefix of Target", Shown);
  FuzzCheck(Dir.empty() || (LastCharIn(Target, "\\:") == Dir.size() - 1),
            "the working directory ends at Target's last backslash or colon", Shown);
  FuzzCheck(!Dir.empty() || !HasCharIn(Target, 0, "\\:"),
            "the working directory is empty only when Target has no folder", Shown);
}

void CheckFilePath(std::string_view Folder, ShortcutLocation Location, std::string_view SubFolder,
                   std::string_view Target, const std::string& Shown) {
  const std::string LinkName = ShortcutLinkName(Target);
  const std::string Path = ShortcutFilePath(Folder, Location, SubFolder, LinkName);
  FuzzCheck(StartsWith(Path, Folder), "the shortcut lies below the folder", Shown);
  FuzzCheck(EndsWith(Path, "\\" + LinkName), "the shortcut's path ends in its link name", Shown);
  FuzzCheck(LastCharIn(Path, "\\:") == Path.size() - LinkName.size() - 1,
            "the link name is the path's file name", Shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  FuzzedDataProvider Input(Data, Size);
  const auto Location = static_cast<ShortcutLocation>(Input.ConsumeIntegralInRange(0, 5));
  const std::string Target = Input.ConsumeRandomLengthString(kMaxTextBytes);
  const std::string Given = Input.ConsumeRandomLengthString(kMaxTextBytes);
  const std::string Folder = Input.ConsumeRandomLengthString(kMaxTextBytes);
  const std::string SubFolder = Input.ConsumeRemainingBytesAsString();
  const std::string Shown = "Target=\"" + Escaped(std::string_view(Target)) + "\" WorkingDir=\"" +
                            Escaped(std::string_view(Given)) + "\" Folder=\"" +
                            Escaped(std::string_view(Folder)) + "\" SubFolder=\"" +
                            Escaped(std::string_view(SubFolder)) + "\"";
  CheckLinkName(Target, Shown);
  CheckWorkingDir(Target, Given, Shown);
  CheckFilePath(Folder, Location, SubFolder, Target, Shown);
  return 0;
}
