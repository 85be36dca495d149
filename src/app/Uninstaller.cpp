#include "app/Uninstaller.h"

#include <windows.h>

#include <string>

#include "app/Application.h"
#include "engine/InstallManager.h"
#include "engine/ProductFiles.h"
#include "engine/Removal.h"
#include "engine/RemovalPlan.h"
#include "win32/CheckedFile.h"
#include "win32/ChildProcess.h"
#include "win32/RunningImage.h"
#include "win32/SetupMutex.h"
#include "win32/Text.h"

namespace {

constexpr wchar_t kCaption[] = L"Velquor 매니저";
constexpr wchar_t kWizardClass[] = L"TInstForm";
// How long the copy waits for the uninstaller that started it to end before it removes its file.
constexpr DWORD kParentGoneMs = 30000;

void Say(bool Quiet, std::string_view Utf8, UINT Icon) {
  if (!Quiet)
    MessageBoxW(nullptr, Utf8ToWide(Utf8).c_str(), kCaption, MB_OK | Icon | MB_SETFOREGROUND);
}

std::wstring Hex(std::uint64_t Value) {
  wchar_t Digits[17] = {};
  swprintf(Digits, 17, L"%llX", static_cast<unsigned long long>(Value));
  return Digits;
}

// The removal itself, by the one setup that may run. UninstallerAside as RemoveProduct's.
int Remove(const TCommandLine& Line, const std::string& InstallDir,
           std::wstring* UninstallerAside = nullptr) {
  const TSetupMutex Mutex;
  if (!Mutex.Held()) return AnotherSetupRuns(Line.Quiet);
  RemovePrivateLeftovers();
  if (!Line.Quiet && MessageBoxW(nullptr, Utf8ToWide(kConfirmRemovalText).c_str(), kCaption,
                                 MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
    return kExitUserCancelled;
  const TRemovalOutcome Outcome = RemoveProduct(InstallDir, UninstallerAside);
  Say(Line.Quiet, RemovalMessage(Outcome), Outcome.Failed ? MB_ICONWARNING : MB_ICONINFORMATION);
  return RemovalExitCode(Outcome);
}

// From the install folder: the work goes to a private copy, and its code is this process's.
int RemoveThroughCopy(const TCommandLine& Line) {
  const std::wstring Folder = CreatePrivateFolder();
  const std::wstring Copy = Folder + Utf8ToWide(kUninstallerName);
  std::string Bytes;
  TCheckedFile File = Folder.empty() ? TCheckedFile() : TCheckedFile::CreateNew(Copy);
  if (!File || !ReadRunningImage(Bytes, kMaxImageSize) || !File.WriteAll(Bytes)) {
    File.Delete();
    File.Close();
    if (!Folder.empty()) RemoveDirectoryW(Folder.c_str());
    Say(Line.Quiet, RemovalMessage({.Failed = true}), MB_ICONWARNING);
    return kExitFailed;
  }
  File.Close();
  // Gone at the restart whatever the copy does, unless a later run clears them sooner. The copy
  // marks nothing itself: only what this process made goes so.
  DeleteAtRestart(Copy);
  DeleteAtRestart(Folder);
  // The copy sets this file aside once the rest is removed; it was copied, so it may go.
  LetGoOfRunningImage();
  return static_cast<int>(RunForResult(
      [&](std::uint64_t Pipe, std::uint64_t Parent) {
        return L"\"" + Copy + L"\" /uninstall" + (Line.Quiet ? L" /quiet" : L"") + L" /copyof:" +
               Hex(Pipe) + L"," + Hex(Parent);
      },
      kExitFailed));
}

// Whether this process is the private copy that the installed uninstaller started: its own
// image, held and proven, lies in a private folder, and the two handles are the pipe and the
// installed uninstaller's process that started it. An administrator may be made to start any
// copy of this program with any numbers; only the real hand-over passes.
bool IsHandedOver(const TCommandLine& Line, const std::string& InstallDir) {
  if (!RunningImage() || !LiesInPrivateFolder(RunningImage())) return false;
  const TFileHandle Parent = HandedOverParentImage(Line.CopyOf->first, Line.CopyOf->second);
  return Parent && IsInstalledFile(Parent.Get(), InstallDir, kUninstallerName);
}

}  // namespace

bool RunningAsInstalledUninstaller() noexcept {
  try {
    return RunningImage() && IsInstalledFile(RunningImage(), InstallFolder(), kUninstallerName);
  } catch (...) {
    return false;  // an unreadable Program Files value: the wizard's error box will say so
  }
}

int RunRemoval(const TCommandLine& Line) {
  if (!Line.Valid) return kExitBadCommandLine;
  std::string InstallDir;
  try {
    InstallDir = InstallFolder();
  } catch (const std::exception& Error) {
    if (Line.CopyOf) return kExitBadCommandLine;
    if (!Line.Quiet) Application.ShowException(Error);
    return kExitFailed;
  }
  if (!Line.CopyOf) {
    if (RunningAsInstalledUninstaller()) return RemoveThroughCopy(Line);
    return Remove(Line, InstallDir);
  }
  if (!IsHandedOver(Line, InstallDir)) return kExitBadCommandLine;
  std::wstring Aside;
  const int Code = Remove(Line, InstallDir, &Aside);
  ReportResult(Line.CopyOf->first, static_cast<DWORD>(Code));
  WaitForParent(Line.CopyOf->second, kParentGoneMs);
  if (Code == kExitSuccess || Code == kExitRestartRequired)
    RemoveUninstallerAfterwards(InstallDir, Aside);
  return Code;
}

int AnotherSetupRuns(bool Quiet) {
  if (const HWND Wizard = FindWindowW(kWizardClass, nullptr)) {
    if (IsIconic(Wizard)) ShowWindow(Wizard, SW_RESTORE);
    SetForegroundWindow(Wizard);
  } else {
    Say(Quiet, kSetupRunningText, MB_ICONWARNING);
  }
  return kExitAnotherSetupRuns;
}
