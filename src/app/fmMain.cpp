#include "app/fmMain.h"

#include <imm.h>

#include <memory>
#include <optional>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/Application.h"
#include "app/ArtworkRules.h"
#include "app/ControlIds.h"
#include "app/License.h"
#include "app/StartupPhases.h"
#include "app/WizardRules.h"
#include "app/res/ResourceIds.h"
#include "engine/InstallManager.h"
#include "win32/MessagePump.h"
#include "win32/Text.h"

TInstForm* InstForm = nullptr;

const wchar_t kInstFormFontName[] = L"굴림";

namespace {

constexpr wchar_t kInstFormClass[] = L"TInstForm";
constexpr wchar_t kCaption[] = L"Velquor Manager 설치";
constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;
// Character height of the window's font at 96 DPI (9 point).
constexpr int kFontHeight = 12;
// The docking geometry at 96 DPI.
constexpr int kBottomPanelHeight = 41;
constexpr int kBannerPanelWidth = 164;
constexpr int kBevel = 1;
// What the two pictures show, for assistive tools.
constexpr wchar_t kLogoName[] = L"Harlune Solution";
constexpr wchar_t kBannerName[] = L"Velquor Manager Setup";
// The input method that the licence box asks for when it gets the focus.
constexpr wchar_t kMemoImeName[] = L"Microsoft IME 2003";
// The progress page's labels take a new text at most once a frame (kFrameMs, as the window
// paints while the installer works); a later one waits on this timer.
constexpr UINT_PTR kLabelsTimer = 1;

// A device-dependent bitmap: the platform decodes the RLE8 artwork into one, where a DIB
// section would refuse compressed data.
TBitmap LoadPicture(int Id) {
  return TBitmap(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(Id), IMAGE_BITMAP, 0, 0, 0)));
}

int ArtworkId(int Scale, int Id100, int Id125, int Id150, int Id200) {
  switch (Scale) {
    case 125:
      return Id125;
    case 150:
      return Id150;
    case 200:
      return Id200;
    default:
      return Id100;
  }
}

// Activates the named input method if it is installed; otherwise the keyboard stays as it is.
void SelectIme(std::wstring_view Name) {
  const int Count = GetKeyboardLayoutList(0, nullptr);
  if (Count <= 0) return;
  std::vector<HKL> Layouts(static_cast<size_t>(Count));
  GetKeyboardLayoutList(Count, Layouts.data());
  for (HKL Layout : Layouts) {
    if (!ImmIsIME(Layout)) continue;
    wchar_t Description[256] = {};
    const UINT Length = ImmGetDescriptionW(Layout, Description, 255);
    if (std::wstring_view(Description, Length) == Name) {
      ActivateKeyboardLayout(Layout, 0);
      return;
    }
  }
}

// The cancel question, with the answers and captions it has on every system, whatever the
// language of the system's own message boxes: a CBT hook renames the buttons and centres the
// box on the screen when it is first activated.
constexpr wchar_t kCancelQuestion[] = L"설치를 취소하겠습니까?";
constexpr wchar_t kConfirmCaption[] = L"Confirm";
// The box already dressed: a later activation (the user comes back to it) must not move it.
bool ConfirmBoxDressed = false;

