#pragma once

#include "platform/TrayHostWatcher.h"
#include "platform/TrayIcon.h"

#include <QIcon>
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

    QtTrayIcon(const QIcon& icon, const QString& toolTip,
               std::unique_ptr<TrayHostWatcher> statusNotifierHost,
               std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void show() override;
    QRect geometry() const override;
    void showMenu(const Menu& menu) override;

private:
    bool hostReady() const;
    void makeIcon();

    QIcon m_image;
    QString m_toolTip;
    std::unique_ptr<TrayHostWatcher> m_statusNotifierHost;
    std::unique_ptr<TrayHostWatcher> m_xembedHost;
    QTimer m_wait;
    bool m_shown = false;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace jotbox
