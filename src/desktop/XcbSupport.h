#pragma once

// Small helpers shared by Jotbox's X11 code. Include only from .cpp files.
#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace jotbox::xcb {

// xcb hands replies, errors and events to the caller, to be freed with free().
template <typename T> using Owned = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Owned<T> owned(T* p) {
    return Owned<T>(p, &std::free);
}

// The atom of that name, made if need be; XCB_ATOM_NONE when the server
// refused. Several asked before any is waited for cost one round trip.
inline xcb_intern_atom_cookie_t askAtom(xcb_connection_t* c, const QByteArray& name) {
    return xcb_intern_atom(c, 0, std::uint16_t(name.size()), name.constData());
}
inline xcb_atom_t atom(xcb_connection_t* c, xcb_intern_atom_cookie_t asked) {
    const auto reply = owned(xcb_intern_atom_reply(c, asked, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}
inline xcb_atom_t atom(xcb_connection_t* c, const QByteArray& name) {
    return atom(c, askAtom(c, name));
}

// A connection of our own to the named display ($DISPLAY when empty), or null;
// `screen` gets the display's default screen number.
inline xcb_connection_t* connect(const QByteArray& displayName, int* screen = nullptr) {
    xcb_connection_t* c =
        xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    return c;
}

} // namespace jotbox::xcb
