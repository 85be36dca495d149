#pragma once
// Which of the artwork's sets the window draws at its DPI. The logo and the banner are drawn for
// 100, 125, 150 and 200 % (96, 120, 144 and 192 dots per inch).

#include <iterator>

inline constexpr int kArtworkScales[] = {100, 125, 150, 200};

// The logo is drawn 1:1, so it must not be larger than its place: the set made for the scaling,
// or the largest one below it (100 below them all).
int LogoScale(unsigned Dpi);

// The banner is scaled to fit its panel: the set made for the scaling, or the smallest one above
// it, so it is only reduced, which keeps it sharp (200 above them all).
int BannerScale(unsigned Dpi);
