#include "app/ArtworkRules.h"

namespace {

// The scaling in per cent times 96: whole numbers, so 120 dpi is exactly 125 %.
unsigned ScaledDpi(int Scale) { return static_cast<unsigned>(Scale) * 96; }

}  // namespace

int LogoScale(unsigned Dpi) {
  int Scale = kArtworkScales[0];
  for (int Candidate : kArtworkScales)
    if (ScaledDpi(Candidate) <= Dpi * 100) Scale = Candidate;
  return Scale;
}

int BannerScale(unsigned Dpi) {
  for (int Candidate : kArtworkScales)
    if (ScaledDpi(Candidate) >= Dpi * 100) return Candidate;
  return kArtworkScales[std::size(kArtworkScales) - 1];
}
