#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace jotbox {

using OSStatus = std::int32_t;
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus eventNotHandledErr = -9874;

inline constexpr std::uint32_t kEventClassKeyboard = 0x6B657962; // 'keyb'
inline constexpr std::uint32_t kEventHotKeyPressed = 5;
inline constexpr std::uint32_t kEventHotKeyReleased = 6;

// The 8-byte identity a hotkey is registered under.
struct EventHotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    friend bool operator==(const EventHotKeyID&, const EventHotKeyID&) = default;
};

struct EventTypeSpec {
    std::uint32_t eventClass;
    std::uint32_t eventKind;
};

// A hotkey press or release as the service reports it.
struct HotKeyEvent {
    EventHotKeyID identity;
    std::uint32_t kind = 0;
    // A service may fail to read the identity back; that status is reported.
    OSStatus parameterStatus = noErr;
};
using EventRef = const HotKeyEvent*;

// Opaque, non-zero handles; 0 stands for none.
using EventHotKeyRef = std::uint64_t;
using EventHandlerRef = std::uint64_t;
using EventHandler = std::function<OSStatus(EventRef)>;

// The system-wide hotkey calls the hotkey controller relies on. The program
// uses the X11 implementation; tests use a fake.
class HotkeyService {
public:
    virtual ~HotkeyService() = default;
    // noErr and a non-zero ref mean presses and releases now reach the handler.
    virtual OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                         EventHotKeyID identity, std::uint32_t options,
                                         EventHotKeyRef* outRef) = 0;
    virtual OSStatus unregisterEventHotKey(EventHotKeyRef ref) = 0;
    virtual OSStatus installEventHandler(EventHandler handler,
                                         const std::vector<EventTypeSpec>& types,
                                         EventHandlerRef* outRef) = 0;

    // Reading an event back is the same for every service.
    static OSStatus getEventParameter(EventRef event, EventHotKeyID* out) {
        if (event->parameterStatus != noErr)
            return event->parameterStatus;
        *out = event->identity;
        return noErr;
    }
    static std::uint32_t getEventKind(EventRef event) { return event->kind; }

    // The activation token that came with the last press, if the service
    // gives one (a desktop's portal may), taken once.
    virtual std::string takeActivationToken() { return {}; }
};

} // namespace jotbox
