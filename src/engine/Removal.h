#pragma once
// The removal of the product: every file install.lst names (or, after an earlier build, the
// files its kept manifest names), the work folders and the install folder when they are empty,
// the desktop shortcut when it still leads to the program, the product's key and last the
// Uninstall entry. Files are deleted only through checked handles (win32/CheckedFile.h), never
// through a link; a file in use is renamed aside and deleted when Windows restarts. Needs COM
// on the calling thread (the shortcut is read as a shell link).

#include <string>

#include "engine/RemovalPlan.h"

// Removes the installation in InstallDir (ANSI, ending in a backslash). With UninstallerAside,
// the uninstaller runs this removal and can't be deleted yet: it is renamed aside, its new path
// stored there (or "" when nothing was set aside), for its caller to delete last.
TRemovalOutcome RemoveProduct(const std::string& InstallDir,
                              std::wstring* UninstallerAside = nullptr);

// Deletes the uninstaller that ran the removal, set aside at Aside, once it has ended, then the
// install folder and its parent when that leaves them empty; waits up to a few seconds for it to
// be let go, then leaves it for the restart.
void RemoveUninstallerAfterwards(const std::string& InstallDir, const std::wstring& Aside);

// Removes the private folders (and the copies in them) that the installed uninstaller left for
// the restart, and their restart entries, once they are gone: a run of either kind clears them.
void RemovePrivateLeftovers();
