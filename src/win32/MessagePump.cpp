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
