#include "shortcuts/PortalHotkeyService.h"
#include "shortcuts/PortalShortcutEntry.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

#include <algorithm>

namespace jotbox {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
// Desktops keep the user's binding under the session's name: it never changes.
const QString kSessionToken = QStringLiteral("jotbox");
constexpr OSStatus kNoService = -1;
constexpr OSStatus kAlreadyRegistered = -3;

QString randomToken(const QString& step) {
    return QStringLiteral("jotbox_%1_%2")
        .arg(step)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

} // namespace

PortalHotkeyService::PortalHotkeyService(std::shared_ptr<HotkeyService> fallback,
                                         PortalShortcut shortcut, QString applicationId,
                                         const QString& busAddress,
                                         std::chrono::milliseconds answerTimeout, QObject* parent)
    : QObject(parent), m_fallback(std::move(fallback)), m_shortcut(std::move(shortcut)),
      m_applicationId(std::move(applicationId)),
      m_bus(busAddress.isEmpty()
                ? QDBusConnection::connectToBus(
                      QDBusConnection::SessionBus,
                      QStringLiteral("jotbox-portal-%1").arg(quintptr(this), 0, 16))
                : QDBusConnection::connectToBus(
                      busAddress, QStringLiteral("jotbox-portal-%1").arg(quintptr(this), 0, 16))) {
    qDBusRegisterMetaType<PortalShortcutEntry>();
    qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
    // Slots that take the whole message match whatever the arguments' types.
    for (const QString& signal : {QStringLiteral("Activated"), QStringLiteral("Deactivated")})
        m_bus.connect(kPortal, kPortalPath, kShortcuts, signal, this,
                      SLOT(onShortcutSignal(QDBusMessage)));
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(answerTimeout);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::binding)
            fallBack(true);
    });
}

PortalHotkeyService::~PortalHotkeyService() {
    // Leaving the bus ends the portal session and its binding with it.
    QDBusConnection::disconnectFromBus(m_bus.name());
}

bool PortalHotkeyService::isPortalShortcut(const Registration& r) const {
    return r.keyCode == m_shortcut.keyCode && r.modifiers == m_shortcut.modifiers;
}

OSStatus PortalHotkeyService::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                  EventHotKeyID identity, std::uint32_t options,
                                                  EventHotKeyRef* outRef) {
    *outRef = 0;
    Registration r{keyCode, modifiers, identity, std::nullopt};
    for (const auto& [ref, held] : m_registrations)
        if (held.keyCode == keyCode && held.modifiers == modifiers)
            return kAlreadyRegistered;
    const bool throughPortal = isPortalShortcut(r) && m_state != State::fallenBack;
    if (!throughPortal) {
        EventHotKeyRef fallbackRef = 0;
        const OSStatus status = m_fallback
                                    ? m_fallback->registerEventHotKey(keyCode, modifiers, identity,
                                                                      options, &fallbackRef)
                                    : kNoService;
        if (status != noErr || fallbackRef == 0)
            return status != noErr ? status : kNoService;
        r.fallbackRef = fallbackRef;
    }
    const EventHotKeyRef ref = m_nextRef++;
    m_registrations.emplace(ref, r);
    *outRef = ref;
    if (throughPortal && m_state == State::idle)
        registerWithPortal();
    return noErr;
}

OSStatus PortalHotkeyService::unregisterEventHotKey(EventHotKeyRef ref) {
    const auto it = m_registrations.find(ref);
    if (it == m_registrations.end())
        return eventNotHandledErr;
    if (it->second.fallbackRef && m_fallback)
        m_fallback->unregisterEventHotKey(*it->second.fallbackRef);
    m_registrations.erase(it);
    return noErr;
}

OSStatus PortalHotkeyService::installEventHandler(EventHandler handler,
                                                  const std::vector<EventTypeSpec>& types,
                                                  EventHandlerRef* outRef) {
    m_handler = handler;
    if (m_fallback) {
        EventHandlerRef ignored = 0;
        m_fallback->installEventHandler(std::move(handler), types, &ignored);
    }
    *outRef = 1;
    return noErr;
}

