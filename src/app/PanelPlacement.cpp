#include "app/PanelPlacement.h"

#include <algorithm>

namespace jotbox {

namespace {
constexpr int kGap = 5;
} // namespace

QPoint panelOrigin(QRect icon, QSize panel, QRect available, QPoint pointer) {
    const bool known = icon.width() > 0 && icon.height() > 0;
    // Qt's rectangles end one pixel before x + width: use the exclusive edges.
    const int left = known ? icon.x() : pointer.x();
    const int top = known ? icon.y() : pointer.y();
    const int width = known ? icon.width() : 0;
    const int height = known ? icon.height() : 0;

    QPoint origin(left + width / 2 - panel.width() / 2, top + height + kGap);
    const QRect wanted(origin, panel);
    if (available.isEmpty() || available.contains(wanted))
        return origin;

    // A tray at the bottom of the screen: open upwards instead.
    if (origin.y() + panel.height() > available.y() + available.height() &&
        top - kGap - panel.height() >= available.y())
        origin.setY(top - kGap - panel.height());
    origin.setX(
        std::clamp(origin.x(), available.x(),
                   std::max(available.x(), available.x() + available.width() - panel.width())));
    origin.setY(
        std::clamp(origin.y(), available.y(),
                   std::max(available.y(), available.y() + available.height() - panel.height())));
    return origin;
}

} // namespace jotbox
