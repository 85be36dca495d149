#include "win32/MessagePump.h"

namespace {

TMessageDispatcher* Dispatcher = nullptr;

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

void ProcessMessages() noexcept {
  MSG Msg;
  while (PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) HandleMessage(Msg);
}
