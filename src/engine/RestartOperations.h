#pragma once
// What Windows does to files when it restarts, as the Session Manager's
// PendingFileRenameOperations values list it (REG_MULTI_SZ): pairs of paths, from and to, each
// ended by a NUL, the whole ended by one more NUL; an empty "to" deletes "from". The paths are
// NT paths ("\??\C:\..."), a "to" may carry a flag before its prefix ("!\??\..." replaces).
// Portable: the value's rules need no platform.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TRestartOperation {
  std::u16string From;
  std::u16string To;  // "" to delete From
};

// The pairs of a value's data (its UTF-16 code units as stored, the final NUL included); nothing
// when it is not whole pairs ended by that NUL: such a value is nobody's to rewrite.
std::optional<std::vector<TRestartOperation>> ParseRestartOperations(std::u16string_view Value);
// The data of the value that lists Operations.
std::u16string RestartOperationsValue(const std::vector<TRestartOperation>& Operations);
// The file system path an entry names: what follows its "\??\" prefix and anything before it;
// "" for an entry without the prefix.
std::u16string_view RestartPath(std::u16string_view Entry);
// Takes out of Operations the deletions whose path Matches; how many went. Renames stay.
std::size_t RemoveRestartDeletions(std::vector<TRestartOperation>& Operations,
                                   const std::function<bool(std::u16string_view Path)>& Matches);

#ifdef _WIN32
// Takes out of both of the Session Manager's values the deletions whose path Matches. Each value
// is read again just before it is written, and written only when something matched; a value
// that is malformed, or can't be read or written, stays as it is. How many went.
std::size_t CancelRestartDeletions(const std::function<bool(std::u16string_view Path)>& Matches);
// Every path that one of the two values deletes at the restart.
std::vector<std::u16string> RestartDeletions();
#endif
