#pragma once
// What every control of the installer window shares: its child window, its design geometry at
// 96 DPI and how it follows the window's DPI. The child window goes with its parent; the object
// only refers to it.

#include <windows.h>

#include <string>
#include <string_view>

#include "app/Window.h"

// Position and size at 96 DPI. An empty rectangle ({}) marks a control that the window's
// docking places instead.
struct TDesignRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool Docked() const { return Left == 0 && Top == 0 && Width == 0 && Height == 0; }
};

int ScaleForDpi(int Value, UINT Dpi);

class TContainer;

class TControl : public TWindow {
 public:
  int Id() const { return GetDlgCtrlID(Handle_); }
  std::wstring Text() const;
  // Unchanged text changes nothing; a new one reaches TextChanged.
  void SetText(std::wstring_view Text);
  bool Visible() const { return IsWindowVisible(Handle_) != FALSE; }
  void SetVisible(bool Visible);
  bool Enabled() const { return IsWindowEnabled(Handle_) != FALSE; }
  void SetEnabled(bool Enabled);

  const TDesignRect& Design() const { return Design_; }
  // Pixels in the parent's client area.
  void Place(int Left, int Top, int Width, int Height);
  // Places the control at its design geometry scaled to Dpi; a docked control stays where the
  // docking put it.
  virtual void ApplyDpi(UINT Dpi);

 protected:
  // Creates the child window at its design geometry scaled to the parent's DPI, with the
  // parent's font; the container lists it, so it follows the window's DPI.
  void CreateChild(const wchar_t* ClassName, TContainer& Parent, int Id, const TDesignRect& Design,
                   DWORD Style, DWORD ExStyle, std::wstring_view Text);
  // A child of a window that is no container: the top-level window's panels.
  void CreateChild(const wchar_t* ClassName, HWND Parent, int Id, const TDesignRect& Design,
                   DWORD Style, DWORD ExStyle, std::wstring_view Text);
  // After the window text has changed.
  virtual void TextChanged() {}

  TDesignRect Design_;
};
