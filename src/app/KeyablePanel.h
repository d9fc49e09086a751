#pragma once

#include "session/WindowActivation.h"

#include <QWidget>

namespace jotbox {

// The floating panel: frameless, always on top, a tool window (so no
// taskbar entry), fixed at 464 by 256, shown without animation, and taking
// keyboard focus when shown so typing goes to the editor at once.
class KeyablePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kSize{464, 256};

    explicit KeyablePanel(QWidget* content, WindowActivation* activation = nullptr,
                          QWidget* parent = nullptr);

    // Shows the panel at `origin`, raised and focused, with what shows the
    // user asked for it; only raised and focused again when it is shown.
    void present(QPoint origin, const ActivationProof& proof = {});
    // A request that showed nothing is over: the desktop stops waiting for it.
    void complete(const ActivationProof& proof);

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void askWithPending();

    WindowActivation* m_activation;
    ActivationProof m_pending; // to ask with once the window is mapped
};

} // namespace jotbox
