#include "win32/MessagePump.h"

namespace {

TMessageDispatcher* Dispatcher = nullptr;

// When the thread's windows may paint again; shared by everything that waits on the one thread.
ULONGLONG NextPaint = 0;

}  // namespace

void SetMessageDispatcher(TMessageDispatcher* NewDispatcher) noexcept {
  Dispatcher = NewDispatcher;
}

void HandleMessage(const MSG& Msg) noexcept {
  if (Dispatcher) {
    Dispatcher->HandleMessage(Msg);
    return;
  }
  TranslateMessage(&Msg);
  DispatchMessageW(&Msg);
}

ULONGLONG MsUntilPaint(ULONGLONG Now) noexcept { return Now >= NextPaint ? 0 : NextPaint - Now; }

void HandleWaitingMessages(ULONGLONG Until, const bool& Stop) noexcept {
  // Between two frames everything but painting is handled at once: input, sent and posted
  // messages (the download service's among them) and timers.
  const UINT Filter =
      MsUntilPaint(GetTickCount64()) == 0 ? 0 : PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
  bool Painted = false;
  MSG Msg;
  while (!Stop && PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE | Filter)) {
    Painted |= Msg.message == WM_PAINT;
    HandleMessage(Msg);
    if (GetTickCount64() >= Until) break;
  }
  if (Painted) NextPaint = GetTickCount64() + kFrameMs;
}

void TKeepAnswering::Tick() noexcept {
  if (++Calls_ % kCallsBetweenClocks != 0 || GetTickCount64() < Due_) return;
  // A quit message only marks the application as ending: the work ends on its own.
  constexpr bool kGoOn = false;
  HandleWaitingMessages(GetTickCount64() + kFrameMs, kGoOn);
  Due_ = GetTickCount64() + kSliceMs;
}
