#pragma once
// Dialog-template positions in dialog units, turned into pixels with the base units of the
// 8-point dialog font (1.5 px across, 1.625 px down per unit).
#include <QRect>
#include <cmath>

struct DialogRect {
    int x, y, width, height;  // dialog units

    QRect ToPixels() const { return QRect(Px(x), Py(y), Px(width), Py(height)); }
    static int Px(int units) { return static_cast<int>(std::lround(units * 1.5)); }
    static int Py(int units) { return static_cast<int>(std::lround(units * 1.625)); }
};
