#pragma once
// System DLLs that the program does not import statically are loaded from System32 only, so a
// DLL of the same name planted beside the installer is never picked up.

#include <windows.h>

#include "win32/Handle.h"

inline TModule LoadSystemLibrary(const wchar_t* Name) {
  return TModule(LoadLibraryExW(Name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

// GetProcAddress typed as the export's real signature; nullptr when the module or export is
// missing. The detour through void(*)() keeps the cast free of function-type warnings.
template <typename Function>
Function GetProcedure(HMODULE Module, const char* Name) {
  if (!Module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(Module, Name)));
}
