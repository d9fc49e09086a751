#include "platform/QtTrayIcon.h"

#include "platform/QtMenu.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace jotbox {

QtTrayIcon::QtTrayIcon(const QIcon& icon, const QString& toolTip,
                       std::unique_ptr<TrayHostWatcher> statusNotifierHost,
                       std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent)
    : TrayIcon(parent), m_image(icon), m_toolTip(toolTip),
      m_statusNotifierHost(std::move(statusNotifierHost)), m_xembedHost(std::move(xembedHost)) {
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &QtTrayIcon::makeIcon);
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
    if (m_icon)
        m_icon->show();
    else if (hostReady())
        makeIcon();
    else if (!m_wait.isActive())
        m_wait.start(kHostWait);
}

void QtTrayIcon::makeIcon() {
    if (m_icon)
        return;
    m_wait.stop();
    // Qt takes the StatusNotifierItem path on the same condition, asked now
    // and waited for as Qt asks: the status menu must go with it.
    const bool statusNotifier =
        m_statusNotifierHost && m_statusNotifierHost->stateNow() == TrayHostWatcher::State::present;
    m_clickOpensMenu = statusNotifier && m_statusNotifierHost->hostOpensMenuOnClick();
    // No longer needed; later, since one of them may be what called.
    for (auto* host : {m_statusNotifierHost.release(), m_xembedHost.release()})
        if (host)
            host->deleteLater();
    m_icon = new QSystemTrayIcon(m_image, this);
    m_icon->setToolTip(m_toolTip);
    // A StatusNotifierItem's menu is exported over DBusMenu to trays that
    // draw it themselves; they ask before opening it, so it is refilled then.
    // Trays that call ContextMenu instead, and XEmbed ones, get a menu of
    // Jotbox's own at a right click.
    if (statusNotifier) {
        m_menu = renderMenu(m_menuSource ? m_menuSource() : Menu{});
        connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
            if (m_menuSource)
                refillMenu(m_menu.get(), m_menuSource());
        });
        m_icon->setContextMenu(m_menu.get());
    }
    // Passed on later: a StatusNotifierItem click arrives as a D-Bus call,
    // which must be answered before the status menu runs its own event loop.
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                const auto now = std::chrono::steady_clock::now();
                switch (reason) {
                // Tray hosts report the second click of a quick double click as
                // a double click: it is a click all the same. GTK trays report
                // it twice over, as a press and as a double press, at once.
                case QSystemTrayIcon::Trigger:
                case QSystemTrayIcon::DoubleClick:
                    if (now - m_lastActivation < kRepeatedActivation)
                        break;
                    m_lastActivation = now;
                    QMetaObject::invokeMethod(
                        this, [this] { emit clicked(Click::primary); }, Qt::QueuedConnection);
                    break;
                case QSystemTrayIcon::Context:
                    QMetaObject::invokeMethod(
                        this, [this] { emit clicked(Click::secondary); }, Qt::QueuedConnection);
                    break;
                default:
                    break;
                }
            });
    m_icon->show();
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
    std::unique_ptr<QMenu> rendered = renderMenu(menu);
    rendered->setObjectName(QStringLiteral("JotboxStatusMenu"));
    rendered->setWindowTitle(QStringLiteral("Jotbox menu"));
    const QRect icon = geometry();
    const QPoint at = icon.isEmpty() ? QCursor::pos() : icon.bottomLeft() + QPoint(0, 1);
    rendered->exec(at);
}

} // namespace jotbox
