#include "hotkey/KeyCombo.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace jotbox {
void PrintTo(const KeyCombo& c, std::ostream* os) {
    *os << '(' << c.carbonKeyCode << ", " << c.carbonModifiers << ')';
}
} // namespace jotbox

using namespace jotbox;

namespace {

// Names, descriptions and dictionaries are the hotkey module's API, which Jotbox does not call.
TEST(Key, CodesAreUniqueAndNothingElseReadsAsAKey) {
    EXPECT_EQ(std::pair(caseIndex(Key::n), carbonKeyCode(Key::n)), std::pair(13, 45u));
    for (int i = 0; i < kKeyCount; ++i) // codes are unique
        EXPECT_EQ(keyFromCarbonKeyCode(carbonKeyCode(Key(i))), Key(i)) << name(Key(i));
    for (std::uint32_t code : {52u, 66u, 127u, 4294967295u})
        EXPECT_FALSE(keyFromCarbonKeyCode(code)) << code;
}

TEST(KeyCombo, NumbersKeysAndModifiers) {
    EXPECT_EQ(KeyCombo(Key::n, ModifierFlags(ModifierFlags::command | ModifierFlags::option)),
              KeyCombo(45, 2304));
    // Extra mask bits keep combos apart.
    const KeyCombo plain(45, 256), withCaps(45, 256 + 1024);
    EXPECT_NE(plain, withCaps);
    KeyCombo combo = withCaps;
    combo.setKey(std::nullopt);
    EXPECT_EQ(combo.key(), Key::a); // code 0
    combo.setKey(Key::z);
    combo.setModifiers(ModifierFlags(ModifierFlags::shift));
    EXPECT_EQ(combo, KeyCombo(6, 512)); // the stray 1024 is gone
}

} // namespace
