#pragma once
// The install manifest "install.inf": [files] lists what to install, in order; [info] names the
// two optional extra files; the optional [sha256] gives the digest of a file by its relative path
// as listed, and the optional [size] its length. All texts are in the ANSI code page.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/ProfileReader.h"

struct TManifest {
  std::vector<std::string> Files;
  std::string LicFile;
  std::string MsgFile;
  // The [sha256] section as "name=value" lines, in file order (engine/Integrity.h reads them).
  // Defaulted, so a record built from the first three members alone still builds cleanly.
  std::vector<std::string> Sha256 = {};
  // [info] "version": "" when there is none.
  std::string Version = {};
  // The [size] section as "name=value" lines, as [sha256] is: each file's length in bytes.
  std::vector<std::string> Sizes = {};
  // [info] "release": the folder under the base URL that the files are fetched from; nothing
  // when the key is absent, told from an empty value (which is malformed).
  std::optional<std::string> Release = {};
};

// Compares two ANSI (code page 949) names without regard to the case of Latin letters. Bytes of
// a double-byte character are compared as they are: a trail byte may look like a letter.
bool SameAnsiText(std::string_view A, std::string_view B);

// A section as "name=value" lines, one per key in file order.
std::vector<std::string> ReadSectionLines(TProfileReader& Reader, std::string_view Section);

// Name as SameAnsiText compares names: two names are the same exactly when their keys are equal.
std::string AnsiNameKey(std::string_view Name);

// A section's "name=value" lines, each name's first line found without a search, so that one
// lookup a file costs the same however long the manifest is.
class TSectionLines {
 public:
  TSectionLines() = default;
  explicit TSectionLines(std::vector<std::string> Lines);
  const std::vector<std::string>& Lines() const noexcept { return Lines_; }
  // As FindValueOfName over the lines.
  std::optional<std::string_view> Find(std::string_view Name) const;

 private:
  std::vector<std::string> Lines_;
  std::unordered_map<std::string, std::size_t> FirstOfName_;
};

// The value of the first line whose name (the text before its first "=") equals Name without
// regard to case; "" when there is none.
std::string ValueOfName(const std::vector<std::string>& Lines, std::string_view Name);
// The same, but a name without a line gives nothing, so that it differs from an empty value.
std::optional<std::string> FindValueOfName(const std::vector<std::string>& Lines,
                                           std::string_view Name);

// Every file the manifest installs, in the order of installation: the extra files that it names,
// then [files].
std::vector<std::string> FilesOf(const TManifest& Manifest);

// Fills Manifest from the reader's [files], [info] and [sha256]: for each [files] line, in order,
// the value of the first line of that name, when it is not empty. Files is cleared first.
void ReadManifest(TProfileReader& Reader, TManifest& Manifest);

#ifdef _WIN32
// Reads the downloaded manifest copy at Path (an ANSI path). Raises EInstallerError
// "Cannot open file \"<Path>\". <reason>" when the file can't be opened for reading; a file that
// opens but holds no usable entries simply gives empty results.
void LoadManifest(const std::string& Path, TManifest& Manifest);
#endif
