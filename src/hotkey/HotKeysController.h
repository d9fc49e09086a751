#pragma once

#include "shortcuts/HotkeyService.h"

#include <QUuid>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

namespace jotbox {

class HotKey;

// Process-wide registry of hotkeys: numbers registrations from 1 (never
// reusing an ID), installs the one event handler, and routes each press and
// release to the live hotkey it belongs to.
class HotKeysController {
public:
    static constexpr std::uint32_t signature = 0x516D7A74; // "Qmzt"

    class HotKeyBox {
    public:
        HotKeyBox(const QUuid& identifier, std::weak_ptr<HotKey> hotKey, std::uint32_t id)
            : identifier(identifier), hotKey(std::move(hotKey)), carbonHotKeyID(id) {}
        const QUuid identifier;
        std::weak_ptr<HotKey> hotKey;
        const std::uint32_t carbonHotKeyID;
        std::optional<EventHotKeyRef> carbonEventHotKey;
    };

    HotKeysController() = delete;

    // The service registrations go to; none refuses every registration.
    static void setService(std::shared_ptr<HotkeyService> service);

    static void registerHotKey(const std::shared_ptr<HotKey>& hotKey);
    static void unregisterHotKey(const HotKey& hotKey);
    static HotKeyBox* boxForHotKey(const HotKey& hotKey);
    static std::shared_ptr<HotKey> hotKeyForID(std::uint32_t id);
    static OSStatus handleEvent(EventRef event);

    // Read-only views for tests and diagnostics.
    static std::uint32_t lastHotKeyID();
    static std::size_t boxCount();
    static bool hasEventHandler();
    // Forgets every registration, the counter and the handler.
    static void resetForTesting(std::shared_ptr<HotkeyService> service);
};

} // namespace jotbox
