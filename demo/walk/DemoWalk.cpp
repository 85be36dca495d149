// The demo's scripted user: on a Wine virtual desktop without anyone at the screen, it walks the
// installer through every page, answers the cancel question both ways, installs, and saves a
// screenshot of each page and of the list of installed programs that then names the product. Usage:
// DemoWalk.exe INSTALLER.exe SHOTS-FOLDER (Windows paths).

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ControlIds.h"
#include "gui/GuiDriver.h"

namespace {

using namespace GuiDriver;

constexpr DWORD kStepTimeoutMs = 15000;
constexpr DWORD kInstallTimeoutMs = 120000;
constexpr wchar_t kCaption[] = L"Velquor Manager 설치";
constexpr int kPages[] = {IDC_TS_WELCOME,  IDC_TS_OPTION,   IDC_TS_READY,
                          IDC_TS_PROGRESS, IDC_TS_COMPLETE, IDC_TS_CANCEL};

std::wstring Shots;

// The console of the demo is a Linux terminal: UTF-8 bytes show as they are.
std::string Utf8(const std::wstring& Text) {
  const int Length = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string Bytes(static_cast<size_t>(Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Bytes.data(), Length,
                      nullptr, nullptr);
  return Bytes;
}

bool Fail(const char* Step) {
  std::printf("demo walk: %s\n", Step);
  return false;
}

bool Shot(HWND Form, const wchar_t* Name) {
  // The screen shows what the installer has painted; give its last change time to arrive.
  Sleep(400);
  const bool Saved = SaveScreenshot(Form, Shots + L"\\" + Name + L".png");
  std::printf("demo walk: %s %s\n", Utf8(Name).c_str(), Saved ? "saved" : "NOT saved");
  return Saved;
}

bool OnPage(HWND Form, int Index) {
  return WaitUntil([&] { return Visible(Control(Form, kPages[Index])); }, kStepTimeoutMs);
}

// Idle has run once the buttons show what the page asks for.
bool Settled(HWND Form, bool NextEnabled) {
  return WaitUntil([&] { return Enabled(Control(Form, IDC_BTN_NEXT)) == NextEnabled; },
                   kStepTimeoutMs);
}

HWND AskToCancel(const TProcess& Installer, HWND Form) {
  Click(Control(Form, IDC_BTN_FINISH));
  return Installer.WaitForWindow(L"Confirm", kStepTimeoutMs, L"#32770");
}

bool CancelRun(const std::wstring& Exe) {
  TProcess Installer(L"\"" + Exe + L"\"");
  const HWND Form = Installer.WaitForWindow(kCaption, 30000);
  if (!Form) return Fail("the installer window did not show");
  if (!Settled(Form, true)) return Fail("welcome page");
  const HWND Box = AskToCancel(Installer, Form);
  if (!Box) return Fail("no cancel question");
  PressKey(Box, VK_RETURN);  // Yes is the default answer
  if (!OnPage(Form, 5)) return Fail("no cancel page");
  Settled(Form, false);
  Shot(Form, L"6-cancel");
  Click(Control(Form, IDC_BTN_FINISH));
  return Installer.WaitForExit(kStepTimeoutMs) || Fail("the installer did not end");
}

bool InstallRun(const std::wstring& Exe) {
  TProcess Installer(L"\"" + Exe + L"\"");
  const HWND Form = Installer.WaitForWindow(kCaption, 30000);
  if (!Form) return Fail("the installer window did not show");
  if (!Settled(Form, true)) return Fail("welcome page");
  Shot(Form, L"1-welcome");

  Click(Control(Form, IDC_BTN_NEXT));
  if (!OnPage(Form, 1) || !Settled(Form, false)) return Fail("licence page");
  Click(Control(Form, IDC_CHK_OK));
  if (!Settled(Form, true)) return Fail("the tick did not enable Next");
  Shot(Form, L"2-licence");

  Click(Control(Form, IDC_BTN_NEXT));
  if (!OnPage(Form, 2) || !Settled(Form, true)) return Fail("ready page");
  Shot(Form, L"3-ready");

  // The question, answered No: the ready page stays.
  const HWND Box = AskToCancel(Installer, Form);
  if (!Box) return Fail("no cancel question");
  Shot(Form, L"7-confirm");
  Click(Control(Box, IDNO));
  if (!WaitUntil([&] { return Enabled(Form); }, kStepTimeoutMs)) return Fail("box did not close");

  Click(Control(Form, IDC_BTN_NEXT));
  if (!OnPage(Form, 3)) return Fail("progress page");
  const bool Busy = WaitUntil(
      [&] {
        return !Text(Control(Form, IDC_LBL_CURR_FILE)).empty() &&
               Text(Control(Form, IDC_PB_CURR_FILE)) != L"0 %";
      },
      kInstallTimeoutMs);
  if (Busy) Shot(Form, L"4-progress");
  if (!WaitUntil([&] { return Visible(Control(Form, IDC_TS_COMPLETE)); }, kInstallTimeoutMs))
    return Fail("the installation did not end");
  Settled(Form, false);
  Shot(Form, L"5-complete");
  std::printf("demo walk: completion page: %s / %s\n",
              Utf8(Text(Control(Form, IDC_LABEL29))).c_str(),
              Utf8(Text(Control(Form, IDC_LABEL30))).c_str());
  Click(Control(Form, IDC_BTN_FINISH));
  return Installer.WaitForExit(kStepTimeoutMs) || Fail("the installer did not end");
}

// Windows' own list of installed programs, as Wine's control panel shows it: the installation
// is listed there under its name, version and publisher.
bool ProgramsRun() {
  TProcess Panel(L"control.exe appwiz.cpl");
  HWND List = nullptr;
  WaitUntil(
      [&] {
        for (HWND Window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); Window;
             Window = FindWindowExW(nullptr, Window, L"#32770", nullptr)) {
          DWORD Owner = 0;
          GetWindowThreadProcessId(Window, &Owner);
          if (Owner == Panel.Id() && IsWindowVisible(Window)) return (List = Window) != nullptr;
        }
        return false;
      },
      kStepTimeoutMs);
  if (!List) return Fail("no list of installed programs");
  Shot(List, L"9-programs");
  PressCloseBox(List);
  return Panel.WaitForExit(kStepTimeoutMs) || Fail("the list did not close");
}

}  // namespace

int wmain(int Count, wchar_t** Arguments) {
  const char* Desktop = std::getenv("VELQUOR_GUI_DESKTOP");
  if (Count != 3 || !Desktop) {
    std::printf("usage: DemoWalk.exe INSTALLER.exe SHOTS-FOLDER (VELQUOR_GUI_DESKTOP set)\n");
    return 2;
  }
  const std::string Name(Desktop);
  if (!UseDesktop(std::wstring(Name.begin(), Name.end()))) return Fail("no desktop"), 1;
  CoInitialize(nullptr);
  Shots = Arguments[2];
  const bool Walked = CancelRun(Arguments[1]) && InstallRun(Arguments[1]) && ProgramsRun();
  CoUninitialize();
  return Walked ? 0 : 1;
}
