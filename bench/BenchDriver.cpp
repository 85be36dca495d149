// The bench's driver, a Windows program in the same Wine session as the programs it measures.
//   bench_driver startup RUNS NAME CLASS CAPTION EXE [NAME CLASS CAPTION EXE ...]
//       starts each program once per round, RUNS rounds, each round beginning with the next
//       program, and times each from CreateProcess to its first painted window: its top-level
//       window of that class and caption visible, and then the process idle (WaitForInputIdle),
//       so a window that is still being filled or painted is not counted; prints one line per
//       start, with the visible controls at that moment and half a second later.
//   bench_driver phases RUNS CLASS CAPTION EXE FILE
//       starts a build made for the purpose RUNS times; after each start reads the marks it
//       wrote into FILE (the performance counter, in ms, when start-up reached each phase) and
//       prints them as times since CreateProcess.
//   bench_driver install EXE [--minimized]
//       walks the installer's wizard to the ready page, presses Next and times until the
//       completion page shows (and until the counter first changes, when the manifest has been
//       read); prints the times, the completion texts and the peak working set.
//       --minimized minimizes the window right after Next, so the run paints nothing.
//   bench_driver probe EXE INTERVAL_MS
//       the same walk, then sends WM_NULL with SendMessageTimeout every INTERVAL_MS while the
//       installation runs; prints each latency with the download's state when it was sent and
//       when it was answered.
//   bench_driver peer-install EXE CAPTION
//       walks the NSIS peer's wizard (welcome, licence), presses its agreement button, which
//       starts the installation, and times until the finish page shows; prints the time and
//       the peak working set.
// Controls are read with InternalGetWindowText, which sends no message, so a window busy in a
// download cannot block the reader; buttons are pressed by posting BM_CLICK (Next blocks).
// Output lines are "key=value ..." for scripts/bench.sh.

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <functional>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "gui/GuiDriver.h"

