#pragma once
// Folder and path operations on UTF-16 paths, and the temporary folder.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <windows.h>

#include "win32/Handle.h"

// The length of the file at Path; 0 when there is none.
std::uint64_t FileSizeOf(const std::wstring& Path);

// Whether a folder stands at Path.
bool FolderExists(const std::wstring& Path);

// Creates Folder and every missing parent. False when the folder does not exist afterwards.
bool ForceDirectories(const std::wstring& Folder);

// The canonical full form of Path (GetFullPathNameW): "." and ".." resolved, separators
// unified, trailing dots and blanks of segments dropped. "" when the platform refuses it.
std::wstring FullPathName(const std::wstring& Path);

// Path's canonical full form with the "\\?\" prefix (or "\\?\UNC\"), which no MAX_PATH
// limit meets: what every call on a path the manifest chose is given. A path that has the
// prefix already stays as it is; "" when the platform refuses Path.
std::wstring ExtendedPath(const std::wstring& Path);
// Path without that prefix, as a final path or a full path shows it.
std::wstring WithoutExtendedPrefix(const std::wstring& Path);
// The long and the short form of an existing path ("ADMINI~1" and "Administrator"); "" when the
// path does not exist or has no such form.
std::wstring LongPathForm(const std::wstring& Path);
std::wstring ShortPathForm(const std::wstring& Path);
// Text as the file system compares names: every letter in its upper case.
std::wstring UpperCase(std::wstring Text);
// A file or folder opened only to compare it with another (SameFile); empty when there is none.
TFileHandle OpenForComparing(const std::wstring& Path);

// Whether an open or create failed because of the path itself (too long, a name the file
// system cannot hold, a folder that cannot be there) rather than the file.
bool IsPathRefused(DWORD Error) noexcept;

// True when Path's canonical form lies inside Folder's (which ends in a backslash), letters
// compared without regard to case as the file system does.
bool IsInsideFolder(const std::wstring& Path, const std::wstring& Folder);

// The user's temporary folder (GetTempPathA), ending in a backslash; "" when the platform can't
// name it.
std::string GetTempDir();

// What File holds from where it stands to its end, at most MaxSize bytes; false when it holds
// more or a read fails.
bool ReadToEnd(HANDLE File, std::size_t MaxSize, std::string& Bytes);

// Renames the file open as File (with DELETE access) to NewPath in the same volume, replacing a
// file there when Replace; the system's error is GetLastError's.
bool RenameByHandle(HANDLE File, const std::wstring& NewPath, bool Replace);
// Marks the file open as File (with DELETE access) for deletion: it goes with the last handle.
bool DeleteByHandle(HANDLE File);

enum class TFileRead { Read, Missing, Failed };
// The whole file, at most MaxSize bytes (a longer one is Failed), opened so that others may only
// read it; Held, when given, keeps it so after the call. Missing is "no such file or folder"
// only: any other failure (a file held without sharing) is Failed.
TFileRead ReadWholeFile(const std::wstring& Path, std::size_t MaxSize, std::string& Bytes,
                        TFileHandle* Held = nullptr);

struct TVolumeRoom {
  std::uint64_t Free = 0;     // bytes the caller may still use
  std::uint64_t Cluster = 0;  // the volume's allocation unit
};
// The room on the volume that holds Path (through its nearest existing folder); nothing when
// the platform cannot tell.
std::optional<TVolumeRoom> VolumeRoom(const std::wstring& Path);
