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
#include <string_view>

#include "win32/Handle.h"

// RegCreateKeyExA: no class, default options. Creates the key (and missing parents) when absent.
TRegKey CreateOrOpenRegKey(HKEY Parent, const std::string& SubKey, REGSAM Access);

// RegOpenKeyExA: never creates anything. Status, when given, receives the registry's answer.
TRegKey OpenRegKey(HKEY Parent, const std::string& SubKey, REGSAM Access, LONG* Status = nullptr);

// The data of a REG_SZ or REG_EXPAND_SZ value as stored (environment references not expanded),
// cut at its first zero character. "" when Key is empty or the value is missing or empty. Raises
// as the contract above says.
std::string ReadRegString(HKEY Key, const std::string& Name);

// The same without raising: ERROR_SUCCESS with Data set; ERROR_FILE_NOT_FOUND when Key is empty
// or the value is not there; ERROR_INVALID_DATATYPE for a value that is no string; otherwise
// the error that kept it from being read. Data is "" on every failure.
LONG QueryRegString(HKEY Key, const std::string& Name, std::string& Data);

// Stores Data as a REG_SZ value; the registry's status. The wide form for texts beyond the ANSI
// code page's reach (a display name read by any language's tools).
LONG WriteRegString(HKEY Key, const std::string& Name, const std::string& Data);
LONG WriteRegString(HKEY Key, const std::string& Name, const std::wstring& Data);
LONG WriteRegDword(HKEY Key, const std::string& Name, DWORD Data);

// A REG_MULTI_SZ value's data as stored, its NULs included: ERROR_SUCCESS with Data set,
// ERROR_FILE_NOT_FOUND when it is not there, ERROR_INVALID_DATATYPE for another type, otherwise
// the error that kept it from being read. Data is empty on every failure.
LONG QueryRegMultiString(HKEY Key, const std::string& Name, std::u16string& Data);
// Stores Data, as QueryRegMultiString gives it, as a REG_MULTI_SZ value.
LONG WriteRegMultiString(HKEY Key, const std::string& Name, std::u16string_view Data);

// Deletes SubKey of Parent with everything below it, in the view that Access's
// KEY_WOW64_* flag names; ERROR_FILE_NOT_FOUND when it is not there.
LONG DeleteRegTree(HKEY Parent, const std::string& SubKey, REGSAM View);
