#include "shortcuts/X11HotkeyService.h"

#include "desktop/XcbSupport.h"

#include <QSocketNotifier>
#include <QTimer>

// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdio>
#include <cstdlib>

namespace jotbox {

namespace {

constexpr std::uint32_t kNumLockKeysym = 0xff7f;
constexpr std::uint32_t kScrollLockKeysym = 0xff14;
using xcb::owned;

} // namespace

X11HotkeyService::X11HotkeyService(const QByteArray& displayName, QObject* parent)
    : QObject(parent) {
    xcb_connection_t* c = xcb::connect(displayName);
    if (!c)
        return;
    m_connection = c;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;

    // With detectable auto-repeat a held key sends presses but one release;
    // the grab table then drops the repeated presses.
    auto xkb = owned(xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
    if (xkb && xkb->supported) {
        const std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        owned(xcb_xkb_per_client_flags_reply(
            c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
        // A client using XKB hears of no keymap change until it asks for
        // XKB's notifications: a keymap changed later (ScrollLock given a
        // modifier, another layout) would leave the grabs on the old lock masks.
        m_xkbEvent = xcb_get_extension_data(c, &xcb_xkb_id)->first_event;
        const std::uint16_t events =
            XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
        xcb_xkb_select_events(c, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, 0xff, 0xff, nullptr);
    }
    readKeymap();
    // A key held while the focus moves is released where the grab no longer
    // holds it (XWayland ends the grab then); the grab's end still comes, as
    // a focus change on the root.
    const std::uint32_t focus = XCB_EVENT_MASK_FOCUS_CHANGE;
    xcb_change_window_attributes(c, m_root, XCB_CW_EVENT_MASK, &focus);
    xcb_flush(c);

    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11HotkeyService::processEvents);
}

X11HotkeyService::~X11HotkeyService() {
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11HotkeyService::readKeymap() {
    xcb_connection_t* c = m_connection;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto keyboard = owned(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    auto modifiers = owned(xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!keyboard || !modifiers)
        return;

    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(keyboard.get());
    const int perKeycode = keyboard->keysyms_per_keycode;
    m_keymap = {setup->min_keycode, perKeycode,
                std::vector<std::uint32_t>(
                    keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(keyboard.get()))};
    auto keycodeHas = [&](xcb_keycode_t keycode, std::uint32_t keysym) {
        if (keycode < setup->min_keycode || keycode > setup->max_keycode)
            return false;
        const xcb_keysym_t* row = keysyms + (keycode - setup->min_keycode) * perKeycode;
        for (int i = 0; i < perKeycode; ++i)
            if (row[i] == keysym)
                return true;
        return false;
    };

    // Which of the eight modifiers holds NumLock and ScrollLock differs by server.
    std::uint16_t numLock = 0, scrollLock = 0;
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    for (int mod = 0; mod < 8; ++mod) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[mod * perModifier + i];
            if (keycodeHas(keycode, kNumLockKeysym))
                numLock |= 1 << mod;
            if (keycodeHas(keycode, kScrollLockKeysym))
                scrollLock |= 1 << mod;
        }
    }
    m_lockCombinations = lockCombinations(numLock, x11::LockMask, scrollLock);
    m_table.setLockMask(numLock | x11::LockMask | scrollLock);
}

bool X11HotkeyService::grab(std::uint8_t keycode, std::uint16_t modifiers) {
    std::vector<std::uint16_t> done;
    for (std::uint16_t locks : m_lockCombinations) {
        // owner_events false: the release goes to us, never to a focused window as typing.
        const auto cookie = xcb_grab_key_checked(m_connection, 0, m_root, modifiers | locks,
                                                 keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        auto error = owned(xcb_request_check(m_connection, cookie));
        if (error) {
            for (std::uint16_t undo : done)
                xcb_ungrab_key(m_connection, keycode, m_root, modifiers | undo);
            // Given back before the refusal is told: another program may grab it next.
            owned(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection),
                                            nullptr));
            return false;
        }
        done.push_back(locks);
    }
    return true;
}

void X11HotkeyService::ungrab(std::uint8_t keycode, std::uint16_t modifiers,
                              const std::vector<std::uint16_t>& lockCombinations) {
    for (std::uint16_t locks : lockCombinations)
        xcb_ungrab_key(m_connection, keycode, m_root, modifiers | locks);
    xcb_flush(m_connection);
}

// A letter goes by the layout, as desktops bind shortcuts; other keys by place.
std::optional<std::uint8_t> X11HotkeyService::keycodeFor(std::uint32_t carbonKeyCode) const {
    if (const auto keysym = latinKeysymForCarbon(carbonKeyCode))
        if (const auto keycode = keycodeForKeysym(m_keymap, *keysym))
            return keycode;
    return x11KeycodeForCarbon(carbonKeyCode);
}

OSStatus X11HotkeyService::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                               EventHotKeyID identity, std::uint32_t,
                                               EventHotKeyRef* outRef) {
    *outRef = 0;
    if (!m_connection)
        return kNoConnection;
    const auto keycode = keycodeFor(keyCode);
    if (!keycode)
        return kUnknownKey;
    const std::uint16_t mods = x11ModifiersForCarbon(modifiers);
    // Our own second grab of a combination would succeed silently; refuse it like another client's.
    if (m_table.holds(*keycode, mods) || !grab(*keycode, mods)) {
        scheduleProcessEvents();
        return kAlreadyGrabbed;
    }
    const EventHotKeyRef ref = m_nextRef++;
    m_table.add({ref, keyCode, *keycode, mods, identity});
    *outRef = ref;
    scheduleProcessEvents();
    return noErr;
}

OSStatus X11HotkeyService::unregisterEventHotKey(EventHotKeyRef ref) {
    if (!m_connection)
        return kNoConnection;
    const auto grab = m_table.remove(ref);
    if (!grab)
        return eventNotHandledErr;
    ungrab(grab->keycode, grab->modifiers, m_lockCombinations);
    return noErr;
}

OSStatus X11HotkeyService::installEventHandler(EventHandler handler,
                                               const std::vector<EventTypeSpec>&,
                                               EventHandlerRef* outRef) {
    m_handler = std::move(handler);
    *outRef = 1;
    return noErr;
}

void X11HotkeyService::regrabAll() {
    const auto oldLocks = m_lockCombinations;
    readKeymap();
    for (const auto& g : m_table.grabs()) {
        const std::uint8_t keycode = keycodeFor(g.carbonKeyCode).value_or(g.keycode);
        // XWayland sends the same keymap again at each focus change: a grab
        // that stays is left alone, so no press falls between its ungrab and
        // grab, and a key held meanwhile stays held.
        if (keycode == g.keycode && oldLocks == m_lockCombinations)
            continue;
        // The old keymap still names the grab in place; release it first.
        ungrab(g.keycode, g.modifiers, oldLocks);
        m_table.setKeycode(g.ref, keycode);
        // Another program may hold the combination on its new key: say so.
        if (!grab(g.keycode, g.modifiers))
            std::fprintf(stderr, "jotbox: the shortcut's key is taken by another program since "
                                 "the keyboard layout changed\n");
    }
}

// Waiting for a reply can pull events into xcb's queue without waking the
// socket notifier, so look at the queue once control is back in the loop.
void X11HotkeyService::scheduleProcessEvents() {
    QTimer::singleShot(0, this, &X11HotkeyService::processEvents);
}

void X11HotkeyService::processEvents() {
    if (!m_connection)
        return;
    while (auto event = owned(xcb_poll_for_event(m_connection)))
        handle(event.get());
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);
}

