// The fault matrix: the built installer, driven as a user drives it, against a server that
// answers wrongly, a registry that holds the wrong things and DLLs planted beside it. Every row
// must end cleanly with the cause on the completion page or the error in the error box, must
// not crash, and must write nothing but the install folder, the desktop shortcut and the
// temporary folder: a snapshot of drive C: before and after proves the last part.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "e2e/InstallerRun.h"
#include "gui/GuiDriver.h"
#include "net/InstallServer.h"
#include "win32/Handle.h"
#include "win32/Registry.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

namespace {

using namespace GuiDriver;

constexpr wchar_t kDone[] = L"프로그램 설치가 완료되었습니다.";
constexpr wchar_t kNotDone[] = L"프로그램 설치를 완료하지 못했습니다.";
constexpr wchar_t kThanks[] = L"Harlune 솔루션을 사용해주셔서 감사합니다.";
constexpr wchar_t kManifestMissing[] = L"파일을 받지 못했습니다: install.inf";
constexpr wchar_t kNoFiles[] = L"설치할 파일이 없습니다.";
constexpr DWORD kNoExitCode = 0xFFFFFFFF;
constexpr DWORD kFailedExitCode = 1603;
// The shipped stall rule's minute, and what the run may take beyond it to end.
constexpr DWORD kStallTimeoutMs = 60000;
constexpr DWORD kStallGraceMs = 15000;
constexpr DWORD kPingTimeoutMs = 2000;
constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::wstring Wide(const std::string& Utf8) { return Utf8ToWide(Utf8); }

// A file's bytes, or a note that it is missing, so one missing file does not end a whole table.
std::string ContentOf(const std::string& Path) {
  return FileExistsA(Path) ? ReadBytes(Path) : "(missing)";
}

std::string Upper(std::string Text) {
  CharUpperBuffA(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

bool StartsWith(const std::string& Text, const std::string& Prefix) {
  return Text.compare(0, Prefix.size(), Prefix) == 0;
}

// Every file and folder under a folder, with what shows that it changed. Paths are upper case
// ANSI, as the file system compares them.
using TSnapshot = std::map<std::string, std::string>;

void AddTree(const std::string& Folder, TSnapshot& Into) {
  WIN32_FIND_DATAA Data;
  HANDLE Find = FindFirstFileA((Folder + "*").c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string Name = Data.cFileName;
    if (Name == "." || Name == "..") continue;
    const std::string Path = Folder + Name;
    const bool IsFolder = Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    std::ostringstream State;
    State << Data.dwFileAttributes << ' ' << Data.nFileSizeHigh << ':' << Data.nFileSizeLow;
    if (!IsFolder)
      State << ' ' << Data.ftLastWriteTime.dwHighDateTime << ':'
            << Data.ftLastWriteTime.dwLowDateTime;
    Into[Upper(Path) + (IsFolder ? "\\" : "")] = State.str();
    // Links (Wine's Z: and the user folders it links to $HOME) are not followed.
    if (IsFolder && !(Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      AddTree(Path + "\\", Into);
  } while (FindNextFileA(Find, &Data));
  FindClose(Find);
}

// The desktop's folder and the shortcut in it, asked once: asking the shell writes the folder
// back into the registry value that some rows remove or spoil on purpose.
const std::string& DesktopFolder() {
  static const std::string Folder = [] {
    const std::string Link = DesktopLink();
    return Link.substr(0, Link.find_last_of('\\') + 1);
  }();
  return Folder;
}

std::string Shortcut() { return DesktopFolder() + "VelquorManager.lnk"; }

TSnapshot SnapshotDriveC() {
  TSnapshot Snapshot;
  AddTree("C:\\", Snapshot);
  AddTree(DesktopFolder(), Snapshot);
  return Snapshot;
}

// Wine's own files that any program's start or a download through urlmon may touch: its
// registry and the internet cache, cookies and history of the user profile.
bool IsWineBookkeeping(const std::string& Path) {
  static const char* const kParts[] = {"\\INETCACHE\\",   "\\INETCOOKIES\\",
                                       "\\HISTORY\\",     "\\TEMPORARY INTERNET FILES\\",
                                       "\\COOKIES\\",     "\\WINDOWS\\SYSTEM32\\CONFIG\\",
                                       "\\WINDOWS\\INF\\"};
  return std::any_of(std::begin(kParts), std::end(kParts),
                     [&](const char* Part) { return Path.find(Part) != std::string::npos; });
}

// What changed between two snapshots outside the places an installation may write.
std::vector<std::string> ChangesOutside(const TSnapshot& Before, const TSnapshot& After,
                                        const std::string& InstallFolder) {
  const std::string Install = Upper(InstallFolder);
  const std::string Temp = Upper(TempPathA());
  const std::string Link = Upper(Shortcut());
  const auto Allowed = [&](const std::string& Path) {
    if (StartsWith(Path, Install) || StartsWith(Path, Temp) || Path == Link) return true;
    // The install folder's parents come into being with it.
    if (Path.back() == '\\' && StartsWith(Install, Path)) return true;
    return IsWineBookkeeping(Path);
  };
  std::vector<std::string> Changes;
  for (const auto& [Path, State] : After) {
    if (Allowed(Path)) continue;
    const auto Old = Before.find(Path);
    if (Old == Before.end())
      Changes.push_back("added " + AnsiToUtf8(Path));
    else if (Old->second != State)
      Changes.push_back("changed " + AnsiToUtf8(Path));
  }
  for (const auto& [Path, State] : Before)
    if (!Allowed(Path) && !After.count(Path)) Changes.push_back("removed " + AnsiToUtf8(Path));
  return Changes;
}

// The process's exit code, read through a handle of our own taken while it runs.
class TExitWatch {
 public:
  explicit TExitWatch(DWORD Id)
      : Process_(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Id)) {}
  DWORD ExitCode() const {
    DWORD Code = kNoExitCode;
    if (!Process_ || WaitForSingleObject(Process_.Get(), 0) != WAIT_OBJECT_0) return kNoExitCode;
    GetExitCodeProcess(Process_.Get(), &Code);
    return Code;
  }

 private:
  TKernelHandle Process_;
};

// How a row is expected to end.
struct TEnd {
  std::wstring Cause;       // Label30 on the completion page; kThanks for a success
  std::wstring Error = {};  // the error box's text instead, when not empty
  bool Shortcut = false;
};

// A registry string value of the current user, put back (or removed again) when the object goes.
class TUserValue {
 public:
  TUserValue(const char* Key, const char* Name) : Name_(Name) {
    RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_ALL_ACCESS, Key_.Put());
    DWORD Type = 0, Size = 0;
    Had_ = RegQueryValueExA(Key_.Get(), Name, nullptr, &Type, nullptr, &Size) == ERROR_SUCCESS;
    if (Had_) {
      Saved_.resize(Size);
      RegQueryValueExA(Key_.Get(), Name, nullptr, &Type, reinterpret_cast<BYTE*>(Saved_.data()),
                       &Size);
      Type_ = Type;
    }
  }
  ~TUserValue() {
    if (Had_)
      RegSetValueExA(Key_.Get(), Name_.c_str(), 0, Type_,
                     reinterpret_cast<const BYTE*>(Saved_.data()),
                     static_cast<DWORD>(Saved_.size()));
    else
      RegDeleteValueA(Key_.Get(), Name_.c_str());
  }
  bool Opened() const { return static_cast<bool>(Key_); }
  void Remove() { RegDeleteValueA(Key_.Get(), Name_.c_str()); }
  void SetDword(DWORD Value) {
    RegSetValueExA(Key_.Get(), Name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Value),
                   sizeof Value);
  }

 private:
  TRegKey Key_;
  std::string Name_;
  bool Had_ = false;
  DWORD Type_ = REG_SZ;
  std::string Saved_;
};

struct TRow {
  const char* Name;
  std::function<void(const TInstallServer&)> Arrange;
  TEnd Expected;
  // Files that must stand in the install folder afterwards, with their content.
  std::vector<std::pair<std::string, std::string>> Installed = {};
};

class Faults : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The desktop first: SetThreadDesktop refuses a thread that already owns a window.
    const std::string Desktop = Env("VELQUOR_GUI_DESKTOP");
    DesktopReady = !Desktop.empty() && UseDesktop(Utf8ToWide(Desktop));
    CoInitialize(nullptr);
    DesktopFolder();
  }

