#include "views/GlyphButton.h"

#include "views/Palette.h"

#include <QPainter>
#include <QPainterPath>

namespace jotbox {

GlyphButton::GlyphButton(Glyph glyph, qreal glyphPoints, bool bold, QWidget* parent)
    : QAbstractButton(parent), m_glyph(glyph), m_glyphPoints(glyphPoints), m_bold(bold) {
    setCursor(Qt::ArrowCursor);
    // Reached by Tab, never taken by a click, which leaves the typing where it was.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(glyph == Glyph::plus ? tr("New Note") : tr("Close"));
}

QSize GlyphButton::sizeHint() const {
    const int side = qCeil(m_glyphPoints) + 2;
    return {side, side};
}

void GlyphButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        p.setPen(QPen(accentColor(palette()), 1.0));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4.0, 4.0);
    }
    QColor colour = secondaryColor(palette());
    if (isDown())
        colour.setAlphaF(1.0f);
    // Glyph size follows the font's point-to-pixel scale of this screen.
    const qreal side = m_glyphPoints * logicalDpiY() / 72.0 * 0.75;
    const qreal stroke = std::max(1.0, side * (m_bold ? 0.2 : 0.12));
    p.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = QRectF(rect()).center();
    const qreal h = side / 2.0;
    if (m_glyph == Glyph::plus) {
        p.drawLine(QPointF(c.x() - h, c.y()), QPointF(c.x() + h, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - h), QPointF(c.x(), c.y() + h));
    } else {
        p.drawLine(QPointF(c.x() - h, c.y() - h), QPointF(c.x() + h, c.y() + h));
        p.drawLine(QPointF(c.x() - h, c.y() + h), QPointF(c.x() + h, c.y() - h));
    }
}

} // namespace jotbox
