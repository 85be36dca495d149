#include "engine/Manifest.h"

#include "base/Cp949.h"

#include <utility>

namespace {

constexpr std::string_view kFilesSection = "files";
constexpr std::string_view kInfoSection = "info";
constexpr std::string_view kSha256Section = "sha256";
constexpr std::string_view kSizeSection = "size";
constexpr std::string_view kLicFileKey = "licfile";
constexpr std::string_view kMsgFileKey = "msgfile";
constexpr std::string_view kVersionKey = "version";
constexpr std::string_view kReleaseKey = "release";

std::string_view NameOf(std::string_view Line) { return Line.substr(0, Line.find('=')); }

std::string_view ValueOf(std::string_view Line) {
  const size_t Equals = Line.find('=');
  return Equals == std::string_view::npos ? std::string_view{} : Line.substr(Equals + 1);
}

}  // namespace

bool SameAnsiText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size();) {
    const size_t Size = Cp949CharSize(A, i);
    // A double-byte character matches only itself, trail byte included.
    if (Size == 2 ? A.substr(i, 2) != B.substr(i, 2) : AsciiUpper(A[i]) != AsciiUpper(B[i]))
      return false;
    i += Size;
  }
  return true;
}

std::string AnsiNameKey(std::string_view Name) {
  std::string Key(Name);
  for (size_t i = 0; i < Key.size();) {
    const size_t Size = Cp949CharSize(Key, i);
    if (Size == 1) Key[i] = AsciiUpper(Key[i]);
    i += Size;
  }
  return Key;
}

TSectionLines::TSectionLines(std::vector<std::string> Lines) : Lines_(std::move(Lines)) {
  FirstOfName_.reserve(Lines_.size());
  for (size_t i = 0; i < Lines_.size(); ++i)
    FirstOfName_.try_emplace(AnsiNameKey(NameOf(Lines_[i])), i);
}

std::optional<std::string_view> TSectionLines::Find(std::string_view Name) const {
  const auto Found = FirstOfName_.find(AnsiNameKey(Name));
  if (Found == FirstOfName_.end()) return std::nullopt;
  return ValueOf(Lines_[Found->second]);
}

std::vector<std::string> ReadSectionLines(TProfileReader& Reader, std::string_view Section) {
  std::vector<std::string> Lines;
  std::vector<TProfileEntry> Entries = Reader.SectionEntries(Section);
  Lines.reserve(Entries.size());
  for (TProfileEntry& Entry : Entries) {
    Entry.Name += '=';
    Entry.Name += Entry.Value;
    Lines.push_back(std::move(Entry.Name));
  }
  return Lines;
}

std::optional<std::string> FindValueOfName(const std::vector<std::string>& Lines,
                                           std::string_view Name) {
  for (const std::string& Line : Lines) {
    if (SameAnsiText(NameOf(Line), Name)) return std::string(ValueOf(Line));
  }
  return std::nullopt;
}

std::string ValueOfName(const std::vector<std::string>& Lines, std::string_view Name) {
  return FindValueOfName(Lines, Name).value_or(std::string());
}

std::vector<std::string> FilesOf(const TManifest& Manifest) {
  std::vector<std::string> All;
  for (const std::string* Extra : {&Manifest.LicFile, &Manifest.MsgFile})
    if (!Extra->empty()) All.push_back(*Extra);
  All.insert(All.end(), Manifest.Files.begin(), Manifest.Files.end());
  return All;
}

void ReadManifest(TProfileReader& Reader, TManifest& Manifest) {
  Manifest.Files.clear();
  // Each entry already carries the value of the first entry of its name.
  for (TProfileEntry& Entry : Reader.SectionEntries(kFilesSection))
    if (!Entry.Value.empty()) Manifest.Files.push_back(std::move(Entry.Value));
  const std::vector<std::string> InfoLines = ReadSectionLines(Reader, kInfoSection);
  Manifest.LicFile = ValueOfName(InfoLines, kLicFileKey);
  Manifest.MsgFile = ValueOfName(InfoLines, kMsgFileKey);
  Manifest.Version = ValueOfName(InfoLines, kVersionKey);
  Manifest.Release = FindValueOfName(InfoLines, kReleaseKey);
  Manifest.Sha256 = ReadSectionLines(Reader, kSha256Section);
  Manifest.Sizes = ReadSectionLines(Reader, kSizeSection);
}
