#include "tray/XEmbedIconFitter.h"

#include "desktop/NativePixels.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace jotbox {

XEmbedIconFitter::XEmbedIconFitter(QObject* parent) : QObject(parent) {
    connect(&m_follow, &QTimer::timeout, this, &XEmbedIconFitter::tick);
}

void XEmbedIconFitter::follow() {
    m_followTicks = kFollowTicks;
    m_fittedTicks = 0;
    if (!m_follow.isActive())
        m_follow.start(kFollowTick);
}

// Until it has stayed docked and fitted for a second: no wake-ups after.
void XEmbedIconFitter::tick() {
    if (--m_followTicks <= 0 || m_fittedTicks >= kFittedTicks)
        m_follow.stop();
    for (QWidget* w : QApplication::topLevelWidgets())
        // Made once Qt sees the tray itself, a moment after Jotbox may.
        if (w->objectName() == QLatin1String("QSystemTrayIconSys") && w->windowHandle()) {
            if (!w->property("jotboxFollows").toBool()) {
                w->setProperty("jotboxFollows", true);
                w->installEventFilter(this); // its moves, where Qt does see them
                m_sizeAskedAgain = 0;
            }
            m_fittedTicks = fitToTray(w) ? m_fittedTicks + 1 : 0;
        }
}

// Whether it is docked (out of the corner Qt makes it in) and was fitted already.
bool XEmbedIconFitter::fitToTray(QWidget* window) {
    QWindow* handle = window->windowHandle();
    const QScreen* first = QGuiApplication::primaryScreen();
    if (!handle || !handle->screen() || !first)
        return false;
    const QPoint native = toNativePixels(handle->mapToGlobal(QPoint()), handle->screen());
    QScreen* tray = QGuiApplication::screenAt(fromNativePixels(native));
    const bool moved = tray && tray != handle->screen();
    if (moved)
        handle->setScreen(tray);
    // Its size was asked for at the scale of the screen Qt made it on.
    const qreal scale = handle->devicePixelRatio();
    const QVariant askedAt = window->property("jotboxAskedAt");
    const bool again = scale != first->devicePixelRatio() &&
                       window->width() < window->minimumWidth() &&
                       m_sizeAskedAgain < kAskSizeAgain; // a tray still embedding it may miss it
    if (scale == (askedAt.isValid() ? askedAt.toReal() : first->devicePixelRatio()) && !again)
        return !moved && !native.isNull();
    m_sizeAskedAgain += again;
    window->setProperty("jotboxAskedAt", scale);
    const QSize size = window->minimumSize();
    window->setMinimumSize(0, 0); // the same size again would not be sent
    window->setMinimumSize(size); // not a resize: that would move it out of the tray
    return false;
}

bool XEmbedIconFitter::eventFilter(QObject* watched, QEvent* event) {
    if (auto* window = qobject_cast<QWidget*>(watched);
        window && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        fitToTray(window);
    return QObject::eventFilter(watched, event);
}

} // namespace jotbox
