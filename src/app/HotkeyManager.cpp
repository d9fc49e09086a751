#include "app/HotkeyManager.h"

namespace jotbox {

HotkeyManager& HotkeyManager::shared() {
    // Made on first use, safely against simultaneous first uses, and kept for the process.
    static HotkeyManager* instance = new HotkeyManager;
    return *instance;
}

HotkeyManager::HotkeyManager()
    : m_hotKey(HotKey::make(
          KeyCombo(Key::n, ModifierFlags(ModifierFlags::command | ModifierFlags::option)))) {
    // The instance lives for the whole process, so `this` cannot dangle.
    m_hotKey->keyDownHandler = [this] {
        if (const auto toggle = onToggle)
            toggle();
    };
}

} // namespace jotbox
