#pragma once
// A program started to do this process's work and report how it ended: the removal copies
// itself out of the folder it removes and waits for that copy. The copy inherits exactly two
// handles: the write end of a pipe, on which it writes its exit code once its work is done, and
// this process, on which it waits before it removes this process's file and whose image it
// checks before it does anything.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "win32/Handle.h"

// Runs the program that CommandLine (given the two inherited handles' values: the pipe's write
// end and this process) names, and waits until it has written its code or ended. The code
// written; CodeIfNone when it ended without writing one or could not start.
DWORD RunForResult(
    const std::function<std::wstring(std::uint64_t Pipe, std::uint64_t Parent)>& CommandLine,
    DWORD CodeIfNone);

// The started program's side. The image file of Parent, opened for comparing, when the two
// values are what RunForResult hands over: neither a pseudo-handle, Pipe a pipe, Parent the
// process that started this one. Empty otherwise: the values then name nothing to use.
TFileHandle HandedOverParentImage(std::uint64_t Pipe, std::uint64_t Parent);
// Writes Code on the inherited pipe and closes it.
void ReportResult(std::uint64_t Pipe, DWORD Code);
// Waits up to TimeoutMs for the process that started this one to end, and closes its handle.
void WaitForParent(std::uint64_t Parent, DWORD TimeoutMs);
