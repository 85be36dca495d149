// The installer's entry point: harden the DLL search, start the application, create the window
// and run its message loop until the window is closed.

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <memory>
#include <optional>

#include "VelquorManifestKey.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/StartupPhases.h"
#include "app/Uninstaller.h"
#include "app/fmMain.h"
#include "engine/Integrity.h"
#include "engine/RemovalPlan.h"
#include "win32/RunningImage.h"
#include "win32/SetupMutex.h"
#include "win32/SystemLibrary.h"
#include "win32/Text.h"

namespace {

// Before anything can load a DLL: search System32 only, and never the folder the installer was
// started from (a download folder full of strangers' files). SetDefaultDllDirectories is looked
// up because systems without the update that brought it lack the export.
void HardenDllSearch() {
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  const auto SetDefault = GetProcedure<TSetDefaultDllDirectories>(GetModuleHandleW(L"kernel32.dll"),
                                                                  "SetDefaultDllDirectories");
  if (SetDefault) SetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");
}

// The common controls, after the hardening: comctl32 is no KnownDLL, and what it loads
// (uxtheme, for the visual styles) follows the search order in force when it comes in. The
// manifest still binds version 6. The module stays until the program ends.
TModule LoadCommonControls() {
  TModule Comctl32 = LoadSystemLibrary(L"comctl32.dll");
  using TInitCommonControlsEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto Init = GetProcedure<TInitCommonControlsEx>(Comctl32.Get(), "InitCommonControlsEx");
  const INITCOMMONCONTROLSEX Controls = {sizeof Controls, ICC_STANDARD_CLASSES};
  if (Init) Init(&Controls);
  return Comctl32;
}

// The removal mode, when the command line or the image's place asks for it; the wizard ignores
// its command line.
std::optional<int> RemovalAsked() {
  const TCommandLine Line =
      ParseCommandLine(SplitCommandLine(AsU16(GetCommandLineW())), RunningAsInstalledUninstaller());
  if (Line.Valid && !Line.Remove) return std::nullopt;
  Application.Initialize();
  const int Code = RunRemoval(Line);
  Application.Finalize();
  return Code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MarkStartupPhase("main");
  HardenDllSearch();
  // Before anything can change it: the file this process runs from, held and proven. Without it
  // nothing is installed or copied (the run says why), since what would be copied as the
  // uninstaller could be another program.
  HoldRunningImage();
  // The key this build was made with (none: unsigned payloads install as before).
  SetManifestPublicKey(kManifestPublicKey);
  if (const std::optional<int> Removed = RemovalAsked()) return *Removed;
  // One setup at a time, from the wizard's start to its end.
  const TSetupMutex Mutex;
  if (!Mutex.Held()) return AnotherSetupRuns(false);
  MarkStartupPhase("hardened");
  const TModule CommonControls = LoadCommonControls();
  MarkStartupPhase("comctl32");
  Application.Initialize();
  MarkStartupPhase("com");
  Application.SetTitle(L"Velquor 매니저 설치");
  // An error that ends the wizard before its window is made is a failure.
  int ExitCode = kExitFailed;
  Application.Guard([&] {
    // The first frame shows the first page: the others' controls come at the first idle.
    auto Form = std::make_unique<TInstForm>(TInstForm::TPages::FirstNow);
    Application.MainWindow = Form->Handle();
    // Idle: the pages completed, and the action-list update for the window while it is visible
    // and enabled.
    Application.OnIdle = [] {
      if (!InstForm) return;
      InstForm->CompletePages();
      const HWND Window = InstForm->Handle();
      if (IsWindowVisible(Window) && IsWindowEnabled(Window)) InstForm->ActionList1.Update();
    };
    Form->Show();
    Application.Run();
    ExitCode = Form->ExitCode();
    Application.OnIdle = nullptr;
    Application.MainWindow = nullptr;
  });
  Application.Finalize();
  return ExitCode;
}