void X11HotkeyService::handle(const void* raw) {
    const auto* event = static_cast<const xcb_generic_event_t*>(raw);
    switch (event->response_type & 0x7f) {
    case XCB_KEY_PRESS: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (const auto identity = m_table.press(key->detail, key->state))
            deliver(*identity, kEventHotKeyPressed);
        break;
    }
    case XCB_KEY_RELEASE: {
        const auto* key = reinterpret_cast<const xcb_key_release_event_t*>(event);
        if (const auto identity = m_table.release(key->detail))
            deliver(*identity, kEventHotKeyReleased);
        break;
    }
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT: {
        // The grab ended (or none is active): nothing of ours is held.
        const auto mode = reinterpret_cast<const xcb_focus_in_event_t*>(event)->mode;
        if (mode == XCB_NOTIFY_MODE_UNGRAB || mode == XCB_NOTIFY_MODE_NORMAL)
            for (const EventHotKeyID& identity : m_table.releaseAll())
                deliver(identity, kEventHotKeyReleased);
        break;
    }
    case XCB_MAPPING_NOTIFY: {
        const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        if (mapping->request != XCB_MAPPING_POINTER)
            regrabAll();
        break;
    }
    default:
        if (m_xkbEvent && (event->response_type & 0x7f) == m_xkbEvent) {
            const auto* xkb = reinterpret_cast<const xcb_xkb_map_notify_event_t*>(event);
            if (xkb->xkbType == XCB_XKB_MAP_NOTIFY || xkb->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY)
                regrabAll();
        }
        break;
    }
}

void X11HotkeyService::deliver(EventHotKeyID identity, std::uint32_t kind) {
    if (!m_handler)
        return;
    const HotKeyEvent event{identity, kind, noErr};
    (void)m_handler(&event);
}

} // namespace jotbox
