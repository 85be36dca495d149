#pragma once
// What the suites that drive the built installer share: one start of it on the virtual desktop,
// the places it writes to, the registry value it reads first, and a payload on the install
// server.

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "gui/GuiDriver.h"
#include "net/InstallServer.h"
#include "win32/Handle.h"

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kStepTimeoutMs = 10000;
constexpr DWORD kInstallTimeoutMs = 60000;
constexpr wchar_t kCaption[] = L"Velquor Manager 설치";
constexpr wchar_t kTitle[] = L"Velquor 매니저 설치";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kMessageBoxText = 0xFFFF;  // the static that holds a message box's text
constexpr int kPages[] = {IDC_TS_WELCOME,  IDC_TS_OPTION,   IDC_TS_READY,
                          IDC_TS_PROGRESS, IDC_TS_COMPLETE, IDC_TS_CANCEL};

// The process environment's value, "" when unset.
std::string Env(const char* Name);
// A Linux path as Wine shows it, on drive Z:.
std::string OnDriveZ(std::string UnixPath);
// Where a screenshot of that name goes (the folder in VELQUOR_GUI_SHOTS).
std::wstring ShotPath(const std::string& Name);

std::string ProgramFilesDir();
// The install folder the installer works out, ending in a backslash.
std::string InstallDir();
// Names in the temporary folder that match Pattern.
std::set<std::string> TempFiles(const std::string& Pattern);

// A manifest with a licence and a message file (unless Extras is false) and the listed files,
// each served with a small content of its own.
void ServePayload(const TInstallServer& Server, const std::vector<std::string>& Files,
                  bool Extras = true);

// One start of the installer (the built one, or a copy at ExePath), its window painted, ended at
// the latest when the object goes.
class TInstaller {
 public:
  TInstaller();
  explicit TInstaller(const std::string& ExePath);

  GuiDriver::TProcess& Process() { return Process_; }
  HWND Item(int Id) const { return GuiDriver::Control(Form, Id); }
  void Press(int Id) const { GuiDriver::Click(Item(Id)); }
  std::wstring TextOf(int Id) const { return GuiDriver::Text(Item(Id)); }

  // The index of the one page that shows; -1 while none or more than one does.
  int Page() const;
  bool WaitForPage(int Index, DWORD TimeoutMs = kStepTimeoutMs) const;
  // The buttons as the idle update leaves them: Back, Next, and the third button's caption and
  // state.
  bool WaitForButtons(bool Prev, bool Next, const std::wstring& Third, bool ThirdEnabled) const;
  // Welcome, licence with the box ticked, ready.
  bool GoToReadyPage() const;
  // From the welcome page through the ready page's Next to the completion page, its third
  // button bound to Finish.
  bool Install(DWORD TimeoutMs = kInstallTimeoutMs) const;
  bool Shot(const std::string& Name) const;

  HWND Form = nullptr;

 private:
  GuiDriver::TProcess Process_;
};

// HKLM's "ProgramFilesDir", put back as it was when the object goes.
class TProgramFilesDirValue {
 public:
  TProgramFilesDirValue();
  ~TProgramFilesDirValue();
  TProgramFilesDirValue(const TProgramFilesDirValue&) = delete;
  TProgramFilesDirValue& operator=(const TProgramFilesDirValue&) = delete;
  void SetDword(DWORD Value);
  void SetBinary(const std::string& Bytes);
  void SetString(const std::string& Text);
  void Remove();

 private:
  TRegKey Key_;
  std::string Saved_;
};
