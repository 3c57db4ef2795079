#pragma once

// Where the height-dependent parts of the main window go for an extra height d (in twips) above
// the smallest window: the result list, the panel below it and the decorative picture move.
struct HeightLayout
{
    int list2Height;
    int frame1Top;
    int form1Height;
    int picture1Top;
};

inline constexpr int minimumFormHeight = 6450;
inline constexpr int narrowFormWidth = 9735;

HeightLayout heightLayoutFor(double d);
// The extra height for a slider value: 80 twips per step.
double extraHeightForSlider(int sliderValue);
// The extra height that keeps a window of this outer height as it is.
double extraHeightForOuterHeight(int outerHeight);
