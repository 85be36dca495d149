#include "app/Window.h"

#include <string>

#include "app/Application.h"
#include "base/Error.h"
#include "win32/SystemError.h"

void TWindow::RegisterWindowClass(const wchar_t* Name, HBRUSH Background, HICON Icon) {
  WNDCLASSEXW Class = {};
  Class.cbSize = sizeof Class;
  Class.style = CS_HREDRAW | CS_VREDRAW;
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.hIcon = Icon;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.hbrBackground = Background;
  Class.lpszClassName = Name;
  RegisterClassExW(&Class);
}

HWND TWindow::CreateWindowOf(const wchar_t* ClassName, std::wstring_view Text, DWORD Style,
                             DWORD ExStyle, int Left, int Top, int Width, int Height, HWND Parent,
                             HMENU Menu) {
  Handle_ =
      CreateWindowExW(ExStyle, ClassName, std::wstring(Text).c_str(), Style, Left, Top, Width,
                      Height, Parent, Menu, GetModuleHandleW(nullptr), static_cast<TWindow*>(this));
  if (!Handle_) throw EInstallerError(SysErrorMessage(GetLastError()));
  return Handle_;
}

LRESULT TWindow::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(Handle_, Message, wParam, lParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept {
  if (Message == WM_NCCREATE) {
    auto* Self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Self));
    if (Self) Self->Handle_ = Window;
    return DefWindowProcW(Window, Message, wParam, lParam);
  }
  auto* Self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Message == WM_NCDESTROY) {
    SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
    if (Self) Self->Handle_ = nullptr;
    return DefWindowProcW(Window, Message, wParam, lParam);
  }
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO) find no object yet.
  if (!Self) return DefWindowProcW(Window, Message, wParam, lParam);
  LRESULT Result = 0;
  Application.Guard([&] { Result = Self->HandleMessage(Message, wParam, lParam); });
  return Result;
}
