#pragma once

#include "desktop/Menu.h"
#include "desktop/ModifierFlags.h"
#include "hotkey/Key.h"
#include "shortcuts/SymbolicHotKeySource.h"

#include <QList>
#include <QVariantMap>

#include <cstdint>
#include <optional>

namespace jotbox {

// A key code and a Carbon modifier mask, exactly as registered. Any values
// may be stored, including codes no Key has.
struct KeyCombo {
    std::uint32_t carbonKeyCode = 0;
    std::uint32_t carbonModifiers = 0;

    KeyCombo() = default;
    KeyCombo(std::uint32_t keyCode, std::uint32_t modifiers)
        : carbonKeyCode(keyCode), carbonModifiers(modifiers) {}
    KeyCombo(Key key, ModifierFlags modifiers)
        : carbonKeyCode(jotbox::carbonKeyCode(key)), carbonModifiers(modifiers.carbonFlags()) {}

    std::optional<Key> key() const { return keyFromCarbonKeyCode(carbonKeyCode); }
    // No key stores code 0, which reads back as `a`.
    void setKey(std::optional<Key> key) { carbonKeyCode = key ? jotbox::carbonKeyCode(*key) : 0; }
    ModifierFlags modifiers() const { return ModifierFlags::fromCarbonFlags(carbonModifiers); }
    void setModifiers(ModifierFlags modifiers) { carbonModifiers = modifiers.carbonFlags(); }

    bool isValid() const { return true; }
    QString description() const;

    // {"keyCode": code, "modifiers": mask}, both as 64-bit integers.
    QVariantMap dictionary() const;
    // None when an entry is missing, not an integer, or outside 0 to 4294967295.
    static std::optional<KeyCombo> fromDictionary(const QVariantMap& dictionary);

    // Enabled shortcuts the desktop reserves for itself (none on X11).
    static QList<KeyCombo> systemKeyCombos();
    static QList<KeyCombo> systemKeyCombos(SymbolicHotKeySource& source);
    // Key equivalents of the installed main menu; empty when none is installed.
    static QList<KeyCombo> mainMenuKeyCombos();
    // Depth first: each item before the items of its submenu.
    static QList<KeyCombo> keyCombos(const Menu& menu);
    static QList<KeyCombo> standardKeyCombos();

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;
};

} // namespace jotbox
