#include "app/KeyablePanel.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QVBoxLayout>

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

KeyablePanel::KeyablePanel(QWidget* content, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
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

void KeyablePanel::present(QPoint origin) {
    move(origin);
    show();
    raise();
    activateWindow();
    if (focusProxy())
        focusProxy()->setFocus(Qt::PopupFocusReason);
}

// The window background, with a hairline edge so the panel stands apart
// from what is under it when the window manager draws no shadow.
void KeyablePanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace jotbox
