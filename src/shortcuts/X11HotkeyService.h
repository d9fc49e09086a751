#pragma once

#include "shortcuts/HotkeyService.h"
#include "shortcuts/X11KeyGrabs.h"

#include <QByteArray>
#include <QObject>

#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

namespace jotbox {

// System-wide hotkeys on X11: passive key grabs on the root window, over a
// connection of our own so they work whatever Qt's platform is. Without an
// X server every registration is refused and nothing else changes.
class X11HotkeyService final : public QObject, public HotkeyService {
    Q_OBJECT
public:
    // An empty name means $DISPLAY.
    explicit X11HotkeyService(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~X11HotkeyService() override;

    bool isConnected() const { return m_connection != nullptr; }

    OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                 EventHotKeyID identity, std::uint32_t options,
                                 EventHotKeyRef* outRef) override;
    OSStatus unregisterEventHotKey(EventHotKeyRef ref) override;
    OSStatus installEventHandler(EventHandler handler, const std::vector<EventTypeSpec>& types,
                                 EventHandlerRef* outRef) override;

    static constexpr OSStatus kNoConnection = -1;
    static constexpr OSStatus kUnknownKey = -2;
    static constexpr OSStatus kAlreadyGrabbed = -3; // another client holds the combination

private:
    // Reads the keymap: which modifiers the locks are, and where each letter is.
    void readKeymap();
    std::optional<std::uint8_t> keycodeFor(std::uint32_t carbonKeyCode) const;
    bool grab(std::uint8_t keycode, std::uint16_t modifiers);
    void ungrab(std::uint8_t keycode, std::uint16_t modifiers,
                const std::vector<std::uint16_t>& lockCombinations);
    void regrabAll();
    void processEvents();
    void scheduleProcessEvents();
    void handle(const void* event); // an xcb_generic_event_t
    void deliver(EventHotKeyID identity, std::uint32_t kind);

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint8_t m_xkbEvent = 0; // the XKB extension's event code, once it is in use
    std::unique_ptr<QSocketNotifier> m_notifier;
    KeyGrabTable m_table;
    std::vector<std::uint16_t> m_lockCombinations{0};
    KeyboardMap m_keymap;
    EventHandler m_handler;
    EventHotKeyRef m_nextRef = 1;
};

} // namespace jotbox
