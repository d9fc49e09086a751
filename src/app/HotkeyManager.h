#pragma once

#include "hotkey/HotKey.h"
#include "hotkey/KeyCombo.h"

#include <functional>
#include <memory>

namespace jotbox {

// Owns the one system-wide shortcut, Ctrl+Alt+N (command-option-N in key-code
// terms), and turns each press into one call of `onToggle`.
class HotkeyManager {
public:
    static HotkeyManager& shared();
    // Ctrl+Alt+N: command-option-N in key-code terms.
    static KeyCombo toggleCombo();

    std::function<void()> onToggle;
    const std::shared_ptr<HotKey>& hotKey() const { return m_hotKey; }

    HotkeyManager();

private:
    std::shared_ptr<HotKey> m_hotKey;
};

} // namespace jotbox
