#pragma once
// Folder and path operations on UTF-16 paths, and the temporary folder.

#include <string>

// Whether a folder stands at Path.
bool FolderExists(const std::wstring& Path);

// Creates Folder and every missing parent. False when the folder does not exist afterwards.
bool ForceDirectories(const std::wstring& Folder);

// The canonical full form of Path (GetFullPathNameW): "." and ".." resolved, separators
// unified, trailing dots and blanks of segments dropped. "" when the platform refuses it.
std::wstring FullPathName(const std::wstring& Path);

// True when Path's canonical form lies inside Folder's (which ends in a backslash), letters
// compared without regard to case as the file system does.
bool IsInsideFolder(const std::wstring& Path, const std::wstring& Folder);

// The user's temporary folder (GetTempPathA), ending in a backslash; "" when the platform can't
// name it.
std::string GetTempDir();