namespace {

// Reading and pressing controls as the GUI tests do; the waits here poll finer, for timing.
using GuiDriver::Control;
using GuiDriver::Enabled;
using GuiDriver::Text;
using GuiDriver::Visible;

constexpr DWORD kStepTimeoutMs = 30000;
constexpr DWORD kInstallTimeoutMs = 600000;
constexpr DWORD kExitTimeoutMs = 10000;
// Long enough that a reply never times out during a download; a timeout is reported as such.
constexpr UINT kProbeTimeoutMs = 20000;
constexpr wchar_t kInstFormClass[] = L"TInstForm";
constexpr wchar_t kFailedHeadline[] = L"프로그램 설치를 완료하지 못했습니다.";
// The NSIS wizard: its buttons and the controls that tell its pages apart, by the ids that its
// stub and Modern UI give them.
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kNsisLicenceText = 1000;   // the licence page's text box
constexpr int kNsisProgressBar = 1004;   // the install files page's bar
constexpr int kNsisDialogsFirst = 1200;  // the first control of a welcome or finish page

// Milliseconds since 1970 on the clock the server's log uses, to place a run among its requests.
double EpochMs() {
  FILETIME Now;
  GetSystemTimePreciseAsFileTime(&Now);
  constexpr double kFileTimeAt1970 = 116444736000000000.0;
  const ULONGLONG Ticks = (static_cast<ULONGLONG>(Now.dwHighDateTime) << 32) | Now.dwLowDateTime;
  return (static_cast<double>(Ticks) - kFileTimeAt1970) / 10000.0;
}

double NowMs() {
  static const double Frequency = [] {
    LARGE_INTEGER Value;
    QueryPerformanceFrequency(&Value);
    return static_cast<double>(Value.QuadPart);
  }();
  LARGE_INTEGER Count;
  QueryPerformanceCounter(&Count);
  return 1000.0 * static_cast<double>(Count.QuadPart) / Frequency;
}

std::string Utf8(const std::wstring& Text) {
  if (Text.empty()) return {};
  const int Size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string Result(static_cast<size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Size,
                      nullptr, nullptr);
  return Result;
}

// Polls at a millisecond, so a measured step is not rounded up to a coarse poll.
bool WaitUntil(const std::function<bool()>& Condition, DWORD TimeoutMs) {
  const double Deadline = NowMs() + TimeoutMs;
  for (;;) {
    if (Condition()) return true;
    if (NowMs() >= Deadline) return false;
    Sleep(1);
  }
}

// A control's text without its blanks ("3 / 3" -> "3/3"), one word on an output line.
std::string Word(const std::wstring& Text) {
  std::wstring Packed;
  for (wchar_t Char : Text)
    if (!iswspace(Char)) Packed += Char;
  return Utf8(Packed);
}

// The visible top-level window of class ClassName (and caption Caption, when given) that
// process ProcessId owns, or nullptr. The caption tells an NSIS wizard from any other dialog.
HWND FindProcessWindow(DWORD ProcessId, const wchar_t* ClassName, const wchar_t* Caption) {
  struct TSearch {
    DWORD ProcessId;
    const wchar_t* ClassName;
    const wchar_t* Caption;
    HWND Found;
  } Search = {ProcessId, ClassName, Caption, nullptr};
  EnumWindows(
      [](HWND Window, LPARAM Param) -> BOOL {
        auto* S = reinterpret_cast<TSearch*>(Param);
        DWORD Owner = 0;
        GetWindowThreadProcessId(Window, &Owner);
        wchar_t Class[64];
        if (Owner != S->ProcessId || !IsWindowVisible(Window) ||
            !GetClassNameW(Window, Class, 64) || lstrcmpW(Class, S->ClassName) != 0 ||
            (S->Caption && Text(Window) != S->Caption))
          return TRUE;
        S->Found = Window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

// The visible windows inside Window, at any depth: a frame shown before its page is filled
// has fewer than it has later.
int VisibleControls(HWND Window) {
  int Count = 0;
  EnumChildWindows(
      Window,
      [](HWND Child, LPARAM Param) -> BOOL {
        if (IsWindowVisible(Child)) ++*reinterpret_cast<int*>(Param);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Count));
  return Count;
}

class TChild;
// The program being measured, ended by Fail too: left running it would hold the output open.
TChild* RunningChild = nullptr;

// A program the driver started, ended at the latest when the driver lets go of it.
class TChild {
 public:
  explicit TChild(const std::wstring& Exe) {
    STARTUPINFOW Startup = {};
    Startup.cb = sizeof Startup;
    std::wstring CommandLine = L"\"" + Exe + L"\"";
    StartMs_ = NowMs();
    if (!CreateProcessW(Exe.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &Startup, &Info_)) {
      std::fprintf(stderr, "bench_driver: cannot start %s (error %lu)\n", Utf8(Exe).c_str(),
                   GetLastError());
      std::exit(1);
    }
    CloseHandle(Info_.hThread);
    RunningChild = this;
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  ~TChild() {
    RunningChild = nullptr;
    if (Window_) PostMessageW(Window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(Info_.hProcess, kExitTimeoutMs) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "bench_driver: the program did not end; terminating it\n");
      TerminateProcess(Info_.hProcess, 1);
      WaitForSingleObject(Info_.hProcess, kExitTimeoutMs);
    }
    CloseHandle(Info_.hProcess);
  }

  void Terminate() { TerminateProcess(Info_.hProcess, 1); }
  HWND Window() const { return Window_; }
  double StartMs() const { return StartMs_; }
  HWND WaitForWindow(const wchar_t* ClassName, const wchar_t* Caption = nullptr) {
    WaitUntil(
        [&] {
          return (Window_ = FindProcessWindow(Info_.dwProcessId, ClassName, Caption)) != nullptr;
        },
        kStepTimeoutMs);
    return Window_;
  }
  // Until the program waits for input with nothing left to handle: its first window is then
  // created, filled and painted.
  bool WaitForIdle() const { return WaitForInputIdle(Info_.hProcess, kStepTimeoutMs) == 0; }
  // The process's peak working set in bytes (Wine reads the high-water mark of its resident set).
  size_t PeakWorkingSet() const {
    PROCESS_MEMORY_COUNTERS Counters = {};
    Counters.cb = sizeof Counters;
    return GetProcessMemoryInfo(Info_.hProcess, &Counters, sizeof Counters)
               ? Counters.PeakWorkingSetSize
               : 0;
  }

 private:
  PROCESS_INFORMATION Info_ = {};
  double StartMs_ = 0;
  HWND Window_ = nullptr;
};

[[noreturn]] void Fail(const char* What) {
  std::fprintf(stderr, "bench_driver: %s\n", What);
  std::fflush(stdout);
  if (RunningChild) RunningChild->Terminate();
  std::exit(1);
}

// Welcome page, agreement page with the box ticked, ready page: as a user would press through.
// The agreement box is looked up once its page shows: the other pages' controls come after the
// window's first frame.
void WalkToReadyPage(HWND Form) {
  const HWND Next = Control(Form, IDC_BTN_NEXT);
  if (!Next) Fail("the installer window lacks its Next button");
  if (!WaitUntil([&] { return Enabled(Next); }, kStepTimeoutMs)) Fail("Next never enabled");
  PostMessageW(Next, BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return Visible(Control(Form, IDC_TS_OPTION)); }, kStepTimeoutMs))
    Fail("the agreement page did not show");
  const HWND Agree = Control(Form, IDC_CHK_OK);
  if (!Agree) Fail("the agreement page lacks its agreement box");
  PostMessageW(Agree, BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return Enabled(Next); }, kStepTimeoutMs))
    Fail("Next stayed disabled after the agreement");
  PostMessageW(Next, BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return Visible(Control(Form, IDC_TS_READY)) && Enabled(Next); },
                 kStepTimeoutMs))
    Fail("the ready page did not show");
}

