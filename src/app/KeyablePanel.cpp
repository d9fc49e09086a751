#include "app/KeyablePanel.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace jotbox {

namespace {
// Screen readers announce a dialog by its name when it takes the focus; Qt
// would call a window without a frame a mere pane.
QAccessibleInterface* panelAsDialog(const QString&, QObject* object) {
    auto* panel = qobject_cast<KeyablePanel*>(object);
    return panel ? new QAccessibleWidget(panel, QAccessible::Dialog, panel->windowTitle())
                 : nullptr;
}
} // namespace

KeyablePanel::KeyablePanel(QWidget* content, WindowActivation* activation, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_activation(activation) {
    static const bool factoryInstalled = (QAccessible::installFactory(panelAsDialog), true);
    (void)factoryInstalled;
    setObjectName(QStringLiteral("JotboxPanel"));
    setWindowTitle(QStringLiteral("Jotbox"));
    setFixedSize(kSize);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    setFocusProxy(content);
}

void KeyablePanel::present(QPoint origin, const ActivationProof& proof) {
    const bool shown = isVisible();
    if (!shown)
        move(origin);
    m_pending = m_activation ? proof : ActivationProof{};
    if (!m_pending.isEmpty() && !shown) {
        m_activation->carry(winId(), proof);
        windowHandle()->installEventFilter(this);
    }
    show();
    raise();
    // Qt asks too, once the window is mapped, with the time of the moment.
    activateWindow();
    if (focusProxy())
        focusProxy()->setFocus(Qt::PopupFocusReason);
    if (shown)
        askWithPending();
}

void KeyablePanel::askWithPending() {
    if (m_pending.isEmpty())
        return;
    m_activation->request(winId(), m_pending);
    complete(std::exchange(m_pending, {}));
}

void KeyablePanel::complete(const ActivationProof& proof) {
    if (m_activation && !proof.isEmpty())
        m_activation->complete(winId(), proof);
}

bool KeyablePanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed())
        askWithPending();
    return QWidget::eventFilter(watched, event);
}

// The window background, with a hairline edge so the panel stands apart
// from what is under it when the window manager draws no shadow.
// The edge is one device pixel on every side at every scale: drawn as a
// logical-pixel line, 1.5x and 2x would thicken it and set it inside on two sides.
void KeyablePanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // A device pixel, a hair less, so that rounding never spills into the next.
    const qreal px = 1 / p.deviceTransform().m11() - 1e-6;
    const qreal w = width(), h = height();
    const QColor edge = palette().color(QPalette::Mid);
    for (const QRectF& side : {QRectF(0, 0, w, px), QRectF(0, h - px, w, px), QRectF(0, 0, px, h),
                               QRectF(w - px, 0, px, h)})
        p.fillRect(side, edge);
}

} // namespace jotbox
