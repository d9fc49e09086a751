#include "app/PanelPlacement.h"

#include <algorithm>
#include <array>

namespace jotbox {

namespace {

constexpr int kGap = 5;

enum class Edge { top, bottom, left, right };

// Qt's rectangles end one pixel before x + width: these are the exclusive edges.
int rightOf(QRect r) {
    return r.x() + r.width();
}
int bottomOf(QRect r) {
    return r.y() + r.height();
}

QPoint clamped(QPoint origin, QSize panel, QRect area) {
    return {std::clamp(origin.x(), area.x(), std::max(area.x(), rightOf(area) - panel.width())),
            std::clamp(origin.y(), area.y(), std::max(area.y(), bottomOf(area) - panel.height()))};
}

QPoint underIcon(QRect icon, QSize panel, QRect available) {
    // An icon inside a bar the desktop keeps free (trays place theirs a few
    // pixels in): the gap counts from the bar's edge, not the icon's.
    const int below =
        available.isEmpty() ? bottomOf(icon) : std::max(bottomOf(icon), available.y());
    QPoint origin(icon.x() + icon.width() / 2 - panel.width() / 2, below + kGap);
    if (available.isEmpty() || available.contains(QRect(origin, panel)))
        return origin;
    // A tray at the bottom of the screen: open upwards instead.
    const int above = std::min(icon.y(), bottomOf(available)) - kGap - panel.height();
    if (origin.y() + panel.height() > bottomOf(available) && above >= available.y())
        origin.setY(above);
    return clamped(origin, panel, available);
}

// The tray holding a click: the strip a panel reserves along an edge holds
// it; otherwise it is the edge nearest to it.
Edge trayEdge(QPoint p, ScreenArea s) {
    const QRect a = s.available;
    if (p.y() < a.y())
        return Edge::top;
    if (p.y() >= bottomOf(a))
        return Edge::bottom;
    if (p.x() < a.x())
        return Edge::left;
    if (p.x() >= rightOf(a))
        return Edge::right;
    const QRect g = s.geometry;
    const std::array<int, 4> distance{p.y() - g.y(), bottomOf(g) - 1 - p.y(), p.x() - g.x(),
                                      rightOf(g) - 1 - p.x()};
    return Edge(std::min_element(distance.begin(), distance.end()) - distance.begin());
}

// The edge along which the desktop reserves the most room; the top when none.
Edge reservedEdge(ScreenArea s) {
    const std::array<int, 4> reserved{
        s.available.y() - s.geometry.y(), bottomOf(s.geometry) - bottomOf(s.available),
        s.available.x() - s.geometry.x(), rightOf(s.geometry) - rightOf(s.available)};
    const auto most = std::max_element(reserved.begin(), reserved.end());
    return *most > 0 ? Edge(most - reserved.begin()) : Edge::top;
}

// Against the tray's edge, 5 points off it and off a click on it.
QPoint nearClick(QPoint click, QSize panel, ScreenArea s) {
    const QRect a = s.available;
    QPoint origin(click.x() - panel.width() / 2, click.y() - panel.height() / 2);
    switch (trayEdge(click, s)) {
    case Edge::top:
        origin.setY(std::max(a.y(), click.y()) + kGap);
        break;
    case Edge::bottom:
        origin.setY(std::min(bottomOf(a), click.y()) - kGap - panel.height());
        break;
    case Edge::left:
        origin.setX(std::max(a.x(), click.x()) + kGap);
        break;
    case Edge::right:
        origin.setX(std::min(rightOf(a), click.x()) - kGap - panel.width());
        break;
    }
    return clamped(origin, panel, a);
}

// At the right end of a top or bottom tray, the top end of a side one.
QPoint atTrayEnd(QSize panel, ScreenArea s) {
    const QRect a = s.available;
    const int right = rightOf(a) - kGap - panel.width();
    switch (reservedEdge(s)) {
    case Edge::top:
        return clamped({right, a.y() + kGap}, panel, a);
    case Edge::bottom:
        return clamped({right, bottomOf(a) - kGap - panel.height()}, panel, a);
    case Edge::left:
        return clamped({a.x() + kGap, a.y() + kGap}, panel, a);
    case Edge::right:
        break;
    }
    return clamped({right, a.y() + kGap}, panel, a);
}

} // namespace

QRect freeArea(QRect monitor, const QList<QRect>& bars) {
    int top = monitor.y(), bottom = bottomOf(monitor), left = monitor.x(), right = rightOf(monitor);
    const QPoint centre = monitor.center();
    for (const QRect& bar : bars) {
        const QRect on = bar.intersected(monitor);
        if (on.isEmpty())
            continue;
        // Along the edge it touches (a tray holding one icon is square, or a
        // pixel taller than wide once scaled); by its shape where it touches
        // two edges or none.
        const bool atTopOrBottom = on.y() == monitor.y() || bottomOf(on) == bottomOf(monitor);
        const bool atASide = on.x() == monitor.x() || rightOf(on) == rightOf(monitor);
        const bool horizontal =
            atTopOrBottom != atASide ? atTopOrBottom : on.width() >= on.height();
        if (horizontal && on.height() < monitor.height() / 2) {
            if (on.center().y() < centre.y())
                top = std::max(top, bottomOf(on));
            else
                bottom = std::min(bottom, on.y());
        } else if (!horizontal && on.width() < monitor.width() / 2) {
            if (on.center().x() < centre.x())
                left = std::max(left, rightOf(on));
            else
                right = std::min(right, on.x());
        }
    }
    return QRect(left, top, right - left, bottom - top);
}

QPoint panelOrigin(QRect icon, QSize panel, ScreenArea screen, std::optional<QPoint> click) {
    if (icon.width() > 0 && icon.height() > 0)
        return underIcon(icon, panel, screen.available);
    if (screen.available.isEmpty())
        screen.available = screen.geometry;
    if (click)
        return nearClick(*click, panel, screen);
    return atTrayEnd(panel, screen);
}

} // namespace jotbox
