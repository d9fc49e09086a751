#include "app/PanelPlacement.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace jotbox;

namespace {

TEST(PanelPlacement, AgainstTheTrayAndInsideTheAvailableArea) {
    const QRect screen(0, 0, 1280, 800), big(0, 0, 2560, 1440), second(1920, 0, 1920, 1080);
    const QRect top(0, 24, 1280, 776), bottom(0, 0, 1280, 776);
    const QRect left(48, 0, 1232, 800), right(0, 0, 1232, 800);
    const struct {
        const char* what;
        QRect icon, geometry, available;
        std::optional<QPoint> click;
        QPoint origin;
    } cases[] = {
        // clang-format off
        // A known icon: centred 5 points under it, 5 points off a bottom tray.
        {"icon where it fits", {1000, 1000, 24, 24}, big, big, {}, {780, 1029}},
        {"icon at the right end", {1256, 0, 24, 24}, screen, top, {}, {816, 29}},
        {"icon at the left end", {0, 0, 24, 24}, screen, top, {}, {0, 29}},
        {"icon in a bottom tray", {1200, 776, 24, 24}, screen, bottom, {}, {816, 515}},
        // Icons a few pixels inside a bar: 5 points from the bar's edge.
        {"icon inside a 40-point top bar", {1000, 8, 24, 24}, screen, {0, 40, 1280, 760}, {}, {780, 45}},
        {"icon inside a bottom bar", {1000, 768, 24, 24}, screen, {0, 0, 1280, 760}, {}, {780, 499}},
        {"icon on a second screen", {3830, 0, 22, 22}, second, second, {}, {3376, 27}},
        // An icon whose place the tray keeps to itself: the click on it stands for it.
        {"click, top tray reserving nothing", {}, big, big, QPoint(500, 10), {268, 15}},
        {"click, bottom tray", {}, screen, bottom, QPoint(600, 790), {368, 515}},
        {"click, left tray", {}, screen, left, QPoint(20, 400), {53, 272}},
        {"click, right tray", {}, screen, right, QPoint(1260, 600), {763, 472}},
        {"click, second screen", {}, second, {1920, 30, 1920, 1050}, QPoint(3800, 15), {3376, 35}},
        // No click either: the end of the edge the desktop reserves room along.
        {"no click, bottom tray", {}, screen, bottom, {}, {811, 515}},
        {"no click, left tray", {}, screen, left, {}, {53, 5}},
        {"no click, right tray", {}, screen, right, {}, {763, 5}},
        {"no tray, second screen", {}, second, second, {}, {3371, 5}},
        // clang-format on
    };
    // A top tray, with and without a click, and no tray: the end-to-end runs.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(panelOrigin(c.icon, {464, 256}, {c.geometry, c.available}, c.click), c.origin);
    }
}

} // namespace

namespace {

// A bar takes the strip along the edge it is nearer to, on its own monitor
// only; what covers half the monitor is no bar.
TEST(PanelPlacement, EachBarTakesItsStripOfItsOwnMonitor) {
    const QRect right(1280, 0, 1280, 800);
    EXPECT_EQ(freeArea(right, {QRect(0, 0, 2560, 40),       // a top bar across both monitors
                               QRect(0, 760, 1280, 40),     // the other monitor's bottom bar
                               QRect(1280, 100, 48, 600),   // a dock at the left, not at the corner
                               QRect(1900, 780, 30, 20),    // a tray window inside a bottom bar
                               QRect(2000, 776, 23, 24),    // a one-icon tray, taller than wide
                               QRect(1280, 0, 1280, 700)}), // a window reserving most of it
              QRect(1328, 40, 1232, 736));
}

} // namespace
