#pragma once

#include "shortcuts/HotkeyService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <chrono>

#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace jotbox {

// One shortcut as the GlobalShortcuts portal knows it, for the key combo
// (Carbon key code and modifiers) registered under it.
struct PortalShortcut {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    QString id;          // stable: the desktop keeps the user's binding under it
    QString description; // what the desktop's settings show
    QString trigger;     // the preferred trigger, as the XDG shortcuts notation writes it
};

// System-wide hotkeys in Wayland sessions, where an X11 grab sees keys only
// while an X11 window has focus: the shortcut is bound through the desktop's
// GlobalShortcuts portal, on a private session-bus connection. Every other
// combination, and this one too when the portal is missing, refuses or binds
// nothing, goes to the fallback service (the X11 grab). The fallback is
// asked only once the portal has answered: a desktop's shortcut service may
// grab the key on the X server while binding, and must find it free. Any
// answer not of the protocol's types is a refusal; a portal that does not
// answer in time has the grab stand in, and still binds the shortcut when it
// answers later (a person reading the desktop's dialog); a session the
// desktop closes is made again.
class PortalHotkeyService final : public QObject, public HotkeyService {
    Q_OBJECT
public:
    enum class State { idle, binding, bound, fallenBack };
    // Long enough for the user to answer a desktop's binding dialog.
    static constexpr std::chrono::milliseconds kAnswerTimeout{30'000};

    PortalHotkeyService(std::shared_ptr<HotkeyService> fallback, PortalShortcut shortcut,
                        QString applicationId, const QString& busAddress = {},
                        std::chrono::milliseconds answerTimeout = kAnswerTimeout,
                        QObject* parent = nullptr);
    ~PortalHotkeyService() override;

    State state() const { return m_state; }

    OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                 EventHotKeyID identity, std::uint32_t options,
                                 EventHotKeyRef* outRef) override;
    OSStatus unregisterEventHotKey(EventHotKeyRef ref) override;
    std::string takeActivationToken() override { return std::exchange(m_activationToken, {}); }
    OSStatus installEventHandler(EventHandler handler, const std::vector<EventTypeSpec>& types,
                                 EventHandlerRef* outRef) override;

signals:
    // The portal did not bind the shortcut; the fallback has it instead.
    void fellBack();

private slots:
    void onResponse(const QDBusMessage& message);
    void onShortcutSignal(const QDBusMessage& message);
    void onSessionClosed();

private:
    struct Registration {
        std::uint32_t keyCode, modifiers;
        EventHotKeyID identity;
        std::optional<EventHotKeyRef> fallbackRef; // set while the fallback holds it
    };

    void registerWithPortal();
    void createSession();
    void bindShortcuts();
    // Subscribes to the Response of a request before it is made.
    QString expectResponse(const QString& step);
    void requestOrFallBack(const QDBusMessage& call);
    QVariant shortcutList() const;
    // `listening`: the portal may still answer, and take the shortcut back.
    void fallBack(bool listening = false);
    void stopListening();
    // The portal bound the shortcut after the grab stood in: the grab goes.
    void takeBackFromFallback();
    bool isPortalShortcut(const Registration& r) const;
    void deliver(const QString& session, const QString& id, std::uint32_t kind);

    std::shared_ptr<HotkeyService> m_fallback;
    PortalShortcut m_shortcut;
    QString m_applicationId;
    QDBusConnection m_bus;
    State m_state = State::idle;
    std::string m_activationToken; // from the last Activated
    bool m_listeningLate = false;  // fallen back, the portal's answer still awaited
    QString m_sessionHandle;
    QTimer m_answerTimer;                         // gives up on a portal that does not answer
    std::map<QString, QString> m_pendingRequests; // request path -> step
    std::map<EventHotKeyRef, Registration> m_registrations;
    EventHotKeyRef m_nextRef = 1;
    EventHandler m_handler;
};

} // namespace jotbox
