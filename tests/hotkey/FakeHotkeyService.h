#pragma once

#include "shortcuts/HotkeyService.h"

#include <functional>
#include <vector>

namespace jotbox::testing {

// Records every call; refuses what a test tells it to refuse.
class FakeHotkeyService : public HotkeyService {
public:
    struct Registration {
        std::uint32_t keyCode, modifiers;
        EventHotKeyID identity;
        EventHotKeyRef ref;
    };
    std::vector<Registration> registrations;
    std::vector<EventHotKeyRef> unregistered;
    int handlerInstalls = 0;
    OSStatus refuseWith = noErr;
    EventHandler handler;
    std::function<void()> onRegister; // lets a test look at the world at that moment

    OSStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                 EventHotKeyID identity, std::uint32_t,
                                 EventHotKeyRef* out) override {
        *out = 0;
        if (onRegister)
            onRegister();
        if (refuseWith == noErr)
            registrations.push_back({keyCode, modifiers, identity, *out = ++m_nextRef});
        return refuseWith;
    }
    OSStatus unregisterEventHotKey(EventHotKeyRef ref) override {
        unregistered.push_back(ref);
        return noErr;
    }
    OSStatus installEventHandler(EventHandler h, const std::vector<EventTypeSpec>&,
                                 EventHandlerRef* out) override {
        ++handlerInstalls;
        handler = std::move(h), *out = 77;
        return noErr;
    }

    OSStatus send(std::uint32_t id, std::uint32_t kind, std::uint32_t signature = 0x516D7A74) {
        const HotKeyEvent event{{signature, id}, kind, noErr};
        return handler(&event);
    }

private:
    EventHotKeyRef m_nextRef = 100;
};

} // namespace jotbox::testing
