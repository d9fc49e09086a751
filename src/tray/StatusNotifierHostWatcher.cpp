#include "tray/StatusNotifierHostWatcher.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>

namespace jotbox {

namespace {
const QString kService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kPath = QStringLiteral("/StatusNotifierWatcher");
constexpr int kAnswerWithin = 2000; // ms; a watcher that hangs is no host
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
    // From any sender: naming the service would ask the bus for its owner
    // and wait, before the icon; the answer comes from the service alone.
    m_bus.connect(QString(), kPath, kService, QStringLiteral("StatusNotifierHostRegistered"), this,
                  SLOT(query()));
    // Known from the start: an XEmbed tray seen first must not pass for the
    // only host while the first answer is on its way.
    m_state = stateNow();
}

namespace {
QDBusMessage hostQuery() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    return get << kService << QStringLiteral("IsStatusNotifierHostRegistered");
}
} // namespace

TrayHostWatcher::State StatusNotifierHostWatcher::stateOf(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")
                   ? State::absent
                   : State::starting;
    const QVariant value = reply.arguments().value(0).value<QDBusVariant>().variant();
    return value.typeId() == QMetaType::Bool && value.toBool() ? State::present : State::starting;
}

TrayHostWatcher::State StatusNotifierHostWatcher::stateNow() {
    if (!m_bus.isConnected())
        return State::absent;
    // Not signalled: the caller is deciding on it right now.
    return m_state = stateOf(m_bus.call(hostQuery(), QDBus::Block, kAnswerWithin));
}

bool StatusNotifierHostWatcher::hostOpensMenuOnClick() {
    if (!m_bus.isConnected())
        return false;
    const QDBusReply<uint> pid = m_bus.interface()->servicePid(kService);
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid.isValid() ? pid.value() : 0));
    return pid.isValid() && comm.open(QIODevice::ReadOnly) &&
           comm.readAll().trimmed() == "gnome-shell";
}

void StatusNotifierHostWatcher::query() {
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(hostQuery()), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* c) {
        c->deleteLater();
        setState(stateOf(c->reply()));
    });
}

void StatusNotifierHostWatcher::setState(State state) {
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

} // namespace jotbox
