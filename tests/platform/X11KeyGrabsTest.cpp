#include "platform/X11KeyGrabs.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace jotbox;

namespace {

TEST(X11KeyGrabs, PhysicalPositionsModifiersAndLockCombinations) {
    EXPECT_EQ(x11KeycodeForCarbon(45), 57);  // N
    EXPECT_EQ(x11KeycodeForCarbon(0), 38);   // A
    EXPECT_EQ(x11KeycodeForCarbon(122), 67); // F1
    EXPECT_FALSE(x11KeycodeForCarbon(63));   // fn never reaches X
    EXPECT_FALSE(x11KeycodeForCarbon(127));
    std::vector<int> seen; // every key but fn has an X keycode of its own
    for (std::uint32_t code = 0; code < 127; ++code)
        if (auto k = x11KeycodeForCarbon(code))
            seen.push_back(*k);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(seen.size(), 113u);
    EXPECT_EQ(x11ModifiersForCarbon(2304), x11::ControlMask | x11::Mod1Mask);
    EXPECT_EQ(x11ModifiersForCarbon(4096 | 512), x11::Mod4Mask | x11::ShiftMask);
    EXPECT_EQ(x11ModifiersForCarbon(1024), 0);
    // Every subset of the locks, once; a lock no modifier holds adds nothing.
    auto combos = lockCombinations(0x10, x11::LockMask, 0x80);
    std::sort(combos.begin(), combos.end());
    EXPECT_EQ(combos, (std::vector<std::uint16_t>{0, 2, 0x10, 0x12, 0x80, 0x82, 0x90, 0x92}));
    EXPECT_EQ(lockCombinations(0x10, x11::LockMask, 0).size(), 4u);
}

TEST(X11KeyGrabs, TheTableMatchesWhateverTheLocksAndFiresOncePerHold) {
    KeyGrabTable table;
    table.setLockMask(x11::LockMask | 0x10);
    const std::uint16_t ctrlAlt = x11::ControlMask | x11::Mod1Mask;
    table.add({1, 57, ctrlAlt, {0x516D7A74, 1}});
    table.add({2, 57, x11::ControlMask, {0x516D7A74, 2}});
    EXPECT_EQ(table.press(57, ctrlAlt | 0x10 | x11::LockMask)->id, 1u);
    EXPECT_FALSE(table.press(57, ctrlAlt)); // auto-repeat
    // The modifiers may already be up when the key comes up.
    EXPECT_EQ(table.release(57)->id, 1u);
    EXPECT_FALSE(table.release(57));
    EXPECT_EQ(table.press(57, x11::ControlMask | 0x10)->id, 2u);
    EXPECT_EQ(table.release(57)->id, 2u);
    EXPECT_FALSE(table.press(57, ctrlAlt | x11::ShiftMask));
    EXPECT_FALSE(table.press(58, ctrlAlt));
    EXPECT_TRUE(table.remove(1));
    EXPECT_FALSE(table.remove(1));
    EXPECT_FALSE(table.press(57, ctrlAlt));
    EXPECT_FALSE(table.holds(57, ctrlAlt));
    EXPECT_TRUE(table.holds(57, x11::ControlMask));
}

} // namespace