// Newer portals want to know the application before anything else on this
// connection; older ones do not have the call and need nothing.
void PortalHotkeyService::registerWithPortal() {
    m_state = State::binding;
    m_answerTimer.start();
    if (!m_bus.isConnected()) {
        fallBack();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortal, kPortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    call << m_applicationId << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusError::ErrorType error = QDBusPendingReply<>(*w).error().type();
        if (error == QDBusError::NoError || error == QDBusError::UnknownMethod ||
            error == QDBusError::UnknownInterface)
            createSession();
        else
            fallBack();
    });
}

QString PortalHotkeyService::expectResponse(const QString& step) {
    const QString sender = m_bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path =
        QStringLiteral("%1/request/%2/%3").arg(kPortalPath, sender, randomToken(step));
    m_bus.connect(kPortal, path, kRequest, QStringLiteral("Response"), this,
                  SLOT(onResponse(QDBusMessage)));
    m_pendingRequests[path] = step;
    return path;
}

// The shortcut goes both in CreateSession's options (the only list KDE's
// portal 5.27 binds) and in BindShortcuts (where newer portals look).
QVariant PortalHotkeyService::shortcutList() const {
    const QList<PortalShortcutEntry> list{
        {m_shortcut.id,
         {{QStringLiteral("description"), m_shortcut.description},
          {QStringLiteral("preferred_trigger"), m_shortcut.trigger}}}};
    return QVariant::fromValue(list);
}

void PortalHotkeyService::createSession() {
    const QString request = expectResponse(QStringLiteral("create"));
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts,
                                                       QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), request.section(QLatin1Char('/'), -1)},
                        {QStringLiteral("session_handle_token"), kSessionToken},
                        {QStringLiteral("shortcuts"), shortcutList()}};
    requestOrFallBack(call);
}

void PortalHotkeyService::bindShortcuts() {
    const QString request = expectResponse(QStringLiteral("bind"));
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts,
                                                       QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_sessionHandle)) << shortcutList() << QString()
         << QVariantMap{{QStringLiteral("handle_token"), request.section(QLatin1Char('/'), -1)}};
    requestOrFallBack(call);
}

// A request the portal refuses outright gets no Response: the grab stands in.
void PortalHotkeyService::requestOrFallBack(const QDBusMessage& call) {
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (QDBusPendingReply<QDBusObjectPath>(*w).isError())
            fallBack();
    });
}

void PortalHotkeyService::onResponse(const QDBusMessage& message) {
    const auto it = m_pendingRequests.find(message.path());
    if (it == m_pendingRequests.end())
        return;
    const QString step = it->second;
    m_pendingRequests.erase(it);
    m_bus.disconnect(kPortal, message.path(), kRequest, QStringLiteral("Response"), this,
                     SLOT(onResponse(QDBusMessage)));
    const QVariantList args = message.arguments();
    const bool late = m_state == State::fallenBack && m_listeningLate;
    if (m_state != State::binding && !late)
        return;
    const auto refused = [this, late] { late ? stopListening() : fallBack(); };
    // (response code, results); anything else is no answer to act on.
    if (message.signature() != QLatin1String("ua{sv}") || args[0].toUInt() != 0)
        return refused();
    const QVariantMap results = qdbus_cast<QVariantMap>(args[1]);
    if (step == QLatin1String("create")) {
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        m_sessionHandle = handle.userType() == qMetaTypeId<QDBusObjectPath>()
                              ? handle.value<QDBusObjectPath>().path()
                          : handle.userType() == QMetaType::QString ? handle.toString()
                                                                    : QString();
        if (m_sessionHandle.isEmpty())
            return refused();
        m_bus.connect(kPortal, m_sessionHandle, QStringLiteral("org.freedesktop.portal.Session"),
                      QStringLiteral("Closed"), this, SLOT(onSessionClosed()));
        bindShortcuts();
        return;
    }
    // An empty list means nothing was bound; a list of another type, nothing either.
    const QVariant shortcuts = results.value(QStringLiteral("shortcuts"));
    const bool listed =
        shortcuts.userType() == qMetaTypeId<QDBusArgument>() &&
        shortcuts.value<QDBusArgument>().currentSignature() == QLatin1String("a(sa{sv})");
    const auto bound =
        listed ? qdbus_cast<QList<PortalShortcutEntry>>(shortcuts) : QList<PortalShortcutEntry>();
    const bool ours = std::any_of(bound.begin(), bound.end(), [this](const PortalShortcutEntry& e) {
        return e.id == m_shortcut.id;
    });
    if (!ours)
        return refused();
    m_answerTimer.stop();
    if (late)
        takeBackFromFallback();
    m_state = State::bound;
}

