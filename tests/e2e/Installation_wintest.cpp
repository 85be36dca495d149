// The installer end to end, driven as a user drives it: each test starts the built installer on
// a Wine virtual desktop, presses its buttons, reads its pages from outside its process, and
// looks at what it left on disk. The install server fixture listens on the install host
// compiled into the installer.

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "e2e/InstallerRun.h"
#include "gui/GuiDriver.h"
#include "net/InstallServer.h"
#include "win32/Gdi.h"
#include "win32/Handle.h"
#include "win32/Registry.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

namespace {

using namespace GuiDriver;

class Installation : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The desktop first: SetThreadDesktop refuses a thread that already owns a window.
    const std::string Desktop = Env("VELQUOR_GUI_DESKTOP");
    DesktopReady = !Desktop.empty() && UseDesktop(Utf8ToWide(Desktop));
    CoInitialize(nullptr);
  }

  void SetUp() override {
    ASSERT_TRUE(DesktopReady) << "cannot use the virtual desktop";
    Server.Clear();
    ForgetInstallation();
  }

  void ServePayload(const std::vector<std::string>& Files, bool Extras = true) {
    ::ServePayload(Server, Files, Extras);
  }

  std::unique_ptr<TInstaller> Start() {
    auto Installer = std::make_unique<TInstaller>();
    EXPECT_NE(Installer->Form, nullptr) << "the installer window did not show";
    return Installer;
  }

  TInstallServer Server;
  static bool DesktopReady;
};

bool Installation::DesktopReady = false;

// What the program's two top-level windows, the form and its owner, answer when Windows asks
// whether the session may end (2: no answer).
std::vector<DWORD_PTR> EndSessionAnswers(HWND Form) {
  std::vector<DWORD_PTR> Answers;
  for (HWND Window : {Form, GetWindow(Form, GW_OWNER)}) {
    DWORD_PTR Answer = 2;
    SendMessageTimeoutW(Window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                        kStepTimeoutMs, &Answer);
    Answers.push_back(Answer);
  }
  return Answers;
}

TEST_F(Installation, BackAndNextFollowThePagesAndTheTick) {
  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  EXPECT_EQ(I->Page(), 0);
  EXPECT_TRUE(I->WaitForButtons(false, true, L"취소", true)) << "welcome page";
  EXPECT_EQ(EndSessionAnswers(I->Form), (std::vector<DWORD_PTR>{TRUE, TRUE})) << "a logoff may go";

  I->Press(IDC_BTN_NEXT);
  ASSERT_TRUE(I->WaitForPage(1));
  EXPECT_TRUE(I->WaitForButtons(true, false, L"취소", true)) << "licence page, box unticked";
  I->Shot("licence.png");
  I->Press(IDC_CHK_OK);
  EXPECT_TRUE(I->WaitForButtons(true, true, L"취소", true)) << "ticked";
  I->Press(IDC_CHK_OK);
  EXPECT_TRUE(I->WaitForButtons(true, false, L"취소", true)) << "unticked again";
  I->Press(IDC_CHK_OK);
  ASSERT_TRUE(I->WaitForButtons(true, true, L"취소", true));

  I->Press(IDC_BTN_NEXT);
  ASSERT_TRUE(I->WaitForPage(2));
  EXPECT_TRUE(I->WaitForButtons(true, true, L"취소", true)) << "ready page";
  I->Shot("ready.png");

  I->Press(IDC_BTN_PREV);
  ASSERT_TRUE(I->WaitForPage(1));
  EXPECT_TRUE(Checked(I->Item(IDC_CHK_OK))) << "the tick survives Back";
  EXPECT_TRUE(I->WaitForButtons(true, true, L"취소", true));
  I->Press(IDC_BTN_PREV);
  ASSERT_TRUE(I->WaitForPage(0));
  EXPECT_TRUE(I->WaitForButtons(false, true, L"취소", true));
  // Back on the first page stays there.
  PostMessageW(I->Item(IDC_BTN_PREV), BM_CLICK, 0, 0);
  Sleep(200);
  EXPECT_EQ(I->Page(), 0);
}