  void SetUp() override {
    ASSERT_TRUE(DesktopReady) << "cannot use the virtual desktop";
    Reset();
  }

  void Reset() {
    Server.Clear();
    ForgetInstallation();
  }

  // Starts the installer, presses through to the installation and waits for its end: the
  // completion page or the error box. Then checks the end, closes the program as a user would,
  // and checks that it exits with 0 and wrote nothing where it must not.
  void InstallAndExpect(const TEnd& Expected, const std::string& InstallFolder = InstallDir()) {
    const TSnapshot Before = SnapshotDriveC();
    {
      TInstaller I;
      ASSERT_NE(I.Form, nullptr) << "the installer window did not show";
      const TExitWatch Exit(I.Process().Id());
      ASSERT_TRUE(I.GoToReadyPage());
      I.Press(IDC_BTN_NEXT);
      HWND Box = nullptr;
      ASSERT_TRUE(WaitUntil(
          [&] {
            if (I.Page() == 4) return true;
            Box = FindWindowW(kDialogClass, kTitle);
            return Box != nullptr;
          },
          kInstallTimeoutMs))
          << "neither the completion page nor an error box; the program "
          << (I.Process().Running() ? "still runs" : "has ended");
      if (Expected.Error.empty()) {
        ASSERT_EQ(Box, nullptr) << "error box: " << WideToUtf8(Text(Control(Box, kMessageBoxText)));
        EXPECT_EQ(I.TextOf(IDC_LABEL29), Expected.Cause == kThanks ? kDone : kNotDone);
        EXPECT_EQ(I.TextOf(IDC_LABEL30), Expected.Cause);
        EXPECT_TRUE(I.WaitForButtons(false, false, L"완료", true));
        I.Press(IDC_BTN_FINISH);
      } else {
        ASSERT_NE(Box, nullptr) << "completion page: " << WideToUtf8(I.TextOf(IDC_LABEL30));
        EXPECT_EQ(Text(Control(Box, kMessageBoxText)), Expected.Error);
        Click(Control(Box, IDOK));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(Box); }, kStepTimeoutMs));
        PressCloseBox(I.Form);
      }
      EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs)) << "the program did not end";
      // As Windows Installer's codes, which deployment tools read.
      EXPECT_EQ(Exit.ExitCode(), Expected.Cause == kThanks ? 0u : kFailedExitCode);
    }
    EXPECT_EQ(FileExistsA(Shortcut()), Expected.Shortcut);
    EXPECT_EQ(ChangesOutside(Before, SnapshotDriveC(), InstallFolder), std::vector<std::string>{});
  }

  // Each row from a clean start; After checks what the row leaves beyond the common checks.
  void RunRows(const std::vector<TRow>& Rows, const std::function<void()>& After = nullptr) {
    for (const TRow& Row : Rows) {
      SCOPED_TRACE(Row.Name);
      Reset();
      Row.Arrange(Server);
      InstallAndExpect(Row.Expected);
      for (const auto& [Relative, Content] : Row.Installed)
        EXPECT_EQ(ContentOf(InstallDir() + Relative), Content) << Relative;
      if (After) After();
    }
  }

  TInstallServer Server;
  static bool DesktopReady;
};

