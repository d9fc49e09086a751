#include "session/X11OutsideClickWatcher.h"

#include "desktop/NativePixels.h"
#include "desktop/XcbSupport.h"

#include <QCursor>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <xcb/xinput.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace jotbox {

namespace {

using xcb::owned;

struct RawSelectMask {
    xcb_input_event_mask_t head;
    std::uint32_t mask;
};

// Our visible top-level windows: the panel, and a menu while it is open.
std::vector<std::uint32_t> ourWindows() {
    std::vector<std::uint32_t> ids;
    for (QWindow* window : QGuiApplication::topLevelWindows())
        if (window->isVisible() && window->handle())
            ids.push_back(static_cast<std::uint32_t>(window->winId()));
    return ids;
}

} // namespace

X11OutsideClickWatcher::X11OutsideClickWatcher(const QByteArray& displayName, QObject* parent)
    : QObject(parent), m_displayName(displayName) {}

// At the first panel, not at start: the tray icon comes first, and a
// connection costs round trips to the X server.
void X11OutsideClickWatcher::connectOnce() {
    if (std::exchange(m_connectTried, true))
        return;
    xcb_connection_t* c = xcb::connect(m_displayName);
    if (!c)
        return;
    const auto* ext = xcb_get_extension_data(c, &xcb_input_id);
    auto version =
        owned(xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!ext || !ext->present || !version || version->major_version < 2) {
        xcb_disconnect(c);
        return;
    }
    m_connection = c;
    m_xinputOpcode = ext->major_opcode;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &X11OutsideClickWatcher::processEvents);
}

X11OutsideClickWatcher::~X11OutsideClickWatcher() {
    stop();
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool X11OutsideClickWatcher::start(std::function<void()> onOutside,
                                   std::function<bool(QPoint)> ignore) {
    stop();
    connectOnce();
    m_onOutside = std::move(onOutside);
    m_ignore = std::move(ignore);
    m_active = true;
    if (!m_connection)
        return true;
    RawSelectMask mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    xcb_input_xi_select_events(m_connection, m_root, 1, &mask.head);
    m_windows = ourWindows();
    selectFocusEvents(XCB_EVENT_MASK_FOCUS_CHANGE);
    // Focus going to another application counts as a click elsewhere, but
    // only once our window has had focus since it was shown: word of an
    // earlier focus change must not hide the panel that is only now coming
    // up. The round trip puts everything the server sent before it behind us.
    m_armed = focusIsOurs();
    while (auto stale = owned(xcb_poll_for_event(m_connection))) {
    }
    return true;
}

void X11OutsideClickWatcher::stop() {
    if (!m_active)
        return;
    m_active = false;
    if (m_connection) {
        RawSelectMask mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, 0};
        xcb_input_xi_select_events(m_connection, m_root, 1, &mask.head);
        selectFocusEvents(0);
        xcb_flush(m_connection);
    }
    m_windows.clear();
}

void X11OutsideClickWatcher::selectFocusEvents(std::uint32_t mask) {
    for (std::uint32_t window : m_windows)
        xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
}

bool X11OutsideClickWatcher::focusIsOurs() {
    auto focus =
        owned(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    const std::vector<std::uint32_t> ours = ourWindows();
    return focus && std::find(ours.begin(), ours.end(), focus->focus) != ours.end();
}

void X11OutsideClickWatcher::processEvents() {
    bool pressed = false, focusLeft = false;
    while (auto event = owned(xcb_poll_for_event(m_connection))) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_FOCUS_IN || type == XCB_FOCUS_OUT) {
            const auto* focus = reinterpret_cast<const xcb_focus_in_event_t*>(event.get());
            // Grabs (an open menu) and moves within a window are not focus changing hands.
            if (focus->mode == XCB_NOTIFY_MODE_GRAB || focus->mode == XCB_NOTIFY_MODE_UNGRAB ||
                focus->detail == XCB_NOTIFY_DETAIL_INFERIOR ||
                focus->detail == XCB_NOTIFY_DETAIL_POINTER)
                continue;
            m_armed = m_armed || type == XCB_FOCUS_IN;
            focusLeft = focusLeft || (type == XCB_FOCUS_OUT && m_armed);
            continue;
        }
        if (type != XCB_GE_GENERIC)
            continue;
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
        if (ge->extension != m_xinputOpcode || ge->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
            continue;
        const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event.get());
        // Only the left and right buttons: the wheel, the middle, back and
        // forward buttons elsewhere leave the panel open.
        pressed = pressed || raw->detail == 1 || raw->detail == 3;
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);
    if (!m_active)
        return;
    if (pressed)
        onPress();
    // Focus may have moved on to another of our windows.
    if (focusLeft && m_active && !focusIsOurs())
        onFocusLost();
}

void X11OutsideClickWatcher::onPress() {
    auto pointer = owned(
        xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr));
    if (!pointer)
        return;
    // X reports device pixels; Qt's windows are in device-independent ones.
    const QPoint global = fromNativePixels(QPoint(pointer->root_x, pointer->root_y));
    if (insideOurWindows(global) || (m_ignore && m_ignore(global)))
        return;
    if (m_onOutside)
        m_onOutside();
}

// Focus taken by a press on the tray icon is the icon's to handle.
void X11OutsideClickWatcher::onFocusLost() {
    if (m_onOutside && !(m_ignore && m_ignore(QCursor::pos())))
        m_onOutside();
}

bool X11OutsideClickWatcher::insideOurWindows(QPoint global) const {
    for (QWindow* window : QGuiApplication::topLevelWindows())
        if (window->isVisible() && window->frameGeometry().contains(global))
            return true;
    return false;
}

} // namespace jotbox
