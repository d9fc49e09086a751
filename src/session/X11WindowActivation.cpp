#include "session/X11WindowActivation.h"

#include "desktop/XcbSupport.h"

#include <QGuiApplication>

#include <cstring>

namespace jotbox {

namespace {

xcb_connection_t* connection() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

void sendToRoot(xcb_connection_t* c, const xcb_client_message_event_t& event) {
    xcb_send_event(c, 0, rootOf(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
}

xcb_client_message_event_t message(xcb_window_t window, xcb_atom_t type) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.window = window;
    event.type = type;
    return event;
}

} // namespace

void X11WindowActivation::carry(WId window, const ActivationProof& proof) {
    xcb_connection_t* c = connection();
    const QByteArray id = proof.windowStartupId().toUtf8();
    if (!c || id.isEmpty())
        return;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window),
                        xcb::atom(c, "_NET_STARTUP_ID"), xcb::atom(c, "UTF8_STRING"), 8,
                        std::uint32_t(id.size()), id.constData());
    xcb_flush(c);
}

void X11WindowActivation::request(WId window, const ActivationProof& proof) {
    xcb_connection_t* c = connection();
    if (!c || proof.time() == 0)
        return;
    auto event = message(xcb_window_t(window), xcb::atom(c, "_NET_ACTIVE_WINDOW"));
    event.format = 32;
    event.data.data32[0] = 1; // from an application, for the user
    event.data.data32[1] = proof.time();
    sendToRoot(c, event);
    xcb_flush(c);
}

// "remove: ID=…" in 20-byte pieces, as startup notification sends it.
void X11WindowActivation::complete(WId window, const ActivationProof& proof) {
    xcb_connection_t* c = connection();
    const QString id = proof.windowStartupId();
    if (!c || id.isEmpty())
        return;
    QString quoted = id;
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"))
        .replace(QLatin1String("\""), QLatin1String("\\\""));
    const QByteArray text = "remove: ID=\"" + quoted.toUtf8() + "\"";
    const xcb_atom_t begin = xcb::atom(c, "_NET_STARTUP_INFO_BEGIN"),
                     more = xcb::atom(c, "_NET_STARTUP_INFO");
    for (qsizetype at = 0; at <= text.size(); at += 20) {
        auto event = message(xcb_window_t(window), at == 0 ? begin : more);
        event.format = 8;
        // The trailing NUL ends the text; the last piece is padded with NULs.
        std::memcpy(event.data.data8, text.constData() + at,
                    std::size_t(std::min<qsizetype>(20, text.size() - at)));
        sendToRoot(c, event);
    }
    xcb_flush(c);
}

} // namespace jotbox
