#include "engine/InstalledList.h"

#include <unordered_set>

#include "base/Cp949.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

std::vector<std::string> ParseInstalledList(std::string_view Text) {
  if (Text.substr(0, kUtf8Bom.size()) == kUtf8Bom) Text.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> Paths;
  while (!Text.empty()) {
    const size_t End = Text.find('\n');
    std::string_view Line = Text.substr(0, End);
    Text.remove_prefix(End == std::string_view::npos ? Text.size() : End + 1);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    if (!Line.empty()) Paths.emplace_back(Line);
  }
  return Paths;
}

std::string InstalledListText(const std::vector<std::string>& Paths) {
  std::string Text;
  for (const std::string& Path : Paths) Text += Path + "\r\n";
  return Text;
}

std::vector<std::string> InstalledListUnion(std::vector<std::string> Listed,
                                            const std::vector<std::string>& Added,
                                            const std::function<void()>& Between) {
  const auto Step = [&] {
    if (Between) Between();
  };
  std::unordered_set<std::string> Seen;
  Seen.reserve(Listed.size() + Added.size());
  std::vector<std::string> Union;
  Union.reserve(Listed.size() + Added.size());
  for (std::string& Path : Listed) {
    Step();
    if (Seen.insert(PathKey<char>(Path)).second) Union.push_back(std::move(Path));
  }
  for (const std::string& Path : Added) {
    Step();
    if (!Seen.insert(PathKey<char>(Path)).second) continue;
    std::string Local = Path;
    for (char& c : Local)
      if (c == '/') c = '\\';
    Union.push_back(std::move(Local));
  }
  return Union;
}
