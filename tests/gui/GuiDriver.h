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
// Saves the screen area of Window (nullptr: the whole desktop) as a PNG file.
bool SaveScreenshot(HWND Window, const std::wstring& Path);

}  // namespace GuiDriver