void PortalHotkeyService::takeBackFromFallback() {
    m_listeningLate = false;
    for (auto& [ref, r] : m_registrations)
        if (isPortalShortcut(r) && r.fallbackRef) {
            if (m_fallback)
                m_fallback->unregisterEventHotKey(*r.fallbackRef);
            r.fallbackRef.reset();
        }
}

void PortalHotkeyService::stopListening() {
    m_listeningLate = false;
    for (const auto& [path, step] : m_pendingRequests)
        m_bus.disconnect(kPortal, path, kRequest, QStringLiteral("Response"), this,
                         SLOT(onResponse(QDBusMessage)));
    m_pendingRequests.clear();
}

// The desktop ended the session (its shortcut service restarted, say): the
// binding goes with it, so a new session is asked for, or the grab takes over.
void PortalHotkeyService::onSessionClosed() {
    if (m_state != State::bound)
        return;
    m_bus.disconnect(kPortal, m_sessionHandle, QStringLiteral("org.freedesktop.portal.Session"),
                     QStringLiteral("Closed"), this, SLOT(onSessionClosed()));
    m_sessionHandle.clear();
    m_state = State::binding;
    m_answerTimer.start();
    createSession();
}

void PortalHotkeyService::fallBack(bool listening) {
    if (m_state == State::fallenBack) {
        if (!listening)
            stopListening();
        return;
    }
    m_state = State::fallenBack;
    m_answerTimer.stop();
    if (listening)
        m_listeningLate = true;
    else
        stopListening();
    for (auto& [ref, r] : m_registrations) {
        EventHotKeyRef fallbackRef = 0;
        if (!r.fallbackRef && m_fallback &&
            m_fallback->registerEventHotKey(r.keyCode, r.modifiers, r.identity, 0, &fallbackRef) ==
                noErr &&
            fallbackRef != 0)
            r.fallbackRef = fallbackRef;
    }
    emit fellBack();
}

// Activated and Deactivated: (session handle, shortcut id, timestamp, options).
void PortalHotkeyService::onShortcutSignal(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (message.signature() != QLatin1String("osta{sv}"))
        return;
    const bool pressed = message.member() == QLatin1String("Activated");
    if (pressed) {
        const QVariant token =
            qdbus_cast<QVariantMap>(args[3]).value(QStringLiteral("activation_token"));
        m_activationToken = token.metaType() == QMetaType::fromType<QString>()
                                ? token.toString().toStdString()
                                : std::string();
    }
    deliver(args[0].value<QDBusObjectPath>().path(), args[1].toString(),
            pressed ? kEventHotKeyPressed : kEventHotKeyReleased);
}

void PortalHotkeyService::deliver(const QString& session, const QString& id, std::uint32_t kind) {
    if (m_state != State::bound || session != m_sessionHandle || id != m_shortcut.id || !m_handler)
        return;
    for (const auto& [ref, r] : m_registrations) {
        if (isPortalShortcut(r) && !r.fallbackRef) {
            const HotKeyEvent event{r.identity, kind, noErr};
            (void)m_handler(&event);
            return;
        }
    }
}

} // namespace jotbox
