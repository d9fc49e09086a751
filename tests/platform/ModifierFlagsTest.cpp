#include "platform/ModifierFlags.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using jotbox::ModifierFlags;

namespace {

TEST(ModifierFlags, CarbonConversionsAreInverseOnTheFourModifiers) {
    const ModifierFlags cmdOpt(ModifierFlags::command | ModifierFlags::option);
    EXPECT_EQ(cmdOpt.carbonFlags(), 2304u);
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(2304), cmdOpt);
    const ModifierFlags all(ModifierFlags::command | ModifierFlags::option |
                            ModifierFlags::control | ModifierFlags::shift);
    EXPECT_EQ(all.carbonFlags(), 6912u);
    for (std::uint32_t mask = 0; mask < 0x2000; ++mask) {
        const std::uint32_t relevant = mask & 0x1B00;
        EXPECT_EQ(ModifierFlags::fromCarbonFlags(mask).carbonFlags(), relevant) << mask;
    }
}

TEST(ModifierFlags, OtherBitsAreIgnored) {
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(256 + 1024), ModifierFlags(ModifierFlags::command));
    // Caps lock (0x10000), function (0x800000) and device bits do not count.
    const ModifierFlags noisy(ModifierFlags::shift | 0x10000 | 0x800000 | 0x1);
    EXPECT_EQ(noisy.carbonFlags(), 512u);
    EXPECT_EQ(noisy.description(), QString::fromUtf8("\u21E7"));
}

TEST(ModifierFlags, DescriptionOrderIsControlOptionShiftCommand) {
    EXPECT_EQ(ModifierFlags().description(), "");
    EXPECT_EQ(ModifierFlags(ModifierFlags::command | ModifierFlags::option).description(),
              QString::fromUtf8("\u2325\u2318"));
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(6912).description(),
              QString::fromUtf8("\u2303\u2325\u21E7\u2318"));
}

} // namespace
