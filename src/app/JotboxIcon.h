#pragma once

#include <QIcon>
#include <QImage>

namespace jotbox {

// Jotbox's own icon: a note page with a folded corner and a few lines.
QImage drawJotboxIcon(int side);
QIcon jotboxIcon();
// The installed icon by name where the desktop's icon theme has it, so that
// a tray draws it from the SVG at its own size and scale (and may take the
// symbolic variant); drawn otherwise.
QIcon jotboxThemeIcon();
// The folder holding the icon theme folders with Jotbox's icons: the
// installed ones, or those beside a program run from its build tree; empty
// when neither is there.
QString jotboxIconThemePath();

} // namespace jotbox
