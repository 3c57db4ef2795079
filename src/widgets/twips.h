#pragma once

#include <QRect>
#include <QSize>

#include <cmath>

// Window and control sizes are given in twips: 1440 per inch, so 15 twips are one logical pixel at
// the 96 dpi that Qt's logical pixels stand for.
inline constexpr int twipsPerPixel = 15;

constexpr int twipsToPixels(double twips)
{
    return static_cast<int>(twips >= 0 ? twips / twipsPerPixel + 0.5 : twips / twipsPerPixel - 0.5);
}

constexpr int pixelsToTwips(int pixels)
{
    return pixels * twipsPerPixel;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}
