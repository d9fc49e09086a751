#pragma once

#include "desktop/ActivationProof.h"

#include <QWindow>

namespace jotbox {

// Hands a window the focus the desktop agreed the user asked for.
class WindowActivation {
public:
    virtual ~WindowActivation() = default;
    // Before the window is mapped: it carries the proof, for the window
    // manager to weigh as it maps it.
    virtual void carry(WId window, const ActivationProof& proof) = 0;
    // Once it is mapped: asks for the focus with the time the proof holds
    // (none: the toolkit's own request, with a fresh time, stands).
    virtual void request(WId window, const ActivationProof& proof) = 0;
    // The launch the proof stands for is over, whether or not a window
    // showed for it: the desktop stops showing it as starting.
    virtual void complete(WId window, const ActivationProof& proof) = 0;
};

} // namespace jotbox