// Keys only, typed on the desktop's keyboard: the window must be active and hold a focus that
// the keys can reach, and Tab must never be trapped.
TEST_F(Installation, TheKeyboardAloneInstalls) {
  ServePayload({"a.dll"});
  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  const auto FocusComesTo = [&](int Id) {
    return WaitUntil([&] { return GetDlgCtrlID(FocusOf(I->Form)) == Id; }, kStepTimeoutMs);
  };
  EXPECT_EQ(ActiveOf(I->Form), I->Form);
  ASSERT_TRUE(FocusComesTo(IDC_BTN_NEXT)) << "welcome page";

  TypeKey(VK_RETURN);
  ASSERT_TRUE(I->WaitForPage(1));
  ASSERT_TRUE(FocusComesTo(IDC_CHK_OK)) << "Next is disabled on the licence page";
  TypeKey(VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return Checked(I->Item(IDC_CHK_OK)); }, kStepTimeoutMs));
  TypeKey(VK_TAB, true);
  EXPECT_TRUE(FocusComesTo(IDC_BTN_FINISH)) << "Shift+Tab goes round";
  TypeKey(VK_TAB);
  TypeKey(VK_TAB);
  ASSERT_TRUE(FocusComesTo(IDC_MEMO1));
  TypeKey(VK_ESCAPE);
  TypeKey(VK_TAB);
  ASSERT_TRUE(FocusComesTo(IDC_BTN_PREV)) << "Tab leaves the licence box";
  EXPECT_TRUE(Visible(I->Item(IDC_CHK_OK))) << "Escape in the licence box closes nothing";
  TypeKey(VK_TAB);
  ASSERT_TRUE(FocusComesTo(IDC_BTN_NEXT));

  TypeKey(VK_RETURN);
  ASSERT_TRUE(I->WaitForPage(2));
  EXPECT_TRUE(FocusComesTo(IDC_BTN_NEXT));
  TypeKey(VK_ESCAPE);
  Sleep(300);
  EXPECT_EQ(I->Page(), 2) << "Escape presses nothing";
  EXPECT_EQ(FindWindowW(kDialogClass, L"Confirm"), nullptr);

  TypeKey(VK_RETURN);
  ASSERT_TRUE(I->WaitForPage(4, kInstallTimeoutMs));
  EXPECT_EQ(I->TextOf(IDC_LABEL30), L"Harlune 솔루션을 사용해주셔서 감사합니다.");
  ASSERT_TRUE(FocusComesTo(IDC_BTN_FINISH)) << "the one enabled button on the last page";
  TypeKey(VK_RETURN);
  EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
}

// The scaling of this Wine installation, set for the programs started in one scope.
class TScopedLogPixels {
 public:
  explicit TScopedLogPixels(DWORD Dpi)
      : Key_(CreateOrOpenRegKey(HKEY_CURRENT_USER, "Control Panel\\Desktop", KEY_ALL_ACCESS)) {
    DWORD Size = sizeof Saved_;
    Had_ = RegQueryValueExA(Key_.Get(), kName, nullptr, nullptr, reinterpret_cast<BYTE*>(&Saved_),
                            &Size) == ERROR_SUCCESS;
    RegSetValueExA(Key_.Get(), kName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Dpi),
                   sizeof Dpi);
  }
  ~TScopedLogPixels() {
    if (Had_)
      RegSetValueExA(Key_.Get(), kName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Saved_),
                     sizeof Saved_);
    else
      RegDeleteValueA(Key_.Get(), kName);
  }

 private:
  static constexpr char kName[] = "LogPixels";
  TRegKey Key_;
  DWORD Saved_ = 0;
  bool Had_ = false;
};

// At 150 % the banner once stayed at its 96-dpi size and left the lower third of its panel white.
// (At 200 % the window is larger than the rig's 1024 x 768 desktop, which would clamp it.)
TEST_F(Installation, AtEveryScalingTheWindowGrowsAndTheBannerFillsItsPanel) {
  for (const DWORD Dpi : {96, 120, 144}) {
    SCOPED_TRACE(Dpi);
    const TScopedLogPixels Scaling(Dpi);
    auto I = Start();
    ASSERT_NE(I->Form, nullptr);
    EXPECT_EQ(ClientSize(I->Form).cx, MulDiv(588, static_cast<int>(Dpi), 96));
    // The controls stand at their scaled places from the start.
    EXPECT_EQ(RectIn(I->Item(IDC_BTN_NEXT), I->Item(IDC_PANEL1)).left,
              MulDiv(392, static_cast<int>(Dpi), 96));
    EXPECT_EQ(RectIn(I->Item(IDC_LABEL25), I->Item(IDC_TS_WELCOME)).top,
              MulDiv(104, static_cast<int>(Dpi), 96));
    ASSERT_TRUE(I->WaitForButtons(false, true, L"취소", true));
    const RECT Panel = RectIn(I->Item(IDC_PANEL3), nullptr);
    const TWindowDC Screen(nullptr);
    const COLORREF NearTheFoot = GetPixel(Screen.Get(), (Panel.left + Panel.right) / 2,
                                          Panel.top + (Panel.bottom - Panel.top) * 95 / 100);
    EXPECT_NE(NearTheFoot, RGB(255, 255, 255)) << "the panel's white shows through";
    EXPECT_NE(NearTheFoot, GetPixel(Screen.Get(), 0, 0)) << "the desktop shows through";
    I->Shot("welcome-" + std::to_string(Dpi * 100 / 96) + ".png");
    PressCloseBox(I->Form);
    EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
  }
}

