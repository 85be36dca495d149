// The smallest honest Win32 program with a window: register a class, create and show one window,
// run the message loop until it is closed.

#include <windows.h>

namespace {

constexpr wchar_t kClassName[] = L"BenchMinWindow";
constexpr wchar_t kCaption[] = L"Bench minimal window";

LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam, LPARAM lParam) noexcept {
  if (Message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(Window, Message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int) {
  WNDCLASSEXW Class = {};
  Class.cbSize = sizeof Class;
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = kClassName;
  if (!RegisterClassExW(&Class)) return 1;
  HWND Window = CreateWindowExW(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 480, nullptr, nullptr, Instance, nullptr);
  if (!Window) return 1;
  ShowWindow(Window, SW_SHOWNORMAL);
  UpdateWindow(Window);
  MSG Message;
  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return 0;
}
