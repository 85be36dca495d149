#pragma once
// Windows of our own classes that paint themselves: the panels, the page control and its pages,
// the images and the progress bars. Each keeps the font it is given (WM_SETFONT), as the
// system's controls do, and draws in Paint.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Accessible.h"
#include "app/Control.h"
#include "win32/Handle.h"

class TCustomControl : public TControl {
 public:
  // The window classes of every painted control; once per process.
  static void RegisterClasses();
  HFONT Font() const { return Font_; }

 protected:
  LRESULT HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) override;
  virtual void Paint(HDC Dc, const RECT& Client) = 0;
  // What assistive tools are told this control is; no role leaves it to the platform.
  virtual TAccessibleInfo AccessibleInfo() const { return {}; }
  // How a transparent control shows its parent: the brush (and text colours set in Dc) that the
  // parent paints behind it.
  HBRUSH ParentBackground(HDC Dc) const;

 private:
  HFONT Font_ = nullptr;  // the window's, not owned
};

// A container that paints its background in its colour, passes its children's commands to the
// top-level window and colours their backgrounds as its own. Its children follow the DPI with it.
class TContainer : public TCustomControl {
 public:
  COLORREF Color() const { return Color_; }
  // A control created inside: it follows the window's DPI with its container.
  void Adopt(TControl& Child) { Children_.push_back(&Child); }
  // The children at their design geometry; the container itself is docked.
  void ApplyDpi(UINT Dpi) override;

 protected:
  void CreateContainer(HWND Parent, TContainer* Container, int Id, std::wstring_view Text,
                       COLORREF Color);
  LRESULT HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC Dc, const RECT& Client) override;

 private:
  COLORREF Color_ = 0;
  TBrush Brush_;
  std::vector<TControl*> Children_;
};

// A panel with a one-pixel raised bevel and its caption centred (covered by its children here).
class TPanel : public TContainer {
 public:
  // A panel of the top-level window, or one inside another panel.
  void Create(HWND Parent, int Id, std::wstring_view Caption, COLORREF Color);
  void Create(TContainer& Parent, int Id, std::wstring_view Caption, COLORREF Color);

 protected:
  void Paint(HDC Dc, const RECT& Client) override;
};

class TPageControl;

class TTabSheet : public TContainer {
 public:
  void Create(TPageControl& PageControl, int Id, std::wstring_view Caption);
  // The page's title, as a tab would show it.
  const std::wstring& Caption() const { return Caption_; }
  bool TabVisible = true;
  // Runs each time the page is about to show, before it becomes visible.
  std::function<void()> OnShow;

 private:
  std::wstring Caption_;
};

// A stack of pages of which one shows. No tab strip: the pages' tabs are never drawn, so the
// user cannot pick a page directly. The pages fill it.
class TPageControl : public TContainer {
 public:
  void Create(TContainer& Parent, int Id);
  void AddPage(TTabSheet& Page) { Pages_.push_back(&Page); }
  int PageCount() const { return static_cast<int>(Pages_.size()); }
  TTabSheet& Pages(int Index) const { return *Pages_.at(Index); }
  int ActivePageIndex() const { return ActivePage_; }
  TTabSheet* ActivePage() const { return ActivePage_ < 0 ? nullptr : Pages_[ActivePage_]; }
  void SetActivePage(const TTabSheet& Page);
  void SetActivePageIndex(int Index);

 protected:
  LRESULT HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::vector<TTabSheet*> Pages_;
  int ActivePage_ = -1;
};

class TImage : public TCustomControl {
 public:
  enum class TFit { Actual, Proportional };
  // Actual draws the picture 1:1, its bottom-left pixel's colour letting the parent show
  // through; Proportional scales it, proportions kept, to fit, from the top-left corner, and the
  // parent's colour shows in the rest. Name: what the picture shows, for assistive tools.
  void Create(TContainer& Parent, int Id, const TDesignRect& Design, TFit Fit,
              std::wstring_view Name);
  // The picture to draw (another DPI brings another one).
  void SetPicture(TBitmap Picture);
  SIZE PictureSize() const;
  // Where the picture lands inside a client area of this size.
  SIZE DrawnSize(int ClientWidth, int ClientHeight) const;

 protected:
  void Paint(HDC Dc, const RECT& Client) override;
  TAccessibleInfo AccessibleInfo() const override;

 private:
  TBitmap Picture_;
  TFit Fit_ = TFit::Actual;
  std::wstring Name_;
};

// A horizontal bar with a floating-point range that draws its percentage inside and keeps that
// text as its window text, so assistive tools and tests can read it.
class TProgressBar : public TCustomControl {
 public:
  void Create(TContainer& Parent, int Id, const TDesignRect& Design);
  double Min() const { return Min_; }
  double Max() const { return Max_; }
  double Position() const { return Position_; }
  void SetMin(double Value);
  void SetMax(double Value);
  void SetPosition(double Value);
  // Both at once, for a notification that moves the range and the position together.
  void SetMaxAndPosition(double Max, double Position);

 protected:
  void Paint(HDC Dc, const RECT& Client) override;
  TAccessibleInfo AccessibleInfo() const override;

 private:
  void Changed();

  double Min_ = 0;
  double Max_ = 100;
  double Position_ = 0;
  std::wstring Caption_;  // the percentage text shown, which is all that the drawing depends on
};
