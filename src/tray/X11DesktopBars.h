#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

#include <optional>

class QScreen;

namespace jotbox {

// The bars an X desktop keeps room for on a screen, in Qt's coordinates,
// read afresh at each call: every top-level window's strut, and the
// top-level window at `inTray` (the bar holding the tray, which may reserve
// nothing). Qt reads the work area once, at start, and with two monitors
// not at all. Empty where there is no X server to ask.
QList<QRect> x11DesktopBars(const QScreen* screen, std::optional<QPoint> inTray = std::nullopt);

} // namespace jotbox
