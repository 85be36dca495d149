#pragma once
// The installer window: six pages of which one shows, the banner on the left, the logo and three
// buttons bound to actions at the bottom. All positions are pixels at 96 DPI, scaled to the
// window's DPI at creation and whenever it changes.

#include <windows.h>

#include <optional>
#include <string>

#include "app/Actions.h"
#include "app/PaintedControls.h"
#include "app/SystemControls.h"
#include "app/Window.h"
#include "engine/ProgressView.h"
#include "engine/RemovalPlan.h"
#include "win32/Handle.h"

// Stands for the visual-style manifest in the resources; it has no behaviour at run time.
struct TXPManifest {};

class TInstForm final : public TWindow, public TProgressView {
 public:
  // Which controls come with the window: all of them, or those of the frame and the first page
  // only, the other pages' coming at the first idle (or when a page changes before that): the
  // first frame needs none of them, and each window costs a trip to the window server.
  enum class TPages { AllNow, FirstNow };
  // Creates the window and its controls (not shown yet) and runs FormCreate. Sets InstForm and
  // hands the progress page down to the install engine.
  explicit TInstForm(TPages Pages = TPages::AllNow);
  ~TInstForm() override;

  // Shows the window centred on the screen.
  void Show();
  // Creates the pages' controls that are not there yet.
  void CompletePages();
  // Closing never asks: it ends the application once control is back in the message loop.
  void Close();
  // How the wizard ended, as Windows Installer's codes: complete, cancelled (the cancel page,
  // or closed before the installation began) or failed.
  int ExitCode() const noexcept { return ExitCode_; }

  TPageControl PC;
  TTabSheet tsWelcome;
  TTabSheet tsOption;
  TTabSheet tsProgress;
  TTabSheet tsComplete;
  TPanel Panel1;
  TTabSheet tsCancel;
  TButton btnPrev;
  TButton btnNext;
  TButton btnFinish;
  TPanel Panel2;
  TPanel Panel3;
  TLabel Label1;
  TLabel Label25;
  TLabel Label26;
  TActionList ActionList1;
  TAction acPrev{L"이전"};
  TAction acNext{L"다음"};
  TAction acCancel{L"취소"};
  TAction acFinish{L"완료"};
  TLabel Label29;
  TLabel Label30;
  TLabel Label2;
  TLabel Label3;
  TProgressBar pbAllFiles;
  TProgressBar pbCurrFile;
  TLabel cxLabel2;
  TLabel lblCurrFile;
  TLabel lblAllFiles;
  TLabel Label31;
  TCheckBox chkOk;
  TMemo Memo1;
  TXPManifest XPManifest1;
  TTabSheet tsReady;
  TLabel Label4;
  TLabel Label5;
  TImage Image1;
  TImage Image2;

  void FormCreate();
  void acPrevExecute();
  void acNextExecute();
  void acCancelExecute();
  void acFinishExecute();
  void ActionList1Update();
  void tsOptionShow();

  // The progress page as the install engine writes it.
  void SetAllFilesText(const std::string& Text) override;
  void SetAllFilesBar(double Max, double Position) override;
  std::string CurrentFileText() const override;
  void SetCurrentFileText(const std::string& Text) override;
  void SetCurrentFileBar(double Max, double Position) override;

 private:
  LRESULT HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) override;
  // The frame (panels, pages, logo, buttons) with the first page's controls; the other pages'.
  void CreateControls();
  void CreatePageControls();
  void BindActions();
  // The window's font for Dpi, given to every control.
  void SetFont(UINT Dpi);
  // Font, fixed positions and the window's size for Dpi; the docked panels follow in Layout.
  void ApplyDpi(UINT Dpi);
  // The artwork, the window's size and the docking for the current DPI.
  void SizeForDpi();
  // The docking: the bottom panel at the bottom, the banner at the left, the pages in the rest.
  void Layout();
  void OnCommand(int Id, int Code);
  // The focus after a page change or a reactivation: the page's first tab stop, else Next when
  // enabled, else the rightmost enabled button.
  bool CanHaveFocus(HWND Control) const;
  HWND DefaultFocus() const;
  void KeepFocusUsable();
  void RestoreFocus();
  int ProgressPageIndex() const;
  // The progress page's two labels take their texts at most once a frame (SetLabelText); the
  // latest one shows at the frame's end, or when ShowPendingLabels is called.
  void SetLabelText(std::optional<std::wstring>& Pending, std::wstring Text);
  void ShowPendingLabels();
  void ShowLabelsWhenDue();

  TWindowHandle Window_;  // Handle_'s owner
  UINT Dpi_ = USER_DEFAULT_SCREEN_DPI;
  TFont Font_;
  HWND LastFocus_ = nullptr;
  bool LicenseShown_ = false;
  bool PagesComplete_ = false;
  int ExitCode_ = kExitUserCancelled;
  std::optional<std::wstring> PendingAllFiles_;
  std::optional<std::wstring> PendingCurrFile_;
  ULONGLONG NextLabelsAt_ = 0;
  bool LabelsTimerSet_ = false;
};

// The one installer window, valid from its creation until the application ends.
extern TInstForm* InstForm;

// The window's font face: "굴림" (Gulim).
extern const wchar_t kInstFormFontName[];
// The client area at 96 DPI.
inline constexpr SIZE kInstFormClientSize = {588, 359};
