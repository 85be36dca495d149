#include "app/SystemControls.h"

#include <algorithm>

#include "win32/Gdi.h"
#include "win32/Handle.h"

namespace {

// Heights that the toolkit derives from the font; fixed at 96 DPI here.
constexpr int kCheckBoxHeight = 17;

// Where labels measure their text: a memory DC, kept for the program's life. A window's own DC
// costs a trip to the window server each time, and measuring needs only the font.
HDC MeasuringDC() {
  static const TMemoryDC Dc(CreateCompatibleDC(nullptr));
  return Dc.Get();
}

}  // namespace

// --- TLabel

void TLabel::Create(TContainer& Parent, int Id, const TDesignRect& Design,
                    std::wstring_view Caption, bool AutoSize) {
  AutoSize_ = AutoSize;
  // An auto-sized label is exactly as wide as its text, so it must not wrap it.
  const DWORD Wrap = AutoSize ? SS_LEFTNOWORDWRAP : SS_LEFT;
  CreateChild(L"STATIC", Parent, Id, Design, Wrap | SS_NOPREFIX, 0, Caption);
  FitToText();
}

void TLabel::TextChanged() {
  FitToText();
  InvalidateRect(Handle_, nullptr, TRUE);
}

void TLabel::ApplyDpi(UINT Dpi) {
  TControl::ApplyDpi(Dpi);
  FitToText();
}

void TLabel::FitToText() {
  // An auto-sized label grows with its text but never narrows: it fills all of its width with
  // the container's colour, and narrowing it (emptied, or a shorter size at the next file) cost
  // a move and a repaint of the page behind it at every file, 0.6 ms under Wine.
  if (AutoSize_ && GetWindowTextLengthW(Handle_) == 0) return;
  RECT Client;
  GetClientRect(Handle_, &Client);
  RECT Extent = {0, 0, AutoSize_ ? 0 : Client.right, 0};
  TEXTMETRICW Metrics = {};
  {
    const HDC Dc = MeasuringDC();
    const TSelectObject Font(Dc,
                             reinterpret_cast<HGDIOBJ>(SendMessageW(Handle_, WM_GETFONT, 0, 0)));
    GetTextMetricsW(Dc, &Metrics);
    const std::wstring Caption = Text();
    // A fixed-size label keeps its width and wraps in it; it only grows downwards when the
    // font's lines are taller than the design allowed for, so no line is cut off.
    DrawTextW(Dc, Caption.c_str(), static_cast<int>(Caption.size()), &Extent,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (AutoSize_ ? 0 : DT_WORDBREAK));
  }
  const int Height = std::max<int>(Extent.bottom, Metrics.tmHeight);
  if (AutoSize_) {
    if (Extent.right > Client.right || Height != Client.bottom)
      SetWindowPos(Handle_, nullptr, 0, 0, std::max<int>(Extent.right, Client.right), Height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (Height > Client.bottom) {
    SetWindowPos(Handle_, nullptr, 0, 0, Client.right, Height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// --- TCheckBox

void TCheckBox::Create(TContainer& Parent, int Id, const TDesignRect& Design,
                       std::wstring_view Caption) {
  TDesignRect Box = Design;
  Box.Height = kCheckBoxHeight;
  CreateChild(L"BUTTON", Parent, Id, Box, BS_AUTOCHECKBOX | WS_TABSTOP, 0, Caption);
}

bool TCheckBox::Checked() const { return SendMessageW(Handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool Checked) {
  SendMessageW(Handle_, BM_SETCHECK, Checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// --- TMemo

void TMemo::Create(TContainer& Parent, int Id, const TDesignRect& Design) {
  // No horizontal scrolling: long lines wrap at the box's width.
  CreateChild(L"EDIT", Parent, Id, Design,
              ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
              WS_EX_CLIENTEDGE, L"");
  // The user may type more than the edit control's default limit.
  SendMessageW(Handle_, EM_SETLIMITTEXT, 0, 0);
}

int TMemo::LineCount() const {
  return static_cast<int>(SendMessageW(Handle_, EM_GETLINECOUNT, 0, 0));
}

// --- TButton

TButton::~TButton() {
  if (Action_) Action_->RemoveClient(*this);
}

void TButton::Create(TContainer& Parent, int Id, const TDesignRect& Design) {
  // BS_PUSHBUTTON, never BS_DEFPUSHBUTTON: Enter presses only the focused button.
  CreateChild(L"BUTTON", Parent, Id, Design, BS_PUSHBUTTON | WS_TABSTOP, 0, L"");
}

void TButton::SetAction(TAction& Action) {
  if (Action_ != &Action) {
    if (Action_) Action_->RemoveClient(*this);
    Action.AddClient(*this);
    Action_ = &Action;
  }
  ActionChanged(Action);
}

void TButton::ActionChanged(const TAction& Action) {
  SetText(Action.Caption());
  SetEnabled(Action.Enabled());
}

void TButton::Click() {
  if (Action_) Action_->Execute();
}
