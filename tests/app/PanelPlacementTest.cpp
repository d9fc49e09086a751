#include "app/PanelPlacement.h"

#include <gtest/gtest.h>

using jotbox::panelOrigin;

namespace {

const QSize kPanel(464, 256);
const QRect kScreen(0, 0, 2560, 1440);

TEST(PanelPlacement, CentredFivePointsUnderTheIconWhereItFits) {
    // The icon's bottom edge is at y 1024, so the panel's top is at 1029.
    EXPECT_EQ(panelOrigin(QRect(1000, 1000, 24, 24), kPanel, kScreen, {}), QPoint(780, 1029));
    EXPECT_EQ(panelOrigin(QRect(1000, 0, 24, 24), kPanel, kScreen, {}), QPoint(780, 29));
}

TEST(PanelPlacement, KeptInsideTheScreenAtTheSides) {
    const QRect available(0, 24, 1280, 776);
    EXPECT_EQ(panelOrigin(QRect(1256, 0, 24, 24), kPanel, available, {}), QPoint(1280 - 464, 29));
    EXPECT_EQ(panelOrigin(QRect(0, 0, 24, 24), kPanel, available, {}), QPoint(0, 29));
}

TEST(PanelPlacement, TrayAtTheBottomOpensUpwards) {
    const QRect available(0, 0, 1280, 776); // a 24-point panel below
    EXPECT_EQ(panelOrigin(QRect(1200, 776, 24, 24), kPanel, available, {}),
              QPoint(816, 776 - 5 - 256));
}

TEST(PanelPlacement, UnknownIconMeansThePointer) {
    EXPECT_EQ(panelOrigin(QRect(), kPanel, kScreen, QPoint(500, 10)), QPoint(500 - 232, 15));
    // ...and the pointer at the bottom right still keeps the panel on screen.
    EXPECT_EQ(panelOrigin(QRect(), kPanel, QRect(0, 0, 1280, 800), QPoint(1279, 799)),
              QPoint(1280 - 464, 799 - 5 - 256));
}

TEST(PanelPlacement, SecondScreenCoordinates) {
    const QRect right(1920, 0, 1920, 1080);
    EXPECT_EQ(panelOrigin(QRect(3830, 0, 22, 22), kPanel, right, {}), QPoint(3840 - 464, 27));
}

} // namespace
