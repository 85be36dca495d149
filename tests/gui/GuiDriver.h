#pragma once
// Drives a window of another process as a user would see it: finds it by its caption on a Wine
// virtual desktop, reads its controls without sending them messages, presses buttons by posting
// BM_CLICK (a handler may block), and saves what the screen shows as PNG.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace GuiDriver {

// Moves this thread onto the named desktop. Must run before the thread owns any window.
bool UseDesktop(const std::wstring& Name);
// The desktop's size, the "screen" of the programs on it.
SIZE DesktopSize();

// Polls Condition every few milliseconds until it holds or TimeoutMs has passed.
bool WaitUntil(const std::function<bool()>& Condition, DWORD TimeoutMs);
// The top-level window with exactly this caption (and class, when given); nullptr on timeout.
HWND WaitForWindow(std::wstring_view Caption, DWORD TimeoutMs, const wchar_t* ClassName = nullptr);
// The descendant of Top with this control ID, at any depth; nullptr when there is none.
HWND Control(HWND Top, int Id);

// The window's text as stored, read without a message, so a busy owner cannot block the reader.
std::wstring Text(HWND Window);
bool Visible(HWND Window);
bool Enabled(HWND Window);
// The window's rectangle in the client coordinates of Parent.
RECT RectIn(HWND Window, HWND Parent);
SIZE ClientSize(HWND Window);
SIZE OuterSize(HWND Window);

void Click(HWND Button);
// Posts a key press (down and up) to the window that has the keyboard focus in Window's thread,
// as the keyboard would deliver it.
void PressKey(HWND Window, UINT VirtualKey);
// Types a key (with Shift held, when asked) on the keyboard of this desktop: it reaches the focused
// control of whichever window is active, as a user's key press would.
void TypeKey(UINT VirtualKey, bool Shift = false);
// The control that has the keyboard focus in Window's thread; nullptr when none has it.
HWND FocusOf(HWND Window);
// The active window of Window's thread; nullptr when none is.
HWND ActiveOf(HWND Window);
// What the close box and the system menu's Close do.
void PressCloseBox(HWND Window);
// A check box's state, asked with a bounded wait.
bool Checked(HWND CheckBox);
// Saves the screen area of Window (nullptr: the whole desktop) as a PNG file.
bool SaveScreenshot(HWND Window, const std::wstring& Path);

// A program started on this thread's desktop and ended, if still running, when the object goes.
class TProcess {
 public:
  explicit TProcess(const std::wstring& CommandLine);
  ~TProcess();
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;
  bool Started() const { return Process_ != nullptr; }
  DWORD Id() const { return Id_; }
  bool WaitForExit(DWORD TimeoutMs);
  // Until the program waits for input with nothing left to handle (its window painted).
  bool WaitForIdle(DWORD TimeoutMs) const;
  bool Running() const;
  // Its exit code once it has ended; STILL_ACTIVE before.
  DWORD ExitCode() const;
  // The visible top-level window of this process with exactly this caption (and class).
  HWND WaitForWindow(std::wstring_view Caption, DWORD TimeoutMs,
                     const wchar_t* ClassName = nullptr) const;

 private:
  HANDLE Process_ = nullptr;
  DWORD Id_ = 0;
};

}  // namespace GuiDriver
