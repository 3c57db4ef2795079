#include "main_window/height_layout.h"

#include <cmath>

HeightLayout heightLayoutFor(double d)
{
    return {static_cast<int>(std::lround(2400 + d)), static_cast<int>(std::lround(4500 + d)),
            static_cast<int>(std::lround(minimumFormHeight + d)),
            static_cast<int>(std::lround(2280 + d / 2))};
}

double extraHeightForSlider(int sliderValue)
{
    return 80.0 * sliderValue;
}

double extraHeightForOuterHeight(int outerHeight)
{
    return std::round(outerHeight - static_cast<double>(minimumFormHeight));
}
