#include "engine/RestartOperations.h"

#include <algorithm>

namespace {

constexpr std::u16string_view kNtPrefix = u"\\??\\";

}  // namespace

std::optional<std::vector<TRestartOperation>> ParseRestartOperations(std::u16string_view Value) {
  std::vector<TRestartOperation> Operations;
  if (Value.empty()) return Operations;
  if (Value.back() != u'\0') return std::nullopt;
  Value.remove_suffix(1);
  // Each path ends in its own NUL: after the final one is taken off, the rest ends in one too.
  if (!Value.empty() && Value.back() != u'\0') return std::nullopt;
  std::vector<std::u16string> Paths;
  while (!Value.empty()) {
    const size_t End = Value.find(u'\0');
    Paths.emplace_back(Value.substr(0, End));
    Value.remove_prefix(End + 1);
  }
  if (Paths.size() % 2 != 0) return std::nullopt;
  for (size_t i = 0; i < Paths.size(); i += 2)
    Operations.push_back({std::move(Paths[i]), std::move(Paths[i + 1])});
  return Operations;
}

std::u16string RestartOperationsValue(const std::vector<TRestartOperation>& Operations) {
  std::u16string Value;
  for (const TRestartOperation& Operation : Operations) {
    Value += Operation.From;
    Value += u'\0';
    Value += Operation.To;
    Value += u'\0';
  }
  return Value += u'\0';
}

std::u16string_view RestartPath(std::u16string_view Entry) {
  const size_t Prefix = Entry.find(kNtPrefix);
  return Prefix == std::u16string_view::npos ? std::u16string_view()
                                             : Entry.substr(Prefix + kNtPrefix.size());
}

std::size_t RemoveRestartDeletions(std::vector<TRestartOperation>& Operations,
                                   const std::function<bool(std::u16string_view Path)>& Matches) {
  return std::erase_if(Operations, [&](const TRestartOperation& Operation) {
    const std::u16string_view Path = RestartPath(Operation.From);
    return Operation.To.empty() && !Path.empty() && Matches(Path);
  });
}