LRESULT CALLBACK ConfirmBoxHook(int Code, WPARAM wParam, LPARAM lParam) noexcept {
  if (Code == HCBT_ACTIVATE && !ConfirmBoxDressed) {
    ConfirmBoxDressed = true;
    const HWND Box = reinterpret_cast<HWND>(wParam);
    SetDlgItemTextW(Box, IDYES, L"&Yes");
    SetDlgItemTextW(Box, IDNO, L"&No");
    SetDlgItemTextW(Box, IDCANCEL, L"Cancel");
    RECT Frame;
    GetWindowRect(Box, &Frame);
    SetWindowPos(Box, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (Frame.right - Frame.left)) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - (Frame.bottom - Frame.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  return CallNextHookEx(nullptr, Code, wParam, lParam);
}

// Yes (6), No (7) or Cancel (2); Escape and the box's close box answer Cancel. The owner is
// disabled while the box is open.
int AskToCancel(HWND Owner) {
  ConfirmBoxDressed = false;
  const THook Hook(SetWindowsHookExW(WH_CBT, ConfirmBoxHook, nullptr, GetCurrentThreadId()));
  return MessageBoxW(Owner, kCancelQuestion, kConfirmCaption,
                     MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1);
}

}  // namespace

TInstForm::TInstForm(TPages Pages) {
  InstForm = this;
  const HINSTANCE Instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(kInstFormClass, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                      LoadIconW(Instance, MAKEINTRESOURCEW(IDI_MAINICON)));
  TCustomControl::RegisterClasses();

  // The application's window owns this one, so the taskbar lists the program under its title.
  Window_.Reset(CreateWindowOf(kInstFormClass, kCaption, kFormStyle, kFormExStyle, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Application.Handle(),
                               nullptr));
  Dpi_ = GetDpiForWindow(Handle_);
  MarkStartupPhase("window");
  // The font before the controls: each takes it as it is created, so no label measures itself
  // in the system font first and no control gets a second font at once.
  SetFont(Dpi_);
  MarkStartupPhase("font");
  CreateControls();
  if (Pages == TPages::AllNow) CreatePageControls();
  BindActions();
  MarkStartupPhase("controls");
  // The controls already stand at their places for this DPI.
  SizeForDpi();
  FormCreate();
  SetInstallProgressView(this);
  MarkStartupPhase("pages");
}

TInstForm::~TInstForm() {
  if (InstForm == this) {
    SetInstallProgressView(nullptr);
    InstForm = nullptr;
  }
  // Before the font and the controls' brushes go.
  Window_.Reset();
}

void TInstForm::CreateControls() {
  // Creation order is the tab order: the pages before the buttons, and on the agreement page
  // the check box before the licence box.
  Panel2.Create(Handle_, IDC_PANEL2, L"Panel2", GetSysColor(COLOR_BTNFACE));
  Panel3.Create(Panel2, IDC_PANEL3, L"", RGB(255, 255, 255));
  Image2.Create(Panel3, IDC_IMAGE2, {}, TImage::TFit::Proportional, kBannerName);
  PC.Create(Panel2, IDC_PC);

  struct TPageDef {
    TTabSheet& Page;
    int Id;
    const wchar_t* Title;
  };
  const TPageDef Pages[] = {
      {tsWelcome, IDC_TS_WELCOME, L"환영인사"},    {tsOption, IDC_TS_OPTION, L"사용권 계약서"},
      {tsReady, IDC_TS_READY, L"준비완료"},        {tsProgress, IDC_TS_PROGRESS, L"설치 진행"},
      {tsComplete, IDC_TS_COMPLETE, L"설치 완료"}, {tsCancel, IDC_TS_CANCEL, L"설치 취소"},
  };
  for (const TPageDef& Def : Pages) Def.Page.Create(PC, Def.Id, Def.Title);

  Label1.Create(tsWelcome, IDC_LABEL1, {48, 72}, L"어서 오십시요.");
  Label25.Create(tsWelcome, IDC_LABEL25, {48, 104},
                 L"Velquor 매니저를 귀하의 컴퓨터에 설치합니다.");
  Label26.Create(tsWelcome, IDC_LABEL26, {48, 208}, L"계속 진행하려면 다음 버튼을 눌러 주세요.");

  Panel1.Create(Handle_, IDC_PANEL1, L"", GetSysColor(COLOR_BTNFACE));
  Image1.Create(Panel1, IDC_IMAGE1, {18, 7, 147, 26}, TImage::TFit::Actual, kLogoName);
  btnPrev.Create(Panel1, IDC_BTN_PREV, {312, 8, 75, 25});
  btnNext.Create(Panel1, IDC_BTN_NEXT, {392, 8, 75, 25});
  btnFinish.Create(Panel1, IDC_BTN_FINISH, {496, 8, 75, 25});
}

void TInstForm::CompletePages() {
  if (!PagesComplete_) CreatePageControls();
}

void TInstForm::CreatePageControls() {
  PagesComplete_ = true;
  // Each page's controls are its own children, so coming after the buttons changes no tab
  // order: the pages still come before them.
  Label31.Create(tsOption, IDC_LABEL31, {16, 16},
                 L"사용권 계약서에 동의하여야 설치를 계속할 수 있습니다.");
  chkOk.Create(tsOption, IDC_CHK_OK, {16, 256, 169}, L"사용계약서에 동의합니다.");
  // Its text comes when its page first shows: the first page does not need it, and wrapping
  // the whole licence, and again in the window's font, was a tenth of the start-up.
  Memo1.Create(tsOption, IDC_MEMO1, {8, 40, 401, 209});

  Label4.Create(tsReady, IDC_LABEL4, {48, 104}, L"설치준비가 완료되었습니다.");
  Label5.Create(tsReady, IDC_LABEL5, {48, 208}, L"설치를 시작하려면 다음 버튼을 눌러 주세요.");

  cxLabel2.Create(tsProgress, IDC_CX_LABEL2, {56, 88}, L"파일을 다운로드하고 있습니다.");
  lblAllFiles.Create(tsProgress, IDC_LBL_ALL_FILES, {64, 112}, L"파일 : 5 / 12");
  pbAllFiles.Create(tsProgress, IDC_PB_ALL_FILES, {64, 128, 305});
  lblCurrFile.Create(tsProgress, IDC_LBL_CURR_FILE, {64, 160},
                     L"파일: 230kbytes 다운로드 : 113kbytes ");
  pbCurrFile.Create(tsProgress, IDC_PB_CURR_FILE, {64, 176, 305});

  Label29.Create(tsComplete, IDC_LABEL29, {48, 104}, L"프로그램 설치가 완료되었습니다.");
  Label30.Create(tsComplete, IDC_LABEL30, {48, 160}, L"Harlune 솔루션을 사용해주셔서 감사합니다.");

  Label2.Create(tsCancel, IDC_LABEL2, {56, 104}, L"프로그램 설치가 취소되었습니다.");
  Label3.Create(tsCancel, IDC_LABEL3, {56, 160, 248, 24},
                L"나중에 다시 설치하려면 \r\n설치 프로그램을 재실행하여 주시기 바랍니다.", false);
}

void TInstForm::BindActions() {
  ActionList1.OnUpdate = [this] { ActionList1Update(); };
  acPrev.OnExecute = [this] { acPrevExecute(); };
  acNext.OnExecute = [this] { acNextExecute(); };
  acCancel.OnExecute = [this] { acCancelExecute(); };
  acFinish.OnExecute = [this] { acFinishExecute(); };
  btnPrev.SetAction(acPrev);
  btnNext.SetAction(acNext);
  btnFinish.SetAction(acCancel);
  tsOption.OnShow = [this] { tsOptionShow(); };
}

void TInstForm::SetFont(UINT Dpi) {
  Font_.Reset(CreateFontW(-ScaleForDpi(kFontHeight, Dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, kInstFormFontName));
  // Every control uses the window's font.
  EnumChildWindows(
      Handle_,
      [](HWND Child, LPARAM Font) -> BOOL {
        SendMessageW(Child, WM_SETFONT, static_cast<WPARAM>(Font), TRUE);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(Font_.Get()));
}

void TInstForm::ApplyDpi(UINT Dpi) {
  Dpi_ = Dpi;
  SetFont(Dpi);
  // Every control at its design place, container by container; the docking follows.
  Panel1.ApplyDpi(Dpi);
  Panel2.ApplyDpi(Dpi);
  SizeForDpi();
}

void TInstForm::SizeForDpi() {
  const UINT Dpi = Dpi_;
  // The artwork drawn for this scaling: the logo 1:1, the banner reduced to fit its panel.
  Image1.SetPicture(
      LoadPicture(ArtworkId(LogoScale(Dpi), IDB_LOGO, IDB_LOGO_125, IDB_LOGO_150, IDB_LOGO_200)));
  Image2.SetPicture(LoadPicture(
      ArtworkId(BannerScale(Dpi), IDB_BANNER, IDB_BANNER_125, IDB_BANNER_150, IDB_BANNER_200)));
  MarkStartupPhase("artwork");
  RECT Outer = {0, 0, ScaleForDpi(kInstFormClientSize.cx, Dpi),
                ScaleForDpi(kInstFormClientSize.cy, Dpi)};
  AdjustWindowRectExForDpi(&Outer, kFormStyle, FALSE, kFormExStyle, Dpi);
  SetWindowPos(Handle_, nullptr, 0, 0, Outer.right - Outer.left, Outer.bottom - Outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
  MarkStartupPhase("layout");
}

void TInstForm::Layout() {
  RECT Client;
  GetClientRect(Handle_, &Client);
  const int Width = Client.right;
  const int Height = Client.bottom;
  const int Bevel = ScaleForDpi(kBevel, Dpi_);
  const int BottomHeight = ScaleForDpi(kBottomPanelHeight, Dpi_);
  const int BannerWidth = ScaleForDpi(kBannerPanelWidth, Dpi_);

  Panel1.Place(0, Height - BottomHeight, Width, BottomHeight);
  const int TopHeight = Height - BottomHeight;
  Panel2.Place(0, 0, Width, TopHeight);
  const int InnerHeight = TopHeight - 2 * Bevel;
  Panel3.Place(Bevel, Bevel, BannerWidth, InnerHeight);
  Image2.Place(Bevel, Bevel, BannerWidth - 2 * Bevel, InnerHeight - 2 * Bevel);
  PC.Place(Bevel + BannerWidth, Bevel, Width - BannerWidth - 2 * Bevel, InnerHeight);
}

void TInstForm::Show() {
  RECT Outer;
  GetWindowRect(Handle_, &Outer);
  const int Width = Outer.right - Outer.left;
  const int Height = Outer.bottom - Outer.top;
  SetWindowPos(Handle_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - Width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - Height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  // The buttons as the update rule wants them in the first frame, not one idle step later.
  ActionList1.Update();
  ShowWindow(Handle_, SW_SHOWNORMAL);
  MarkStartupPhase("visible");
  UpdateWindow(Handle_);
  MarkStartupPhase("painted");
}

void TInstForm::Close() { PostMessageW(Handle_, WM_CLOSE, 0, 0); }

void TInstForm::FormCreate() {
  for (int i = 0; i < PC.PageCount(); ++i) PC.Pages(i).TabVisible = false;
  PC.SetActivePageIndex(0);
}

int TInstForm::ProgressPageIndex() const {
  for (int i = 0; i < PC.PageCount(); ++i)
    if (&PC.Pages(i) == &tsProgress) return i;
  return -1;
}

void TInstForm::acPrevExecute() {
  CompletePages();
  const int Page = PC.ActivePageIndex();
  if (Page > 0) PC.SetActivePageIndex(Page - 1);
}

void TInstForm::acNextExecute() {
  CompletePages();
  const int Page = PC.ActivePageIndex();
  if (Page < ProgressPageIndex()) PC.SetActivePageIndex(Page + 1);
  if (PC.ActivePage() != &tsProgress) return;

  // The downloads pump the window's messages: with these off, nothing but the close box acts.
  acPrev.SetEnabled(false);
  acNext.SetEnabled(false);
  acCancel.SetEnabled(false);
  UpdateWindow(Handle_);
  // Until Run returns, whatever ends the wizard ends a failed installation.
  ExitCode_ = kExitFailed;
  // Freed on every path; an error leaves the window on the progress page for the error box.
  const auto Manager = std::make_unique<TInstallManager>();
  const bool Installed = [&] {
    const TEndSessionHold Hold(Handle_);
    return Manager->Run();
  }();
  ShowPendingLabels();
  ExitCode_ = Installed ? kExitSuccess : kExitFailed;
  if (!Installed) {
    // A failed installation is not shown as complete: the page says so and names the cause.
    Label29.SetText(Utf8ToWide(kIncompleteText));
    Label30.SetText(Utf8ToWide(FailureText(Manager->Failure())));
  }
  PC.SetActivePage(tsComplete);
}

void TInstForm::acCancelExecute() {
  CompletePages();
  if (AskToCancel(Handle_) == IDYES) PC.SetActivePage(tsCancel);
}

void TInstForm::acFinishExecute() { Close(); }

void TInstForm::tsOptionShow() {
  // Once: what the user typed into the box stays when they come back to the page.
  if (LicenseShown_) return;
  LicenseShown_ = true;
  Memo1.SetText(LicenseText());
}

void TInstForm::ActionList1Update() {
  const TWizardButtons Buttons =
      WizardButtons(PC.ActivePageIndex(), ProgressPageIndex(), chkOk.Checked());
  btnPrev.SetEnabled(Buttons.PrevEnabled);
  btnNext.SetEnabled(Buttons.NextEnabled);
  btnFinish.SetAction(Buttons.FinishBoundToFinish ? acFinish : acCancel);
  // A page change or a button the rule just disabled can leave the focus on a control that no
  // longer takes it, and the keyboard would then reach nothing.
  KeepFocusUsable();
}

void TInstForm::SetAllFilesText(const std::string& Text) {
  SetLabelText(PendingAllFiles_, Utf8ToWide(Text));
}

void TInstForm::SetLabelText(std::optional<std::wstring>& Pending, std::wstring Text) {
  // The engine writes the counter and the size for every file, dozens a second, and the
  // system's static control repaints itself at once for every text (under Wine): a text that
  // follows the last one within a frame waits for the frame's end, and only the latest shows.
  Pending = std::move(Text);
  const ULONGLONG Now = GetTickCount64();
  if (Now >= NextLabelsAt_) {
    ShowPendingLabels();
  } else if (!LabelsTimerSet_) {
    LabelsTimerSet_ =
        SetTimer(Handle_, kLabelsTimer, static_cast<UINT>(NextLabelsAt_ - Now), nullptr) != 0;
  }
}

void TInstForm::ShowPendingLabels() {
  if (LabelsTimerSet_) KillTimer(Handle_, kLabelsTimer);
  LabelsTimerSet_ = false;
  if (PendingAllFiles_) lblAllFiles.SetText(*std::exchange(PendingAllFiles_, std::nullopt));
  if (PendingCurrFile_) lblCurrFile.SetText(*std::exchange(PendingCurrFile_, std::nullopt));
  NextLabelsAt_ = GetTickCount64() + kFrameMs;
}

void TInstForm::SetAllFilesBar(double Max, double Position) {
  pbAllFiles.SetMaxAndPosition(Max, Position);
  ShowLabelsWhenDue();
}

void TInstForm::ShowLabelsWhenDue() {
  // The bars move with every notification: the labels' texts follow them once their frame is
  // over, whether or not the timer came.
  if ((PendingAllFiles_ || PendingCurrFile_) && GetTickCount64() >= NextLabelsAt_)
    ShowPendingLabels();
}

std::string TInstForm::CurrentFileText() const {
  return WideToUtf8(PendingCurrFile_ ? *PendingCurrFile_ : lblCurrFile.Text());
}

void TInstForm::SetCurrentFileText(const std::string& Text) {
  SetLabelText(PendingCurrFile_, Utf8ToWide(Text));
}

void TInstForm::SetCurrentFileBar(double Max, double Position) {
  pbCurrFile.SetMaxAndPosition(Max, Position);
  ShowLabelsWhenDue();
}

void TInstForm::OnCommand(int Id, int Code) {
  // Enter reaches the window as IDOK from the dialog handling (no button is the default): it
  // presses the focused button, and nothing else.
  if (Id == IDOK) Id = GetDlgCtrlID(GetFocus());
  for (TButton* Button : {&btnPrev, &btnNext, &btnFinish})
    if (Id == Button->Id() && Code == BN_CLICKED) Button->Click();
  if (Id == IDC_MEMO1 && Code == EN_SETFOCUS) SelectIme(kMemoImeName);
}

bool TInstForm::CanHaveFocus(HWND Control) const {
  return Control && IsChild(Handle_, Control) && IsWindowVisible(Control) &&
         IsWindowEnabled(Control);
}

HWND TInstForm::DefaultFocus() const {
  if (const TTabSheet* Page = PC.ActivePage()) {
    for (HWND Child = GetWindow(Page->Handle(), GW_CHILD); Child;
         Child = GetWindow(Child, GW_HWNDNEXT))
      if ((GetWindowLongPtrW(Child, GWL_STYLE) & WS_TABSTOP) && CanHaveFocus(Child)) return Child;
  }
  if (btnNext.Enabled()) return btnNext.Handle();
  for (const TButton* Button : {&btnFinish, &btnNext, &btnPrev})
    if (Button->Enabled()) return Button->Handle();
  return nullptr;
}

void TInstForm::KeepFocusUsable() {
  // Only while the window is active: setting the focus would activate it.
  if (GetActiveWindow() != Handle_ || CanHaveFocus(GetFocus())) return;
  if (const HWND Target = DefaultFocus()) SetFocus(Target);
}

void TInstForm::RestoreFocus() {
  const HWND Target = CanHaveFocus(LastFocus_) ? LastFocus_ : DefaultFocus();
  if (Target) SetFocus(Target);
}

LRESULT TInstForm::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  switch (Message) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETFONT:
      // What a control created inside takes (TControl::CreateChild).
      return reinterpret_cast<LRESULT>(Font_.Get());
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND Focus = GetFocus();
        if (Focus && IsChild(Handle_, Focus)) LastFocus_ = Focus;
        return 0;
      }
      if (!HIWORD(wParam)) RestoreFocus();
      return 0;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_NEXTDLGCTL: {
      // Tab and Shift+Tab from a control that handles its own keys (the licence box) arrive
      // here, as in a dialog: to the given control, or to the next or previous tab stop.
      const HWND Target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                         : GetNextDlgTabItem(Handle_, GetFocus(), wParam != 0);
      if (CanHaveFocus(Target)) SetFocus(Target);
      return 0;
    }
    case WM_DPICHANGED: {
      ApplyDpi(HIWORD(wParam));
      const RECT& Suggested = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(Handle_, nullptr, Suggested.left, Suggested.top,
                   Suggested.right - Suggested.left, Suggested.bottom - Suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_QUERYENDSESSION:
      return Application.EndSessionHeld() ? FALSE : TRUE;
    case WM_TIMER:
      if (wParam != kLabelsTimer) return DefWindowProcW(Handle_, Message, wParam, lParam);
      ShowPendingLabels();
      return 0;
    case WM_CLOSE:
      // The window stays until the program ends, so a handler still running (the installation)
      // finds its controls; the loop stops when control returns to it.
      Application.Terminate();
      return 0;
    default:
      return DefWindowProcW(Handle_, Message, wParam, lParam);
  }
}