bool Faults::DesktopReady = false;

std::string SeededGarbage(size_t Size) {
  std::mt19937 Random(20240601u);
  std::string Bytes(Size, '\0');
  for (char& c : Bytes) c = static_cast<char>(Random() & 0xFF);
  // No bracket, so the garbage cannot open a section by chance.
  std::replace(Bytes.begin(), Bytes.end(), '[', 'x');
  return Bytes;
}

const TEnd kSuccess{kThanks, L"", true};

std::string JunkLines(size_t Size) {
  std::string Junk;
  for (int i = 0; Junk.size() < Size; ++i)
    Junk += "junk line " + std::to_string(i) + " without any meaning at all\r\n";
  return Junk;
}

TEST_F(Faults, ABrokenManifestEndsWithItsCauseOrIsReadAsFarAsItHolds) {
  const std::string Padding(40000, ';');
  const std::vector<TRow> Rows = {
      {"404",
       [](const TInstallServer& S) { S.Fault("install.inf", "status=404"); },
       {std::wstring(kManifestMissing) + L" (HTTP 404)"}},
      {"500",
       [](const TInstallServer& S) { S.Fault("install.inf", "status=500"); },
       {std::wstring(kManifestMissing) + L" (HTTP 500)"}},
      {"a reset in mid-transfer",
       [&](const TInstallServer& S) {
         // The section comes last, so a manifest cut short lists nothing.
         S.Put("install.inf", ";" + Padding + "\r\n[files]\r\n1=a.dll\r\n");
         S.Put("a.dll", "content of a.dll");
         S.Fault("install.inf", "reset_after=20000");
       },
       {kManifestMissing}},
      {"binary garbage",
       [](const TInstallServer& S) { S.Put("install.inf", SeededGarbage(64 * 1024)); },
       {kNoFiles}},
      {"3 MiB of junk lines before the files",
       [](const TInstallServer& S) {
         S.Put("install.inf", JunkLines(3 * 1024 * 1024) + "[files]\r\n1=a.dll\r\n");
         S.Put("a.dll", "content of a.dll");
       },
       kSuccess,
       {{"a.dll", "content of a.dll"}}},
      {"a manifest of 5 MiB, refused unread",
       [](const TInstallServer& S) {
         S.Put("install.inf", JunkLines(5 * 1024 * 1024) + "[files]\r\n1=a.dll\r\n");
         S.Put("a.dll", "content of a.dll");
       },
       {L"파일이 손상되었습니다: install.inf"}},
      {"a UTF-8 byte-order mark before [files]",
       [](const TInstallServer& S) {
         S.Put("install.inf", "\xEF\xBB\xBF[files]\r\n1=a.dll\r\n");
         S.Put("a.dll", "content of a.dll");
       },
       kSuccess,
       {{"a.dll", "content of a.dll"}}},
      {"keys without values",
       [](const TInstallServer& S) {
         S.Put("install.inf", "[info]\r\nlicfile=\r\nmsgfile\r\n[files]\r\n1=\r\n2\r\n3=a.dll\r\n");
         S.Put("a.dll", "content of a.dll");
       },
       kSuccess,
       {{"a.dll", "content of a.dll"}}},
  };
  RunRows(Rows);
}

TEST_F(Faults, FiveThousandEntriesAreAllCounted) {
  // Installing them all would take minutes: the first file is missing, so the run ends at once, and
  // the counter it left shows how many entries were read.
  std::string Manifest = "[files]\r\n";
  for (int i = 1; i <= 5000; ++i)
    Manifest += std::to_string(i) + "=f" + std::to_string(i) + ".dll\r\n";
  Server.Put("install.inf", Manifest);
  const TSnapshot Before = SnapshotDriveC();
  {
    TInstaller I;
    ASSERT_NE(I.Form, nullptr);
    const TExitWatch Exit(I.Process().Id());
    ASSERT_TRUE(I.GoToReadyPage());
    I.Press(IDC_BTN_NEXT);
    ASSERT_TRUE(I.WaitForPage(4, kInstallTimeoutMs));
    EXPECT_EQ(I.TextOf(IDC_LABEL30), L"파일을 받지 못했습니다: f1.dll (HTTP 404)");
    // Licence and message file count first, even when the manifest names neither.
    EXPECT_EQ(I.TextOf(IDC_LBL_ALL_FILES), L"3 / 5002");
    I.Press(IDC_BTN_FINISH);
    EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
    EXPECT_EQ(Exit.ExitCode(), kFailedExitCode);
  }
  EXPECT_EQ(ChangesOutside(Before, SnapshotDriveC(), InstallDir()), std::vector<std::string>{});
}

