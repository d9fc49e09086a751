#include "platform/ModifierFlags.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using jotbox::ModifierFlags;

namespace {

TEST(ModifierFlags, CarbonConversionsAndBitsThatDoNotCount) {
    const ModifierFlags cmdOpt(ModifierFlags::command | ModifierFlags::option);
    EXPECT_EQ(cmdOpt.carbonFlags(), 2304u);
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(2304), cmdOpt);
    for (std::uint32_t mask = 0; mask < 0x2000; ++mask) // inverse on the four modifiers
        EXPECT_EQ(ModifierFlags::fromCarbonFlags(mask).carbonFlags(), mask & 0x1B00) << mask;
    // Caps lock (0x10000), function (0x800000) and device bits do not count.
    const ModifierFlags noisy(ModifierFlags::shift | 0x10000 | 0x800000 | 0x1);
    EXPECT_EQ(noisy.carbonFlags(), 512u);
}

} // namespace