// The completion page's headline names a failed installation (and the label below it, why).
bool Succeeded(HWND Form) { return Text(Control(Form, IDC_LABEL29)) != kFailedHeadline; }

void PrintCompletion(HWND Form) {
  std::printf("label29=%s\n", Utf8(Text(Control(Form, IDC_LABEL29))).c_str());
  std::printf("label30=%s\n", Utf8(Text(Control(Form, IDC_LABEL30))).c_str());
}

struct TProgram {
  std::string Name;
  const wchar_t* ClassName;
  const wchar_t* Caption;
  const wchar_t* Exe;
};

// When a start reached its visible window and its first idle, in ms since CreateProcess.
struct TStarted {
  double VisibleMs = 0;
  double IdleMs = 0;
};

TStarted Start(TChild& Child, const TProgram& Program) {
  if (!Child.WaitForWindow(Program.ClassName, Program.Caption)) Fail("no window appeared");
  TStarted Started;
  Started.VisibleMs = NowMs() - Child.StartMs();
  if (!Child.WaitForIdle()) Fail("the program never went idle");
  Started.IdleMs = NowMs() - Child.StartMs();
  return Started;
}

int Startup(int Runs, const std::vector<TProgram>& Programs) {
  const size_t Count = Programs.size();
  for (int Run = 0; Run < Runs; ++Run) {
    // Each round starts with another program, so none always meets the cache another left.
    for (size_t Turn = 0; Turn < Count; ++Turn) {
      const TProgram& Program = Programs[(static_cast<size_t>(Run) + Turn) % Count];
      TChild Child(Program.Exe);
      const TStarted Started = Start(Child, Program);
      const int Controls = VisibleControls(Child.Window());
      // Let the idle step and anything posted run, then read the settled window and memory.
      Sleep(500);
      std::printf(
          "startup program=%s visible_ms=%.1f ms=%.1f controls=%d settled_controls=%d "
          "peak_ws=%zu\n",
          Program.Name.c_str(), Started.VisibleMs, Started.IdleMs, Controls,
          VisibleControls(Child.Window()), Child.PeakWorkingSet());
      std::fflush(stdout);
    }
  }
  return 0;
}

