#pragma once

#include <QString>

#include <cstdint>

namespace jotbox {

// What shows that the user asked for the panel, so that the desktop lets it
// take the focus: a Wayland activation token, an X11 startup-notification id,
// or both. Empty when the request came with neither.
struct ActivationProof {
    QString token;
    QString startupId;

    bool isEmpty() const { return token.isEmpty() && startupId.isEmpty(); }
    // The id an X11 window carries: XWayland compositors take a Wayland
    // token for a startup id and the other way round.
    QString windowStartupId() const { return startupId.isEmpty() ? token : startupId; }
    // The X server time a startup id holds ("..._TIME<time>"); 0 when none.
    std::uint32_t time() const;

    // Takes XDG_ACTIVATION_TOKEN and DESKTOP_STARTUP_ID out of this process's
    // environment, so that programs it starts do not inherit them.
    static ActivationProof takeFromEnvironment();
};

} // namespace jotbox
