#pragma once

#include "tray/TrayHostWatcher.h"

#include <QByteArray>

#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

namespace jotbox {

// An XEmbed tray: the owner of the _NET_SYSTEM_TRAY_Sn selection of the
// default screen, which announces itself with a MANAGER message on the root
// window when it arrives. Absent for good without an X server.
class X11TrayManagerWatcher final : public TrayHostWatcher {
    Q_OBJECT
public:
    // An empty name means $DISPLAY.
    explicit X11TrayManagerWatcher(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~X11TrayManagerWatcher() override;
    State state() const override { return m_state; }

private:
    void processEvents();

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_selection = 0;
    std::uint32_t m_manager = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    State m_state = State::absent;
};

} // namespace jotbox
