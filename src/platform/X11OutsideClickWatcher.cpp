#include "platform/X11OutsideClickWatcher.h"

#include "platform/XcbSupport.h"

#include <QCursor>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <xcb/xinput.h>

#include <cstdlib>

namespace jotbox {

namespace {

using xcb::owned;

struct RawSelectMask {
    xcb_input_event_mask_t head;
    std::uint32_t mask;
};

} // namespace

X11OutsideClickWatcher::X11OutsideClickWatcher(const QByteArray& displayName, QObject* parent)
    : QObject(parent) {
    xcb_connection_t* c = xcb::connect(displayName);
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
    m_onOutside = std::move(onOutside);
    m_ignore = std::move(ignore);
    m_active = true;
    // Focus going to another application counts as a click elsewhere, but
    // only once one of our windows has had focus since the watch began: a
    // late word about an earlier window (a menu just closed) must not hide
    // the panel that is only now coming up.
    m_armed = false;
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_focusConnection = connect(app, &QGuiApplication::focusWindowChanged, this,
                                    [this](QWindow* window) { m_armed = m_armed || window; });
        m_stateConnection = connect(app, &QGuiApplication::applicationStateChanged, this,
                                    [this](Qt::ApplicationState state) {
                                        if (state == Qt::ApplicationInactive && m_active && m_armed)
                                            onFocusLost();
                                    });
    }
    if (m_connection) {
        RawSelectMask mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                           XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
        xcb_input_xi_select_events(m_connection, m_root, 1, &mask.head);
        xcb_flush(m_connection);
    }
    return true;
}

void X11OutsideClickWatcher::stop() {
    if (!m_active)
        return;
    m_active = false;
    disconnect(m_stateConnection);
    disconnect(m_focusConnection);
    if (m_connection) {
        RawSelectMask mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, 0};
        xcb_input_xi_select_events(m_connection, m_root, 1, &mask.head);
        xcb_flush(m_connection);
    }
}

void X11OutsideClickWatcher::processEvents() {
    bool pressed = false;
    while (auto event = owned(xcb_poll_for_event(m_connection))) {
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
            continue;
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
        if (ge->extension != m_xinputOpcode || ge->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
            continue;
        const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event.get());
        // Wheel steps (buttons 4 to 7) are not presses.
        if (raw->detail >= 4 && raw->detail <= 7)
            continue;
        pressed = true;
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);
    if (pressed && m_active)
        onPress();
}

void X11OutsideClickWatcher::onPress() {
    auto pointer = owned(
        xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr));
    if (!pointer)
        return;
    // X reports device pixels; Qt's windows are in device-independent ones.
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QPoint global(qRound(pointer->root_x / ratio), qRound(pointer->root_y / ratio));
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
