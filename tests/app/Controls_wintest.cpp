// The window's building blocks and the window itself, in this process against the real
// platform: bars keep their percentage as their text, buttons follow their actions.

#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Application.h"
#include "app/ControlIds.h"
#include "app/PaintedControls.h"
#include "app/SystemControls.h"
#include "app/fmMain.h"

namespace {

// A panel on a plain top-level window to hold the controls under test.
class ControlsTest : public testing::Test {
 protected:
  void SetUp() override {
    TCustomControl::RegisterClasses();
    Window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(Window, nullptr);
    Parent.Create(Window, 1, L"", RGB(255, 255, 255));
  }
  void TearDown() override { DestroyWindow(Window); }
  HWND Window = nullptr;
  TPanel Parent;
};

std::wstring WindowText(HWND Window) {
  wchar_t Buffer[256] = {};
  GetWindowTextW(Window, Buffer, 256);
  return Buffer;
}

TEST_F(ControlsTest, ProgressBarKeepsItsPercentageAsWindowText) {
  TProgressBar Bar;
  Bar.Create(Parent, 1, {0, 0, 305});
  EXPECT_EQ(WindowText(Bar.Handle()), L"0 %");
  struct {
    double Min, Max, Position;
    const wchar_t* Text;
  } const Steps[] = {{0, 200, 5, L"2 %"},
                     {0, 200, 7, L"4 %"},
                     {0, 0, 0, L"0 %"},
                     {0, 1000, 1000, L"100 %"},
                     {500, 1000, 750, L"50 %"}};
  for (const auto& s : Steps) {
    Bar.SetMin(s.Min);
    Bar.SetMax(s.Max);
    Bar.SetPosition(s.Position);
    EXPECT_EQ(WindowText(Bar.Handle()), s.Text) << s.Min << ".." << s.Max << " at " << s.Position;
  }
}

TEST_F(ControlsTest, BindingCopiesCaptionAndEnabledStateAtOnce) {
  TAction Cancel(L"취소"), Finish(L"완료");
  TButton Button;
  Button.Create(Parent, 2, {0, 0, 75, 25});
  Button.SetAction(Cancel);
  EXPECT_EQ(WindowText(Button.Handle()), L"취소");
  EXPECT_TRUE(Button.Enabled());

  // The action's state reaches the buttons bound to it; a rebinding copies it again even after
  // the button was changed directly.
  Cancel.SetEnabled(false);
  EXPECT_FALSE(Button.Enabled());
  Button.SetEnabled(true);
  Button.SetAction(Cancel);
  EXPECT_FALSE(Button.Enabled());

  Button.SetAction(Finish);
  EXPECT_EQ(WindowText(Button.Handle()), L"완료");
  EXPECT_TRUE(Button.Enabled());
  // Once unbound, the old action no longer reaches the button.
  Cancel.SetEnabled(true);
  Finish.SetEnabled(false);
  EXPECT_FALSE(Button.Enabled());
}

TEST_F(ControlsTest, ActionRunsItsHandlerOnlyWhileEnabled) {
  TAction Next(L"다음");
  int Runs = 0;
  Next.OnExecute = [&] { ++Runs; };
  TButton Button;
  Button.Create(Parent, 3, {0, 0, 75, 25});
  Button.SetAction(Next);
  Button.Click();
  Next.SetEnabled(false);
  Button.Click();
  EXPECT_EQ(Runs, 1);
}

TEST_F(ControlsTest, ProportionalImageShrinksToFitKeepingItsShape) {
  TImage Image;
  Image.Create(Parent, 4, {0, 0, 162, 314}, TImage::TFit::Proportional, L"banner");
  Image.SetPicture(TBitmap(CreateBitmap(164, 314, 1, 32, nullptr)));
  // At every scaling the panel is narrower than its height asks for: the width decides.
  struct {
    int Width, Height, DrawnWidth, DrawnHeight;
  } const Cases[] = {
      {162, 314, 162, 310}, {164, 314, 164, 314}, {300, 600, 300, 574}, {164, 157, 82, 157}};
  for (const auto& c : Cases) {
    const SIZE Drawn = Image.DrawnSize(c.Width, c.Height);
    EXPECT_EQ(Drawn.cx, c.DrawnWidth) << c.Width << " x " << c.Height;
    EXPECT_EQ(Drawn.cy, c.DrawnHeight) << c.Width << " x " << c.Height;
  }
}

TEST_F(ControlsTest, AutoSizedLabelGrowsWithItsTextAndNeverNarrows) {
  TLabel Label;
  Label.Create(Parent, 5, {10, 10}, L"짧음");
  RECT Short;
  GetWindowRect(Label.Handle(), &Short);
  Label.SetText(L"훨씬 더 긴 글입니다");
  RECT Long;
  GetWindowRect(Label.Handle(), &Long);
  EXPECT_GT(Long.right - Long.left, Short.right - Short.left);
  EXPECT_GT(Short.bottom - Short.top, 0);
  // Shorter again, it keeps its width: narrowing would move and repaint the page behind it.
  Label.SetText(L"짧음");
  RECT Again;
  GetWindowRect(Label.Handle(), &Again);
  EXPECT_EQ(Again.right - Again.left, Long.right - Long.left);
}

class InstFormTest : public testing::Test {
 protected:
  void SetUp() override { Form = std::make_unique<TInstForm>(); }
  std::unique_ptr<TInstForm> Form;
};

TEST_F(InstFormTest, StartsOnTheWelcomePageWithEveryTabHidden) {
  EXPECT_EQ(InstForm, Form.get());
  ASSERT_EQ(Form->PC.PageCount(), 6);
  EXPECT_EQ(Form->PC.ActivePageIndex(), 0);
  EXPECT_EQ(Form->PC.ActivePage(), &Form->tsWelcome);
  const TTabSheet* Order[] = {&Form->tsWelcome,  &Form->tsOption,   &Form->tsReady,
                              &Form->tsProgress, &Form->tsComplete, &Form->tsCancel};
  const wchar_t* Titles[] = {L"환영인사",  L"사용권 계약서", L"준비완료",
                             L"설치 진행", L"설치 완료",     L"설치 취소"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(&Form->PC.Pages(i), Order[i]);
    EXPECT_EQ(Form->PC.Pages(i).Caption(), Titles[i]);
    EXPECT_FALSE(Form->PC.Pages(i).TabVisible);
  }
  EXPECT_FALSE(Form->chkOk.Checked());
}

TEST_F(InstFormTest, ButtonsAreBoundToTheirActions) {
  EXPECT_EQ(Form->btnPrev.Action(), &Form->acPrev);
  EXPECT_EQ(Form->btnNext.Action(), &Form->acNext);
  EXPECT_EQ(Form->btnFinish.Action(), &Form->acCancel);
  EXPECT_EQ(Form->acFinish.Caption(), L"완료");
  for (const TAction* Action : {&Form->acPrev, &Form->acNext, &Form->acCancel, &Form->acFinish})
    EXPECT_TRUE(Action->Enabled());
}

TEST_F(InstFormTest, LicenceBoxHoldsTheWholeTextAndWraps) {
  Form->acNextExecute();
  ASSERT_EQ(Form->PC.ActivePage(), &Form->tsOption);
  const std::wstring Text = Form->Memo1.Text();
  int Lines = 1;
  for (size_t At = Text.find(L"\r\n"); At != std::wstring::npos; At = Text.find(L"\r\n", At + 2))
    ++Lines;
  EXPECT_EQ(Lines, 102);
  const LONG_PTR Style = GetWindowLongPtrW(Form->Memo1.Handle(), GWL_STYLE);
  EXPECT_TRUE(Style & ES_MULTILINE);
  EXPECT_TRUE(Style & WS_VSCROLL);
  EXPECT_FALSE(Style & (ES_READONLY | ES_AUTOHSCROLL | WS_HSCROLL));
  // Wrapping makes some long lines take two rows in the box.
  EXPECT_GT(Form->Memo1.LineCount(), 102);
  // The box is editable and nothing reads it back: coming back to the page keeps what was typed.
  Form->Memo1.SetText(L"고친 글");
  Form->acPrevExecute();
  Form->acNextExecute();
  EXPECT_EQ(Form->Memo1.Text(), L"고친 글");
}

TEST_F(InstFormTest, ProgressPageSettersRedrawTheBarText) {
  Form->pbCurrFile.SetMax(1234567);
  Form->pbCurrFile.SetPosition(617283.5);
  EXPECT_EQ(WindowText(Form->pbCurrFile.Handle()), L"50 %");
  Form->lblCurrFile.SetText(L"1,234,567 Byte");
  EXPECT_EQ(Form->lblCurrFile.Text(), L"1,234,567 Byte");
  EXPECT_EQ(WindowText(Form->pbAllFiles.Handle()), L"0 %");
}

// The engine writes the counter for every file: a text that follows the last within a frame
// waits, and the latest always shows at the frame's end.
TEST_F(InstFormTest, CountsWithinAFrameShowTheLatestAtItsEnd) {
  Form->SetAllFilesText("1 / 3");
  Form->SetCurrentFileText("1 Byte");
  Form->SetAllFilesText("2 / 3");
  Form->SetCurrentFileText("2 Byte");
  EXPECT_EQ(Form->CurrentFileText(), "2 Byte");
  const ULONGLONG Until = GetTickCount64() + 200;
  for (MSG Msg; GetTickCount64() < Until;)
    if (PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&Msg);
  EXPECT_EQ(Form->lblAllFiles.Text(), L"2 / 3");
  EXPECT_EQ(Form->lblCurrFile.Text(), L"2 Byte");
}

// While the installation runs a logoff waits: both top-level windows say no, and the form names
// the reason. Wine cannot show the reason on a logoff screen: the platform's calls are recorded.
TEST_F(InstFormTest, WhileHeldBothWindowsRefuseTheSessionsEndAndTheFormSaysWhy) {
  static std::vector<std::pair<HWND, std::wstring>> Calls;
  const TEndSessionHold::TBlockReasonCalls Platform = TEndSessionHold::Calls;
  TEndSessionHold::Calls = {
      [](HWND Window, LPCWSTR Reason) -> BOOL { return Calls.emplace_back(Window, Reason), TRUE; },
      [](HWND Window) -> BOOL { return Calls.emplace_back(Window, L"(ended)"), TRUE; }};
  const HWND Form = this->Form->Handle();
  const auto Answers = [&] {
    std::vector<LRESULT> Answer;
    for (HWND Window : {Form, Application.Handle()})
      Answer.push_back(SendMessageW(Window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    return Answer;
  };
  {
    const TEndSessionHold Hold(Form);
    EXPECT_EQ(Answers(), (std::vector<LRESULT>{FALSE, FALSE}));
  }
  EXPECT_EQ(Answers(), (std::vector<LRESULT>{TRUE, TRUE}));
  TEndSessionHold::Calls = Platform;
  EXPECT_EQ(Calls, (std::vector<std::pair<HWND, std::wstring>>{
                       {Form, L"Velquor 매니저를 설치하고 있습니다."}, {Form, L"(ended)"}}));
}

// Measured: Wine answers AccessibleObjectFromWindow from another process with E_NOINTERFACE even
// for a system button, so the roles are read here, in the window's own process.
TEST_F(InstFormTest, AssistiveToolsReadWhatEachControlIs) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  Form->pbCurrFile.SetMaxAndPosition(400, 100);
  // The system's controls keep the platform's objects; Wine's give the role of a plain client
  // area (Windows' proxies give a button's, a label's), so only their names are checked.
  constexpr long kPlatformRole = 0;
  struct {
    const TControl& Control;
    long Role;
    const wchar_t* Name;   // nullptr: not checked
    const wchar_t* Value;  // nullptr: not checked
  } const Cases[] = {
      {Form->pbCurrFile, ROLE_SYSTEM_PROGRESSBAR, nullptr, L"25 %"},
      {Form->pbAllFiles, ROLE_SYSTEM_PROGRESSBAR, nullptr, L"0 %"},
      {Form->Image1, ROLE_SYSTEM_GRAPHIC, L"Harlune Solution", nullptr},
      {Form->Image2, ROLE_SYSTEM_GRAPHIC, L"Velquor Manager Setup", nullptr},
      {Form->btnNext, kPlatformRole, L"다음", nullptr},
      {Form->chkOk, kPlatformRole, L"사용계약서에 동의합니다.", nullptr},
      {Form->Memo1, ROLE_SYSTEM_TEXT, nullptr, nullptr},
      {Form->Label1, kPlatformRole, L"어서 오십시요.", nullptr},
  };
  VARIANT Self;
  Self.vt = VT_I4;
  Self.lVal = CHILDID_SELF;
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Control.Id());
    Microsoft::WRL::ComPtr<IAccessible> Object;
    ASSERT_EQ(AccessibleObjectFromWindow(c.Control.Handle(), OBJID_CLIENT, IID_PPV_ARGS(&Object)),
              S_OK);
    VARIANT Role;
    ASSERT_EQ(Object->get_accRole(Self, &Role), S_OK);
    EXPECT_EQ(Role.vt, VT_I4);
    if (c.Role != kPlatformRole) {
      EXPECT_EQ(Role.lVal, c.Role);
    }
    BSTR Text = nullptr;
    if (c.Name && SUCCEEDED(Object->get_accName(Self, &Text))) {
      EXPECT_STREQ(Text, c.Name);
      SysFreeString(Text);
    } else if (c.Name) {
      ADD_FAILURE() << "no name";
    }
    if (c.Value) {
      ASSERT_EQ(Object->get_accValue(Self, &Text), S_OK);
      EXPECT_STREQ(Text, c.Value);
      SysFreeString(Text);
    }
  }
  CoUninitialize();
}

TEST_F(InstFormTest, WindowFontIsGulimTwelvePixels) {
  const auto Font = reinterpret_cast<HFONT>(SendMessageW(Form->Label1.Handle(), WM_GETFONT, 0, 0));
  ASSERT_NE(Font, nullptr);
  LOGFONTW Log = {};
  ASSERT_TRUE(GetObjectW(Font, sizeof Log, &Log));
  EXPECT_EQ(std::wstring(Log.lfFaceName), kInstFormFontName);
  EXPECT_EQ(Log.lfHeight, -12);
  EXPECT_EQ(Log.lfCharSet, DEFAULT_CHARSET);
}

}  // namespace
