#include "engine/RemovalPlan.h"

#include <algorithm>
#include <unordered_set>

#include "base/Cp949.h"
#include "engine/InstallRules.h"

namespace {

constexpr std::u16string_view kWorkFolders[] = {u"Log", u"Update", u"Report"};

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Windows drops a segment's trailing dots and blanks: what is left names the folder.
std::u16string_view Trimmed(std::u16string_view Segment) {
  while (!Segment.empty() && (Segment.back() == u'.' || Segment.back() == u' '))
    Segment.remove_suffix(1);
  return Segment;
}

struct TFolder {
  std::u16string Name;
  size_t Depth;
};

// Each folder above File, outermost first, with the key under which Windows sees it.
void AddParentFolders(std::u16string_view File, std::unordered_set<std::u16string>& Seen,
                      std::vector<TFolder>& Folders) {
  std::u16string Name;
  std::u16string Key;
  size_t Depth = 0;
  size_t Start = 0;
  for (size_t End = 0; End < File.size(); ++End) {
    if (!IsSeparator(File[End])) continue;
    const std::u16string_view Segment = File.substr(Start, End - Start);
    Start = End + 1;
    if (Trimmed(Segment).empty()) continue;  // "", "." and the like: the same folder again
    if (Depth++ > 0) {
      Name += u'\\';
      Key += u'\\';
    }
    Name += Segment;
    Key += PathKey<char16_t>(Trimmed(Segment));
    if (Seen.insert(Key).second) Folders.push_back({Name, Depth});
  }
}

}  // namespace

TRemovalPlan PlanRemoval(const std::vector<std::u16string>& Listed) {
  TRemovalPlan Plan;
  std::unordered_set<std::u16string> SeenFiles;
  std::unordered_set<std::u16string> SeenSkipped;
  std::unordered_set<std::u16string> SeenFolders;
  std::vector<TFolder> Folders;
  for (const std::u16string& Path : Listed) {
    if (!IsInstallablePath(Path)) {
      if (SeenSkipped.insert(PathKey<char16_t>(Path)).second) Plan.Skipped.push_back(Path);
      continue;
    }
    if (!SeenFiles.insert(PathKey<char16_t>(Path)).second) continue;
    Plan.Files.push_back(Path);
    AddParentFolders(Path, SeenFolders, Folders);
  }
  // A folder is empty only once what it holds is gone, so the deepest go first.
  std::stable_sort(Folders.begin(), Folders.end(),
                   [](const TFolder& A, const TFolder& B) { return A.Depth > B.Depth; });
  for (TFolder& Folder : Folders) Plan.Folders.push_back(std::move(Folder.Name));
  for (std::u16string_view Folder : kWorkFolders)
    if (SeenFolders.insert(PathKey<char16_t>(Folder)).second) Plan.Folders.emplace_back(Folder);
  return Plan;
}

int RemovalExitCode(const TRemovalOutcome& Outcome) {
  if (Outcome.Failed) return kExitFailed;
  if (Outcome.AtRestart) return kExitRestartRequired;
  return kExitSuccess;
}

std::string RemovalMessage(const TRemovalOutcome& Outcome) {
  if (Outcome.NotInstalled) return "Velquor 매니저가 설치되어 있지 않습니다.";
  if (Outcome.Failed) return "Velquor 매니저를 모두 제거하지 못했습니다.";
  std::string Text = "Velquor 매니저를 제거했습니다.";
  if (Outcome.AtRestart) Text += "\r\n사용 중인 파일은 컴퓨터를 다시 시작하면 제거됩니다.";
  if (Outcome.FolderKept) Text += "\r\n설치 폴더에 남은 파일이 있어 폴더를 남겨 두었습니다.";
  return Text;
}
