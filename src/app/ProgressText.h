#pragma once
// The percentage that a progress bar shows inside itself.

#include <string>

// 100 * (Position - Min) / max(Max - Min, 1), rounded to the nearest whole number with halves to
// the even neighbour, kept within 0..100.
int ProgressPercent(double Min, double Max, double Position);
// The percentage followed by " %", as the bar draws it and keeps it as its window text.
std::string ProgressText(double Min, double Max, double Position);
