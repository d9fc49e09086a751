#include "views/TabItemView.h"

#include "views/GlyphButton.h"
#include "views/Palette.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace jotbox {

namespace {
constexpr qreal kCornerRadius = 4.0;
constexpr qreal kTintOpacity = 0.2;

// A title can hold line breaks the caption rule keeps (CR LF, CR, U+2028):
// the strip shows each as a space, on one line.
QString oneLine(const QString& title) {
    QString shown = title;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& c : shown)
        if (c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    return shown;
}
} // namespace

TabItemView::TabItemView(QWidget* parent)
    : QWidget(parent), m_title(new QLabel(this)),
      m_close(new GlyphButton(GlyphButton::Glyph::xmark, 8.0, true, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(4);
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    row->addWidget(m_close, 0, Qt::AlignVCenter);

    // The caption font: a step below the desktop's text size.
    QFont caption = font();
    caption.setPointSizeF(std::max(7.0, font().pointSizeF() * 0.85));
    m_title->setFont(caption);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(false);
    m_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_close->setToolTip(tr("Close (Ctrl+W); Ctrl+Shift+T brings it back"));
    setFocusPolicy(Qt::TabFocus); // as the buttons: a click leaves the typing where it was
    connect(m_close, &QAbstractButton::clicked, this, [this] {
        if (const Action close = m_onClose)
            close();
    });
}

void TabItemView::set(const QString& title, bool isActive, Action onSelect, Action onClose) {
    if (title != m_rawTitle) { // typing re-evaluates every tab: only a new title is reworked
        m_rawTitle = title;
        m_title->setText(oneLine(title));
        m_close->setAccessibleName(tr("Close %1").arg(m_title->text()));
        QAccessibleEvent named(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
    }
    if (m_isActive != isActive) {
        m_isActive = isActive;
        update();
        QAccessibleEvent selected(this, isActive ? QAccessible::SelectionAdd
                                                 : QAccessible::SelectionRemove);
        QAccessible::updateAccessibility(&selected);
    }
    m_onSelect = std::move(onSelect);
    m_onClose = std::move(onClose);
}

QString TabItemView::title() const {
    return m_title->text();
}

void TabItemView::activate() {
    if (const Action select = m_onSelect)
        select();
}

void TabItemView::paintEvent(QPaintEvent*) {
    if (!m_isActive && !hasFocus())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath chip;
    chip.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius,
                        kCornerRadius);
    if (m_isActive) {
        QColor tint = accentColor(palette());
        tint.setAlphaF(kTintOpacity);
        p.fillPath(chip, tint);
    }
    if (hasFocus())
        p.strokePath(chip, QPen(accentColor(palette()), 1.0));
}

// A click selects on release inside the tab, as buttons do; presses on the
// cross never get here, so a close never selects first.
void TabItemView::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void TabItemView::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        activate();
}

} // namespace jotbox
