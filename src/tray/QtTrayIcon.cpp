#include "tray/QtTrayIcon.h"

#include "desktop/NativePixels.h"
#include "tray/QtMenu.h"
#include "tray/X11DesktopBars.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>
#include <QWindow>

namespace jotbox {

QtTrayIcon::QtTrayIcon(StatusNotifierItem::Icon icon, const QString& toolTip,
                       std::unique_ptr<TrayHostWatcher> statusNotifierHost,
                       std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent)
    : TrayIcon(parent), m_image(std::move(icon)), m_toolTip(toolTip),
      m_statusNotifierHost(std::move(statusNotifierHost)), m_xembedHost(std::move(xembedHost)) {
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &QtTrayIcon::makeIcon);
    connect(&m_follow, &QTimer::timeout, this, &QtTrayIcon::followTick);
    for (TrayHostWatcher* host : {m_statusNotifierHost.get(), m_xembedHost.get()})
        if (host)
            connect(host, &TrayHostWatcher::stateChanged, this, [this] {
                if (m_shown && hostReady())
                    makeIcon();
            });
}

QtTrayIcon::~QtTrayIcon() = default;

bool QtTrayIcon::hostReady() const {
    using State = TrayHostWatcher::State;
    const State sni = m_statusNotifierHost ? m_statusNotifierHost->state() : State::absent;
    const State xembed = m_xembedHost ? m_xembedHost->state() : State::absent;
    // Where a StatusNotifierItem service runs, its host is coming: an XEmbed
    // tray there is most likely the desktop's proxy for old programs.
    return sni == State::present || (sni == State::absent && xembed == State::present);
}

void QtTrayIcon::show() {
    m_shown = true;
    if (m_icon) {
        m_icon->show();
        followTrayScreen();
    } else if (m_made)
        return;
    else if (hostReady())
        makeIcon();
    else if (!m_wait.isActive())
        m_wait.start(kHostWait);
}

void QtTrayIcon::makeIcon() {
    if (m_made)
        return;
    m_made = true;
    m_wait.stop();
    // Asked now, and waited for, as Qt asks when it makes an icon: where this
    // finds no host, Qt's icon then takes the XEmbed path too.
    const bool statusNotifier =
        m_statusNotifierHost && m_statusNotifierHost->stateNow() == TrayHostWatcher::State::present;
    m_clickOpensMenu = statusNotifier && m_statusNotifierHost->hostOpensMenuOnClick();
    // No longer needed; later, since one of them may be what called.
    for (auto* host : {m_statusNotifierHost.release(), m_xembedHost.release()})
        if (host)
            host->deleteLater();
    // The status menu goes with the item over DBusMenu, read afresh as a tray
    // opens it; trays that call ContextMenu instead get Jotbox's own menu.
    if (statusNotifier) {
        auto* item = new StatusNotifierItem(
            m_toolTip, m_image, [this] { return m_menuSource ? m_menuSource() : Menu{}; }, this);
        connect(item, &StatusNotifierItem::activated, this, [this](const QString& token) {
            m_activationToken = token;
            primaryClick();
        });
        connect(item, &StatusNotifierItem::contextMenuRequested, this,
                [this] { emit clicked(Click::secondary); });
        if (item->publish())
            return;
        delete item;
    }
    m_icon = new QSystemTrayIcon(m_image.pixmaps, this);
    m_icon->setToolTip(m_toolTip);
    // Passed on later, as the item's clicks are: the menu runs its own loop.
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Trays report the second click of a quick double click as a
                // double click: it is a click all the same.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    QMetaObject::invokeMethod(this, &QtTrayIcon::primaryClick,
                                              Qt::QueuedConnection);
                else if (reason == QSystemTrayIcon::Context)
                    QMetaObject::invokeMethod(
                        this, [this] { emit clicked(Click::secondary); }, Qt::QueuedConnection);
            });
    m_icon->show();
    followTrayScreen();
}

// Qt makes its XEmbed icon's window on the first screen and, once docked,
// does not always move it to the tray's (nor tell the widget it moved);
// where it does, it keeps the size it asked for in the first screen's
// pixels. Beside a monitor at another scale the tray then gives it half (or
// twice) the room, and the icon is drawn that small. So for a while after
// the icon shows, and whenever it moves, its screen is set from where it
// really is and its size asked again in that screen's pixels.
void QtTrayIcon::followTrayScreen() {
    m_followTicks = kFollowTicks;
    m_fittedTicks = 0;
    if (!m_follow.isActive())
        m_follow.start(kFollowTick);
}

// Until it has stayed docked and fitted for a second: no wake-ups after.
void QtTrayIcon::followTick() {
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
bool QtTrayIcon::fitToTray(QWidget* window) {
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

bool QtTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (auto* window = qobject_cast<QWidget*>(watched);
        window && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        fitToTray(window);
    return TrayIcon::eventFilter(watched, event);
}

void QtTrayIcon::primaryClick() {
    // GTK trays report one click twice over, as a press and as a double
    // press, at once.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastActivation < kRepeatedActivation)
        return;
    m_lastActivation = now;
    emit clicked(Click::primary);
}

// Read at each use: an XEmbed icon reports its place only once it has docked,
// a StatusNotifierItem one never.
QRect QtTrayIcon::geometry() const {
    return m_icon ? m_icon->geometry() : QRect();
}

void QtTrayIcon::setMenuSource(std::function<Menu()> source) {
    m_menuSource = std::move(source);
}

void QtTrayIcon::showMenu(const Menu& menu) {
    // A tray calling ContextMenu again while the menu is open (it runs its
    // own loop, where the next call arrives) must not stack another.
    if (m_menuShown)
        return;
    m_menuShown = true;
    const auto shown = qScopeGuard([self = QPointer(this)] {
        if (self) // a choice in the menu may have let the icon go
            self->m_menuShown = false;
    });
    std::unique_ptr<QMenu> rendered = renderMenu(menu);
    rendered->setObjectName(QStringLiteral("JotboxStatusMenu"));
    rendered->setWindowTitle(QStringLiteral("Jotbox menu"));
    const QRect icon = geometry();
    if (icon.isEmpty()) {
        rendered->exec(QCursor::pos());
        return;
    }
    // Against the bar holding the icon, not over its edge: under a top bar,
    // above a bottom one.
    QRect bar = icon;
    const QScreen* screen = QGuiApplication::screenAt(icon.center());
    for (const QRect& b : x11DesktopBars(screen, icon.center()))
        if (b.contains(icon.center()))
            bar = bar.united(b);
    const bool below = !screen || icon.center().y() < screen->geometry().center().y();
    rendered->exec(below ? QPoint(icon.x(), bar.y() + bar.height())
                         : QPoint(icon.x(), bar.y() - rendered->sizeHint().height()));
}

} // namespace jotbox
