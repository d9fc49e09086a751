#pragma once

#include "platform/OutsideClickWatcher.h"

#include <QByteArray>
#include <QMetaObject>
#include <QObject>

#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

namespace jotbox {

// Raw button presses on the root window (XInput 2), which arrive with or
// without a window manager, plus Qt's own word that the application lost
// focus. Without an X server only the focus half works.
class X11OutsideClickWatcher final : public QObject, public OutsideClickWatcher {
    Q_OBJECT
public:
    explicit X11OutsideClickWatcher(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~X11OutsideClickWatcher() override;

    bool start(std::function<void()> onOutside, std::function<bool(QPoint)> ignore) override;
    void stop() override;

private:
    void processEvents();
    void onPress();
    void onFocusLost();
    bool insideOurWindows(QPoint global) const;

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint8_t m_xinputOpcode = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onOutside;
    std::function<bool(QPoint)> m_ignore;
    QMetaObject::Connection m_stateConnection;
    QMetaObject::Connection m_focusConnection;
    bool m_active = false;
    bool m_armed = false;
};

} // namespace jotbox
