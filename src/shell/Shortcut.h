#pragma once
// CreateShortcut: a shell shortcut (.lnk) to a program, in one of the current user's special
// folders or in a folder that the caller names. All texts are ANSI strings.

#include <string>
#include <string_view>

#include "shell/ShortcutRules.h"

// Needs COM initialised on the calling thread.
//
// LinkPath receives the shortcut's full path once a folder was found, also when the platform
// then refused to write the file (a SubFolder that does not exist is not created). With no folder
// (a missing or empty registry value, slCustom without SubFolder) nothing is written and LinkPath
// keeps what it held.
//
// Raises EInstallerError when the shell link object can't be created (the platform's text for
// the code, or "OLE error %.8x"), when it lacks IShellLinkA or IPersistFile ("Interface not
// supported"), and when the folder's registry value is unusable (see win32/Registry.h).
void CreateShortcut(const std::string& Target, ShortcutLocation Location,
                    const std::string& SubFolder, const std::string& WorkingDir,
                    const std::string& Arguments, const std::string& Description,
                    std::string& LinkPath);

// Whether Bytes are a shell link (as saved in a .lnk file) whose target is Target, compared
// without regard to case. Needs COM on the calling thread.
bool IsShortcutTo(std::string_view Bytes, const std::string& Target);
