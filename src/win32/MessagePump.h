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

// While the installer works (a download, a file being hashed) the window paints at most once a
// frame: small files come by the dozen a second, each changing the counter, the size and the bar,
// and more paints than a frame's are more than the eye can see.
inline constexpr ULONGLONG kFrameMs = 30;
// 0 when a paint is due at Now (a GetTickCount64 value), else how long until it is.
ULONGLONG MsUntilPaint(ULONGLONG Now) noexcept;
// Hands the waiting messages to the dispatcher, a paint only when one is due, until none is left,
// Stop turns true, or the tick count reaches Until.
void HandleWaitingMessages(ULONGLONG Until, const bool& Stop) noexcept;

// Long work on the window's thread that waits on nothing (a manifest of many thousand entries
// listed, sized, compared): its loops call Tick, which hands the waiting messages on once a slice
// has passed, so the window answers throughout.
class TKeepAnswering {
 public:
  void Tick() noexcept;

 private:
  static constexpr unsigned kCallsBetweenClocks = 256;
  static constexpr ULONGLONG kSliceMs = 8;
  ULONGLONG Due_ = GetTickCount64() + kSliceMs;
  unsigned Calls_ = 0;
};
