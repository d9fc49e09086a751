#pragma once

#include <QAbstractButton>

namespace jotbox {

// A flat button that draws one of Jotbox's own glyphs in the secondary
// colour, centred in its frame: no bezel, no background.
class GlyphButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Glyph { plus, xmark };

    GlyphButton(Glyph glyph, qreal glyphPoints, bool bold, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Glyph m_glyph;
    qreal m_glyphPoints;
    bool m_bold;
};

} // namespace jotbox
