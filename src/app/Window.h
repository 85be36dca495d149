#pragma once
// A window of one of our own classes and the C++ object behind it. The object arrives with
// WM_NCCREATE (CreateWindowEx's creation parameter), is kept in GWLP_USERDATA and forgotten at
// WM_NCDESTROY; every message in between reaches HandleMessage through one barrier, so no error
// ever leaves a window procedure.

#include <windows.h>

#include <string_view>

class TWindow {
 public:
  TWindow() = default;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  virtual ~TWindow() = default;

  HWND Handle() const { return Handle_; }

 protected:
  // Registers a class whose windows this object type serves. A second registration (a test that
  // builds the window twice) fails harmlessly.
  static void RegisterWindowClass(const wchar_t* Name, HBRUSH Background = nullptr,
                                  HICON Icon = nullptr);
  // CreateWindowExW with this object as the creation parameter; raises EInstallerError with the
  // system's reason when no window comes into being.
  HWND CreateWindowOf(const wchar_t* ClassName, std::wstring_view Text, DWORD Style, DWORD ExStyle,
                      int Left, int Top, int Width, int Height, HWND Parent, HMENU Menu);
  // The messages of a window of ours. An error escaping it goes to the application's error box
  // and the message is answered 0. The default is DefWindowProcW.
  virtual LRESULT HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam);

  // For a window of ours set from WM_NCCREATE to WM_NCDESTROY; for a system control, from its
  // creation.
  HWND Handle_ = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
};
