#include "app/ProgressText.h"

#include <algorithm>
#include <cmath>

int ProgressPercent(double Min, double Max, double Position) {
  // A range narrower than 1 counts as 1, so the text never divides by zero.
  const double Range = std::max(Max - Min, 1.0);
  // nearbyint rounds in the default mode, to nearest with ties to even.
  const double Percent = std::nearbyint(100.0 * (Position - Min) / Range);
  // A position below the minimum would read as a negative percentage.
  if (!(Percent > 0.0)) return 0;
  return static_cast<int>(std::min(Percent, 100.0));
}

std::string ProgressText(double Min, double Max, double Position) {
  return std::to_string(ProgressPercent(Min, Max, Position)) + " %";
}
