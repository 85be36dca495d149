#pragma once
// The file this process was started from, reached through its mapping rather than its path, and
// held: a running program's file can be renamed and its path filled with another file, after
// the elevation prompt showed the genuine one.

#include <windows.h>

#include <cstddef>
#include <string>

#include "win32/Handle.h"

// Opens the file mapped as this process's image for reading, sharing nothing but reading, and
// proves that it is that file: a data view of it and the loaded module are of one file. Called
// once at start-up, before any window; while the handle is held nobody can rename, replace or
// write the file, so whatever is later copied from it is what runs now. False when the file
// could not be opened or proven; RunningImage() then has nothing.
bool HoldRunningImage();
// The handle HoldRunningImage keeps for the process's life; nullptr when it holds none.
HANDLE RunningImage() noexcept;
// The held image's bytes, at most MaxSize; false when none is held or it can't be read.
bool ReadRunningImage(std::string& Bytes, std::size_t MaxSize);
// Closes the held handle: the removal's original, once its copy is made, so that the copy can
// set its file aside.
void LetGoOfRunningImage() noexcept;

// Whether two handles refer to one file (volume and file index, not path text).
bool SameFile(HANDLE A, HANDLE B);
