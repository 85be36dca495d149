#include "gui/GuiDriver.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace GuiDriver {

namespace {

constexpr DWORD kPollMs = 50;

}  // namespace

bool UseDesktop(const std::wstring& Name) {
  // The handle stays open for the life of the process: the thread keeps using the desktop.
  HDESK Desktop = OpenDesktopW(Name.c_str(), 0, FALSE, GENERIC_ALL);
  return Desktop && SetThreadDesktop(Desktop);
}

SIZE DesktopSize() {
  RECT Desktop;
  GetWindowRect(GetDesktopWindow(), &Desktop);
  return {Desktop.right - Desktop.left, Desktop.bottom - Desktop.top};
}

bool WaitUntil(const std::function<bool()>& Condition, DWORD TimeoutMs) {
  const ULONGLONG Deadline = GetTickCount64() + TimeoutMs;
  for (;;) {
    if (Condition()) return true;
    if (GetTickCount64() >= Deadline) return false;
    Sleep(kPollMs);
  }
}

HWND WaitForWindow(std::wstring_view Caption, DWORD TimeoutMs, const wchar_t* ClassName) {
  HWND Found = nullptr;
  WaitUntil(
      [&] {
        for (HWND Window = FindWindowExW(nullptr, nullptr, ClassName, nullptr); Window;
             Window = FindWindowExW(nullptr, Window, ClassName, nullptr)) {
          if (Text(Window) == Caption && IsWindowVisible(Window)) {
            Found = Window;
            return true;
          }
        }
        return false;
      },
      TimeoutMs);
  return Found;
}

HWND Control(HWND Top, int Id) {
  struct TSearch {
    int Id;
    HWND Found;
  } Search = {Id, nullptr};
  EnumChildWindows(
      Top,
      [](HWND Child, LPARAM Param) -> BOOL {
        auto* S = reinterpret_cast<TSearch*>(Param);
        if (GetDlgCtrlID(Child) != S->Id) return TRUE;
        S->Found = Child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

std::wstring Text(HWND Window) {
  std::vector<wchar_t> Buffer(4096);
  const int Length = InternalGetWindowText(Window, Buffer.data(), static_cast<int>(Buffer.size()));
  return std::wstring(Buffer.data(), Length > 0 ? static_cast<size_t>(Length) : 0);
}

bool Visible(HWND Window) { return IsWindowVisible(Window) != FALSE; }
bool Enabled(HWND Window) { return IsWindowEnabled(Window) != FALSE; }

RECT RectIn(HWND Window, HWND Parent) {
  RECT Rect;
  GetWindowRect(Window, &Rect);
  MapWindowPoints(nullptr, Parent, reinterpret_cast<POINT*>(&Rect), 2);
  return Rect;
}

SIZE ClientSize(HWND Window) {
  RECT Client;
  GetClientRect(Window, &Client);
  return {Client.right, Client.bottom};
}

SIZE OuterSize(HWND Window) {
  RECT Outer;
  GetWindowRect(Window, &Outer);
  return {Outer.right - Outer.left, Outer.bottom - Outer.top};
}

void Click(HWND Button) { PostMessageW(Button, BM_CLICK, 0, 0); }

void PressKey(HWND Window, UINT VirtualKey) {
  GUITHREADINFO Info = {};
  Info.cbSize = sizeof Info;
  HWND Target = Window;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(Window, nullptr), &Info) && Info.hwndFocus)
    Target = Info.hwndFocus;
  const UINT Scan = MapVirtualKeyW(VirtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(Target, WM_KEYDOWN, VirtualKey, 1 | (static_cast<LPARAM>(Scan) << 16));
  PostMessageW(Target, WM_KEYUP, VirtualKey, 1 | (static_cast<LPARAM>(Scan) << 16) | (3LL << 30));
}

void TypeKey(UINT VirtualKey, bool Shift) {
  INPUT Keys[4] = {};
  UINT Count = 0;
  const auto Add = [&](UINT Key, DWORD Flags) {
    Keys[Count].type = INPUT_KEYBOARD;
    Keys[Count].ki.wVk = static_cast<WORD>(Key);
    Keys[Count].ki.wScan = static_cast<WORD>(MapVirtualKeyW(Key, MAPVK_VK_TO_VSC));
    Keys[Count].ki.dwFlags = Flags;
    ++Count;
  };
  if (Shift) Add(VK_SHIFT, 0);
  Add(VirtualKey, 0);
  Add(VirtualKey, KEYEVENTF_KEYUP);
  if (Shift) Add(VK_SHIFT, KEYEVENTF_KEYUP);
  SendInput(Count, Keys, sizeof(INPUT));
}

namespace {

GUITHREADINFO GuiThreadOf(HWND Window) {
  GUITHREADINFO Info = {};
  Info.cbSize = sizeof Info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(Window, nullptr), &Info)) return {};
  return Info;
}

}  // namespace

