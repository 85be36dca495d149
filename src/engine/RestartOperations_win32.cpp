// The Session Manager's values of what Windows does to files when it restarts.

#include <windows.h>

#include "engine/RestartOperations.h"
#include "win32/Registry.h"

namespace {

constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// Windows writes the second one for some callers; a deletion may stand in either.
constexpr const char* kValues[] = {"PendingFileRenameOperations", "PendingFileRenameOperations2"};

std::optional<std::vector<TRestartOperation>> ReadOperations(HKEY Key, const char* Name) {
  std::u16string Data;
  if (QueryRegMultiString(Key, Name, Data) != ERROR_SUCCESS) return std::nullopt;
  return ParseRestartOperations(Data);
}

}  // namespace

std::size_t CancelRestartDeletions(const std::function<bool(std::u16string_view Path)>& Matches) {
  const TRegKey Key =
      OpenRegKey(HKEY_LOCAL_MACHINE, kSessionManager, KEY_QUERY_VALUE | KEY_SET_VALUE);
  if (!Key) return 0;
  std::size_t Cancelled = 0;
  for (const char* Name : kValues) {
    std::optional<std::vector<TRestartOperation>> Operations = ReadOperations(Key.Get(), Name);
    if (!Operations || RemoveRestartDeletions(*Operations, Matches) == 0) continue;
    // Another program may have added an entry since: the value written is the one read now.
    Operations = ReadOperations(Key.Get(), Name);
    if (!Operations) continue;
    const std::size_t Removed = RemoveRestartDeletions(*Operations, Matches);
    if (Removed > 0 &&
        WriteRegMultiString(Key.Get(), Name, RestartOperationsValue(*Operations)) == ERROR_SUCCESS)
      Cancelled += Removed;
  }
  return Cancelled;
}

std::vector<std::u16string> RestartDeletions() {
  const TRegKey Key = OpenRegKey(HKEY_LOCAL_MACHINE, kSessionManager, KEY_QUERY_VALUE);
  std::vector<std::u16string> Paths;
  for (const char* Name : kValues)
    if (const auto Operations = ReadOperations(Key.Get(), Name))
      for (const TRestartOperation& Operation : *Operations)
        if (Operation.To.empty() && !RestartPath(Operation.From).empty())
          Paths.emplace_back(RestartPath(Operation.From));
  return Paths;
}
