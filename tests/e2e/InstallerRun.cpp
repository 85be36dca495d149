#include "e2e/InstallerRun.h"

#include <shlobj.h>

#include <cstdlib>

#include "win32/Registry.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

using namespace GuiDriver;

namespace {

constexpr const char* kCurrentVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kProgramFilesDirName = "ProgramFilesDir";

}  // namespace

std::string Env(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

std::string OnDriveZ(std::string UnixPath) {
  for (char& c : UnixPath)
    if (c == '/') c = '\\';
  return "Z:" + UnixPath;
}

std::wstring ShotPath(const std::string& Name) {
  return Utf8ToWide(OnDriveZ(Env("VELQUOR_GUI_SHOTS") + "/" + Name));
}

std::string ProgramFilesDir() {
  const TRegKey Key = OpenRegKey(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_READ);
  return ReadRegString(Key.Get(), kProgramFilesDirName);
}

std::string InstallDir() { return ProgramFilesDir() + "\\Harlune\\VelquorManager\\"; }

std::set<std::string> TempFiles(const std::string& Pattern) {
  return NamesMatching(TempPathA() + Pattern);
}

void ServePayload(const TInstallServer& Server, const std::vector<std::string>& Files,
                  bool Extras) {
  std::string Manifest = "[info]\r\nversion=1.0.0.0\r\n";
  if (Extras) Manifest += "licfile=license.txt\r\nmsgfile=readme.txt\r\n";
  Manifest += "[files]\r\n";
  for (size_t i = 0; i < Files.size(); ++i)
    Manifest += std::to_string(i + 1) + "=" + Files[i] + "\r\n";
  Server.Put("install.inf", Manifest);
  Server.Put("license.txt", "licence text");
  Server.Put("readme.txt", "readme text");
  for (const std::string& f : Files) Server.Put(f, "content of " + f);
}

TInstaller::TInstaller() : TInstaller(OnDriveZ(VELQUOR_INSTALLER_EXE)) {}

TInstaller::TInstaller(const std::string& ExePath) : Process_(L"\"" + Utf8ToWide(ExePath) + L"\"") {
  Form = Process_.WaitForWindow(kCaption, kStartTimeoutMs);
  // Visible comes before the first paint; a test starts from what the user sees.
  if (Form) Process_.WaitForIdle(kStartTimeoutMs);
}

int TInstaller::Page() const {
  int Shown = -1;
  for (int i = 0; i < 6; ++i) {
    if (!Visible(Item(kPages[i]))) continue;
    if (Shown >= 0) return -1;
    Shown = i;
  }
  return Shown;
}

bool TInstaller::WaitForPage(int Index, DWORD TimeoutMs) const {
  return WaitUntil([&] { return Page() == Index; }, TimeoutMs);
}

bool TInstaller::WaitForButtons(bool Prev, bool Next, const std::wstring& Third,
                                bool ThirdEnabled) const {
  return WaitUntil(
      [&] {
        return Enabled(Item(IDC_BTN_PREV)) == Prev && Enabled(Item(IDC_BTN_NEXT)) == Next &&
               TextOf(IDC_BTN_FINISH) == Third && Enabled(Item(IDC_BTN_FINISH)) == ThirdEnabled;
      },
      kStepTimeoutMs);
}

bool TInstaller::GoToReadyPage() const {
  Press(IDC_BTN_NEXT);
  if (!WaitForPage(1)) return false;
  Press(IDC_CHK_OK);
  if (!WaitUntil([&] { return Enabled(Item(IDC_BTN_NEXT)); }, kStepTimeoutMs)) return false;
  Press(IDC_BTN_NEXT);
  return WaitForPage(2);
}

bool TInstaller::Install(DWORD TimeoutMs) const {
  if (!GoToReadyPage()) return false;
  Press(IDC_BTN_NEXT);
  // The page shows before the idle step binds the third button to Finish; a press in between
  // would still ask whether to cancel.
  return WaitForPage(4, TimeoutMs) &&
         WaitUntil([&] { return TextOf(IDC_BTN_FINISH) == L"완료"; }, kStepTimeoutMs);
}

bool TInstaller::Shot(const std::string& Name) const {
  return SaveScreenshot(Form, ShotPath(Name));
}

TProgramFilesDirValue::TProgramFilesDirValue() {
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_ALL_ACCESS, Key_.Put());
  Saved_ = ProgramFilesDir();
}

TProgramFilesDirValue::~TProgramFilesDirValue() {
  RegSetValueExA(Key_.Get(), kProgramFilesDirName, 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(Saved_.c_str()),
                 static_cast<DWORD>(Saved_.size() + 1));
}

void TProgramFilesDirValue::SetDword(DWORD Value) {
  RegSetValueExA(Key_.Get(), kProgramFilesDirName, 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&Value), sizeof Value);
}

void TProgramFilesDirValue::SetBinary(const std::string& Bytes) {
  RegSetValueExA(Key_.Get(), kProgramFilesDirName, 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(Bytes.data()), static_cast<DWORD>(Bytes.size()));
}

void TProgramFilesDirValue::SetString(const std::string& Text) {
  RegSetValueExA(Key_.Get(), kProgramFilesDirName, 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(Text.c_str()), static_cast<DWORD>(Text.size() + 1));
}

void TProgramFilesDirValue::Remove() { RegDeleteValueA(Key_.Get(), kProgramFilesDirName); }
