#include "tray/X11TrayManagerWatcher.h"

#include "desktop/XcbSupport.h"

#include <QSocketNotifier>

namespace jotbox {

using xcb::owned;

X11TrayManagerWatcher::X11TrayManagerWatcher(const QByteArray& displayName, QObject* parent)
    : TrayHostWatcher(parent) {
    int screen = 0;
    xcb_connection_t* c = xcb::connect(displayName, &screen);
    if (!c)
        return;
    m_connection = c;
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && roots.rem > 1; ++i)
        xcb_screen_next(&roots);
    const xcb_window_t root = roots.data->root;
    // Both asked at once: one wait for the server, not two.
    const auto selection = xcb::askAtom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
    const auto manager = xcb::askAtom(c, "MANAGER");
    m_selection = xcb::atom(c, selection);
    m_manager = xcb::atom(c, manager);
    // Listen before asking, so a tray arriving in between is not missed.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    auto owner =
        owned(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr));
    if (owner && owner->owner != XCB_NONE)
        m_state = State::present;
    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &X11TrayManagerWatcher::processEvents);
}

X11TrayManagerWatcher::~X11TrayManagerWatcher() {
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11TrayManagerWatcher::processEvents() {
    bool arrived = false;
    while (auto event = owned(xcb_poll_for_event(m_connection))) {
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            continue;
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
        arrived = arrived || (message->type == m_manager && message->format == 32 &&
                              message->data.data32[1] == m_selection);
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);
    if (arrived && m_state != State::present) {
        m_state = State::present;
        emit stateChanged();
    }
}

} // namespace jotbox
