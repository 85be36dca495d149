#pragma once
// The file this process was started from, reached through its mapping rather than its path: a
// running program's file can be renamed and its path filled with another file, after the
// elevation prompt showed the genuine one.

#include <windows.h>

#include <string>

#include "win32/Handle.h"

// The running image opened for reading; empty when it can't be reached.
TFileHandle OpenRunningImage();

// Whether two handles refer to one file (volume and file index, not path text).
bool SameFile(HANDLE A, HANDLE B);

// Whether File stands directly in Folder, compared by the folders' identity.
bool IsInFolder(HANDLE File, const std::wstring& Folder);

// A folder opened only to compare it; empty when there is none.
TFileHandle OpenFolder(const std::wstring& Folder);
