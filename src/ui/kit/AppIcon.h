#pragma once

// The program's icon, drawn at every size a window or the About page asks for: a waveform
// on a rounded blue tile, cut by an orange line. data/quillmere.svg is the same drawing for
// the desktop.

#include <QIcon>
#include <QPixmap>

namespace qm {

// The icon at one size (pixels, square).
QPixmap AppIconPixmap(int sizePx);
// The icon with its usual sizes, for window icons.
QIcon AppIcon();

}  // namespace qm
