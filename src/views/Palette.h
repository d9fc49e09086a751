#pragma once

#include <QColor>
#include <QPalette>

namespace jotbox {

// The desktop palette's roles for what the panel draws, so light and dark
// themes both read well.
inline QColor secondaryColor(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.55f);
    return c;
}

inline QColor accentColor(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

} // namespace jotbox