// The marks of a build made for the purpose: "name=counter_ms" lines, written at its first idle.
int Phases(int Runs, const TProgram& Program, const wchar_t* File) {
  for (int Run = 0; Run < Runs; ++Run) {
    DeleteFileW(File);
    TChild Child(Program.Exe);
    const TStarted Started = Start(Child, Program);
    FILE* Marks = nullptr;
    WaitUntil([&] { return (Marks = _wfopen(File, L"r")) != nullptr; }, kStepTimeoutMs);
    if (!Marks) Fail("the program wrote no start-up marks");
    std::printf("phases ms=%.1f", Started.IdleMs);
    char Name[64];
    double AtMs = 0;
    while (std::fscanf(Marks, " %63[^=]=%lf", Name, &AtMs) == 2)
      std::printf(" %s=%.2f", Name, AtMs - Child.StartMs());
    std::fclose(Marks);
    std::printf("\n");
    std::fflush(stdout);
  }
  return 0;
}

// Minimized, the window paints nothing: the difference to a normal run is the painting's cost.
int Install(const wchar_t* Exe, bool Minimized) {
  TChild Child(Exe);
  const HWND Form = Child.WaitForWindow(kInstFormClass);
  if (!Form) Fail("the installer window did not appear");
  WalkToReadyPage(Form);
  const HWND Complete = Control(Form, IDC_TS_COMPLETE);
  const HWND Counter = Control(Form, IDC_LBL_ALL_FILES);
  const double Start = NowMs();
  const double StartEpoch = EpochMs();
  PostMessageW(Control(Form, IDC_BTN_NEXT), BM_CLICK, 0, 0);
  if (Minimized) ShowWindowAsync(Form, SW_MINIMIZE);
  // The counter shows its design-time text until the manifest has been read.
  const std::wstring DesignCounter = Text(Counter);
  double CounterMs = 0;
  if (!WaitUntil(
          [&] {
            if (CounterMs == 0 && Text(Counter) != DesignCounter) CounterMs = NowMs() - Start;
            return Visible(Complete);
          },
          kInstallTimeoutMs))
    Fail("the completion page did not show");
  const double Elapsed = NowMs() - Start;
  std::printf(
      "install install_ms=%.1f counter_ms=%.1f peak_ws=%zu install_ok=%d start_epoch_ms=%.1f "
      "end_epoch_ms=%.1f\n",
      Elapsed, CounterMs, Child.PeakWorkingSet(), Succeeded(Form) ? 1 : 0, StartEpoch, EpochMs());
  PrintCompletion(Form);
  return 0;
}

// The peer's walk: Next on the welcome page, then the licence page's agreement, which starts
// the installation; it ends when the finish page replaces the install files page.
int PeerInstall(const wchar_t* Exe, const wchar_t* Caption) {
  TChild Child(Exe);
  const HWND Wizard = Child.WaitForWindow(kDialogClass, Caption);
  if (!Wizard) Fail("the peer's window did not appear");
  const HWND Next = GetDlgItem(Wizard, IDOK);
  const HWND Cancel = GetDlgItem(Wizard, IDCANCEL);
  if (!WaitUntil([&] { return Enabled(Next) && Visible(Control(Wizard, kNsisDialogsFirst)); },
                 kStepTimeoutMs))
    Fail("the peer's welcome page did not show");
  PostMessageW(Next, BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return Visible(Control(Wizard, kNsisLicenceText)) && Enabled(Next); },
                 kStepTimeoutMs))
    Fail("the peer's licence page did not show");
  const double Start = NowMs();
  PostMessageW(Next, BM_CLICK, 0, 0);
  // An aborted installation stays on its page with only Cancel usable (while it runs, Cancel
  // is disabled too); a second of that state is taken as the end.
  constexpr double kSettledMs = 1000;
  double AbortedSince = 0;
  bool Aborted = false;
  const bool Finished = WaitUntil(
      [&] {
        const HWND Bar = Control(Wizard, kNsisProgressBar);
        if (!(Bar && Enabled(Cancel) && !Enabled(Next)))
          AbortedSince = 0;
        else if (AbortedSince == 0)
          AbortedSince = NowMs();
        Aborted = AbortedSince != 0 && NowMs() - AbortedSince > kSettledMs;
        return Aborted || (!Bar && Visible(Control(Wizard, kNsisDialogsFirst)));
      },
      kInstallTimeoutMs);
  const double Elapsed = NowMs() - Start;
  std::printf("peer install_ms=%.1f peak_ws=%zu install_ok=%d\n", Elapsed, Child.PeakWorkingSet(),
              Finished && !Aborted ? 1 : 0);
  // Finish ends it; a close request on that page is not enough.
  if (Finished && !Aborted) PostMessageW(Next, BM_CLICK, 0, 0);
  return 0;
}

