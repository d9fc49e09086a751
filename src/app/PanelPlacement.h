#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace jotbox {

// Where the panel goes: centred 5 points under the icon, as long as it fits.
// Otherwise it sits against the tray's edge (above an icon in a bottom
// panel) and is kept inside the screen's available area. An unknown icon
// position (an empty rectangle) stands for the pointer.
QPoint panelOrigin(QRect icon, QSize panel, QRect available, QPoint pointer);

} // namespace jotbox
