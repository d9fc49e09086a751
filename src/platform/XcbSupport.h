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
