#include "app/PaintedControls.h"

#include <oleacc.h>

#include "app/ProgressText.h"
#include "win32/Gdi.h"
#include "win32/Text.h"

namespace {

constexpr wchar_t kContainerClass[] = L"TVelquorContainer";
constexpr wchar_t kImageClass[] = L"TVelquorImage";
constexpr wchar_t kProgressBarClass[] = L"TVelquorProgressBar";

// Heights that the toolkit derives from the font; fixed at 96 DPI here.
constexpr int kProgressBarHeight = 17;

}  // namespace

// --- TCustomControl

void TCustomControl::RegisterClasses() {
  for (const wchar_t* Name : {kContainerClass, kImageClass, kProgressBarClass})
    RegisterWindowClass(Name);
}

LRESULT TCustomControl::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  switch (Message) {
    case WM_ERASEBKGND:
      return 1;  // Paint fills everything
    case WM_PAINT: {
      const TPaintDC Dc(Handle_);
      RECT Client;
      GetClientRect(Handle_, &Client);
      Paint(Dc.Get(), Client);
      return 0;
    }
    case WM_SETFONT:
      Font_ = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) InvalidateRect(Handle_, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(Font_);
    case WM_GETOBJECT:
      if (const LRESULT Object = AnswerGetObject(Handle_, wParam, lParam, AccessibleInfo()))
        return Object;
      return TControl::HandleMessage(Message, wParam, lParam);
    default:
      return TControl::HandleMessage(Message, wParam, lParam);
  }
}

HBRUSH TCustomControl::ParentBackground(HDC Dc) const {
  auto Brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(Handle_), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(Dc),
                                                     reinterpret_cast<LPARAM>(Handle_)));
  return Brush ? Brush : GetSysColorBrush(COLOR_BTNFACE);
}

// --- TContainer

void TContainer::CreateContainer(HWND Parent, TContainer* Container, int Id, std::wstring_view Text,
                                 COLORREF Color) {
  Color_ = Color;
  Brush_.Reset(CreateSolidBrush(Color));
  // Tab and arrow keys walk into the container's children.
  constexpr DWORD Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (Container)
    CreateChild(kContainerClass, *Container, Id, {}, Style, WS_EX_CONTROLPARENT, Text);
  else
    CreateChild(kContainerClass, Parent, Id, {}, Style, WS_EX_CONTROLPARENT, Text);
}

void TContainer::ApplyDpi(UINT Dpi) {
  for (TControl* Child : Children_) Child->ApplyDpi(Dpi);
}

void TContainer::Paint(HDC Dc, const RECT& Client) { FillRect(Dc, &Client, Brush_.Get()); }

LRESULT TContainer::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  switch (Message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_NEXTDLGCTL:
      // The window handles its controls and the keyboard's focus moves in one place, wherever
      // they sit (the licence box asks its parent for the next control on Tab).
      return SendMessageW(GetAncestor(Handle_, GA_ROOT), Message, wParam, lParam);
    case WM_CLOSE:
      // A multi-line edit sends this to its parent on Escape; a page never closes.
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      const auto Dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(Dc, Color_);
      SetBkMode(Dc, TRANSPARENT);
      SetTextColor(Dc, GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(Brush_.Get());
    }
    default:
      return TCustomControl::HandleMessage(Message, wParam, lParam);
  }
}

// --- TPanel

void TPanel::Create(HWND Parent, int Id, std::wstring_view Caption, COLORREF Color) {
  CreateContainer(Parent, nullptr, Id, Caption, Color);
}

void TPanel::Create(TContainer& Parent, int Id, std::wstring_view Caption, COLORREF Color) {
  CreateContainer(Parent.Handle(), &Parent, Id, Caption, Color);
}