TEST_F(Faults, ABrokenFileEndsTheRunWithItsName) {
  const std::string Big(64 * 1024, 'b');
  // Beyond MAX_PATH in the install folder, which no temporary name of the old kind could take.
  std::string Deep;
  for (const char Letter : {'d', 'e', 'e', 'p'}) Deep += std::string(60, Letter) + "\\";
  Deep += "file.dll";
  const auto Three = [](const TInstallServer& S) { ServePayload(S, {"a.dll", "b.dll", "c.dll"}); };
  const std::vector<TRow> Rows = {
      {"404 on the middle file",
       [&](const TInstallServer& S) {
         Three(S);
         S.Fault("b.dll", "status=404");
       },
       {L"파일을 받지 못했습니다: b.dll (HTTP 404)"},
       {{"a.dll", "content of a.dll"}}},
      {"500 on the middle file",
       [&](const TInstallServer& S) {
         Three(S);
         S.Fault("b.dll", "status=500");
       },
       {L"파일을 받지 못했습니다: b.dll (HTTP 500)"},
       {{"a.dll", "content of a.dll"}}},
      {"a reset after half the bytes",
       [&](const TInstallServer& S) {
         Three(S);
         S.Put("b.dll", Big);
         S.Fault("b.dll", "reset_after=" + std::to_string(Big.size() / 2));
       },
       {L"파일을 받지 못했습니다: b.dll"},
       {{"a.dll", "content of a.dll"}}},
      {"a Content-Length longer than the body",
       [&](const TInstallServer& S) {
         Three(S);
         S.Put("b.dll", Big);
         S.Fault("b.dll", "length=" + std::to_string(Big.size() * 2));
       },
       {L"파일을 받지 못했습니다: b.dll"},
       {{"a.dll", "content of a.dll"}}},
      {"a path four folders of 60 characters deep",
       [&](const TInstallServer& S) { ServePayload(S, {Deep}); },
       kSuccess,
       {{Deep, "content of " + Deep}}},
      {"a read-only target file",
       [&](const TInstallServer& S) {
         Three(S);
         const std::string Dir = InstallDir();
         CreateDirectoryA((ProgramFilesDir() + "\\Harlune").c_str(), nullptr);
         CreateDirectoryA(Dir.c_str(), nullptr);
         WriteBytes(Dir + "b.dll", "old b.dll");
         SetFileAttributesA((Dir + "b.dll").c_str(), FILE_ATTRIBUTE_READONLY);
       },
       // Wine's download service replaces a read-only file (Windows' refuses, and the run would
       // then name b.dll): either way the page tells the truth about the file.
       kSuccess,
       {{"a.dll", "content of a.dll"},
        {"b.dll", "content of b.dll"},
        {"c.dll", "content of c.dll"}}},
  };
  RunRows(Rows, [&] {
    SetFileAttributesA((InstallDir() + "b.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
    // The shell can't remove so deep a tree: its file and folders go one by one.
    std::wstring Path = L"\\\\?\\" + AnsiToWide(InstallDir() + Deep);
    DeleteFileW(Path.c_str());
    for (int Level = 0; Level < 4; ++Level) {
      Path.resize(Path.find_last_of(L'\\'));
      RemoveDirectoryW(Path.c_str());
    }
    if (!FileExistsA(Shortcut())) {
      EXPECT_EQ(Requests(Server.Log(), "c.dll"), 0) << "the run went on after the failure";
    }
  });
}

TEST_F(Faults, AHostileNameIsRefusedAndNothingOutsideIsTouched) {
  // One name per clause of the rule; each would land beside or above the install folder.
  const char* const kNames[] = {"..\\sentinel.txt",
                                "...\\sentinel.txt",
                                ".. \\sentinel.txt",
                                "a\\..\\..\\sentinel.txt",
                                "../sentinel.txt",
                                "C:\\sentinel.txt",
                                "a.dll:stream",
                                "\\\\127.0.0.1\\c$\\x",
                                "a\x01.dll",
                                "a<b.dll",
                                "a>b.dll",
                                "a\"b.dll",
                                "a|b.dll",
                                "a?b.dll",
                                "a*b.dll",
                                "CON",
                                "nul.txt",
                                "COM1.dll",
                                "LPT9"};
  const std::string Harlune = ProgramFilesDir() + "\\Harlune\\";
  for (const char* Name : kNames) {
    SCOPED_TRACE(Name);
    Reset();
    CreateDirectoryA(Harlune.c_str(), nullptr);
    WriteBytes(Harlune + "sentinel.txt", "untouched");
    WriteBytes("C:\\sentinel.txt", "untouched");
    ServePayload(Server, {"a.dll"}, false);
    Server.Put("install.inf", std::string("[files]\r\n1=a.dll\r\n2=") + Name + "\r\n");
    InstallAndExpect({L"잘못된 파일 경로입니다: " + Wide(AnsiToUtf8(Name))});
    EXPECT_EQ(ContentOf(Harlune + "sentinel.txt"), "untouched");
    EXPECT_EQ(ContentOf("C:\\sentinel.txt"), "untouched");
    EXPECT_EQ(ContentOf(InstallDir() + "a.dll"), "content of a.dll");
    const std::string Log = Server.Log();
    EXPECT_EQ(Log.find("sentinel"), std::string::npos) << Log;
    EXPECT_EQ(std::count(Log.begin(), Log.end(), '\n'), 2) << "the manifest and a.dll only\n"
                                                           << Log;
  }
  DeleteFileA("C:\\sentinel.txt");
}

TEST_F(Faults, TheRegistryValuesItReadsMayBeMissingOrOfTheWrongType) {
  ServePayload(Server, {"a.dll"});
  const std::string Dir = InstallDir();
  {
    SCOPED_TRACE("ProgramFilesDir of the wrong type");
    TProgramFilesDirValue Value;
    Value.SetBinary("C:\\x");
    InstallAndExpect({L"", L"Invalid data type for 'ProgramFilesDir'"}, Dir);
  }
  {
    SCOPED_TRACE("ProgramFilesDir missing");
    // The folder then lies at the root of the current drive: make that C:.
    char Saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, Saved);
    SetCurrentDirectoryA("C:\\");
    RemoveTree("C:\\Harlune");
    {
      TProgramFilesDirValue Value;
      Value.Remove();
      InstallAndExpect(kSuccess, "C:\\Harlune\\");
    }
    EXPECT_EQ(ContentOf("C:\\Harlune\\VelquorManager\\a.dll"), "content of a.dll");
    RemoveTree("C:\\Harlune");
    SetCurrentDirectoryA(Saved);
    DeleteFileA(Shortcut().c_str());
  }
  // The shell writes the desktop's folder back into "Shell Folders" whenever it is asked for it,
  // and the shell link asks while the installer sets the link's path, before the value is read:
  // a missing or spoilt value is mended in time and the shortcut lands on the real desktop.
  const std::pair<const char*, std::function<void(TUserValue&)>> Spoilt[] = {
      {"the desktop value missing", [](TUserValue& v) { v.Remove(); }},
      {"the desktop value of the wrong type", [](TUserValue& v) { v.SetDword(7); }},
  };
  for (const auto& [Name, Spoil] : Spoilt) {
    SCOPED_TRACE(Name);
    Reset();
    TUserValue Value(kShellFoldersKey, "Desktop");
    ASSERT_TRUE(Value.Opened());
    Spoil(Value);
    InstallAndExpect(kSuccess);
    EXPECT_EQ(ContentOf(InstallDir() + "a.dll"), "content of a.dll");
  }
}

// One setup at a time: a second wizard brings the first forward and ends, and a removal while
// an installation runs ends with Windows Installer's "another installation is in progress",
// touching nothing; the installation completes.
TEST_F(Faults, OneSetupRunsAtATime) {
  ServePayload(Server, {"a.dll", "b.dll"});
  Server.Put("a.dll", std::string(20000, 'a'));
  Server.Fault("a.dll", "throttle=4000");
  const std::wstring Exe = L"\"" + Wide(OnDriveZ(VELQUOR_INSTALLER_EXE)) + L"\"";
  constexpr DWORD kAnotherSetupRuns = 1618;
  TInstaller I;
  ASSERT_NE(I.Form, nullptr);
  {
    TProcess Second(Exe);
    ASSERT_TRUE(Second.WaitForExit(kStartTimeoutMs));
    EXPECT_EQ(Second.ExitCode(), kAnotherSetupRuns);
  }
  int Wizards = 0;
  for (HWND Window = FindWindowExW(nullptr, nullptr, L"TInstForm", nullptr); Window;
       Window = FindWindowExW(nullptr, Window, L"TInstForm", nullptr))
    Wizards += IsWindowVisible(Window) ? 1 : 0;
  EXPECT_EQ(Wizards, 1);

  ASSERT_TRUE(I.GoToReadyPage());
  I.Press(IDC_BTN_NEXT);
  ASSERT_TRUE(WaitUntil([&] { return FileExistsA(InstallDir() + "install.lst"); }, kStepTimeoutMs));
  {
    TProcess Removal(Exe + L" /uninstall /quiet");
    ASSERT_TRUE(Removal.WaitForExit(kStartTimeoutMs));
    EXPECT_EQ(Removal.ExitCode(), kAnotherSetupRuns);
  }
  EXPECT_TRUE(FileExistsA(InstallDir() + "install.lst"));
  ASSERT_TRUE(I.WaitForPage(4, kInstallTimeoutMs));
  EXPECT_EQ(I.TextOf(IDC_LABEL30), kThanks);
  EXPECT_EQ(ContentOf(InstallDir() + "b.dll"), "content of b.dll");
  I.Press(IDC_BTN_FINISH);
  EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
}

// The installer started from a folder the user owns, such as Downloads. While its wizard is
// open, a program of the user tries to put another program under its name: the uninstaller it
// places is still the program that ran, byte for byte (or nothing is installed and the page says
// why). Copies of it started with the removal's private hand-over switch, as any program can
// have an administrator start them, do nothing: 1639, nothing marked for the restart, nothing
// removed; even from a folder named as the removal names its private ones.
TEST_F(Faults, NoProgramOfTheUsersBecomesTheUninstallerOrHandsOverARemoval) {
  ServePayload(Server, {"a.dll"});
  const std::string Downloads = TempPathA() + "Downloads\\";
  RemoveTree(Downloads);
  CreateDirectoryA(Downloads.c_str(), nullptr);
  const std::string Copy = Downloads + "VelquorManager_Install.exe";
  const std::string Genuine = ReadBytes(OnDriveZ(VELQUOR_INSTALLER_EXE));
  WriteBytes(Copy, Genuine);
  {
    TInstaller I(Copy);
    ASSERT_NE(I.Form, nullptr);
    // What a program that watched the elevation prompt does next.
    if (MoveFileA(Copy.c_str(), (Downloads + "renamed.exe").c_str()))
      WriteBytes(Copy, ReadBytes(OnDriveZ(VELQUOR_URLMON_IMPORTER_EXE)));
    HANDLE Writer = CreateFileA(Copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(Writer, INVALID_HANDLE_VALUE) << "the running installer's file can be written";
    if (Writer != INVALID_HANDLE_VALUE) CloseHandle(Writer);
    ASSERT_TRUE(I.Install());
    const std::wstring Cause = I.TextOf(IDC_LABEL30);
    I.Press(IDC_BTN_FINISH);
    ASSERT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
    const std::string Placed = InstallDir() + "VelquorManager_Uninstall.exe";
    if (Cause == kThanks)
      EXPECT_TRUE(ReadBytes(Placed) == Genuine) << "the uninstaller is not the program that ran";
    else
      EXPECT_EQ(Cause, L"설치 프로그램 파일을 확인하지 못했습니다.");
  }
  ASSERT_TRUE(FileExistsA(InstallDir() + "install.lst"));
  const std::string Private = "C:\\windows\\temp\\VelquorManager-0123456789ABCDEF\\";
  CreateDirectoryA(Private.c_str(), nullptr);
  WriteBytes(Private + "VelquorManager_Uninstall.exe", Genuine);
  const std::string Pending = PendingRenames();
  for (const std::string& Exe : {Copy, Private + "VelquorManager_Uninstall.exe"}) {
    for (const wchar_t* Values : {L"0,0", L"4,8", L"FFFFFFFFFFFFFFFF,4"}) {
      SCOPED_TRACE(Exe + " " + WideToUtf8(Values));
      TProcess Started(L"\"" + Wide(AnsiToUtf8(Exe)) + L"\" /copyof:" + Values + L" /quiet");
      ASSERT_TRUE(Started.WaitForExit(kStartTimeoutMs));
      EXPECT_EQ(Started.ExitCode(), 1639u);
    }
  }
  EXPECT_EQ(PendingRenames(), Pending);
  EXPECT_TRUE(FileExistsA(InstallDir() + "a.dll"));
  EXPECT_TRUE(FileExistsA(InstallDir() + "install.lst"));
  EXPECT_EQ(UninstallValue("DisplayName"), "Velquor 매니저");
  RemoveTree(Private);
  RemoveTree(Downloads);
}

// On a volume of 4 MiB: a file served far past its listed size is cut off as damaged (were its
// body written on, the disk would fill first), a release that needs more room than there is
// ends before its first file, and a disk that fills mid-file is named as full. Nothing of the
// file stays.
TEST_F(Faults, TheRoomOnDiskIsCheckedFirstAndABodyNeverPassesItsSize) {
  const std::string Volume = Env("VELQUOR_SMALL_VOLUME");
  if (Volume.empty()) GTEST_SKIP() << "the rig could not mount a small volume";
  TProgramFilesDirValue Value;
  Value.SetString(Volume + "Program Files");
  const std::string Dir = Volume + "Program Files\\Harlune\\VelquorManager\\";
  const std::string Big(8 << 20, 'b');
  const struct {
    const char* Name;
    std::string Manifest;
    std::wstring Cause;  // its start: the amounts depend on the volume
    bool BeforeFirstFile = false;
  } Rows[] = {
      {"a body far past its size", "[files]\r\n1=big.bin\r\n[size]\r\nbig.bin=1000\r\n",
       L"파일이 손상되었습니다: big.bin"},
      {"too little room", "[files]\r\n1=big.bin\r\n[size]\r\nbig.bin=8388608\r\n",
       L"디스크 공간이 부족합니다: ", true},
      {"a disk that fills", "[files]\r\n1=big.bin\r\n", L"디스크 공간이 부족합니다: big.bin"},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    Reset();
    RemoveTree(Volume + "Program Files");
    Server.Put("install.inf", Row.Manifest);
    Server.Put("big.bin", Big);
    TInstaller I;
    ASSERT_NE(I.Form, nullptr);
    ASSERT_TRUE(I.Install());
    const std::wstring Cause = I.TextOf(IDC_LABEL30);
    EXPECT_EQ(Cause.rfind(Row.Cause, 0), 0u) << WideToUtf8(Cause);
    if (Row.BeforeFirstFile) {
      EXPECT_NE(Cause.find(L" Byte 필요, "), std::wstring::npos);
      EXPECT_EQ(Requests(Server.Log(), "big.bin"), 0);
      EXPECT_FALSE(FolderExistsA(Dir));
    }
    EXPECT_FALSE(FileExistsA(Dir + "big.bin"));
    EXPECT_EQ(Leftovers(Dir), std::set<std::string>{});
    I.Press(IDC_BTN_FINISH);
    EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
  }
  RemoveTree(Volume + "Program Files");
}

std::vector<std::string> CanaryDlls() {
  std::vector<std::string> Dlls;
  std::stringstream List(VELQUOR_CANARY_DLLS);
  for (std::string Dll; std::getline(List, Dll, '|');) Dlls.push_back(OnDriveZ(Dll));
  return Dlls;
}

std::string FileNameOf(const std::string& Path) { return Path.substr(Path.find_last_of('\\') + 1); }

std::vector<std::string> Markers(const TTestFolder& Folder) {
  std::vector<std::string> Found;
  WIN32_FIND_DATAA Data;
  HANDLE Find = FindFirstFileA((Folder / "*.loaded").c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE) return Found;
  do Found.push_back(Data.cFileName);
  while (FindNextFileA(Find, &Data));
  FindClose(Find);
  return Found;
}

// Wine prefers its builtin DLLs unless told otherwise; native first makes it search as Windows
// does. Told per program name, as Wine takes WINEDLLOVERRIDES from the Linux environment only.
class TNativeFirst {
 public:
  TNativeFirst(const std::string& ExeName, const std::vector<std::string>& Dlls)
      : Key_("Software\\Wine\\AppDefaults\\" + ExeName) {
    const TRegKey Overrides =
        CreateOrOpenRegKey(HKEY_CURRENT_USER, Key_ + "\\DllOverrides", KEY_ALL_ACCESS);
    for (const std::string& Dll : Dlls) {
      const std::string Name = Dll.substr(0, Dll.rfind('.'));
      RegSetValueExA(Overrides.Get(), Name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
    }
  }
  ~TNativeFirst() { RegDeleteTreeA(HKEY_CURRENT_USER, Key_.c_str()); }

 private:
  static constexpr char kNativeFirst[] = "native,builtin";
  std::string Key_;
};

TEST_F(Faults, NoDllPlantedBesideTheInstallerIsLoaded) {
  const std::vector<std::string> Dlls = CanaryDlls();
  ASSERT_EQ(Dlls.size(), 7u);
  // Not version.dll: Wine's own user32 imports it before the program runs a line, so with
  // native first the canary is taken by any program with a window. Windows' user32 does not
  // import it.
  std::vector<std::string> Names;
  for (const std::string& Dll : Dlls)
    if (FileNameOf(Dll) != "version.dll") Names.push_back(FileNameOf(Dll));

  {
    SCOPED_TRACE("control: a build that imports urlmon statically loads the planted one");
    const TTestFolder Plant;
    for (const std::string& Dll : Dlls)
      ASSERT_TRUE(CopyFileA(Dll.c_str(), (Plant / FileNameOf(Dll)).c_str(), FALSE)) << Dll;
    const std::string Exe = Plant / "PlantedControl.exe";
    const TNativeFirst Order("PlantedControl.exe", Names);
    ASSERT_TRUE(CopyFileA(OnDriveZ(VELQUOR_URLMON_IMPORTER_EXE).c_str(), Exe.c_str(), FALSE));
    TProcess Control(L"\"" + Utf8ToWide(AnsiToUtf8(Exe)) + L"\"");
    ASSERT_TRUE(Control.Started());
    EXPECT_TRUE(Control.WaitForExit(kStepTimeoutMs));
    EXPECT_EQ(Markers(Plant), std::vector<std::string>{"urlmon.dll.loaded"})
        << "the test cannot see a planted DLL being loaded";
  }

  // The vendor's build through a whole signed installation, so that every DLL a run needs has
  // been loaded: the common controls and their themes, urlmon and WinINet, bcrypt for the
  // manifest's signature and the files' digests, and oleacc for an assistive tool that asks
  // a progress bar what it is.
  const TTestFolder Plant;
  for (const std::string& Dll : Dlls)
    ASSERT_TRUE(CopyFileA(Dll.c_str(), (Plant / FileNameOf(Dll)).c_str(), FALSE)) << Dll;
  const std::string Exe = Plant / "PlantedSetup.exe";
  const TNativeFirst Order("PlantedSetup.exe", Names);
  ASSERT_TRUE(CopyFileA(OnDriveZ(VELQUOR_SIGNED_INSTALLER_EXE).c_str(), Exe.c_str(), FALSE));
  Server.PutPublished(VELQUOR_SIGNED_PAYLOAD);
  {
    TInstaller I(AnsiToUtf8(Exe));
    ASSERT_NE(I.Form, nullptr);
    DWORD_PTR Object = 0;
    SendMessageTimeoutW(I.Item(IDC_PB_CURR_FILE), WM_GETOBJECT, 0, OBJID_CLIENT, SMTO_ABORTIFHUNG,
                        kStepTimeoutMs, &Object);
    EXPECT_NE(Object, 0u) << "the progress bar did not answer as an accessible object";
    ASSERT_TRUE(I.Install());
    EXPECT_EQ(I.TextOf(IDC_LABEL30), kThanks);
    EXPECT_EQ(Markers(Plant), std::vector<std::string>{});
    I.Press(IDC_BTN_FINISH);
    EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
  }
  EXPECT_EQ(Markers(Plant), std::vector<std::string>{});
}

// The shipped stall rule, waited out: 100 KB of a file, then a server that holds the
// connection and says nothing. The run must end within the rule's minute and a few seconds, the
// window answering throughout, the file named as timed out.
TEST_F(Faults, AServerThatFallsSilentEndsTheRunWithinAMinuteWhileTheWindowAnswers) {
  ServePayload(Server, {"a.dll", "b.dll"});
  Server.Put("a.dll", std::string(400 * 1024, 'a'));
  Server.Fault("a.dll", "stall=150&stall_after=102400");
  const TSnapshot Before = SnapshotDriveC();
  {
    TInstaller I;
    ASSERT_NE(I.Form, nullptr);
    const TExitWatch Exit(I.Process().Id());
    ASSERT_TRUE(I.GoToReadyPage());
    I.Press(IDC_BTN_NEXT);
    ASSERT_TRUE(
        WaitUntil([&] { return I.TextOf(IDC_LBL_ALL_FILES) == L"3 / 4"; }, kInstallTimeoutMs));
    const auto Start = std::chrono::steady_clock::now();
    int Unanswered = 0, Pings = 0;
    DWORD_PTR Result = 0;
    const bool Ended = WaitUntil(
        [&] {
          ++Pings;
          if (!SendMessageTimeoutW(I.Form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kPingTimeoutMs,
                                   &Result))
            ++Unanswered;
          if (Pings == 50) I.Shot("stall-progress.png");
          Sleep(100);
          return I.Page() == 4;
        },
        kStallTimeoutMs + kStallGraceMs);
    const auto Waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - Start);
    std::printf("stall: the run ended after %lld ms; %d of %d pings unanswered\n",
                static_cast<long long>(Waited.count()), Unanswered, Pings);
    ASSERT_TRUE(Ended) << "the stalled run did not end";
    EXPECT_EQ(Unanswered, 0);
    EXPECT_EQ(I.TextOf(IDC_LABEL29), kNotDone);
    EXPECT_EQ(I.TextOf(IDC_LABEL30), L"파일을 받지 못했습니다: a.dll (시간 초과)");
    EXPECT_EQ(Requests(Server.Log(), "b.dll"), 0);
    I.Shot("stall-complete.png");
    I.Press(IDC_BTN_FINISH);
    EXPECT_TRUE(I.Process().WaitForExit(kStepTimeoutMs));
    EXPECT_EQ(Exit.ExitCode(), kFailedExitCode);
  }
  EXPECT_EQ(ChangesOutside(Before, SnapshotDriveC(), InstallDir()), std::vector<std::string>{});
}

// An update that fails on its second file leaves that file as the first installation left it:
// the server fails it, or another program holds the installed file open (read sharing only, as
// a running program holds its files) while a changed one is published.
TEST_F(Faults, AFailedUpdateLeavesTheInstalledFilesAsTheyWere) {
  const std::pair<const char*, std::wstring> Cases[] = {
      {"status=404", L"파일을 받지 못했습니다: b.dll (HTTP 404)"},
      {"reset_after=20480", L"파일을 받지 못했습니다: b.dll"},
      {"", L"파일이 사용 중입니다: b.dll"},
  };
  for (const auto& [Fault, Cause] : Cases) {
    SCOPED_TRACE(Fault);
    Reset();
    ServePayload(Server, {"a.dll", "b.dll", "c.dll"});
    InstallAndExpect(kSuccess);
    Server.Put("b.dll", std::string(64 * 1024, 'n'));
    TFileHandle Holder;
    if (*Fault)
      Server.Fault("b.dll", Fault);
    else
      Holder.Reset(CreateFileA((InstallDir() + "b.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    InstallAndExpect({Cause, L"", true});
    EXPECT_EQ(ContentOf(InstallDir() + "a.dll"), "content of a.dll");
    EXPECT_EQ(ContentOf(InstallDir() + "b.dll"), "content of b.dll");
    EXPECT_EQ(ContentOf(InstallDir() + "c.dll"), "content of c.dll");
    EXPECT_EQ(Leftovers(InstallDir()), std::set<std::string>{});
  }
}

// An update ended outright (a forced shutdown, the task manager) loses nothing: each installed
// file is whole, the old release's or the new one's, and the next run completes and clears the
// temporary bodies the killed one left.
TEST_F(Faults, AnUpdateKilledAtAnyMomentLosesNothing) {
  const std::vector<std::string> Files = {"a.dll", "b.dll", "c.dll"};
  const auto Newer = [](const std::string& Name) { return std::string(40 * 1024, Name[0]); };
  const struct {
    const char* Name;
    const wchar_t* Counter;  // killed this long after the counter shows this
    DWORD AfterMs;
    bool InABody = false;  // while a file streams in (each takes two seconds)
  } Moments[] = {
      {"as the first file starts", L"3 / 5", 0},
      {"in the middle of the first file", L"3 / 5", 1000, true},
      {"in the middle of the second file", L"4 / 5", 1000, true},
      {"as the last file ends", L"5 / 5", 1950},
  };
  for (const auto& Moment : Moments) {
    SCOPED_TRACE(Moment.Name);
    Reset();
    ServePayload(Server, Files);
    InstallAndExpect(kSuccess);
    for (const std::string& Name : Files) {
      Server.Put(Name, Newer(Name));
      Server.Fault(Name, "throttle=20480");
    }
    {
      TInstaller I;
      ASSERT_NE(I.Form, nullptr);
      ASSERT_TRUE(I.GoToReadyPage());
      I.Press(IDC_BTN_NEXT);
      ASSERT_TRUE(WaitUntil([&] { return I.TextOf(IDC_LBL_ALL_FILES) == Moment.Counter; },
                            kInstallTimeoutMs));
      Sleep(Moment.AfterMs);
    }  // killed here
    if (Moment.InABody) {
      EXPECT_EQ(Leftovers(InstallDir()).size(), 1u)
          << "the killed run left no body for the next to clear";
    }
    for (const std::string& Name : Files) {
      const std::string Content = ContentOf(InstallDir() + Name);
      EXPECT_TRUE(Content == "content of " + Name || Content == Newer(Name))
          << Name << " is neither release: " << Content.size() << " bytes";
    }
    Server.Clear();
    InstallAndExpect(kSuccess);
    for (const std::string& Name : Files)
      EXPECT_TRUE(ContentOf(InstallDir() + Name) == Newer(Name));
    EXPECT_EQ(Leftovers(InstallDir()), std::set<std::string>{});
  }
}

// Any program of the user can point the temporary folder (TEMP and TMP) at a link to another
// folder. (Late in the matrix: in the same Wine session, a program that ran with its temporary
// folder behind a link leaves Wine 8 unable to load a planted DLL from another temporary
// folder, which the planted-DLL row's control then misses.) The elevated installer still completes,
// and creates, changes and deletes nothing there: not the manifest's copy, not its placeholder, not
// the script it removes from its own temporary folder.
TEST_F(Faults, ATemporaryFolderThatLeadsElsewhereIsNotWrittenThrough) {
  ServePayload(Server, {"a.dll"});
  const std::string Elsewhere = "C:\\elsewhere\\", Linked = "C:\\linked-temp";
  RemoveTree(Elsewhere);
  CreateDirectoryA(Elsewhere.c_str(), nullptr);
  WriteBytes(Elsewhere + "___addfirewall.bat", "@echo off\r\n");
  ASSERT_TRUE(MakeSymbolicLink(Linked, Elsewhere));
  {
    const TScopedEnv Temp("TEMP", Linked.c_str()), Tmp("TMP", Linked.c_str());
    InstallAndExpect(kSuccess);
  }
  EXPECT_EQ(NamesMatching(Elsewhere + "*"),
            (std::set<std::string>{".", "..", "___addfirewall.bat"}));
  EXPECT_EQ(ContentOf(Elsewhere + "___addfirewall.bat"), "@echo off\r\n");
  EXPECT_EQ(ContentOf(InstallDir() + "a.dll"), "content of a.dll");
  RemoveSymbolicLink(Linked);
  RemoveTree(Elsewhere);
}

// Last: it stops the install server (the run script starts it again).
TEST_F(Faults, ZARefusedConnectionForTheManifestEndsWithItsCause) {
  Server.Get("/_control/shutdown");
  ASSERT_TRUE(WaitUntil([&] { return Server.Get("/_control/log").empty(); }, kStepTimeoutMs));
  InstallAndExpect({kManifestMissing});
}

}  // namespace