HWND FocusOf(HWND Window) { return GuiThreadOf(Window).hwndFocus; }

HWND ActiveOf(HWND Window) { return GuiThreadOf(Window).hwndActive; }

void PressCloseBox(HWND Window) { PostMessageW(Window, WM_SYSCOMMAND, SC_CLOSE, 0); }

bool Checked(HWND CheckBox) {
  DWORD_PTR State = 0;
  SendMessageTimeoutW(CheckBox, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &State);
  return State == BST_CHECKED;
}

TProcess::TProcess(const std::wstring& CommandLine) {
  std::wstring Line = CommandLine;
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Info = {};
  if (CreateProcessW(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup,
                     &Info)) {
    CloseHandle(Info.hThread);
    Process_ = Info.hProcess;
    Id_ = Info.dwProcessId;
  }
}

TProcess::~TProcess() {
  if (!Process_) return;
  if (Running()) {
    TerminateProcess(Process_, 1);
    WaitForSingleObject(Process_, 5000);
  }
  CloseHandle(Process_);
}

bool TProcess::WaitForExit(DWORD TimeoutMs) {
  return Process_ && WaitForSingleObject(Process_, TimeoutMs) == WAIT_OBJECT_0;
}

bool TProcess::WaitForIdle(DWORD TimeoutMs) const {
  return Process_ && WaitForInputIdle(Process_, TimeoutMs) == 0;
}

bool TProcess::Running() const {
  return Process_ && WaitForSingleObject(Process_, 0) == WAIT_TIMEOUT;
}

DWORD TProcess::ExitCode() const {
  DWORD Code = STILL_ACTIVE;
  if (Process_) GetExitCodeProcess(Process_, &Code);
  return Code;
}

HWND TProcess::WaitForWindow(std::wstring_view Caption, DWORD TimeoutMs,
                             const wchar_t* ClassName) const {
  HWND Found = nullptr;
  WaitUntil(
      [&] {
        for (HWND Window = FindWindowExW(nullptr, nullptr, ClassName, nullptr); Window;
             Window = FindWindowExW(nullptr, Window, ClassName, nullptr)) {
          DWORD Owner = 0;
          GetWindowThreadProcessId(Window, &Owner);
          if (Owner == Id_ && IsWindowVisible(Window) && Text(Window) == Caption) {
            Found = Window;
            return true;
          }
        }
        return false;
      },
      TimeoutMs);
  return Found;
}

bool SaveScreenshot(HWND Window, const std::wstring& Path) {
  RECT Area;
  GetWindowRect(Window ? Window : GetDesktopWindow(), &Area);
  const int Width = Area.right - Area.left;
  const int Height = Area.bottom - Area.top;
  if (Width <= 0 || Height <= 0) return false;

  HDC Screen = GetDC(nullptr);
  HDC Memory = CreateCompatibleDC(Screen);
  HBITMAP Bitmap = CreateCompatibleBitmap(Screen, Width, Height);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, Width, Height, Screen, Area.left, Area.top, SRCCOPY);
  SelectObject(Memory, Old);
  DeleteDC(Memory);
  ReleaseDC(nullptr, Screen);

  bool Saved = false;
  ComPtr<IWICImagingFactory> Factory;
  ComPtr<IWICBitmap> Image;
  ComPtr<IWICStream> Stream;
  ComPtr<IWICBitmapEncoder> Encoder;
  ComPtr<IWICBitmapFrameEncode> Frame;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_PPV_ARGS(&Factory))) &&
      SUCCEEDED(Factory->CreateBitmapFromHBITMAP(Bitmap, nullptr, WICBitmapIgnoreAlpha, &Image)) &&
      SUCCEEDED(Factory->CreateStream(&Stream)) &&
      SUCCEEDED(Stream->InitializeFromFilename(Path.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(Factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &Encoder)) &&
      SUCCEEDED(Encoder->Initialize(Stream.Get(), WICBitmapEncoderNoCache)) &&
      SUCCEEDED(Encoder->CreateNewFrame(&Frame, nullptr)) &&
      SUCCEEDED(Frame->Initialize(nullptr)) &&
      SUCCEEDED(Frame->WriteSource(Image.Get(), nullptr)) && SUCCEEDED(Frame->Commit()) &&
      SUCCEEDED(Encoder->Commit()))
    Saved = true;
  DeleteObject(Bitmap);
  return Saved;
}

}  // namespace GuiDriver
