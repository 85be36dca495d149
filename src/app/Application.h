#pragma once
// The application object: COM for the main thread, the title, the message loop with its idle
// step, the pump without idle, and the error box that every window procedure's barrier uses.
// Initialize hands its message handling down to the code that waits (win32/MessagePump.h).

#include <windows.h>

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include "win32/Handle.h"
#include "win32/MessagePump.h"

class TApplication final : public TMessageDispatcher {
 public:
  TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  ~TApplication() override;

  // Starts COM in the single-threaded apartment, remembering whether it did, to end it later;
  // becomes the thread's message dispatcher.
  void Initialize();
  // Ends COM if Initialize started it. Called at the end of the program, after the window is gone.
  void Finalize();

  const std::wstring& Title() const { return Title_; }
  void SetTitle(std::wstring Title);
  // The application's own window: never seen itself (no size), it owns the main window and
  // carries the title, so the taskbar lists the program under the title. Created on first use.
  HWND Handle();

  // Dispatches messages until a quit message arrives; whenever the queue is empty runs OnIdle,
  // then waits. An error escaping OnIdle goes to the error box and the loop goes on.
  void Run();
  // Dispatches every waiting message, a quit message included (it marks the application as
  // ending), and returns without the idle step.
  void ProcessMessages();
  // One message as the loop handles it: a quit message marks the application as ending; Tab,
  // the arrow keys and Enter go to the main window's dialog handling; the rest is translated
  // and dispatched.
  void HandleMessage(const MSG& Msg) noexcept override;
  bool Terminated() const { return Terminated_; }
  void Terminate();

  // The error box: caption the title, the error's text (ErrorBoxText), OK, the error icon.
  void ShowException(const std::exception& Error);
  // The barrier for code called from a window procedure or a callback: runs Body, and shows any
  // error that escapes it. Never throws.
  template <typename Body>
  void Guard(Body&& body) noexcept {
    try {
      body();
    } catch (const std::exception& e) {
      ShowException(e);
    } catch (...) {
      ShowException(std::runtime_error("Unknown error"));
    }
  }

  // True while a TEndSessionHold lives.
  bool EndSessionHeld() const { return EndSessionHolds_ > 0; }

  // The window whose destruction ends the application; owner of error boxes.
  HWND MainWindow = nullptr;
  std::function<void()> OnIdle;

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept;

  std::wstring Title_;
  TWindowHandle Handle_;
  bool ComStarted_ = false;
  bool Terminated_ = false;
  int EndSessionHolds_ = 0;
  friend class TEndSessionHold;
};

extern TApplication Application;

// A logoff or shutdown in the middle of an installation would cut it off. For the hold's
// lifetime both of the program's top-level windows answer WM_QUERYENDSESSION with FALSE, and
// Form carries the reason that Windows shows on its screen of the programs in the way. Windows
// still lets the user go on regardless: what a killed run leaves must be sound all the same.
class TEndSessionHold {
 public:
  explicit TEndSessionHold(HWND Form);
  ~TEndSessionHold();
  TEndSessionHold(const TEndSessionHold&) = delete;
  TEndSessionHold& operator=(const TEndSessionHold&) = delete;

  // The platform's calls. Wine stubs them and cannot show the screen: tests hand in their own.
  struct TBlockReasonCalls {
    BOOL(WINAPI* Create)(HWND, LPCWSTR);
    BOOL(WINAPI* Destroy)(HWND);
  };
  static TBlockReasonCalls Calls;

 private:
  HWND Form_;
  bool Created_;
};

// The reason Form carries while the installation runs.
inline constexpr wchar_t kEndSessionHoldReason[] = L"Velquor 매니저를 설치하고 있습니다.";