void TPanel::Paint(HDC Dc, const RECT& Client) {
  TContainer::Paint(Dc, Client);
  RECT Bevel = Client;
  DrawEdge(Dc, &Bevel, BDR_RAISEDINNER, BF_RECT);
  const std::wstring Caption = Text();
  SetBkMode(Dc, TRANSPARENT);
  SetTextColor(Dc, GetSysColor(COLOR_BTNTEXT));
  const TSelectObject Font(Dc, this->Font());
  RECT TextRect = Client;
  DrawTextW(Dc, Caption.c_str(), -1, &TextRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// --- TTabSheet, TPageControl

void TTabSheet::Create(TPageControl& PageControl, int Id, std::wstring_view Caption) {
  Caption_ = Caption;
  CreateContainer(PageControl.Handle(), &PageControl, Id, Caption, GetSysColor(COLOR_BTNFACE));
  SetVisible(false);
  PageControl.AddPage(*this);
}

void TPageControl::Create(TContainer& Parent, int Id) {
  CreateContainer(Parent.Handle(), &Parent, Id, L"", GetSysColor(COLOR_BTNFACE));
}

void TPageControl::SetActivePage(const TTabSheet& Page) {
  for (int i = 0; i < PageCount(); ++i)
    if (Pages_[i] == &Page) SetActivePageIndex(i);
}

void TPageControl::SetActivePageIndex(int Index) {
  if (Index < 0 || Index >= PageCount()) return;
  if (Pages_[Index]->OnShow) Pages_[Index]->OnShow();
  // Show the new page before hiding the old one, so the area never flashes empty.
  Pages_[Index]->SetVisible(true);
  for (int i = 0; i < PageCount(); ++i)
    if (i != Index) Pages_[i]->SetVisible(false);
  ActivePage_ = Index;
}

LRESULT TPageControl::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  if (Message == WM_SIZE) {
    for (TTabSheet* Page : Pages_) Page->Place(0, 0, LOWORD(lParam), HIWORD(lParam));
    return 0;
  }
  return TContainer::HandleMessage(Message, wParam, lParam);
}

// --- TImage

void TImage::Create(TContainer& Parent, int Id, const TDesignRect& Design, TFit Fit,
                    std::wstring_view Name) {
  Fit_ = Fit;
  Name_ = Name;
  CreateChild(kImageClass, Parent, Id, Design, 0, 0, L"");
}

void TImage::SetPicture(TBitmap Picture) {
  Picture_ = std::move(Picture);
  InvalidateRect(Handle_, nullptr, FALSE);
}

SIZE TImage::PictureSize() const {
  BITMAP Info = {};
  if (!Picture_ || !GetObjectW(Picture_.Get(), sizeof Info, &Info)) return {0, 0};
  return {Info.bmWidth, Info.bmHeight};
}

SIZE TImage::DrawnSize(int ClientWidth, int ClientHeight) const {
  const SIZE Picture = PictureSize();
  if (Fit_ == TFit::Actual || Picture.cx <= 0 || Picture.cy <= 0) return Picture;
  // By the tighter of the two ratios.
  if (static_cast<long long>(ClientWidth) * Picture.cy <=
      static_cast<long long>(ClientHeight) * Picture.cx)
    return {ClientWidth, MulDiv(Picture.cy, ClientWidth, Picture.cx)};
  return {MulDiv(Picture.cx, ClientHeight, Picture.cy), ClientHeight};
}

TAccessibleInfo TImage::AccessibleInfo() const { return {ROLE_SYSTEM_GRAPHIC, Name_, false}; }

void TImage::Paint(HDC Dc, const RECT& Client) {
  FillRect(Dc, &Client, ParentBackground(Dc));
  if (!Picture_) return;
  const TMemoryDC Source(CreateCompatibleDC(Dc));
  const TSelectObject SourcePicture(Source.Get(), Picture_.Get());
  const SIZE Picture = PictureSize();
  const SIZE Drawn = DrawnSize(Client.right, Client.bottom);
  if (Drawn.cx != Picture.cx || Drawn.cy != Picture.cy) {
    // HALFTONE averages the dropped pixels instead of skipping them.
    SetStretchBltMode(Dc, HALFTONE);
    SetBrushOrgEx(Dc, 0, 0, nullptr);
    StretchBlt(Dc, 0, 0, Drawn.cx, Drawn.cy, Source.Get(), 0, 0, Picture.cx, Picture.cy, SRCCOPY);
    return;
  }
  // The picture's background colour (its bottom-left pixel) lets the parent show through, so
  // the logo blends with whatever button face the system paints.
  const TMemoryDC Mask(CreateCompatibleDC(Dc));
  const TBitmap MaskBitmap(CreateBitmap(Picture.cx, Picture.cy, 1, 1, nullptr));
  const TSelectObject MaskPicture(Mask.Get(), MaskBitmap.Get());
  const COLORREF OldBack = SetBkColor(Source.Get(), GetPixel(Source.Get(), 0, Picture.cy - 1));
  BitBlt(Mask.Get(), 0, 0, Picture.cx, Picture.cy, Source.Get(), 0, 0, SRCCOPY);
  SetBkColor(Source.Get(), OldBack);
  const TSavedDC Saved(Dc);
  SetBkColor(Dc, RGB(255, 255, 255));
  SetTextColor(Dc, RGB(0, 0, 0));
  BitBlt(Dc, 0, 0, Picture.cx, Picture.cy, Source.Get(), 0, 0, SRCINVERT);
  BitBlt(Dc, 0, 0, Picture.cx, Picture.cy, Mask.Get(), 0, 0, SRCAND);
  BitBlt(Dc, 0, 0, Picture.cx, Picture.cy, Source.Get(), 0, 0, SRCINVERT);
}

// --- TProgressBar

void TProgressBar::Create(TContainer& Parent, int Id, const TDesignRect& Design) {
  TDesignRect Bar = Design;
  Bar.Height = kProgressBarHeight;
  CreateChild(kProgressBarClass, Parent, Id, Bar, 0, 0, L"");
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

TAccessibleInfo TProgressBar::AccessibleInfo() const { return {ROLE_SYSTEM_PROGRESSBAR, {}, true}; }

void TProgressBar::Paint(HDC Dc, const RECT& Client) {
  FillRect(Dc, &Client, ParentBackground(Dc));

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
  SetBkMode(Dc, TRANSPARENT);
  const TSelectObject Font(Dc, this->Font());
  RECT TextRect = Inside;
  {
    const TSavedDC Saved(Dc);
    ExcludeClipRect(Dc, Filled.left, Filled.top, Filled.right, Filled.bottom);
    SetTextColor(Dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(Dc, Caption_.c_str(), -1, &TextRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  if (Filled.right > Filled.left) {
    const TSavedDC Saved(Dc);
    IntersectClipRect(Dc, Filled.left, Filled.top, Filled.right, Filled.bottom);
    SetTextColor(Dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    DrawTextW(Dc, Caption_.c_str(), -1, &TextRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}
