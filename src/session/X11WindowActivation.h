#pragma once

#include "session/WindowActivation.h"

namespace jotbox {

// Startup notification and _NET_ACTIVE_WINDOW over the application's own X
// connection (XWayland's in Wayland sessions).
class X11WindowActivation final : public WindowActivation {
public:
    void carry(WId window, const ActivationProof& proof) override;
    void request(WId window, const ActivationProof& proof) override;
    void complete(WId window, const ActivationProof& proof) override;
};

} // namespace jotbox
