#include "platform/StatusNotifierHostWatcher.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace jotbox {

namespace {
const QString kService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kPath = QStringLiteral("/StatusNotifierWatcher");
} // namespace

StatusNotifierHostWatcher::StatusNotifierHostWatcher(QDBusConnection bus, QObject* parent)
    : TrayHostWatcher(parent), m_bus(std::move(bus)) {
    if (!m_bus.isConnected())
        return;
    m_services =
        new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_services, &QDBusServiceWatcher::serviceRegistered, this,
            &StatusNotifierHostWatcher::query);
    connect(m_services, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { setState(State::absent); });
    m_bus.connect(kService, kPath, kService, QStringLiteral("StatusNotifierHostRegistered"), this,
                  SLOT(query()));
    query();
}

void StatusNotifierHostWatcher::query() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* c) {
        c->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *c;
        if (reply.isError())
            setState(reply.error().type() == QDBusError::ServiceUnknown ? State::absent
                                                                        : State::starting);
        else
            setState(reply.value().variant().toBool() ? State::present : State::starting);
    });
}

void StatusNotifierHostWatcher::setState(State state) {
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

} // namespace jotbox
