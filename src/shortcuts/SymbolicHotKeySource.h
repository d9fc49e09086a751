#pragma once

#include "shortcuts/HotkeyService.h"

#include <QList>
#include <QVariantMap>

#include <optional>

namespace jotbox {

// The desktop's own shortcuts, as records keyed "kHISymbolicHotKeyEnabled",
// "kHISymbolicHotKeyCode" and "kHISymbolicHotKeyModifiers".
class SymbolicHotKeySource {
public:
    virtual ~SymbolicHotKeySource() = default;
    // No array at all is a valid answer, as is a non-zero status.
    virtual std::optional<QList<QVariantMap>> copySymbolicHotKeys(OSStatus* status) = 0;
};

// X11 keeps no list of the desktop's shortcuts: this source reports none.
class LinuxSymbolicHotKeySource final : public SymbolicHotKeySource {
public:
    std::optional<QList<QVariantMap>> copySymbolicHotKeys(OSStatus* status) override {
        *status = noErr;
        return std::nullopt;
    }
};

} // namespace jotbox
