#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace jotbox {

// The screen a panel opens on: all of it, and the part panels and docks
// leave free.
struct ScreenArea {
    QRect geometry;
    QRect available;
};

// Where the panel goes. Under a known icon: centred 5 points under it where
// it fits, otherwise against the tray's edge (above an icon in a bottom
// panel) and inside the available area. Where the tray does not tell the
// icon's place, the point of a click on the icon stands for it, and the
// tray is on the screen edge nearest to it; with no click either, the tray
// is on the edge the desktop reserves room along (the top when none), and
// the panel opens at that edge's right or top end.
QPoint panelOrigin(QRect icon, QSize panel, ScreenArea screen, std::optional<QPoint> click);

// The part of a monitor its bars leave free: each bar (a dock's strut, the
// window holding the tray) takes the strip along the edge it is nearer to.
// What covers half the monitor or more is no bar.
QRect freeArea(QRect monitor, const QList<QRect>& bars);

} // namespace jotbox
