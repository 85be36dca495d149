// A planted DLL that betrays its loading: when any process loads it, it leaves
// "<its own path>.loaded" beside itself. It exports the one function the control program
// imports, so a static import of it resolves.

#include <windows.h>

#include <cwchar>

extern "C" BOOL WINAPI DllMain(HINSTANCE Module, DWORD Reason, LPVOID) {
  if (Reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t Path[MAX_PATH + 16] = {};
  const DWORD Length = GetModuleFileNameW(Module, Path, MAX_PATH);
  if (Length == 0 || Length >= MAX_PATH) return TRUE;
  wcscpy(Path + Length, L".loaded");
  const HANDLE Marker =
      CreateFileW(Path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Marker != INVALID_HANDLE_VALUE) CloseHandle(Marker);
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI
    URLDownloadToFileA(void*, const char*, const char*, DWORD, void*) {
  return E_FAIL;
}
