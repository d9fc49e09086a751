// Time from a synthesised Ctrl+Alt+N to the panel window being mapped, seen
// from another X client: shortcut_latency PANEL_WINDOW_ID [runs]
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr xcb_keycode_t kControl = 37, kAlt = 64, kN = 57;

void key(xcb_connection_t* c, xcb_keycode_t code, bool press) {
    xcb_test_fake_input(c, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME,
                        XCB_NONE, 0, 0, 0);
}

void shortcut(xcb_connection_t* c) {
    key(c, kControl, true);
    key(c, kAlt, true);
    key(c, kN, true);
    key(c, kN, false);
    key(c, kAlt, false);
    key(c, kControl, false);
    xcb_flush(c);
}

// Waits for the given event type on the watched window.
void waitFor(xcb_connection_t* c, std::uint8_t type) {
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        const bool hit = (e->response_type & 0x7f) == type;
        std::free(e);
        if (hit)
            return;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const xcb_window_t panel = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    const int runs = argc > 2 ? std::atoi(argv[2]) : 21;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, panel, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        shortcut(c);
        waitFor(c, XCB_MAP_NOTIFY);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        shortcut(c);
        waitFor(c, XCB_UNMAP_NOTIFY);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "shortcut press to panel mapped: median %.2f ms, min %.2f ms, max %.2f ms (%d runs)\n",
        ms[ms.size() / 2], ms.front(), ms.back(), runs);
    xcb_disconnect(c);
    return 0;
}
