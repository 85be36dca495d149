#pragma once
// The seam through which code below the application keeps the window answering while it waits:
// each message it takes from the thread's queue goes to the dispatcher that start-up handed
// down, which handles it exactly as the application's own loop would. Without a dispatcher a
// message is translated and dispatched plainly.

#include <windows.h>

class TMessageDispatcher {
 public:
  virtual ~TMessageDispatcher() = default;
  // Handles one message taken from the queue as the application's loop does (dialog keys, then
  // translation and dispatch; a quit message marks the application as ending), never the idle
  // step. Never throws.
  virtual void HandleMessage(const MSG& Msg) noexcept = 0;
};

// Start-up hands the application down; nullptr takes it back.
void SetMessageDispatcher(TMessageDispatcher* Dispatcher) noexcept;

// One message taken from the queue, handled by the dispatcher.
void HandleMessage(const MSG& Msg) noexcept;
