// The bar's percentage for any doubles, infinities and NaN included: always a whole number from 0
// to 100, 0 where the position cannot be placed (NaN anywhere, or an unbounded range), never
// falling as the position grows, and the text is that number and " %".

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "app/ProgressText.h"

namespace {

std::string Shown(double Min, double Max, double Position) {
  char Text[160];
  std::snprintf(Text, sizeof Text, "Min=%a Max=%a Position=%a", Min, Max, Position);
  return Text;
}

bool IsPercentText(const std::string& Text, int Percent) {
  return Text == std::to_string(Percent) + " %";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  double Values[4] = {};
  std::memcpy(Values, Data, Size < sizeof Values ? Size : sizeof Values);
  const double Min = Values[0], Max = Values[1], Position = Values[2], Other = Values[3];
  const std::string Case = Shown(Min, Max, Position);

  const int Percent = ProgressPercent(Min, Max, Position);
  FuzzCheck(Percent >= 0 && Percent <= 100, "the percentage lies within 0..100", Case);
  FuzzCheck(IsPercentText(ProgressText(Min, Max, Position), Percent),
            "the text is the percentage and \" %\"", Case);

  if (std::isnan(Min) || std::isnan(Max) || std::isnan(Position))
    FuzzCheck(Percent == 0, "NaN anywhere gives 0", Case);
  // A range wider than the largest double is as unbounded as an infinite one.
  const bool Bounded = std::isfinite(Min) && std::isfinite(Max) && std::isfinite(Max - Min);
  if (Bounded && Position <= Min) FuzzCheck(Percent == 0, "at or below Min gives 0", Case);
  if (Bounded && Max - Min >= 1.0 && Position >= Max)
    FuzzCheck(Percent == 100, "at or above Max gives 100", Case);

  // A later position never shows less than an earlier one.
  if (!std::isnan(Other)) {
    const double Lower = std::fmin(Position, Other), Higher = std::fmax(Position, Other);
    FuzzCheck(ProgressPercent(Min, Max, Lower) <= ProgressPercent(Min, Max, Higher),
              "the percentage never falls as the position grows",
              Case + " Other=" + Shown(Min, Max, Other));
  }
  return 0;
}
