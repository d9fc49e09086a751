#pragma once

#include <QString>

#include <cstdint>

namespace jotbox {

// The modifier set of a key event, with the raw values of the desktop this
// module's key codes come from. Bits other than the four named are kept but
// ignored by every conversion.
struct ModifierFlags {
    static constexpr std::uint64_t shift = 0x20000;
    static constexpr std::uint64_t control = 0x40000;
    static constexpr std::uint64_t option = 0x80000;
    static constexpr std::uint64_t command = 0x100000;

    // Carbon modifier mask bits.
    static constexpr std::uint32_t carbonCommand = 256;
    static constexpr std::uint32_t carbonShift = 512;
    static constexpr std::uint32_t carbonOption = 2048;
    static constexpr std::uint32_t carbonControl = 4096;

    std::uint64_t rawValue = 0;

    constexpr ModifierFlags() = default;
    constexpr explicit ModifierFlags(std::uint64_t raw) : rawValue(raw) {}
    static ModifierFlags fromCarbonFlags(std::uint32_t carbonFlags);

    constexpr bool contains(std::uint64_t flag) const { return (rawValue & flag) == flag; }
    std::uint32_t carbonFlags() const;
    // ⌃⌥⇧⌘, in that order, for the modifiers present.
    QString description() const;

    friend constexpr bool operator==(ModifierFlags, ModifierFlags) = default;
    friend constexpr ModifierFlags operator|(ModifierFlags a, ModifierFlags b) {
        return ModifierFlags(a.rawValue | b.rawValue);
    }
};

} // namespace jotbox
