#include "engine/Manifest.h"

#include "win32/Cp949.h"

namespace {

constexpr std::string_view kFilesSection = "files";
constexpr std::string_view kInfoSection = "info";
constexpr std::string_view kLicFileKey = "licfile";
constexpr std::string_view kMsgFileKey = "msgfile";

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

std::string_view NameOf(std::string_view Line) { return Line.substr(0, Line.find('=')); }

std::string_view ValueOf(std::string_view Line) {
  const size_t Equals = Line.find('=');
  return Equals == std::string_view::npos ? std::string_view{} : Line.substr(Equals + 1);
}

}  // namespace

bool SameAnsiText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    const auto a = static_cast<unsigned char>(A[i]);
    const auto b = static_cast<unsigned char>(B[i]);
    if (IsCp949LeadByte(a) && i + 1 < A.size() &&
        IsCp949TrailByte(static_cast<unsigned char>(A[i + 1]))) {
      // A double-byte character matches only itself, trail byte included.
      if (a != b || A[i + 1] != B[i + 1]) return false;
      ++i;
      continue;
    }
    if (FoldAscii(a) != FoldAscii(b)) return false;
  }
  return true;
}

std::vector<std::string> ReadSectionLines(TProfileReader& Reader, std::string_view Section) {
  std::vector<std::string> Lines;
  for (const std::string& Key : Reader.SectionKeys(Section)) {
    Lines.push_back(Key + "=" + Reader.Value(Section, Key));
  }
  return Lines;
}

std::string ValueOfName(const std::vector<std::string>& Lines, std::string_view Name) {
  for (const std::string& Line : Lines) {
    if (SameAnsiText(NameOf(Line), Name)) return std::string(ValueOf(Line));
  }
  return {};
}

void ReadManifest(TProfileReader& Reader, TManifest& Manifest) {
  Manifest.Files.clear();
  const std::vector<std::string> FileLines = ReadSectionLines(Reader, kFilesSection);
  for (const std::string& Line : FileLines) {
    std::string Value = ValueOfName(FileLines, NameOf(Line));
    if (!Value.empty()) Manifest.Files.push_back(std::move(Value));
  }
  const std::vector<std::string> InfoLines = ReadSectionLines(Reader, kInfoSection);
  Manifest.LicFile = ValueOfName(InfoLines, kLicFileKey);
  Manifest.MsgFile = ValueOfName(InfoLines, kMsgFileKey);
}