TEST_F(Installation, TheCloseBoxOnTheLicencePageEndsAtOnceWithoutAQuestion) {
  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  I->Press(IDC_BTN_NEXT);
  ASSERT_TRUE(I->WaitForPage(1));
  PressCloseBox(I->Form);
  EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
}

TEST_F(Installation, TheCancelQuestionAnswersAsItsButtonsSay) {
  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  const SIZE Screen = DesktopSize();

  struct TAnswer {
    const char* Name;
    std::function<void(HWND)> Give;
  };
  const TAnswer KeepPage[] = {
      {"Escape", [](HWND Box) { PressKey(Box, VK_ESCAPE); }},
      {"&No", [](HWND Box) { Click(Control(Box, IDNO)); }},
      {"Cancel", [](HWND Box) { Click(Control(Box, IDCANCEL)); }},
      {"its close box", [](HWND Box) { PressCloseBox(Box); }},
  };
  bool First = true;
  for (const TAnswer& Answer : KeepPage) {
    SCOPED_TRACE(Answer.Name);
    ASSERT_TRUE(I->WaitForButtons(false, true, L"취소", true));
    I->Press(IDC_BTN_FINISH);
    const HWND Box = I->Process().WaitForWindow(L"Confirm", kStepTimeoutMs, kDialogClass);
    ASSERT_NE(Box, nullptr);
    if (First) {
      First = false;
      EXPECT_EQ(Text(Control(Box, kMessageBoxText)), L"설치를 취소하겠습니까?");
      EXPECT_EQ(Text(Control(Box, IDYES)), L"&Yes");
      EXPECT_EQ(Text(Control(Box, IDNO)), L"&No");
      EXPECT_EQ(Text(Control(Box, IDCANCEL)), L"Cancel");
      EXPECT_FALSE(Enabled(I->Form)) << "the window is disabled while the box is open";
      RECT Frame;
      GetWindowRect(Box, &Frame);
      EXPECT_LE(std::abs((Frame.left + Frame.right) / 2 - Screen.cx / 2), 1);
      EXPECT_LE(std::abs((Frame.top + Frame.bottom) / 2 - Screen.cy / 2), 1);
      SaveScreenshot(nullptr, ShotPath("confirm.png"));
    }
    Answer.Give(Box);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(Box); }, kStepTimeoutMs));
    EXPECT_TRUE(WaitUntil([&] { return Enabled(I->Form); }, kStepTimeoutMs));
    EXPECT_EQ(I->Page(), 0);
  }

  // Enter right after the box opens answers Yes, the default.
  I->Press(IDC_BTN_FINISH);
  const HWND Box = I->Process().WaitForWindow(L"Confirm", kStepTimeoutMs, kDialogClass);
  ASSERT_NE(Box, nullptr);
  PressKey(Box, VK_RETURN);
  ASSERT_TRUE(I->WaitForPage(5));
  EXPECT_TRUE(I->WaitForButtons(false, false, L"완료", true)) << "cancel page";
  I->Shot("cancel.png");
  I->Press(IDC_BTN_FINISH);
  EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
}

