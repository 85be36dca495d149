#include "app/Application.h"

#include <objbase.h>

#include <stdexcept>

#include "app/ErrorText.h"
#include "app/StartupPhases.h"
#include "app/res/ResourceIds.h"
#include "win32/Text.h"

TApplication Application;

namespace {

constexpr wchar_t kApplicationClass[] = L"TApplication";

}  // namespace

TApplication::~TApplication() { Finalize(); }

void TApplication::Initialize() {
  ComStarted_ = SUCCEEDED(CoInitialize(nullptr));
  SetMessageDispatcher(this);
}

void TApplication::Finalize() {
  SetMessageDispatcher(nullptr);
  Handle_.Reset();
  if (ComStarted_) CoUninitialize();
  ComStarted_ = false;
}

void TApplication::SetTitle(std::wstring Title) {
  Title_ = std::move(Title);
  if (Handle_) SetWindowTextW(Handle_.Get(), Title_.c_str());
}

HWND TApplication::Handle() {
  if (Handle_) return Handle_.Get();
  const HINSTANCE Instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW Class = {};
  Class.cbSize = sizeof Class;
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.hIcon = LoadIconW(Instance, MAKEINTRESOURCEW(IDI_MAINICON));
  Class.lpszClassName = kApplicationClass;
  RegisterClassExW(&Class);
  // Visible but without size: a taskbar button needs a visible unowned window.
  Handle_.Reset(CreateWindowExW(0, kApplicationClass, Title_.c_str(), WS_POPUP | WS_SYSMENU,
                                GetSystemMetrics(SM_CXSCREEN) / 2,
                                GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, Instance,
                                nullptr));
  if (Handle_) ShowWindow(Handle_.Get(), SW_SHOWNOACTIVATE);
  return Handle_.Get();
}

LRESULT CALLBACK TApplication::WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                          LPARAM lParam) noexcept {
  switch (Message) {
    case WM_ACTIVATE:
      // Activation through the taskbar lands here; pass it on to the window the user works in.
      if (LOWORD(wParam) != WA_INACTIVE) {
        HWND Popup = GetLastActivePopup(Window);
        if (Popup && Popup != Window && IsWindowEnabled(Popup)) SetActiveWindow(Popup);
      }
      return 0;
    case WM_QUERYENDSESSION:
      return Application.EndSessionHeld() ? FALSE : TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        if (Application.MainWindow) PostMessageW(Application.MainWindow, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(Window, Message, wParam, lParam);
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleMessage(const MSG& Msg) noexcept {
  if (Msg.message == WM_QUIT) {
    Terminated_ = true;
  } else if (MainWindow && IsDialogMessageW(MainWindow, const_cast<MSG*>(&Msg))) {
    // Tab and the arrow keys move the focus between the main window's controls.
  } else {
    TranslateMessage(&Msg);
    DispatchMessageW(&Msg);
  }
}

void TApplication::ProcessMessages() {
  MSG Msg;
  while (PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) HandleMessage(Msg);
}

void TApplication::Run() {
  while (!Terminated_) {
    MSG Msg;
    if (PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) {
      HandleMessage(Msg);
      continue;
    }
    // Start-up ends where the queue first runs empty, as a start is timed (WaitForInputIdle),
    // before the idle step's work.
    WriteStartupPhases();
    if (OnIdle) Guard(OnIdle);
    if (!Terminated_) WaitMessage();
  }
}

void TApplication::ShowException(const std::exception& Error) {
  const std::wstring Text = Utf8ToWide(ErrorBoxText(Error.what()));
  HWND Owner = GetActiveWindow();
  if (!Owner) Owner = MainWindow;
  MessageBoxW(Owner, Text.c_str(), Title_.c_str(), MB_OK | MB_ICONERROR);
}

TEndSessionHold::TBlockReasonCalls TEndSessionHold::Calls = {ShutdownBlockReasonCreate,
                                                             ShutdownBlockReasonDestroy};

TEndSessionHold::TEndSessionHold(HWND Form)
    : Form_(Form), Created_(Calls.Create(Form, kEndSessionHoldReason) != FALSE) {
  ++Application.EndSessionHolds_;
}

TEndSessionHold::~TEndSessionHold() {
  --Application.EndSessionHolds_;
  if (Created_) Calls.Destroy(Form_);
}
