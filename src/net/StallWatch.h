#pragma once
// When a download no longer moves: nothing at all (no notification, no byte) for a whole
// timeout, or, once a whole timeout has passed since the request, a crawl below
// kMinStallBytesPerSecond within the last timeout's length. The network layer under the
// download service never gives up on a silent connection by itself, and a sender that keeps
// just above a low floor could hold the run (and the user's logoff) for as long as it liked, so
// this rule is the only end such a wait has. Portable; times are milliseconds of a steady clock.

#include <cstdint>
#include <deque>

inline constexpr std::uint32_t kStallTimeoutMs = 60000;
// 240 KiB a minute: below a dial-up line, far above a sender that only keeps a connection open.
inline constexpr std::uint64_t kMinStallBytesPerSecond = 4096;

class TStallWatch {
 public:
  // The download starts at Now.
  TStallWatch(std::uint64_t Now, std::uint32_t TimeoutMs);

  // The service said something (any notification).
  void Notified(std::uint64_t Now);
  // Bytes of the body arrived.
  void Received(std::uint64_t Now, std::uint64_t Bytes);

  bool Stalled(std::uint64_t Now) const;
  // How long from Now until Stalled may turn true; 0 when it is already.
  std::uint64_t MsUntilCheck(std::uint64_t Now) const;

 private:
  struct TSample {
    std::uint64_t At;
    std::uint64_t Total;  // bytes received by At
  };
  std::uint64_t BytesInWindow(std::uint64_t Now) const;
  std::uint64_t MinWindowBytes() const { return kMinStallBytesPerSecond * TimeoutMs_ / 1000; }

  std::uint64_t Start_;
  std::uint32_t TimeoutMs_;
  std::uint64_t LastActivity_;
  std::uint64_t Total_ = 0;
  // About one a second, the oldest at or before the current window's start.
  std::deque<TSample> Samples_;
};