TEST_F(Installation, AWholeInstallationShowsEveryCountAndFinishes) {
  const std::string Hangul = Utf8ToAnsi("도움말\\사용 설명서.txt");
  ServePayload({"VelquorManager.exe", "Update/Lib/b.dll", Hangul});
  // Slow enough that every count stays on screen for a while.
  // The program is big enough for several notifications while it arrives.
  const std::string Program(40000, 'p');
  Server.Put("VelquorManager.exe", Program);
  Server.Fault("VelquorManager.exe", "throttle=40000");
  for (const char* f : {"license.txt", "readme.txt", "Update/Lib/b.dll"})
    Server.Fault(f, "throttle=40");
  Server.Fault("도움말/사용 설명서.txt", "throttle=40");
  const std::string Script = TempPathA() + "___addfirewall.bat";
  WriteBytes(Script, "@echo off\r\n");
  const std::set<std::string> CopiesBefore = TempFiles("~*.sss");

  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  ASSERT_TRUE(I->GoToReadyPage());
  I->Press(IDC_BTN_NEXT);
  ASSERT_TRUE(I->WaitForPage(3));

  std::vector<std::wstring> Counts;
  std::set<std::wstring> Sizes;
  bool ShotTaken = false;
  WaitUntil(
      [&] {
        const std::wstring Count = I->TextOf(IDC_LBL_ALL_FILES);
        if (Counts.empty() || Counts.back() != Count) Counts.push_back(Count);
        Sizes.insert(I->TextOf(IDC_LBL_CURR_FILE));
        if (!ShotTaken && Count == L"3 / 5" && !I->TextOf(IDC_LBL_CURR_FILE).empty())
          ShotTaken = I->Shot("progress.png");
        return I->Page() == 4;
      },
      kInstallTimeoutMs);
  ASSERT_EQ(I->Page(), 4);
  // The design-time text shows until the manifest is in, which may be too short to be seen.
  if (!Counts.empty() && Counts.front() == L"파일 : 5 / 12") Counts.erase(Counts.begin());
  EXPECT_EQ(Counts, (std::vector<std::wstring>{L"1 / 5", L"2 / 5", L"3 / 5", L"4 / 5", L"5 / 5"}));
  EXPECT_TRUE(Sizes.count(L"40,000 Byte")) << "the program's size while it arrives";
  EXPECT_FALSE(Sizes.count(L"0 Byte"));
  EXPECT_TRUE(I->WaitForButtons(false, false, L"완료", true)) << "completion page";
  EXPECT_EQ(I->TextOf(IDC_LABEL29), L"프로그램 설치가 완료되었습니다.");
  EXPECT_EQ(I->TextOf(IDC_LABEL30), L"Harlune 솔루션을 사용해주셔서 감사합니다.");
  EXPECT_EQ(Text(I->Item(IDC_PB_ALL_FILES)), L"100 %");
  I->Shot("complete.png");

  const std::string Dir = InstallDir();
  EXPECT_EQ(ReadBytes(Dir + "license.txt"), "licence text");
  EXPECT_EQ(ReadBytes(Dir + "readme.txt"), "readme text");
  EXPECT_EQ(ReadBytes(Dir + "VelquorManager.exe"), Program);
  EXPECT_EQ(ReadBytes(Dir + "Update\\Lib\\b.dll"), "content of Update/Lib/b.dll");
  EXPECT_EQ(ReadBytes(Dir + Hangul), "content of " + Hangul);
  for (const char* Folder : {"Log", "Update", "Report"})
    EXPECT_TRUE(FolderExistsA(Dir + Folder)) << Folder;
  EXPECT_EQ(Requests(Server.Log(), "Update/Lib/b.dll"), 1) << Server.Log();
  EXPECT_FALSE(FileExistsA(Script));

  // Exactly one shortcut, read again by lnkinfo after this suite.
  char Desktop[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, Desktop);
  WIN32_FIND_DATAA Data;
  int Links = 0;
  HANDLE Find = FindFirstFileA((std::string(Desktop) + "\\*.lnk").c_str(), &Data);
  if (Find != INVALID_HANDLE_VALUE) {
    do ++Links;
    while (FindNextFileA(Find, &Data));
    FindClose(Find);
  }
  EXPECT_EQ(Links, 1);
  ASSERT_TRUE(FileExistsA(DesktopLink()));
  const std::string Records = OnDriveZ(Env("VELQUOR_LNKINFO_RECORDS")) + "\\";
  CreateDirectoryA(Records.c_str(), nullptr);
  CopyFileA(DesktopLink().c_str(), (Records + "desktop.lnk").c_str(), FALSE);
  WriteBytes(Records + "expected.tsv", "desktop.lnk\t" + AnsiToUtf8(Dir) + "VelquorManager.exe\t" +
                                           AnsiToUtf8(Dir) + "\t\tHarlune Velquor 매니저\n");

  // The manifest's copy and its placeholder stay in the temporary folder.
  std::set<std::string> NewCopies;
  for (const std::string& Name : TempFiles("~*.sss"))
    if (!CopiesBefore.count(Name)) NewCopies.insert(Name);
  ASSERT_EQ(NewCopies.size(), 1u);
  const std::string Copy = *NewCopies.begin();
  EXPECT_NE(ReadBytes(TempPathA() + Copy).find("[files]"), std::string::npos);
  EXPECT_TRUE(FileExistsA(TempPathA() + Copy.substr(0, Copy.size() - 4) + ".tmp"));

  I->Press(IDC_BTN_FINISH);
  EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
}

