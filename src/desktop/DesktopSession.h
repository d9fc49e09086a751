#pragma once

#include <QtGlobal>

namespace jotbox {

// A Wayland session, where Jotbox runs through XWayland: the X server sees
// neither the keys nor the pointer while the user works in Wayland's own
// windows.
inline bool isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

} // namespace jotbox
