#include "desktop/ModifierFlags.h"

namespace jotbox {

ModifierFlags ModifierFlags::fromCarbonFlags(std::uint32_t carbon) {
    std::uint64_t raw = 0;
    if (carbon & carbonCommand)
        raw |= command;
    if (carbon & carbonShift)
        raw |= shift;
    if (carbon & carbonOption)
        raw |= option;
    if (carbon & carbonControl)
        raw |= control;
    return ModifierFlags(raw);
}

std::uint32_t ModifierFlags::carbonFlags() const {
    std::uint32_t carbon = 0;
    if (contains(command))
        carbon |= carbonCommand;
    if (contains(option))
        carbon |= carbonOption;
    if (contains(control))
        carbon |= carbonControl;
    if (contains(shift))
        carbon |= carbonShift;
    return carbon;
}

QString ModifierFlags::description() const {
    QString text;
    if (contains(control))
        text += QChar(0x2303);
    if (contains(option))
        text += QChar(0x2325);
    if (contains(shift))
        text += QChar(0x21E7);
    if (contains(command))
        text += QChar(0x2318);
    return text;
}

} // namespace jotbox