struct TFailureCase {
  const char* Name;
  std::function<void()> Arrange;
  std::wstring Cause;
};

TEST_F(Installation, AFailedInstallationSaysSoAndNamesTheCause) {
  const std::string Sentinel = ProgramFilesDir() + "\\Harlune\\sentinel.txt";
  const TFailureCase Cases[] = {
      {"the second of three files is missing",
       [this] {
         ServePayload({"a.dll", "b.dll", "c.dll"});
         Server.Fault("b.dll", "status=404");
       },
       L"파일을 받지 못했습니다: b.dll (HTTP 404)"},
      {"an empty file list", [this] { ServePayload({}); }, L"설치할 파일이 없습니다."},
      {"an entry outside the install folder",
       [this] {
         ServePayload({"a.dll", "..\\sentinel.txt"});
       },
       L"잘못된 파일 경로입니다: ..\\sentinel.txt"},
  };
  for (const TFailureCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    CreateDirectoryA((ProgramFilesDir() + "\\Harlune").c_str(), nullptr);
    WriteBytes(Sentinel, "untouched");
    c.Arrange();

    auto I = Start();
    ASSERT_NE(I->Form, nullptr);
    ASSERT_TRUE(I->Install());
    EXPECT_EQ(I->TextOf(IDC_LABEL29), L"프로그램 설치를 완료하지 못했습니다.");
    EXPECT_EQ(I->TextOf(IDC_LABEL30), c.Cause);
    EXPECT_TRUE(I->WaitForButtons(false, false, L"완료", true));
    EXPECT_FALSE(FileExistsA(DesktopLink()));
    EXPECT_EQ(ReadBytes(Sentinel), "untouched");
    for (const char* Folder : {"Log", "Update", "Report"})
      EXPECT_TRUE(FolderExistsA(InstallDir() + Folder)) << Folder;
    I->Press(IDC_BTN_FINISH);
    EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
  }
}

TEST_F(Installation, TheRunStopsAtTheFirstMissingFile) {
  ServePayload({"a.dll", "b.dll", "c.dll"});
  Server.Fault("b.dll", "status=404");
  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  ASSERT_TRUE(I->Install());
  EXPECT_EQ(ReadBytes(InstallDir() + "a.dll"), "content of a.dll");
  EXPECT_FALSE(FileExistsA(InstallDir() + "b.dll"));
  EXPECT_EQ(Requests(Server.Log(), "c.dll"), 0);
  I->Shot("incomplete.png");
}

TEST_F(Installation, AnErrorInsideTheRunIsShownAndLeavesOnlyTheCloseBox) {
  ServePayload({"a.dll"});
  TProgramFilesDirValue Value;
  Value.SetDword(1);

  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  ASSERT_TRUE(I->GoToReadyPage());
  I->Press(IDC_BTN_NEXT);
  const HWND Box = I->Process().WaitForWindow(kTitle, kStepTimeoutMs, kDialogClass);
  ASSERT_NE(Box, nullptr);
  EXPECT_EQ(Text(Control(Box, kMessageBoxText)), L"Invalid data type for 'ProgramFilesDir'");
  SaveScreenshot(nullptr, ShotPath("error.png"));
  Click(Control(Box, IDOK));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(Box); }, kStepTimeoutMs));

  EXPECT_EQ(I->Page(), 3);
  EXPECT_TRUE(I->WaitForButtons(false, false, L"취소", false)) << "all three disabled";
  PressCloseBox(I->Form);
  EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
}

