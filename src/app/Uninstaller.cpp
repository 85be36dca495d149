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
#include "win32/FileSystem.h"
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

// The removal itself, by the one setup that may run.
int Remove(const TCommandLine& Line, const std::string& InstallDir) {
  const TSetupMutex Mutex;
  if (!Mutex.Held()) return AnotherSetupRuns(Line.Quiet);
  if (!Line.Quiet && MessageBoxW(nullptr, Utf8ToWide(kConfirmRemovalText).c_str(), kCaption,
                                 MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
    return kExitUserCancelled;
  const TRemovalOutcome Outcome = RemoveProduct(InstallDir, Line.CopyOf.has_value());
  Say(Line.Quiet, RemovalMessage(Outcome), Outcome.Failed ? MB_ICONWARNING : MB_ICONINFORMATION);
  return RemovalExitCode(Outcome);
}

// From the install folder: the work goes to a private copy, and its code is this process's.
int RemoveThroughCopy(const TCommandLine& Line, HANDLE Image) {
  const std::wstring Folder = CreatePrivateFolder();
  const std::wstring Copy = Folder + Utf8ToWide(kUninstallerName);
  std::string Bytes;
  TCheckedFile File = Folder.empty() ? TCheckedFile() : TCheckedFile::CreateNew(Copy);
  if (!File || !ReadToEnd(Image, kMaxImageSize, Bytes) || !File.WriteAll(Bytes)) {
    File.Delete();
    Say(Line.Quiet, RemovalMessage({.Failed = true}), MB_ICONWARNING);
    return kExitFailed;
  }
  File.Close();
  return static_cast<int>(RunForResult(
      [&](std::uint64_t Pipe, std::uint64_t Parent) {
        return L"\"" + Copy + L"\" /uninstall" + (Line.Quiet ? L" /quiet" : L"") + L" /copyof:" +
               Hex(Pipe) + L"," + Hex(Parent);
      },
      kExitFailed));
}

}  // namespace

bool RunningAsInstalledUninstaller() noexcept {
  try {
    const TFileHandle Image = OpenRunningImage();
    return Image && IsInstalledFile(Image.Get(), InstallFolder(), kUninstallerName);
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
    if (!Line.Quiet) Application.ShowException(Error);
    return kExitFailed;
  }
  if (!Line.CopyOf) {
    const TFileHandle Image = OpenRunningImage();
    if (Image && IsInFolder(Image.Get(), AnsiToWide(InstallDir)))
      return RemoveThroughCopy(Line, Image.Get());
    return Remove(Line, InstallDir);
  }
  // The private copy: its own file and folder go at the next restart, whatever happens now.
  wchar_t Own[MAX_PATH] = {};
  if (GetModuleFileNameW(nullptr, Own, MAX_PATH) < MAX_PATH) {
    const std::wstring Path = Own;
    DeleteAtRestart(Path);
    DeleteAtRestart(Path.substr(0, Path.find_last_of(L'\\')));
  }
  const int Code = Remove(Line, InstallDir);
  ReportResult(Line.CopyOf->first, static_cast<DWORD>(Code));
  WaitForParent(Line.CopyOf->second, kParentGoneMs);
  if (Code == kExitSuccess || Code == kExitRestartRequired) RemoveUninstallerAfterwards(InstallDir);
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
