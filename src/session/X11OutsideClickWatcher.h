#pragma once

#include "session/OutsideClickWatcher.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;

namespace jotbox {

// Raw presses of the left and right buttons on the root window (XInput 2),
// which arrive with or without a window manager, and focus leaving our
// windows, both read from the X server on a connection of our own: in a
// Wayland session XWayland sees no presses on Wayland's own windows, so
// focus going to them is what tells. Nothing is watched without an X server.
class X11OutsideClickWatcher final : public QObject, public OutsideClickWatcher {
    Q_OBJECT
public:
    explicit X11OutsideClickWatcher(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~X11OutsideClickWatcher() override;

    bool start(std::function<void()> onOutside, std::function<bool(QPoint)> ignore) override;
    void stop() override;

private:
    void connectOnce();
    void processEvents();
    void onPress();
    void onFocusLost();
    void selectFocusEvents(std::uint32_t mask);
    bool focusIsOurs();
    bool insideOurWindows(QPoint global) const;

    QByteArray m_displayName;
    bool m_connectTried = false;
    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint8_t m_xinputOpcode = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onOutside;
    std::function<bool(QPoint)> m_ignore;
    std::vector<std::uint32_t> m_windows; // ours, watched for focus
    bool m_active = false;
    bool m_armed = false;
};

} // namespace jotbox