TEST_F(Installation, TheCloseBoxDuringTheDownloadsLetsTheInstallationFinish) {
  ServePayload({"a.dll", "b.dll"});
  Server.Fault("a.dll", "throttle=20");
  Server.Fault("b.dll", "throttle=20");
  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  ASSERT_TRUE(I->GoToReadyPage());
  I->Press(IDC_BTN_NEXT);
  ASSERT_TRUE(
      WaitUntil([&] { return I->TextOf(IDC_LBL_ALL_FILES) == L"3 / 4"; }, kInstallTimeoutMs));
  EXPECT_EQ(EndSessionAnswers(I->Form), (std::vector<DWORD_PTR>{FALSE, FALSE}))
      << "a logoff waits for the installation";
  PressCloseBox(I->Form);
  // The close is accepted, the downloads go on, and the program ends after the last step.
  ASSERT_TRUE(I->Process().WaitForExit(kInstallTimeoutMs));
  EXPECT_EQ(ReadBytes(InstallDir() + "a.dll"), "content of a.dll");
  EXPECT_EQ(ReadBytes(InstallDir() + "b.dll"), "content of b.dll");
  EXPECT_TRUE(FileExistsA(DesktopLink()));
}

// The vendor's build (a key compiled in, the exe signed) installs a payload published in place,
// with its detached signature. From a site, the vendor publishes the next release while the
// build installs the first there: the run completes with the release it began with, asking for
// no detached signature. The next run installs the new release, fetching only the file that
// changed from its folder, while the program installed before runs (holding its exe open). Run
// again with that file swapped on the server, it names the file and installs none of it.
TEST_F(Installation, TheVendorsBuildInstallsOnlyWhatWasPublished) {
  const std::string Exe = OnDriveZ(VELQUOR_SIGNED_INSTALLER_EXE), Site = VELQUOR_SITE;
  const std::string First = ReadBytes(VELQUOR_SITE_FIRST), Next = ReadBytes(Site + "install.inf");
  const std::string Base = "GET /program/manager/install/";
  const auto Finish = [](TInstaller& I) {
    EXPECT_EQ(I.TextOf(IDC_LABEL29), L"프로그램 설치가 완료되었습니다.");
    I.Press(IDC_BTN_FINISH);
    EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
  };
  const auto InstallAndFinish = [&] {
    TInstaller I(Exe);
    ASSERT_NE(I.Form, nullptr);
    ASSERT_TRUE(I.Install());
    Finish(I);
  };
  Server.PutPublished(VELQUOR_SIGNED_PAYLOAD);
  InstallAndFinish();
  EXPECT_EQ(ReadBytes(InstallDir() + "Update\\b.dll"), "library");

  Server.Clear();
  Server.PutPublished(Site, "releases\\2.0.0.0\\");
  Server.Put("install.inf", First);
  // Its last file takes seconds: the next release is published meanwhile, its folder first and
  // install.inf last, as the publishing tool does.
  Server.Fault("releases/2.0.0.0/Update/b.dll", "throttle=2");
  for (const char* Name : {"license.txt", "readme.txt", "Update\\b.dll"})
    DeleteFileA((InstallDir() + Name).c_str());
  {
    TInstaller I(Exe);
    ASSERT_NE(I.Form, nullptr);
    ASSERT_TRUE(I.GoToReadyPage());
    I.Press(IDC_BTN_NEXT);
    ASSERT_TRUE(
        WaitUntil([&] { return I.TextOf(IDC_LBL_ALL_FILES) == L"3 / 4"; }, kInstallTimeoutMs));
    Server.PutPublished(Site, "releases\\3.0.0.0\\");
    Server.Put("install.inf", Next);
    ASSERT_TRUE(I.WaitForPage(4, kInstallTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return I.TextOf(IDC_BTN_FINISH) == L"완료"; }, kStepTimeoutMs));
    Finish(I);
  }
  std::string Fetched = Base + "install.inf 200\n";
  for (const char* Name : {"license.txt", "readme.txt", "Update/b.dll"})
    Fetched += Base + "releases/2.0.0.0/" + Name + " 200\n";
  EXPECT_EQ(Server.Log(), Fetched);
  EXPECT_EQ(ReadBytes(InstallDir() + "Update\\b.dll"), "library");
  EXPECT_TRUE(ReadBytes(InstallDir() + "install.rec") == First) << "the manifest as received";
  EXPECT_EQ(InstalledBoundValue(), "2.0.0.0");

  Server.Clear();
  {
    const TFileHandle Running(CreateFileA((InstallDir() + "VelquorManager.exe").c_str(),
                                          GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
    ASSERT_TRUE(Running);
    InstallAndFinish();
  }
  EXPECT_EQ(Server.Log(),
            Base + "install.inf 200\n" + Base + "releases/3.0.0.0/Update/b.dll 200\n");
  for (const char* Name : {"license.txt", "readme.txt", "VelquorManager.exe", "Update\\b.dll"})
    EXPECT_TRUE(ReadBytes(InstallDir() + Name) ==
                ReadBytes(std::string(VELQUOR_NEWER_PAYLOAD) + Name))
        << Name;
  EXPECT_TRUE(ReadBytes(InstallDir() + "install.rec") == Next);
  EXPECT_EQ(InstalledBoundValue(), "3.0.0.0");

  // The installed copy is gone, so the swapped file is fetched.
  Server.Put("releases\\3.0.0.0\\Update\\b.dll", "a stranger's library");
  DeleteFileA((InstallDir() + "Update\\b.dll").c_str());
  {
    TInstaller I(Exe);
    ASSERT_NE(I.Form, nullptr);
    ASSERT_TRUE(I.Install());
    EXPECT_EQ(I.TextOf(IDC_LABEL29), L"프로그램 설치를 완료하지 못했습니다.");
    EXPECT_EQ(I.TextOf(IDC_LABEL30), L"파일이 손상되었습니다: Update\\b.dll");
    I.Shot("refused.png");
    I.Press(IDC_BTN_FINISH);
    EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
  }
  EXPECT_FALSE(FileExistsA(InstallDir() + "Update\\b.dll"));
}

// A message box of the removal, by its text; nullptr when none shows in time.
HWND RemovalBox(const std::wstring& Text) {
  HWND Found = nullptr;
  WaitUntil(
      [&] {
        for (HWND Box = FindWindowExW(nullptr, nullptr, kDialogClass, L"Velquor 매니저"); Box;
             Box = FindWindowExW(nullptr, Box, kDialogClass, L"Velquor 매니저"))
          if (IsWindowVisible(Box) && GuiDriver::Text(Control(Box, kMessageBoxText)) == Text)
            return (Found = Box) != nullptr;
        return false;
      },
      kStepTimeoutMs);
  return Found;
}

// Windows' list of programs names the installed product with its version, and removes it as
// Settings and deployment tools do: quietly from QuietUninstallString, and through the list's
// own remove command, which asks first. What the user made stays.
TEST_F(Installation, TheProductIsListedAndRemovedAsWindowsRemovesPrograms) {
  const std::string Exe = OnDriveZ(VELQUOR_SIGNED_INSTALLER_EXE);
  const std::string Dir = InstallDir(), Uninstaller = Dir + "VelquorManager_Uninstall.exe";
  Server.PutPublished(VELQUOR_SIGNED_PAYLOAD);
  const auto InstallAndFinish = [&] {
    TInstaller I(Exe);
    ASSERT_NE(I.Form, nullptr);
    ASSERT_TRUE(I.Install());
    I.Press(IDC_BTN_FINISH);
    ASSERT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
    EXPECT_EQ(I.Process().ExitCode(), 0u);
  };
  InstallAndFinish();
  // Built in steps: GCC 12 takes "\"" + a temporary for an overlapping copy (-Wrestrict).
  std::string Quoted = AnsiToUtf8(Uninstaller);
  Quoted.insert(Quoted.begin(), '"');
  Quoted += '"';
  const std::pair<const char*, std::string> Entry[] = {
      {"DisplayName", "Velquor 매니저"},
      {"Publisher", "Harlune"},
      {"DisplayVersion", "2.0.0.0"},
      {"DisplayIcon", AnsiToUtf8(Dir) + "VelquorManager.exe"},
      {"InstallLocation", AnsiToUtf8(Dir)},
      {"UninstallString", Quoted + " /uninstall"},
      {"QuietUninstallString", Quoted + " /uninstall /quiet"},
      {"NoModify", "1"},
      {"NoRepair", "1"}};
  for (const auto& [Name, Value] : Entry) EXPECT_EQ(UninstallValue(Name), Value) << Name;
  EXPECT_GT(std::stoi(UninstallValue("EstimatedSize")), 0);
  EXPECT_EQ(UninstallValue("InstallDate").size(), 8u);
  const std::string Listed = TempPathA() + "programs.txt";
  TProcess List(L"cmd.exe /c uninstaller.exe --list > \"" + AnsiToWide(Listed) + L"\"");
  ASSERT_TRUE(List.WaitForExit(kStepTimeoutMs));
  EXPECT_NE(ReadBytes(Listed).find("VelquorManager|||" + Utf8ToAnsi("Velquor 매니저")),
            std::string::npos)
      << ReadBytes(Listed);

  // Quietly, with a file of the user's in a work folder.
  const std::vector<std::string> Installed = {"license.txt",   "readme.txt",  "VelquorManager.exe",
                                              "Update\\b.dll", "install.rec", "install.lst"};
  WriteBytes(Dir + "Report\\mine.txt", "the user's");
  {
    TProcess Quiet(AnsiToWide("\"" + Uninstaller + "\" /uninstall /quiet"));
    ASSERT_TRUE(Quiet.WaitForExit(kInstallTimeoutMs));
    EXPECT_EQ(Quiet.ExitCode(), 0u);
  }
  for (const std::string& Name : Installed) EXPECT_FALSE(FileExistsA(Dir + Name)) << Name;
  EXPECT_FALSE(FileExistsA(DesktopLink()));
  EXPECT_EQ(UninstallValue("DisplayName"), "(none)");
  EXPECT_EQ(InstalledBoundValue(), "(none)");
  // Set aside under a temporary name while it runs, it goes once it has ended.
  EXPECT_TRUE(WaitUntil([&] { return !FileExistsA(Uninstaller) && Leftovers(Dir).empty(); },
                        kStepTimeoutMs))
      << "the uninstaller is removed once it has ended";
  EXPECT_EQ(ReadBytes(Dir + "Report\\mine.txt"), "the user's");
  EXPECT_FALSE(FolderExistsA(Dir + "Update"));
  EXPECT_FALSE(FolderExistsA(Dir + "Log"));

  // Through the list's remove command: No changes nothing, Yes removes and says so.
  ForgetInstallation();
  InstallAndFinish();
  for (const bool Yes : {false, true}) {
    SCOPED_TRACE(Yes ? "Yes" : "No");
    TProcess Remove(L"uninstaller.exe --remove VelquorManager");
    const HWND Question = RemovalBox(L"Velquor 매니저를 제거하겠습니까?");
    ASSERT_NE(Question, nullptr);
    if (Yes) SaveScreenshot(Question, ShotPath("remove-question.png"));
    Click(Control(Question, Yes ? IDYES : IDNO));
    if (Yes) {
      const HWND Done = RemovalBox(L"Velquor 매니저를 제거했습니다.");
      ASSERT_NE(Done, nullptr);
      SaveScreenshot(Done, ShotPath("removed.png"));
      Click(Control(Done, IDOK));
    }
    ASSERT_TRUE(Remove.WaitForExit(kInstallTimeoutMs));
    EXPECT_EQ(FileExistsA(Dir + "VelquorManager.exe"), !Yes);
    EXPECT_EQ(FileExistsA(DesktopLink()), !Yes);
    EXPECT_EQ(UninstallValue("DisplayName") == "(none)", Yes);
  }
  EXPECT_TRUE(WaitUntil([&] { return !FolderExistsA(Dir); }, kStepTimeoutMs))
      << "nothing of the user's there: the folder goes with the uninstaller";
  EXPECT_FALSE(FolderExistsA(ProgramFilesDir() + "\\Harlune"));
}

// Last: it stops the install server.
TEST_F(Installation, ZAnUnreachableServerEndsOnTheCompletionPageWithTheCause) {
  Server.Get("/_control/shutdown");
  // The server answers the request before it stops serving; an installer that starts and walks
  // its pages quickly would still be served.
  ASSERT_TRUE(WaitUntil([&] { return Server.Get("/_control/log").empty(); }, kStepTimeoutMs));
  auto I = Start();
  ASSERT_NE(I->Form, nullptr);
  ASSERT_TRUE(I->Install());
  EXPECT_EQ(I->TextOf(IDC_LABEL29), L"프로그램 설치를 완료하지 못했습니다.");
  EXPECT_EQ(I->TextOf(IDC_LABEL30), L"파일을 받지 못했습니다: install.inf");
  I->Press(IDC_BTN_FINISH);
  EXPECT_TRUE(I->Process().WaitForExit(kStepTimeoutMs));
}

}  // namespace
