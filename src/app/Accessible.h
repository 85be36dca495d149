#pragma once
// What assistive tools read of the controls we paint ourselves. The system's standard object for
// such a window knows its place, state and neighbours but not what it is; WM_GETOBJECT answers
// with that object, told its role and, where given, its name, and (for a progress bar) its value,
// which is the window text the control keeps. oleacc.dll is loaded from System32 when a tool
// first asks.

#include <windows.h>

#include <string>

struct TAccessibleInfo {
  long Role = 0;             // ROLE_SYSTEM_..., 0: the window is left to the platform
  std::wstring Name;         // "" keeps the standard object's name
  bool ValueIsText = false;  // the value is the window's text (a progress bar's percentage)
};

// The answer to WM_GETOBJECT for Window; 0 (let DefWindowProc answer) for objects other than the
// client area, when Info has no role, or when oleacc is not there.
LRESULT AnswerGetObject(HWND Window, WPARAM wParam, LPARAM lParam, const TAccessibleInfo& Info);
