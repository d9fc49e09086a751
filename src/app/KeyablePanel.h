#pragma once

#include <QWidget>

namespace jotbox {

// The floating panel: frameless, always on top, a tool window (so no
// taskbar entry), fixed at 464 by 256, shown without animation, and taking
// keyboard focus when shown so typing goes to the editor at once.
class KeyablePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kSize{464, 256};

    explicit KeyablePanel(QWidget* content, QWidget* parent = nullptr);

    // Shows the panel at `origin`, raised and focused.
    void present(QPoint origin);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace jotbox
