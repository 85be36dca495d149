// The installer as a user meets it: started in a Wine virtual desktop by run-gui-tests.sh, read
// from another process through the GUI driver. Also the resources read back from the built exe.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "gui/GuiDriver.h"
#include "win32/Text.h"

namespace {

using namespace GuiDriver;

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kChangeTimeoutMs = 5000;
constexpr wchar_t kCaption[] = L"Velquor Manager 설치";

std::string Env(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

// Wine shows the Linux root as drive Z:.
std::wstring ShotPath(const std::string& Name) {
  return L"Z:" + Utf8ToWide(Env("VELQUOR_GUI_SHOTS")) + L"/" + Utf8ToWide(Name);
}

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
  char Text[64];
  std::snprintf(Text, sizeof Text, "(%ld, %ld) %ld x %ld", r.left, r.top, r.right - r.left,
                r.bottom - r.top);
  return Text;
}

RECT At(int Left, int Top, int Width, int Height) {
  return {Left, Top, Left + Width, Top + Height};
}

class InstallerWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The desktop first: SetThreadDesktop refuses a thread that already owns a window.
    const std::string Desktop = Env("VELQUOR_GUI_DESKTOP");
    if (Desktop.empty() || !UseDesktop(Utf8ToWide(Desktop))) {
      std::printf("cannot use the desktop \"%s\" (error %lu)\n", Desktop.c_str(), GetLastError());
      return;
    }
    CoInitialize(nullptr);
    Form = WaitForWindow(kCaption, kWindowTimeoutMs);
  }

  // Closing the window ends the installer, and with it the run of the virtual desktop.
  static void TearDownTestSuite() {
    if (!Form) return;
    PostMessageW(Form, WM_CLOSE, 0, 0);
    WaitUntil([] { return !IsWindow(Form); }, kWindowTimeoutMs);
  }

  void SetUp() override { ASSERT_NE(Form, nullptr) << "the installer window did not show"; }

  static HWND Item(int Id) { return Control(Form, Id); }

  static HWND Form;
};

HWND InstallerWindow::Form = nullptr;

TEST_F(InstallerWindow, WelcomePageShowsItsThreeLabelsAndHidesTheOtherPages) {
  EXPECT_TRUE(SaveScreenshot(Form, ShotPath("welcome.png")));
  struct {
    int Id;
    const wchar_t* Text;
    POINT At;
  } const Labels[] = {
      {IDC_LABEL1, L"어서 오십시요.", {48, 72}},
      {IDC_LABEL25, L"Velquor 매니저를 귀하의 컴퓨터에 설치합니다.", {48, 104}},
      {IDC_LABEL26, L"계속 진행하려면 다음 버튼을 눌러 주세요.", {48, 208}},
  };
  const HWND Welcome = Item(IDC_TS_WELCOME);
  for (const auto& L : Labels) {
    const HWND Label = Item(L.Id);
    ASSERT_NE(Label, nullptr);
    EXPECT_EQ(Text(Label), L.Text);
    EXPECT_TRUE(Visible(Label));
    const RECT r = RectIn(Label, Welcome);
    EXPECT_EQ(r.left, L.At.x);
    EXPECT_EQ(r.top, L.At.y);
  }
  EXPECT_TRUE(Visible(Welcome));
  for (int Id : {IDC_TS_OPTION, IDC_TS_READY, IDC_TS_PROGRESS, IDC_TS_COMPLETE, IDC_TS_CANCEL})
    EXPECT_FALSE(Visible(Item(Id))) << "page " << Id;
}

TEST_F(InstallerWindow, CaptionStyleAndNoMinimiseOrMaximiseBox) {
  EXPECT_EQ(Text(Form), kCaption);
  const LONG_PTR Style = GetWindowLongPtrW(Form, GWL_STYLE);
  EXPECT_TRUE(Style & WS_THICKFRAME);
  EXPECT_TRUE(Style & WS_SYSMENU);
  EXPECT_FALSE(Style & WS_MINIMIZEBOX);
  EXPECT_FALSE(Style & WS_MAXIMIZEBOX);
  // The window is owned, so the taskbar shows its owner, which carries the application title.
  const HWND Owner = GetWindow(Form, GW_OWNER);
  ASSERT_NE(Owner, nullptr);
  EXPECT_EQ(Text(Owner), L"Velquor 매니저 설치");
}

