#pragma once

#include "shortcuts/HotkeyService.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace jotbox {

// X11 modifier bits, as in X.h.
namespace x11 {
inline constexpr std::uint16_t ShiftMask = 1 << 0;
inline constexpr std::uint16_t LockMask = 1 << 1;
inline constexpr std::uint16_t ControlMask = 1 << 2;
inline constexpr std::uint16_t Mod1Mask = 1 << 3;
inline constexpr std::uint16_t Mod4Mask = 1 << 6;
} // namespace x11

// The X keycode at the US ANSI position a Carbon key code names; none for
// keys an X server cannot report (fn).
std::optional<std::uint8_t> x11KeycodeForCarbon(std::uint32_t carbonKeyCode);
// The Latin letter or digit a US ANSI position types (its lower-case keysym);
// none for other keys, which every layout keeps in place.
std::optional<std::uint32_t> latinKeysymForCarbon(std::uint32_t carbonKeyCode);

// The server's keyboard map as the core protocol gives it: for each keycode
// from `minKeycode`, `perKeycode` keysyms, group 1's first two levels, then
// group 2's, then the rest.
struct KeyboardMap {
    std::uint8_t minKeycode = 8;
    int perKeycode = 0;
    std::vector<std::uint32_t> keysyms;
};
// The key that types `keysym` (or its upper case) in the first group that
// has it, as desktops bind shortcuts: the letter where it is in this layout,
// or, in a layout without Latin letters, where the first Latin layout among
// the user's has it. None where no group has it.
std::optional<std::uint8_t> keycodeForKeysym(const KeyboardMap& map, std::uint32_t keysym);
// Command is Control, option Alt (Mod1), control Super (Mod4), shift Shift.
std::uint16_t x11ModifiersForCarbon(std::uint32_t carbonModifiers);
// Every combination of the given lock masks (NumLock, CapsLock, ScrollLock),
// starting with none, without repeats: a grab must hold under each of them.
std::vector<std::uint16_t> lockCombinations(std::uint16_t numLock, std::uint16_t capsLock,
                                            std::uint16_t scrollLock);

// Which grabbed key each key event belongs to. Knows nothing of X itself,
// so routing, lock handling and auto-repeat are tested without a display.
class KeyGrabTable {
public:
    struct Grab {
        EventHotKeyRef ref;
        std::uint32_t carbonKeyCode; // what the key is: its keycode follows the layout
        std::uint8_t keycode;
        std::uint16_t modifiers;
        EventHotKeyID identity;
        bool down = false;
    };

    void add(const Grab& grab) { m_grabs.push_back(grab); }
    std::optional<Grab> remove(EventHotKeyRef ref);
    const std::vector<Grab>& grabs() const { return m_grabs; }
    void setKeycode(EventHotKeyRef ref, std::uint8_t keycode);
    bool holds(std::uint8_t keycode, std::uint16_t modifiers) const;

    // Lock modifiers never take part in matching.
    void setLockMask(std::uint16_t mask) { m_lockMask = mask; }

    // A press fires once until its release: held keys' auto-repeat is dropped.
    std::optional<EventHotKeyID> press(std::uint8_t keycode, std::uint16_t state);
    // Releases match by keycode alone: the modifiers may be up already.
    std::optional<EventHotKeyID> release(std::uint8_t keycode);
    // Every key held let go: the grab ended without a release reaching us
    // (XWayland ends it when the focus moves, and the release goes there).
    std::vector<EventHotKeyID> releaseAll();

private:
    static constexpr std::uint16_t kRelevant =
        x11::ShiftMask | x11::ControlMask | x11::Mod1Mask | x11::Mod4Mask;
    std::vector<Grab> m_grabs;
    std::uint16_t m_lockMask = x11::LockMask;
};

} // namespace jotbox
