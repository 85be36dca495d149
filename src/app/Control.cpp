#include "app/Control.h"

#include "app/PaintedControls.h"

int ScaleForDpi(int Value, UINT Dpi) { return MulDiv(Value, static_cast<int>(Dpi), 96); }

std::wstring TControl::Text() const {
  std::wstring Result(static_cast<size_t>(GetWindowTextLengthW(Handle_)) + 1, L'\0');
  Result.resize(
      static_cast<size_t>(GetWindowTextW(Handle_, Result.data(), static_cast<int>(Result.size()))));
  return Result;
}

void TControl::SetText(std::wstring_view Text) {
  // The idle update rebinds the third button again and again: unchanged text repaints nothing.
  if (this->Text() == Text) return;
  SetWindowTextW(Handle_, std::wstring(Text).c_str());
  TextChanged();
}

void TControl::SetVisible(bool Visible) { ShowWindow(Handle_, Visible ? SW_SHOW : SW_HIDE); }

void TControl::SetEnabled(bool Enabled) { EnableWindow(Handle_, Enabled ? TRUE : FALSE); }

void TControl::Place(int Left, int Top, int Width, int Height) {
  SetWindowPos(Handle_, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::ApplyDpi(UINT Dpi) {
  if (Design_.Docked()) return;
  Place(ScaleForDpi(Design_.Left, Dpi), ScaleForDpi(Design_.Top, Dpi),
        ScaleForDpi(Design_.Width, Dpi), ScaleForDpi(Design_.Height, Dpi));
}

void TControl::CreateChild(const wchar_t* ClassName, TContainer& Parent, int Id,
                           const TDesignRect& Design, DWORD Style, DWORD ExStyle,
                           std::wstring_view Text) {
  CreateChild(ClassName, Parent.Handle(), Id, Design, Style, ExStyle, Text);
  Parent.Adopt(*this);
}

void TControl::CreateChild(const wchar_t* ClassName, HWND Parent, int Id, const TDesignRect& Design,
                           DWORD Style, DWORD ExStyle, std::wstring_view Text) {
  Design_ = Design;
  // At the parent's DPI from the start: nothing has to move the control before it first shows.
  const UINT Dpi = GetDpiForWindow(Parent);
  CreateWindowOf(ClassName, Text, WS_CHILD | WS_VISIBLE | Style, ExStyle,
                 ScaleForDpi(Design.Left, Dpi), ScaleForDpi(Design.Top, Dpi),
                 ScaleForDpi(Design.Width, Dpi), ScaleForDpi(Design.Height, Dpi), Parent,
                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)));
  // The parent's font, before anything measures or draws text in the new control.
  if (const auto Font = static_cast<WPARAM>(SendMessageW(Parent, WM_GETFONT, 0, 0)))
    SendMessageW(Handle_, WM_SETFONT, Font, FALSE);
}
