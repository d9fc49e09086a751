#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class QWidget;

namespace jotbox {

// Qt makes its XEmbed icon's window on the first screen and, once docked,
// does not always move it to the tray's (nor tell the widget it moved);
// where it does, it keeps the size it asked for in the first screen's
// pixels. Beside a monitor at another scale the tray then gives it half (or
// twice) the room, and the icon is drawn that small. So for a while after
// the icon shows, and whenever it moves, its screen is set from where it
// really is and its size asked again in that screen's pixels.
class XEmbedIconFitter final : public QObject {
    Q_OBJECT
public:
    // Fitted this often after the icon shows, this many times, or until it
    // stayed fitted this many; a tray giving it less room is asked again as
    // often.
    static constexpr std::chrono::milliseconds kFollowTick{250};
    static constexpr int kFollowTicks = 40, kFittedTicks = 4;
    static constexpr int kAskSizeAgain = 8;

    explicit XEmbedIconFitter(QObject* parent = nullptr);

    // The icon has just been shown: follow it for a while.
    void follow();

private:
    void tick();
    bool fitToTray(QWidget* window);
    bool eventFilter(QObject* watched, QEvent* event) override;

    QTimer m_follow;
    int m_followTicks = 0, m_fittedTicks = 0;
    int m_sizeAskedAgain = 0;
};

} // namespace jotbox
