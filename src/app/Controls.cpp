#include "app/Controls.h"

#include <algorithm>

#include "app/Application.h"
#include "app/ProgressText.h"
#include "win32/Error.h"
#include "win32/SystemError.h"
#include "win32/Text.h"

namespace {

constexpr wchar_t kContainerClass[] = L"TVelquorContainer";
constexpr wchar_t kImageClass[] = L"TVelquorImage";
constexpr wchar_t kProgressBarClass[] = L"TVelquorProgressBar";

// Heights that the toolkit derives from the font; fixed at 96 DPI here.
constexpr int kCheckBoxHeight = 17;
constexpr int kProgressBarHeight = 17;

template <typename T>
T* FromWindow(HWND Window) {
  return reinterpret_cast<T*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
}

// Stores the object that CreateWindowEx carried in, and forgets it when the window goes.
template <typename T>
T* Attach(HWND Window, UINT Message, LPARAM lParam) {
  if (Message == WM_NCCREATE) {
    auto* Self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Self));
    return Self;
  }
  T* Self = FromWindow<T>(Window);
  if (Message == WM_NCDESTROY) SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
  return Self;
}

void RegisterWindowClass(HINSTANCE Instance, const wchar_t* Name, WNDPROC Proc) {
  WNDCLASSEXW Class = {};
  Class.cbSize = sizeof Class;
  Class.style = CS_HREDRAW | CS_VREDRAW;
  Class.lpfnWndProc = Proc;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.lpszClassName = Name;
  // A second registration (a test that builds the window twice) fails harmlessly.
  RegisterClassExW(&Class);
}

// The brush and colours the parent paints behind a child: how a transparent control shows its
// parent's background.
HBRUSH ParentBackground(HWND Window, HDC Dc) {
  auto Brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(Window), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(Dc),
                                                     reinterpret_cast<LPARAM>(Window)));
  return Brush ? Brush : GetSysColorBrush(COLOR_BTNFACE);
}

}  // namespace

int ScaleForDpi(int Value, UINT Dpi) { return MulDiv(Value, static_cast<int>(Dpi), 96); }

// --- TControl

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
}

void TControl::SetVisible(bool Visible) { ShowWindow(Handle_, Visible ? SW_SHOW : SW_HIDE); }

void TControl::SetEnabled(bool Enabled) { EnableWindow(Handle_, Enabled ? TRUE : FALSE); }

void TControl::ApplyDpi(UINT Dpi) {
  SetWindowPos(Handle_, nullptr, ScaleForDpi(Design_.Left, Dpi), ScaleForDpi(Design_.Top, Dpi),
               ScaleForDpi(Design_.Width, Dpi), ScaleForDpi(Design_.Height, Dpi),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::CreateChild(const wchar_t* ClassName, HWND Parent, int Id, const TDesignRect& Design,
                           DWORD Style, DWORD ExStyle, std::wstring_view Text, void* Param) {
  Design_ = Design;
  Handle_ = CreateWindowExW(
      ExStyle, ClassName, std::wstring(Text).c_str(), WS_CHILD | WS_VISIBLE | Style, Design.Left,
      Design.Top, Design.Width, Design.Height, Parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr), Param);
  if (!Handle_) throw EInstallerError(SysErrorMessage(GetLastError()));
}

// --- TContainer

void TContainer::RegisterClasses(HINSTANCE Instance) {
  RegisterWindowClass(Instance, kContainerClass, WindowProc);
  TImage::RegisterClass(Instance);
  TProgressBar::RegisterClass(Instance);
}

void TContainer::CreateContainer(const wchar_t* ClassName, HWND Parent, int Id,
                                 const TDesignRect& Design, std::wstring_view Text, COLORREF Color,
                                 DWORD ExStyle) {
  Color_ = Color;
  Brush_.Reset(CreateSolidBrush(Color));
  // Tab and arrow keys walk into the container's children.
  CreateChild(ClassName, Parent, Id, Design, WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
              WS_EX_CONTROLPARENT | ExStyle, Text, this);
}

void TContainer::Paint(HDC Dc, const RECT& Client) {
  FillRect(Dc, &Client, static_cast<HBRUSH>(Brush_.Get()));
}

LRESULT CALLBACK TContainer::WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                        LPARAM lParam) noexcept {
  TContainer* Self = Attach<TContainer>(Window, Message, lParam);
  if (!Self) return DefWindowProcW(Window, Message, wParam, lParam);
  LRESULT Result = 0;
  bool Handled = true;
  Application.Guard([&] {
    switch (Message) {
      case WM_ERASEBKGND:
        Result = 1;  // WM_PAINT fills everything
        break;
      case WM_PAINT: {
        PAINTSTRUCT Ps;
        HDC Dc = BeginPaint(Window, &Ps);
        RECT Client;
        GetClientRect(Window, &Client);
        Self->Paint(Dc, Client);
        EndPaint(Window, &Ps);
        break;
      }
      case WM_SETFONT:
        Self->Font_ = reinterpret_cast<HFONT>(wParam);
        break;
      case WM_GETFONT:
        Result = reinterpret_cast<LRESULT>(Self->Font_);
        break;
      case WM_COMMAND:
      case WM_NOTIFY:
        // The window handles its controls in one place, wherever they sit.
        Result = SendMessageW(GetAncestor(Window, GA_ROOT), Message, wParam, lParam);
        break;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN: {
        HDC Dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(Dc, Self->Color_);
        SetBkMode(Dc, TRANSPARENT);
        SetTextColor(Dc, GetSysColor(COLOR_WINDOWTEXT));
        Result = reinterpret_cast<LRESULT>(Self->Brush_.Get());
        break;
      }
      default:
        Handled = false;
    }
  });
  return Handled ? Result : DefWindowProcW(Window, Message, wParam, lParam);
}

