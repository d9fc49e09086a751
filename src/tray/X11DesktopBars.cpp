#include "tray/X11DesktopBars.h"

#include "desktop/NativePixels.h"
#include "desktop/XcbSupport.h"

#include <QGuiApplication>
#include <QScreen>

namespace jotbox {

namespace {

QList<std::uint32_t> cardinals(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    const auto reply = xcb::owned(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return QList<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

// A strut's strips along the root window's edges; a plain strut spans the edge.
QList<QRect> strips(QList<std::uint32_t> s, QSize root) {
    if (s.size() == 4)
        s << 0 << root.height() - 1 << 0 << root.height() - 1 << 0 << root.width() - 1 << 0
          << root.width() - 1;
    if (s.size() < 12)
        return {};
    const auto span = [](std::uint32_t from, std::uint32_t to) { return int(to) - int(from) + 1; };
    return {QRect(0, int(s[4]), int(s[0]), span(s[4], s[5])),
            QRect(root.width() - int(s[1]), int(s[6]), int(s[1]), span(s[6], s[7])),
            QRect(int(s[8]), 0, span(s[8], s[9]), int(s[2])),
            QRect(int(s[10]), root.height() - int(s[3]), span(s[10], s[11]), int(s[3]))};
}

} // namespace

QList<QRect> x11DesktopBars(const QScreen* screen, std::optional<QPoint> inTray) {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || !screen)
        return {};
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const QSize rootSize(root->width_in_pixels, root->height_in_pixels);
    // Qt's coordinates keep each screen's top left and divide the rest by its scale.
    const QPoint origin = screen->geometry().topLeft();
    const qreal scale = screen->devicePixelRatio();
    const auto toQt = [&](QRect r) {
        const auto qt = [&](int at, int from) { return from + qRound((at - from) / scale); };
        const int x = qt(r.x(), origin.x()), y = qt(r.y(), origin.y());
        return QRect(x, y, qt(r.x() + r.width(), origin.x()) - x,
                     qt(r.y() + r.height(), origin.y()) - y);
    };

    // Docks are top-level windows, the clients a window manager lists, or both.
    QList<xcb_window_t> windows;
    if (const auto tree =
            xcb::owned(xcb_query_tree_reply(c, xcb_query_tree(c, root->root), nullptr))) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        windows =
            QList<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
    }
    for (const std::uint32_t w :
         cardinals(c, xcb_get_property(c, 0, root->root, xcb::atom(c, "_NET_CLIENT_LIST"),
                                       XCB_ATOM_WINDOW, 0, 4096)))
        windows.append(w);
    const xcb_atom_t partial = xcb::atom(c, "_NET_WM_STRUT_PARTIAL"),
                     plain = xcb::atom(c, "_NET_WM_STRUT");
    QList<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> asked;
    for (const xcb_window_t w : windows)
        asked.append({xcb_get_property(c, 0, w, partial, XCB_ATOM_CARDINAL, 0, 12),
                      xcb_get_property(c, 0, w, plain, XCB_ATOM_CARDINAL, 0, 4)});
    QList<QRect> bars;
    for (const auto& [p, s] : asked) {
        QList<std::uint32_t> strut = cardinals(c, p);
        const QList<std::uint32_t> plainStrut = cardinals(c, s);
        for (const QRect& strip : strips(strut.size() == 12 ? strut : plainStrut, rootSize))
            if (!strip.isEmpty())
                bars.append(toQt(strip));
    }
    if (inTray) {
        const QPoint at = toNativePixels(*inTray, screen);
        const auto hit = xcb::owned(xcb_translate_coordinates_reply(
            c,
            xcb_translate_coordinates(c, root->root, root->root, std::int16_t(at.x()),
                                      std::int16_t(at.y())),
            nullptr));
        const auto geometry =
            hit && hit->child != XCB_NONE
                ? xcb::owned(xcb_get_geometry_reply(c, xcb_get_geometry(c, hit->child), nullptr))
                : xcb::Owned<xcb_get_geometry_reply_t>(nullptr, &std::free);
        if (geometry)
            bars.append(
                toQt(QRect(geometry->x, geometry->y, geometry->width + 2 * geometry->border_width,
                           geometry->height + 2 * geometry->border_width)));
    }
    return bars;
}

} // namespace jotbox
