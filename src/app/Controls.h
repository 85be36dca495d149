#pragma once
// The installer window's building blocks: thin owners of child windows that keep what the window
// needs to know about them (design geometry at 96 DPI, an action binding, a bar's range). Every
// child window is destroyed with its top-level window; these objects only refer to it.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "win32/Handle.h"

// Position and size at 96 DPI; the window scales them to its DPI.
struct TDesignRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

int ScaleForDpi(int Value, UINT Dpi);

class TControl {
 public:
  TControl() = default;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl() = default;

  HWND Handle() const { return Handle_; }
  int Id() const { return GetDlgCtrlID(Handle_); }
  std::wstring Text() const;
  void SetText(std::wstring_view Text);
  bool Visible() const { return IsWindowVisible(Handle_) != FALSE; }
  void SetVisible(bool Visible);
  bool Enabled() const { return IsWindowEnabled(Handle_) != FALSE; }
  void SetEnabled(bool Enabled);

  const TDesignRect& Design() const { return Design_; }
  // Places the control at its design geometry scaled to Dpi.
  virtual void ApplyDpi(UINT Dpi);

 protected:
  void CreateChild(const wchar_t* ClassName, HWND Parent, int Id, const TDesignRect& Design,
                   DWORD Style, DWORD ExStyle, std::wstring_view Text, void* Param = nullptr);

  HWND Handle_ = nullptr;
  TDesignRect Design_;
};

// A container that paints its own background: panels, the page control and its pages. It routes
// its children's commands to the top-level window and colours their backgrounds as its own.
class TContainer : public TControl {
 public:
  static void RegisterClasses(HINSTANCE Instance);
  COLORREF Color() const { return Color_; }
  HFONT Font() const { return Font_; }

 protected:
  void CreateContainer(const wchar_t* ClassName, HWND Parent, int Id, const TDesignRect& Design,
                       std::wstring_view Text, COLORREF Color, DWORD ExStyle = 0);
  virtual void Paint(HDC Dc, const RECT& Client);

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept;

  COLORREF Color_ = 0;
  TGdiObject Brush_;
  HFONT Font_ = nullptr;  // the window's, not owned
};

// A panel with a one-pixel raised bevel and its caption centred (covered by its children here).
class TPanel : public TContainer {
 public:
  void Create(HWND Parent, int Id, std::wstring_view Caption, COLORREF Color);
  // Client-relative placement for the docking layout, in pixels.
  void Place(int Left, int Top, int Width, int Height);

 protected:
  void Paint(HDC Dc, const RECT& Client) override;
};

class TTabSheet : public TContainer {
 public:
  void Create(HWND PageControl, int Id, std::wstring_view Caption);
  // The page's title, as a tab would show it.
  const std::wstring& Caption() const { return Caption_; }
  bool TabVisible = true;

 private:
  std::wstring Caption_;
};

// A stack of pages of which one shows. No tab strip: the pages' tabs are never drawn, so the
// user cannot pick a page directly.
class TPageControl : public TContainer {
 public:
  void Create(HWND Parent, int Id);
  void AddPage(TTabSheet& Page) { Pages_.push_back(&Page); }
  int PageCount() const { return static_cast<int>(Pages_.size()); }
  TTabSheet& Pages(int Index) const { return *Pages_.at(Index); }
  int ActivePageIndex() const { return ActivePage_; }
  TTabSheet* ActivePage() const { return ActivePage_ < 0 ? nullptr : Pages_[ActivePage_]; }
  void SetActivePage(const TTabSheet& Page);
  void SetActivePageIndex(int Index);
  void Place(int Left, int Top, int Width, int Height);

 private:
  std::vector<TTabSheet*> Pages_;
  int ActivePage_ = -1;
};

class TLabel : public TControl {
 public:
  // AutoSize labels measure themselves from their text and font; the others keep Design's size.
  void Create(HWND Parent, int Id, const TDesignRect& Design, std::wstring_view Caption,
              bool AutoSize = true);
  void SetText(std::wstring_view Text);
  void ApplyDpi(UINT Dpi) override;

 private:
  void FitToText();
  bool AutoSize_ = true;
};

class TCheckBox : public TControl {
 public:
  void Create(HWND Parent, int Id, const TDesignRect& Design, std::wstring_view Caption);
  bool Checked() const;
  void SetChecked(bool Checked);
};

class TMemo : public TControl {
 public:
  void Create(HWND Parent, int Id, const TDesignRect& Design, std::wstring_view Text);
  int LineCount() const;
};

class TImage : public TControl {
 public:
  enum class TFit { Actual, Proportional };
  static void RegisterClass(HINSTANCE Instance);
  // Takes ownership of Picture. Actual draws it 1:1; Proportional scales it down, proportions
  // kept, until it fits, from the top-left corner; the parent's colour shows in the rest.
  void Create(HWND Parent, int Id, const TDesignRect& Design, HBITMAP Picture, TFit Fit);
  SIZE PictureSize() const;
  // Where the picture lands inside a client area of this size.
  SIZE DrawnSize(int ClientWidth, int ClientHeight) const;
  void Place(int Left, int Top, int Width, int Height);

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  void Paint(HDC Dc);

  TGdiObject Picture_;
  TFit Fit_ = TFit::Actual;
};

// A horizontal bar with a floating-point range that draws its percentage inside and keeps that
// text as its window text, so assistive tools and tests can read it.
class TProgressBar : public TControl {
 public:
  static void RegisterClass(HINSTANCE Instance);
  void Create(HWND Parent, int Id, const TDesignRect& Design);
  double Min() const { return Min_; }
  double Max() const { return Max_; }
  double Position() const { return Position_; }
  void SetMin(double Value);
  void SetMax(double Value);
  void SetPosition(double Value);
  // Both at once, for a notification that moves the range and the position together.
  void SetMaxAndPosition(double Max, double Position);

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  void Changed();
  void Paint(HDC Dc);

  double Min_ = 0;
  double Max_ = 100;
  double Position_ = 0;
  std::wstring Caption_;  // the percentage text shown, which is all that the drawing depends on
};

class TButton;

// A command with a caption and an enabled state that the buttons bound to it show.
class TAction {
 public:
  explicit TAction(std::wstring Caption) : Caption_(std::move(Caption)) {}
  TAction(const TAction&) = delete;
  TAction& operator=(const TAction&) = delete;
  ~TAction();

  const std::wstring& Caption() const { return Caption_; }
  bool Enabled() const { return Enabled_; }
  // A disabled action disables every button bound to it, and an enabled one enables them.
  void SetEnabled(bool Enabled);
  // Runs OnExecute when the action is enabled.
  void Execute();
  std::function<void()> OnExecute;

 private:
  friend class TButton;
  std::wstring Caption_;
  bool Enabled_ = true;
  std::vector<TButton*> Clients_;
};

class TActionList {
 public:
  // Runs OnUpdate: the window calls it when the application goes idle.
  void Update() {
    if (OnUpdate) OnUpdate();
  }
  std::function<void()> OnUpdate;
};

class TButton : public TControl {
 public:
  ~TButton() override;
  void Create(HWND Parent, int Id, const TDesignRect& Design);
  TAction* Action() const { return Action_; }
  // Binds the button to Action and copies its caption and enabled state at once, even when the
  // action is the one already bound.
  void SetAction(TAction& Action);
  // The button was pressed: runs the bound action.
  void Click();

 private:
  friend class TAction;
  TAction* Action_ = nullptr;
};
