#pragma once

#include <QIcon>
#include <QImage>

namespace jotbox {

// Jotbox's own icon: a note page with a folded corner and a few lines.
QImage drawJotboxIcon(int side);
QIcon jotboxIcon();

} // namespace jotbox
