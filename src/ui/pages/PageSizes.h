#pragma once

// The pages' design sizes, in dialog units of the program's font: the working pages are
// 469 x 338 units, the About page 469 x 321.

#include <QApplication>

#include "ui/kit/CResizablePage.h"

namespace qm {

inline constexpr int kPageWidthUnits = 469;
inline constexpr int kWorkingPageHeightUnits = 338;
inline constexpr int kAboutPageHeightUnits = 321;

inline QSize WorkingPageSize() {
    return DialogUnitsToPixels(QApplication::font(), kPageWidthUnits, kWorkingPageHeightUnits);
}

inline QSize AboutPageSize() {
    return DialogUnitsToPixels(QApplication::font(), kPageWidthUnits, kAboutPageHeightUnits);
}

}  // namespace qm
