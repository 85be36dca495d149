#pragma once
// The SHA-256 of a file on disk, read without stopping the window: in slices of a few
// milliseconds, with the thread's waiting messages handed to the application between them (as
// a download's wait does), so that a file of any size leaves the window answering. Part of the
// unit dsInetUtils.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/CryptoTypes.h"

struct THashedFile {
  TSha256Digest Digest;
  ULONGLONG Size;  // the bytes read
};
// How far a read long enough to be seen has come: called before the window's messages are handed
// on in the middle of a file, with the bytes read so far and the file's size.
using THashProgress = std::function<void(ULONGLONG Read, ULONGLONG Size)>;

// The digest of what File holds from its current position to its end; Bytes, when given,
// receives those bytes as well. Nothing when a read fails or the hash cannot be computed.
std::optional<THashedFile> HashFile(HANDLE File, std::string* Bytes = nullptr,
                                    const THashProgress& Progress = {});

// The size of the plain file at Path when its bytes have exactly Digest. It is read with every
// sharing granted, so that a program holding the file does not stop the check. Nothing for a
// missing or unreadable file, a folder, a link or a file with other names, or other bytes.
// FinalPath, when given, is the final path the file has where it is meant to be (a held
// folder's, then its name): a file that shows exactly that one needs no look at its path.
std::optional<ULONGLONG> SizeWithDigest(const std::wstring& Path, const TSha256Digest& Digest,
                                        const THashProgress& Progress = {},
                                        std::wstring_view FinalPath = {});
