#pragma once

#include "tray/TrayHostWatcher.h"

#include <QDBusConnection>

class QDBusServiceWatcher;

namespace jotbox {

// A StatusNotifierItem host: org.kde.StatusNotifierWatcher on the session
// bus with a host registered, which is what Qt asks before it puts its tray
// icon on D-Bus. Follows the watcher coming, going and gaining a host.
class StatusNotifierHostWatcher final : public TrayHostWatcher {
    Q_OBJECT
public:
    explicit StatusNotifierHostWatcher(QDBusConnection bus = QDBusConnection::sessionBus(),
                                       QObject* parent = nullptr);
    State state() const override { return m_state; }
    // Asks and waits for the answer, as Qt does when it makes a tray icon.
    State stateNow() override;
    // GNOME Shell's AppIndicator extension does (its watcher is the shell).
    bool hostOpensMenuOnClick() override;

private slots:
    void query();

private:
    void setState(State state);
    static State stateOf(const QDBusMessage& reply);

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_services = nullptr;
    State m_state = State::absent;
};

} // namespace jotbox
