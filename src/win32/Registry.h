#pragma once
// Registry keys and string values through the A functions: key names, value names and data are
// ANSI strings.
//
// Failure contract: opening never raises; a key that can't be opened or created comes back
// empty (operator bool is false), and reading from an empty key finds nothing. Reading a string
// raises EInstallerError only where the value is there but unusable:
//   "Invalid data type for '<Name>'"  the value exists and is neither REG_SZ nor REG_EXPAND_SZ;
//   "Failed to get data for '<Name>'" its type and size could be read, its data could not.

#include <windows.h>

#include <string>

#include "win32/Handle.h"

// RegCreateKeyExA: no class, default options. Creates the key (and missing parents) when absent.
TRegKey CreateOrOpenRegKey(HKEY Parent, const std::string& SubKey, REGSAM Access);

// RegOpenKeyExA: never creates anything.
TRegKey OpenRegKey(HKEY Parent, const std::string& SubKey, REGSAM Access);

// The data of a REG_SZ or REG_EXPAND_SZ value as stored (environment references not expanded),
// cut at its first zero character. "" when Key is empty or the value is missing or empty. Raises
// as the contract above says.
std::string ReadRegString(HKEY Key, const std::string& Name);