// --- TPanel

void TPanel::Create(HWND Parent, int Id, std::wstring_view Caption, COLORREF Color) {
  CreateContainer(kContainerClass, Parent, Id, {}, Caption, Color);
}

void TPanel::Place(int Left, int Top, int Width, int Height) {
  SetWindowPos(Handle_, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TPanel::Paint(HDC Dc, const RECT& Client) {
  TContainer::Paint(Dc, Client);
  RECT Bevel = Client;
  DrawEdge(Dc, &Bevel, BDR_RAISEDINNER, BF_RECT);
  const std::wstring Caption = Text();
  SetBkMode(Dc, TRANSPARENT);
  SetTextColor(Dc, GetSysColor(COLOR_BTNTEXT));
  auto* OldFont = SelectObject(Dc, Font());
  RECT TextRect = Client;
  DrawTextW(Dc, Caption.c_str(), -1, &TextRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(Dc, OldFont);
}

// --- TTabSheet, TPageControl

void TTabSheet::Create(HWND PageControl, int Id, std::wstring_view Caption) {
  Caption_ = Caption;
  CreateContainer(kContainerClass, PageControl, Id, {}, Caption, GetSysColor(COLOR_BTNFACE));
  SetVisible(false);
}

void TPageControl::Create(HWND Parent, int Id) {
  CreateContainer(kContainerClass, Parent, Id, {}, L"", GetSysColor(COLOR_BTNFACE));
}

void TPageControl::SetActivePage(const TTabSheet& Page) {
  for (int i = 0; i < PageCount(); ++i)
    if (Pages_[i] == &Page) SetActivePageIndex(i);
}

void TPageControl::SetActivePageIndex(int Index) {
  if (Index < 0 || Index >= PageCount()) return;
  // Show the new page before hiding the old one, so the area never flashes empty.
  Pages_[Index]->SetVisible(true);
  for (int i = 0; i < PageCount(); ++i)
    if (i != Index) Pages_[i]->SetVisible(false);
  ActivePage_ = Index;
}

void TPageControl::Place(int Left, int Top, int Width, int Height) {
  SetWindowPos(Handle_, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
  for (TTabSheet* Page : Pages_)
    SetWindowPos(Page->Handle(), nullptr, 0, 0, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- TLabel

void TLabel::Create(HWND Parent, int Id, const TDesignRect& Design, std::wstring_view Caption,
                    bool AutoSize) {
  AutoSize_ = AutoSize;
  // An auto-sized label is exactly as wide as its text, so it must not wrap it.
  const DWORD Wrap = AutoSize ? SS_LEFTNOWORDWRAP : SS_LEFT;
  CreateChild(L"STATIC", Parent, Id, Design, Wrap | SS_NOPREFIX, 0, Caption);
  FitToText();
}

void TLabel::SetText(std::wstring_view Text) {
  if (this->Text() == Text) return;
  TControl::SetText(Text);
  FitToText();
  InvalidateRect(Handle_, nullptr, TRUE);
}

void TLabel::ApplyDpi(UINT Dpi) {
  TControl::ApplyDpi(Dpi);
  FitToText();
}

void TLabel::FitToText() {
  RECT Client;
  GetClientRect(Handle_, &Client);
  HDC Dc = GetDC(Handle_);
  auto* OldFont =
      SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Handle_, WM_GETFONT, 0, 0)));
  TEXTMETRICW Metrics = {};
  GetTextMetricsW(Dc, &Metrics);
  const std::wstring Caption = Text();
  // A fixed-size label keeps its width and wraps in it; it only grows downwards when the font's
  // lines are taller than the design allowed for, so no line is cut off.
  RECT Extent = {0, 0, AutoSize_ ? 0 : Client.right, 0};
  DrawTextW(Dc, Caption.c_str(), static_cast<int>(Caption.size()), &Extent,
            DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (AutoSize_ ? 0 : DT_WORDBREAK));
  SelectObject(Dc, OldFont);
  ReleaseDC(Handle_, Dc);
  const int Height = std::max<int>(Extent.bottom, Metrics.tmHeight);
  if (AutoSize_) {
    // The counter keeps its width from file to file: no move is needed then.
    if (Extent.right != Client.right || Height != Client.bottom)
      SetWindowPos(Handle_, nullptr, 0, 0, Extent.right, Height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (Height > Client.bottom) {
    SetWindowPos(Handle_, nullptr, 0, 0, Client.right, Height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// --- TCheckBox

void TCheckBox::Create(HWND Parent, int Id, const TDesignRect& Design, std::wstring_view Caption) {
  TDesignRect Box = Design;
  Box.Height = kCheckBoxHeight;
  CreateChild(L"BUTTON", Parent, Id, Box, BS_AUTOCHECKBOX | WS_TABSTOP, 0, Caption);
}

bool TCheckBox::Checked() const { return SendMessageW(Handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool Checked) {
  SendMessageW(Handle_, BM_SETCHECK, Checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// --- TMemo

void TMemo::Create(HWND Parent, int Id, const TDesignRect& Design, std::wstring_view Text) {
  // No horizontal scrolling: long lines wrap at the box's width.
  CreateChild(L"EDIT", Parent, Id, Design,
              ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
              WS_EX_CLIENTEDGE, L"");
  // The user may type more than the edit control's default limit.
  SendMessageW(Handle_, EM_SETLIMITTEXT, 0, 0);
  SetText(Text);
}

int TMemo::LineCount() const {
  return static_cast<int>(SendMessageW(Handle_, EM_GETLINECOUNT, 0, 0));
}

// --- TImage

void TImage::RegisterClass(HINSTANCE Instance) {
  RegisterWindowClass(Instance, kImageClass, WindowProc);
}

void TImage::Create(HWND Parent, int Id, const TDesignRect& Design, HBITMAP Picture, TFit Fit) {
  Picture_.Reset(Picture);
  Fit_ = Fit;
  CreateChild(kImageClass, Parent, Id, Design, 0, 0, L"", this);
}

SIZE TImage::PictureSize() const {
  BITMAP Info = {};
  if (!Picture_ || !GetObjectW(Picture_.Get(), sizeof Info, &Info)) return {0, 0};
  return {Info.bmWidth, Info.bmHeight};
}

SIZE TImage::DrawnSize(int ClientWidth, int ClientHeight) const {
  const SIZE Picture = PictureSize();
  if (Fit_ == TFit::Actual || Picture.cx <= 0 || Picture.cy <= 0) return Picture;
  // Scale down only, by the tighter of the two ratios.
  if (Picture.cx <= ClientWidth && Picture.cy <= ClientHeight) return Picture;
  if (static_cast<long long>(ClientWidth) * Picture.cy <=
      static_cast<long long>(ClientHeight) * Picture.cx)
    return {ClientWidth, MulDiv(Picture.cy, ClientWidth, Picture.cx)};
  return {MulDiv(Picture.cx, ClientHeight, Picture.cy), ClientHeight};
}

void TImage::Place(int Left, int Top, int Width, int Height) {
  SetWindowPos(Handle_, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TImage::Paint(HDC Dc) {
  RECT Client;
  GetClientRect(Handle_, &Client);
  FillRect(Dc, &Client, ParentBackground(Handle_, Dc));
  if (!Picture_) return;
  HDC Source = CreateCompatibleDC(Dc);
  auto* Old = SelectObject(Source, Picture_.Get());
  const SIZE Picture = PictureSize();
  const SIZE Drawn = DrawnSize(Client.right, Client.bottom);
  if (Drawn.cx == Picture.cx && Drawn.cy == Picture.cy) {
    // The logo's background colour (its bottom-left pixel) lets the panel show through, so
    // the picture blends with whatever button face the system paints.
    HDC Mask = CreateCompatibleDC(Dc);
    HBITMAP MaskBitmap = CreateBitmap(Picture.cx, Picture.cy, 1, 1, nullptr);
    auto* OldMask = SelectObject(Mask, MaskBitmap);
    const COLORREF OldBack = SetBkColor(Source, GetPixel(Source, 0, Picture.cy - 1));
    BitBlt(Mask, 0, 0, Picture.cx, Picture.cy, Source, 0, 0, SRCCOPY);
    SetBkColor(Source, OldBack);
    const COLORREF OldDcBack = SetBkColor(Dc, RGB(255, 255, 255));
    const COLORREF OldDcText = SetTextColor(Dc, RGB(0, 0, 0));
    BitBlt(Dc, 0, 0, Picture.cx, Picture.cy, Source, 0, 0, SRCINVERT);
    BitBlt(Dc, 0, 0, Picture.cx, Picture.cy, Mask, 0, 0, SRCAND);
    BitBlt(Dc, 0, 0, Picture.cx, Picture.cy, Source, 0, 0, SRCINVERT);
    SetBkColor(Dc, OldDcBack);
    SetTextColor(Dc, OldDcText);
    SelectObject(Mask, OldMask);
    DeleteObject(MaskBitmap);
    DeleteDC(Mask);
  } else {
    // HALFTONE averages the dropped pixels instead of skipping them.
    SetStretchBltMode(Dc, HALFTONE);
    SetBrushOrgEx(Dc, 0, 0, nullptr);
    StretchBlt(Dc, 0, 0, Drawn.cx, Drawn.cy, Source, 0, 0, Picture.cx, Picture.cy, SRCCOPY);
  }
  SelectObject(Source, Old);
  DeleteDC(Source);
}

LRESULT CALLBACK TImage::WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
  TImage* Self = Attach<TImage>(Window, Message, lParam);
  if (Self && Message == WM_PAINT) {
    PAINTSTRUCT Ps;
    HDC Dc = BeginPaint(Window, &Ps);
    Application.Guard([&] { Self->Paint(Dc); });
    EndPaint(Window, &Ps);
    return 0;
  }
  if (Message == WM_ERASEBKGND) return 1;
  return DefWindowProcW(Window, Message, wParam, lParam);
}

// --- TProgressBar

void TProgressBar::RegisterClass(HINSTANCE Instance) {
  RegisterWindowClass(Instance, kProgressBarClass, WindowProc);
}

void TProgressBar::Create(HWND Parent, int Id, const TDesignRect& Design) {
  TDesignRect Bar = Design;
  Bar.Height = kProgressBarHeight;
  CreateChild(kProgressBarClass, Parent, Id, Bar, 0, 0, L"", this);
  Changed();
}

void TProgressBar::SetMin(double Value) {
  Min_ = Value;
  Changed();
}

void TProgressBar::SetMax(double Value) {
  Max_ = Value;
  Changed();
}

void TProgressBar::SetPosition(double Value) {
  Position_ = Value;
  Changed();
}

void TProgressBar::SetMaxAndPosition(double Max, double Position) {
  Max_ = Max;
  Position_ = Position;
  Changed();
}

void TProgressBar::Changed() {
  // A download notifies many times per percent: only a new percentage is worth a redraw.
  std::wstring Caption = Utf8ToWide(ProgressText(Min_, Max_, Position_));
  if (Caption == Caption_ && !Caption_.empty()) return;
  Caption_ = std::move(Caption);
  SetWindowTextW(Handle_, Caption_.c_str());
  InvalidateRect(Handle_, nullptr, FALSE);
}

void TProgressBar::Paint(HDC Dc) {
  RECT Client;
  GetClientRect(Handle_, &Client);
  FillRect(Dc, &Client, ParentBackground(Handle_, Dc));

  RECT Frame = Client;
  FrameRect(Dc, &Frame, GetSysColorBrush(COLOR_BTNSHADOW));
  RECT Inside = Frame;
  InflateRect(&Inside, -1, -1);
  FillRect(Dc, &Inside, GetSysColorBrush(COLOR_WINDOW));

  const double Fraction = ProgressPercent(Min_, Max_, Position_) / 100.0;
  RECT Filled = Inside;
  Filled.right = Inside.left + static_cast<LONG>((Inside.right - Inside.left) * Fraction + 0.5);
  FillRect(Dc, &Filled, GetSysColorBrush(COLOR_HIGHLIGHT));

  // The text changes colour where the filled part runs under it.
  const std::wstring Caption = Text();
  SetBkMode(Dc, TRANSPARENT);
  auto* OldFont =
      SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Handle_, WM_GETFONT, 0, 0)));
  const int Saved = SaveDC(Dc);
  ExcludeClipRect(Dc, Filled.left, Filled.top, Filled.right, Filled.bottom);
  SetTextColor(Dc, GetSysColor(COLOR_WINDOWTEXT));
  RECT TextRect = Inside;
  DrawTextW(Dc, Caption.c_str(), -1, &TextRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  RestoreDC(Dc, Saved);
  if (Filled.right > Filled.left) {
    const int SavedFilled = SaveDC(Dc);
    IntersectClipRect(Dc, Filled.left, Filled.top, Filled.right, Filled.bottom);
    SetTextColor(Dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    DrawTextW(Dc, Caption.c_str(), -1, &TextRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RestoreDC(Dc, SavedFilled);
  }
  SelectObject(Dc, OldFont);
}

LRESULT CALLBACK TProgressBar::WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                          LPARAM lParam) noexcept {
  TProgressBar* Self = Attach<TProgressBar>(Window, Message, lParam);
  switch (Message) {
    case WM_SETFONT:
      SetPropW(Window, L"Font", reinterpret_cast<HANDLE>(wParam));
      if (LOWORD(lParam)) InvalidateRect(Window, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(GetPropW(Window, L"Font"));
    case WM_NCDESTROY:
      RemovePropW(Window, L"Font");
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (Self) {
        PAINTSTRUCT Ps;
        HDC Dc = BeginPaint(Window, &Ps);
        Application.Guard([&] { Self->Paint(Dc); });
        EndPaint(Window, &Ps);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(Window, Message, wParam, lParam);
}

// --- TAction, TButton

TAction::~TAction() {
  for (TButton* Client : Clients_) Client->Action_ = nullptr;
}

void TAction::SetEnabled(bool Enabled) {
  Enabled_ = Enabled;
  for (TButton* Client : Clients_) Client->SetEnabled(Enabled);
}

void TAction::Execute() {
  if (Enabled_ && OnExecute) OnExecute();
}

TButton::~TButton() {
  if (Action_) std::erase(Action_->Clients_, this);
}

void TButton::Create(HWND Parent, int Id, const TDesignRect& Design) {
  // BS_PUSHBUTTON, never BS_DEFPUSHBUTTON: Enter presses only the focused button.
  CreateChild(L"BUTTON", Parent, Id, Design, BS_PUSHBUTTON | WS_TABSTOP, 0, L"");
}

void TButton::SetAction(TAction& Action) {
  if (Action_ != &Action) {
    if (Action_) std::erase(Action_->Clients_, this);
    Action.Clients_.push_back(this);
    Action_ = &Action;
  }
  SetText(Action.Caption());
  SetEnabled(Action.Enabled());
}

void TButton::Click() {
  if (Action_) Action_->Execute();
}
