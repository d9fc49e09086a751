#include "tray/QtTrayIcon.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>

#include <xcb/xcb.h>

namespace jotbox {

QtTrayIcon::QtTrayIcon(StatusNotifierItem::Icon icon, const QString& toolTip,
                       std::unique_ptr<TrayHostWatcher> statusNotifierHost,
                       std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent)
    : TrayIcon(parent), m_image(std::move(icon)), m_toolTip(toolTip),
      m_hostChoice(std::move(statusNotifierHost), std::move(xembedHost)) {
    connect(&m_hostChoice, &TrayHostChoice::chosen, this, &QtTrayIcon::makeIcon);
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::show() {
    if (m_icon) {
        m_icon->show();
        m_fitter.follow();
    } else
        m_hostChoice.start();
}

void QtTrayIcon::makeIcon(TrayHostChoice::Choice choice) {
    m_clickOpensMenu = choice.clickOpensMenu;
    // The status menu goes with the item over DBusMenu, read afresh as a tray
    // opens it; trays that call ContextMenu instead get Jotbox's own menu.
    if (choice.statusNotifier) {
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
    // Sent now: the loop that would send it may be a while away at start.
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        xcb_flush(x11->connection());
    m_fitter.follow();
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
    m_menu.exec(menu, geometry());
}

} // namespace jotbox
