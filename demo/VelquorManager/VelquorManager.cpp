// The demo payload's program: what the installer puts on the desktop in the demo. It only says
// that it was installed and where it runs from.

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t Folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, Folder);
  const std::wstring Text = std::wstring(L"Velquor \uB9E4\uB2C8\uC800\uAC00 \uC124\uCE58\uB418"
                                         L"\uC5C8\uC2B5\uB2C8\uB2E4.\r\n\r\n") +
                            Folder;
  MessageBoxW(nullptr, Text.c_str(), L"Velquor \uB9E4\uB2C8\uC800", MB_OK | MB_ICONINFORMATION);
  return 0;
}
