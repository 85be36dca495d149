#include "net/StallWatch.h"

#include <algorithm>

namespace {

// Samples closer than this are merged: the window is many seconds long.
constexpr std::uint64_t kSampleSpacingMs = 1000;

}  // namespace

TStallWatch::TStallWatch(std::uint64_t Now, std::uint32_t TimeoutMs)
    : Start_(Now), TimeoutMs_(TimeoutMs), LastActivity_(Now) {}

void TStallWatch::Notified(std::uint64_t Now) { LastActivity_ = std::max(LastActivity_, Now); }

void TStallWatch::Received(std::uint64_t Now, std::uint64_t Bytes) {
  Notified(Now);
  if (Bytes == 0) return;
  Total_ += Bytes;
  if (Samples_.size() >= 2 && Now < Samples_[Samples_.size() - 2].At + kSampleSpacingMs)
    Samples_.back() = {Now, Total_};
  else
    Samples_.push_back({Now, Total_});
  // Of the samples before any later window's start, only the newest still matters.
  while (Samples_.size() >= 2 && Samples_[1].At + TimeoutMs_ <= Now) Samples_.pop_front();
}

std::uint64_t TStallWatch::BytesInWindow(std::uint64_t Now) const {
  std::uint64_t Before = 0;  // what had arrived when the window opened
  for (const TSample& Sample : Samples_) {
    if (Sample.At + TimeoutMs_ > Now) break;
    Before = Sample.Total;
  }
  return Total_ - Before;
}

bool TStallWatch::Stalled(std::uint64_t Now) const {
  if (Now >= LastActivity_ + TimeoutMs_) return true;
  // A crawl can only be judged once a whole window has passed.
  return Now >= Start_ + TimeoutMs_ && BytesInWindow(Now) < MinWindowBytes();
}

std::uint64_t TStallWatch::MsUntilCheck(std::uint64_t Now) const {
  if (Stalled(Now)) return 0;
  std::uint64_t Next = LastActivity_ + TimeoutMs_;
  // The bytes in the window only fall when the window opens fully or a sample leaves it.
  if (Start_ + TimeoutMs_ > Now) Next = std::min<std::uint64_t>(Next, Start_ + TimeoutMs_);
  for (const TSample& Sample : Samples_) {
    if (Sample.At + TimeoutMs_ > Now) {
      Next = std::min<std::uint64_t>(Next, Sample.At + TimeoutMs_);
      break;
    }
  }
  return Next > Now ? Next - Now : 0;
}