int Probe(const wchar_t* Exe, int IntervalMs) {
  TChild Child(Exe);
  const HWND Form = Child.WaitForWindow(kInstFormClass);
  if (!Form) Fail("the installer window did not appear");
  WalkToReadyPage(Form);
  const HWND Complete = Control(Form, IDC_TS_COMPLETE);
  const HWND Counter = Control(Form, IDC_LBL_ALL_FILES);
  const HWND Bar = Control(Form, IDC_PB_CURR_FILE);
  PostMessageW(Control(Form, IDC_BTN_NEXT), BM_CLICK, 0, 0);

  struct TSample {
    double AtMs, LatencyMs;
    bool Answered;
    std::wstring Counter, Bar, CounterAfter, BarAfter;
  };
  std::vector<TSample> Samples;
  const double Start = NowMs();
  double Due = Start;
  while (!Visible(Complete)) {
    if (NowMs() - Start > kInstallTimeoutMs) Fail("the completion page did not show");
    // The state as it stood when the message went out: the latency belongs to that phase.
    TSample Sample{NowMs() - Start, 0, false, Text(Counter), Text(Bar), {}, {}};
    DWORD_PTR Result = 0;
    const double Sent = NowMs();
    Sample.Answered =
        SendMessageTimeoutW(Form, WM_NULL, 0, 0, SMTO_NORMAL, kProbeTimeoutMs, &Result) != 0;
    Sample.LatencyMs = NowMs() - Sent;
    Sample.CounterAfter = Text(Counter);
    Sample.BarAfter = Text(Bar);
    Samples.push_back(std::move(Sample));
    // A fixed schedule: a late answer is followed at once by the next message.
    Due += IntervalMs;
    const double Wait = Due - NowMs();
    if (Wait > 0)
      Sleep(static_cast<DWORD>(Wait));
    else
      Due = NowMs();
  }
  for (const TSample& Sample : Samples)
    std::printf(
        "probe at_ms=%.1f latency_ms=%.3f answered=%d counter=%s bar=%s counter_after=%s "
        "bar_after=%s\n",
        Sample.AtMs, Sample.LatencyMs, Sample.Answered ? 1 : 0, Word(Sample.Counter).c_str(),
        Word(Sample.Bar).c_str(), Word(Sample.CounterAfter).c_str(), Word(Sample.BarAfter).c_str());
  std::printf("probed install_ok=%d\n", Succeeded(Form) ? 1 : 0);
  PrintCompletion(Form);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring Mode = argc > 1 ? argv[1] : L"";
  if (Mode == L"startup" && argc >= 7 && (argc - 3) % 4 == 0) {
    std::vector<TProgram> Programs;
    for (int i = 3; i < argc; i += 4)
      Programs.push_back({Utf8(argv[i]), argv[i + 1], argv[i + 2], argv[i + 3]});
    return Startup(_wtoi(argv[2]), Programs);
  }
  if (Mode == L"phases" && argc == 7)
    return Phases(_wtoi(argv[2]), {"phases", argv[3], argv[4], argv[5]}, argv[6]);
  if (Mode == L"install" && (argc == 3 || (argc == 4 && std::wstring(argv[3]) == L"--minimized")))
    return Install(argv[2], argc == 4);
  if (Mode == L"peer-install" && argc == 4) return PeerInstall(argv[2], argv[3]);
  if (Mode == L"probe" && argc == 4) return Probe(argv[2], _wtoi(argv[3]));
  std::fprintf(
      stderr,
      "usage: bench_driver startup RUNS NAME CLASS CAPTION EXE [NAME CLASS CAPTION EXE ...]\n"
      "       bench_driver phases RUNS CLASS CAPTION EXE FILE\n"
      "       bench_driver install EXE [--minimized]\n"
      "       bench_driver peer-install EXE CAPTION\n"
      "       bench_driver probe EXE INTERVAL_MS\n");
  return 2;
}