TEST_F(InstallerWindow, IsCentredWithItsClientAndOuterSizes) {
  EXPECT_EQ(ClientSize(Form).cx, 588);
  EXPECT_EQ(ClientSize(Form).cy, 359);
  // The frame around the client area is the system's: 596 x 393 with a 26-pixel caption and
  // 4-pixel borders, 596 x 386 under Wine's 19-pixel caption.
  RECT Expected = {0, 0, 588, 359};
  AdjustWindowRectEx(&Expected, static_cast<DWORD>(GetWindowLongPtrW(Form, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(Form, GWL_EXSTYLE)));
  EXPECT_EQ(OuterSize(Form).cx, Expected.right - Expected.left);
  EXPECT_EQ(OuterSize(Form).cy, Expected.bottom - Expected.top);
  EXPECT_EQ(OuterSize(Form).cx, 596) << "4-pixel sizing borders";
  RECT Outer;
  GetWindowRect(Form, &Outer);
  const SIZE Screen = DesktopSize();
  EXPECT_EQ(Outer.left, (Screen.cx - OuterSize(Form).cx) / 2);
  EXPECT_EQ(Outer.top, (Screen.cy - OuterSize(Form).cy) / 2);
}

TEST_F(InstallerWindow, PanelsImagesAndPagesSitWhereTheLayoutPutsThem) {
  struct {
    int Id;
    int Parent;
    RECT Expected;
  } const Cases[] = {
      {IDC_PANEL1, 0, At(0, 318, 588, 41)},         {IDC_PANEL2, 0, At(0, 0, 588, 318)},
      {IDC_PANEL3, IDC_PANEL2, At(1, 1, 164, 316)}, {IDC_IMAGE2, IDC_PANEL3, At(1, 1, 162, 314)},
      {IDC_PC, IDC_PANEL2, At(165, 1, 422, 316)},   {IDC_TS_WELCOME, IDC_PC, At(0, 0, 422, 316)},
      {IDC_IMAGE1, IDC_PANEL1, At(18, 7, 147, 26)}, {IDC_MEMO1, IDC_TS_OPTION, At(8, 40, 401, 209)},
  };
  for (const auto& c : Cases) {
    const HWND Window = Item(c.Id);
    ASSERT_NE(Window, nullptr) << c.Id;
    const RECT Actual = RectIn(Window, c.Parent ? Item(c.Parent) : Form);
    EXPECT_TRUE(Actual == c.Expected)
        << c.Id << ": " << Describe(Actual) << " instead of " << Describe(c.Expected);
  }
  // Ticking happens on the agreement page, which starts unticked.
  DWORD_PTR Check = BST_CHECKED;
  ASSERT_TRUE(SendMessageTimeoutW(Item(IDC_CHK_OK), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG,
                                  kChangeTimeoutMs, &Check));
  EXPECT_EQ(Check, static_cast<DWORD_PTR>(BST_UNCHECKED));
}

TEST_F(InstallerWindow, ThreeButtonsWithTheirCaptionsAndNoDefaultButton) {
  struct {
    int Id;
    const wchar_t* Caption;
    int Left;
  } const Buttons[] = {
      {IDC_BTN_PREV, L"이전", 312}, {IDC_BTN_NEXT, L"다음", 392}, {IDC_BTN_FINISH, L"취소", 496}};
  for (const auto& b : Buttons) {
    const HWND Button = Item(b.Id);
    ASSERT_NE(Button, nullptr);
    EXPECT_EQ(Text(Button), b.Caption);
    EXPECT_TRUE(RectIn(Button, Item(IDC_PANEL1)) == At(b.Left, 8, 75, 25)) << b.Id;
    EXPECT_NE(GetWindowLongPtrW(Button, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  }
}

TEST_F(InstallerWindow, BothProgressBarsReadZeroPercent) {
  for (int Id : {IDC_PB_ALL_FILES, IDC_PB_CURR_FILE}) EXPECT_EQ(Text(Item(Id)), L"0 %");
}

TEST_F(InstallerWindow, CancelPageSecondLabelTakesTwoLines) {
  const HWND Label3 = Item(IDC_LABEL3);
  EXPECT_EQ(Text(Label3),
            L"나중에 다시 설치하려면 \r\n설치 프로그램을 재실행하여 주시기 바랍니다.");
  // 248 x 24 holds two lines of 굴림; a stand-in font with taller lines makes the label grow
  // downwards rather than cut the second line off.
  HDC Dc = GetDC(nullptr);
  HFONT Font =
      CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"굴림");
  HGDIOBJ Old = SelectObject(Dc, Font);
  TEXTMETRICW Metrics = {};
  GetTextMetricsW(Dc, &Metrics);
  SelectObject(Dc, Old);
  DeleteObject(Font);
  ReleaseDC(nullptr, Dc);
  const int Height = std::max<int>(24, 2 * Metrics.tmHeight);
  const RECT r = RectIn(Label3, Item(IDC_TS_CANCEL));
  EXPECT_TRUE(r == At(56, 160, 248, Height)) << Describe(r);
  // The first line alone is narrower than the label, so the break is the text's own.
  EXPECT_FALSE(GetWindowLongPtrW(Label3, GWL_STYLE) & SS_LEFTNOWORDWRAP);
}

TEST_F(InstallerWindow, ResizeKeepsTheBottomPanelDownAndTheButtonsInPlace) {
  RECT Before;
  GetWindowRect(Form, &Before);
  const SIZE Grow = {120, 80};
  SetWindowPos(Form, nullptr, 0, 0, Before.right - Before.left + Grow.cx,
               Before.bottom - Before.top + Grow.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(WaitUntil([&] { return ClientSize(Form).cx == 588 + Grow.cx; }, kChangeTimeoutMs));
  const SIZE Client = ClientSize(Form);
  ASSERT_TRUE(WaitUntil(
      [&] { return RectIn(Item(IDC_PANEL1), Form) == At(0, Client.cy - 41, Client.cx, 41); },
      kChangeTimeoutMs))
      << Describe(RectIn(Item(IDC_PANEL1), Form));
  EXPECT_TRUE(RectIn(Item(IDC_BTN_PREV), Item(IDC_PANEL1)) == At(312, 8, 75, 25));
  EXPECT_TRUE(RectIn(Item(IDC_BTN_FINISH), Item(IDC_PANEL1)) == At(496, 8, 75, 25));
  EXPECT_TRUE(RectIn(Item(IDC_PANEL3), Item(IDC_PANEL2)) == At(1, 1, 164, Client.cy - 43));
  EXPECT_TRUE(RectIn(Item(IDC_PC), Item(IDC_PANEL2)) ==
              At(165, 1, Client.cx - 166, Client.cy - 43));
  EXPECT_TRUE(SaveScreenshot(Form, ShotPath("welcome-resized.png")));

  SetWindowPos(Form, nullptr, 0, 0, Before.right - Before.left, Before.bottom - Before.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(WaitUntil([&] { return ClientSize(Form).cx == 588; }, kChangeTimeoutMs));
}

// --- the built exe's resources

std::wstring InstallerPath() { return L"Z:" + Utf8ToWide(VELQUOR_INSTALLER_EXE); }

std::wstring VersionString(const std::vector<char>& Info, const wchar_t* Name, bool* Found) {
  wchar_t* Value = nullptr;
  UINT Length = 0;
  const std::wstring Key = std::wstring(L"\\StringFileInfo\\041203B5\\") + Name;
  *Found = VerQueryValueW(Info.data(), Key.c_str(), reinterpret_cast<void**>(&Value), &Length);
  return *Found && Value ? std::wstring(Value) : std::wstring();
}

TEST(InstallerResources, VersionIsOneZeroZeroZeroInOneKoreanTable) {
  const std::wstring Path = InstallerPath();
  const DWORD Size = GetFileVersionInfoSizeW(Path.c_str(), nullptr);
  ASSERT_GT(Size, 0u);
  std::vector<char> Info(Size);
  ASSERT_TRUE(GetFileVersionInfoW(Path.c_str(), 0, Size, Info.data()));

  VS_FIXEDFILEINFO* Fixed = nullptr;
  UINT Length = 0;
  ASSERT_TRUE(VerQueryValueW(Info.data(), L"\\", reinterpret_cast<void**>(&Fixed), &Length));
  EXPECT_EQ(Fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(Fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(Fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(Fixed->dwProductVersionLS, 0u);

  WORD* Translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(Info.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&Translation), &Length));
  ASSERT_EQ(Length, 4u) << "one string table";
  EXPECT_EQ(Translation[0], 0x0412);
  EXPECT_EQ(Translation[1], 949);

  struct {
    const wchar_t* Name;
    const wchar_t* Value;
  } const Strings[] = {
      {L"FileVersion", L"1.0.0.0"}, {L"ProductVersion", L"1.0.0.0"}, {L"CompanyName", L""},
      {L"FileDescription", L""},    {L"InternalName", L""},          {L"LegalCopyright", L""},
      {L"LegalTrademarks", L""},    {L"OriginalFilename", L""},      {L"ProductName", L""},
      {L"Comments", L""},
  };
  for (const auto& s : Strings) {
    bool Found = false;
    EXPECT_EQ(VersionString(Info, s.Name, &Found), s.Value) << WideToUtf8(s.Name);
    EXPECT_TRUE(Found) << WideToUtf8(s.Name);
  }
}

TEST(InstallerResources, ManifestAsksForCommonControlsSixAdminAndPerMonitorDpi) {
  const std::wstring Path = InstallerPath();
  HMODULE Module = LoadLibraryExW(Path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(Module, nullptr);
  HRSRC Info = FindResourceW(Module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(Info, nullptr);
  const std::string Manifest(static_cast<const char*>(LockResource(LoadResource(Module, Info))),
                             SizeofResource(Module, Info));
  FreeLibrary(Module);
  for (const char* Piece : {
           R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
           R"(publicKeyToken="6595b64144ccf1df" processorArchitecture="*" language="*")",
           R"(type="win32" name="Harlune.VelquorManager.Install" version="1.0.0.0")",
           R"(level="requireAdministrator")",
           ">PerMonitorV2<",
       })
    EXPECT_NE(Manifest.find(Piece), std::string::npos) << Piece;
}

}  // namespace
