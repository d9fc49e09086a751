#pragma once

#include <QGuiApplication>
#include <QPoint>
#include <QScreen>

namespace jotbox {

// Qt keeps each screen's top left where X has it and divides the rest by
// the screen's scale; X reports device pixels. A point X gives, in Qt's terms.
inline QPoint fromNativePixels(QPoint native) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QPoint origin = screen->geometry().topLeft();
        const qreal scale = screen->devicePixelRatio();
        if (QRect(origin, (QSizeF(screen->geometry().size()) * scale).toSize()).contains(native))
            return origin + QPointF(QPointF(native - origin) / scale).toPoint();
    }
    return native;
}

// A point of Qt's on `screen`, in X's device pixels.
inline QPoint toNativePixels(QPoint point, const QScreen* screen) {
    const QPoint origin = screen->geometry().topLeft();
    return origin + QPointF(QPointF(point - origin) * screen->devicePixelRatio()).toPoint();
}

} // namespace jotbox
