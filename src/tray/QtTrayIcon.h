#pragma once

#include "tray/StatusNotifierItem.h"
#include "tray/TrayHostWatcher.h"
#include "tray/TrayIcon.h"

#include <QTimer>

#include <chrono>
#include <memory>
#include <utility>

class QSystemTrayIcon;

namespace jotbox {

// The icon: a StatusNotifierItem of Jotbox's own where a host for those is
// there, else an XEmbed one through QSystemTrayIcon. The icon is made only
// once a tray host is there to show it (StatusNotifierItem preferred where
// its service runs), or when waiting has gone on too long; an XEmbed icon
// made then still docks in a tray that comes later.
class QtTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kHostWait{30};
    // Faster than any hand clicks twice: one click reported twice.
    static constexpr std::chrono::milliseconds kRepeatedActivation{40};
    // An XEmbed icon is fitted to its tray's screen this often after it
    // shows, this many times, or until it stayed fitted this many; a tray
    // giving it less room is asked again as often.
    static constexpr std::chrono::milliseconds kFollowTick{250};
    static constexpr int kFollowTicks = 40, kFittedTicks = 4;
    static constexpr int kAskSizeAgain = 8;

    QtTrayIcon(StatusNotifierItem::Icon icon, const QString& toolTip,
               std::unique_ptr<TrayHostWatcher> statusNotifierHost,
               std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void show() override;
    QRect geometry() const override;
    void showMenu(const Menu& menu) override;
    void setMenuSource(std::function<Menu()> source) override;
    bool clickOpensMenu() const override { return m_clickOpensMenu; }
    ActivationProof takeActivation() override { return {std::exchange(m_activationToken, {}), {}}; }

private:
    bool hostReady() const;
    void makeIcon();
    void followTrayScreen();
    void followTick();
    bool fitToTray(QWidget* window);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void primaryClick();

    StatusNotifierItem::Icon m_image;
    QString m_toolTip;
    std::unique_ptr<TrayHostWatcher> m_statusNotifierHost;
    std::unique_ptr<TrayHostWatcher> m_xembedHost;
    QTimer m_wait;
    bool m_shown = false;
    bool m_clickOpensMenu = false;
    bool m_made = false;
    QSystemTrayIcon* m_icon = nullptr; // the XEmbed one
    std::function<Menu()> m_menuSource;
    std::chrono::steady_clock::time_point m_lastActivation;
    QString m_activationToken;
    bool m_menuShown = false; // one status menu at a time, however often a tray asks
    QTimer m_follow;
    int m_followTicks = 0, m_fittedTicks = 0;
    int m_sizeAskedAgain = 0;
};

} // namespace jotbox
