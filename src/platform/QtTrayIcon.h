#pragma once

#include "platform/TrayHostWatcher.h"
#include "platform/TrayIcon.h"

#include <QIcon>
#include <QMenu>
#include <QTimer>

#include <chrono>
#include <memory>

class QSystemTrayIcon;

namespace jotbox {

// The icon through QSystemTrayIcon. Qt chooses between a StatusNotifierItem
// and an XEmbed icon once per process, when the first icon is made, so the
// icon is made only once a tray host is there to show it (StatusNotifierItem
// preferred where its service runs), or when waiting has gone on too long;
// an XEmbed icon made then still docks in a tray that comes later.
class QtTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kHostWait{30};
    // Faster than any hand clicks twice: one click reported twice.
    static constexpr std::chrono::milliseconds kRepeatedActivation{40};

    QtTrayIcon(const QIcon& icon, const QString& toolTip,
               std::unique_ptr<TrayHostWatcher> statusNotifierHost,
               std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void show() override;
    QRect geometry() const override;
    void showMenu(const Menu& menu) override;
    void setMenuSource(std::function<Menu()> source) override;
    bool clickOpensMenu() const override { return m_clickOpensMenu; }

private:
    bool hostReady() const;
    void makeIcon();

    QIcon m_image;
    QString m_toolTip;
    std::unique_ptr<TrayHostWatcher> m_statusNotifierHost;
    std::unique_ptr<TrayHostWatcher> m_xembedHost;
    QTimer m_wait;
    bool m_shown = false;
    bool m_clickOpensMenu = false;
    QSystemTrayIcon* m_icon = nullptr;
    std::function<Menu()> m_menuSource;
    std::unique_ptr<QMenu> m_menu; // attached to the icon, refilled as it opens
    std::chrono::steady_clock::time_point m_lastActivation;
};

} // namespace jotbox
