#include "app/HotkeyManager.h"

namespace jotbox {

HotkeyManager& HotkeyManager::shared() {
    // Made on first use, safely against simultaneous first uses, and kept for the process.
    static HotkeyManager* instance = new HotkeyManager;
    return *instance;
}

KeyCombo HotkeyManager::toggleCombo() {
    return KeyCombo(Key::n, ModifierFlags(ModifierFlags::command | ModifierFlags::option));
}

HotkeyManager::HotkeyManager() : m_hotKey(HotKey::make(toggleCombo())) {
    // The instance lives for the whole process, so `this` cannot dangle.
    m_hotKey->keyDownHandler = [this] {
        if (const auto toggle = onToggle)
            toggle();
    };
}

} // namespace jotbox
