#pragma once

#include <QIcon>
#include <QImage>

namespace jotbox {

// Jotbox's own icon: a note page with a folded corner and a few lines.
QImage drawJotboxIcon(int side);
// Drawn, for trays that take pixels (XEmbed, StatusNotifierItem hosts that
// go by pixmaps); others find the installed icon by name. Not looked up in
// the icon theme: reading its index held 0.85 MiB for a picture alike.
QIcon jotboxIcon();
// The folder holding the icon theme folders with Jotbox's icons: the
// installed ones, or those beside a program run from its build tree; empty
// when neither is there.
QString jotboxIconThemePath();

} // namespace jotbox
