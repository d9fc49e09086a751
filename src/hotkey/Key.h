#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace jotbox {

// The physical keys a hotkey can use. The case order is part of the
// interface: a key is stored and compared as its index.
enum class Key : std::uint8_t {
    a,
    b,
    c,
    d,
    e,
    f,
    g,
    h,
    i,
    j,
    k,
    l,
    m,
    n,
    o,
    p,
    q,
    r,
    s,
    t,
    u,
    v,
    w,
    x,
    y,
    z,
    zero,
    one,
    two,
    three,
    four,
    five,
    six,
    seven,
    eight,
    nine,
    period,
    quote,
    rightBracket,
    semicolon,
    slash,
    backslash,
    comma,
    equal,
    grave,
    leftBracket,
    minus,
    section,
    space,
    tab,
    return_,
    command,
    rightCommand,
    option,
    rightOption,
    control,
    rightControl,
    shift,
    rightShift,
    function,
    capsLock,
    pageUp,
    pageDown,
    home,
    end,
    upArrow,
    rightArrow,
    downArrow,
    leftArrow,
    f1,
    f2,
    f3,
    f4,
    f5,
    f6,
    f7,
    f8,
    f9,
    f10,
    f11,
    f12,
    f13,
    f14,
    f15,
    f16,
    f17,
    f18,
    f19,
    f20,
    keypad0,
    keypad1,
    keypad2,
    keypad3,
    keypad4,
    keypad5,
    keypad6,
    keypad7,
    keypad8,
    keypad9,
    keypadClear,
    keypadDecimal,
    keypadDivide,
    keypadEnter,
    keypadEquals,
    keypadMinus,
    keypadMultiply,
    keypadPlus,
    escape,
    delete_,
    forwardDelete,
    help,
    volumeUp,
    volumeDown,
    mute,
};

inline constexpr int kKeyCount = 114;

constexpr int caseIndex(Key key) {
    return static_cast<int>(key);
}

// The virtual key code: a position on a US ANSI keyboard.
std::uint32_t carbonKeyCode(Key key);
std::optional<Key> keyFromCarbonKeyCode(std::uint32_t code);
// Reads a key from its name or symbol, ignoring letter case; the text must
// stand for the key as a whole.
std::optional<Key> keyFromString(QStringView text);
// The short display text: "N", "⌘", "⇥", ...
QString description(Key key);
// The case name: "n", "rightCommand", "return", ...
QString name(Key key);

} // namespace jotbox
