#include "net/dsInetUtils.h"

namespace {

std::u16string ReplaceSeparator(std::u16string_view Path, char16_t From, char16_t To) {
  std::u16string Result(Path);
  for (char16_t& c : Result) {
    if (c == From) c = To;
  }
  return Result;
}

}  // namespace

std::u16string ToURLPath(std::u16string_view Path) { return ReplaceSeparator(Path, u'\\', u'/'); }

std::u16string ToLocalPath(std::u16string_view Path) { return ReplaceSeparator(Path, u'/', u'\\'); }

std::string ChangeFileExt(std::string_view FileName, std::string_view Ext) {
  // Byte-wise search is safe in code page 949: '.', '\' and ':' are never trail bytes there.
  const size_t Delimiter = FileName.find_last_of(".\\:");
  std::string Result(FileName);
  if (Delimiter != std::string_view::npos && FileName[Delimiter] == '.') Result.resize(Delimiter);
  Result += Ext;
  return Result;
}

std::string MakeTempFileName(std::string_view Ext, TTempFolder& Folder) {
  for (int Pass = 0; Pass < kMaxTempNamePasses; ++Pass) {
    const std::string Placeholder = Folder.NewPlaceholder();
    if (Placeholder.empty()) return {};
    std::string Candidate = ChangeFileExt(Placeholder, Ext);
    if (!Folder.FileExists(Candidate)) return Candidate;
  }
  return {};
}
