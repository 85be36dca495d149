#pragma once
// The program's removal mode: started with /uninstall, or as the uninstaller in the install
// folder. The uninstaller cannot delete its own file while it runs, so it first copies itself
// into a folder only administrators may open and lets that copy do the work, ending with the
// copy's exit code; the copy removes the original's file once that has ended.

#include "app/CommandLine.h"

// Whether the running image is the uninstaller installed in the install folder (compared as
// files, not by path).
bool RunningAsInstalledUninstaller() noexcept;

// Runs the removal Line asks for; the process's exit code (engine/RemovalPlan.h). Needs the
// application initialized (COM).
int RunRemoval(const TCommandLine& Line);

// A setup of this product runs already: brings its wizard to the front, or says so (unless
// Quiet) when it is a removal. Gives the exit code for it.
int AnotherSetupRuns(bool Quiet);
