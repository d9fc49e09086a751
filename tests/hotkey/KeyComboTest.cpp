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

} // namespace
