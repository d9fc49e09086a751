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

TEST(Key, CodesNamesAndDescriptionsReadBackAndNothingElseReadsAsAKey) {
    EXPECT_EQ(std::tuple(caseIndex(Key::n), carbonKeyCode(Key::n), description(Key::n)),
              std::tuple(13, 45u, QString("N")));
    for (int i = 0; i < kKeyCount; ++i) {
        const Key key = Key(i);
        EXPECT_EQ(keyFromCarbonKeyCode(carbonKeyCode(key)), key) << name(key); // codes are unique
        EXPECT_EQ(keyFromString(name(key).toUpper()), key);
        // Descriptions read back, but those a right-hand or keypad key shares with another.
        const bool shared = name(key).startsWith("right") || name(key).startsWith("keypad");
        EXPECT_TRUE(shared || keyFromString(description(key)) == key) << name(key);
    }
    for (std::uint32_t code : {52u, 66u, 127u, 4294967295u})
        EXPECT_FALSE(keyFromCarbonKeyCode(code)) << code;
    // clang-format off
    const std::pair<const char16_t*, std::optional<Key>> texts[] = {
        {u"keypad7", Key::keypad7}, {u"\u2318", Key::command}, {u"\uF8FF", Key::command},
        {u"?\u20DD", Key::help}, {u"\uFF40", Key::grave}, {u"\u2B90", Key::return_},
        {u"\r", Key::return_}, {u"\U0001F507", Key::mute}, {u"\u212B", {}}, {u"", {}}, {u"f21", {}},
        {u"n ", {}}, {u"nn", {}}, {u"\u2318\u2318", {}}, {u"right command", {}}};
    // clang-format on
    for (const auto& [text, key] : texts)
        EXPECT_EQ(keyFromString(QString::fromUtf16(text)), key) << QString::fromUtf16(text);
}

TEST(KeyCombo, NumbersKeysModifiersDescriptionsAndDictionaries) {
    EXPECT_EQ(KeyCombo(Key::n, ModifierFlags(ModifierFlags::command | ModifierFlags::option)),
              KeyCombo(45, 2304));
    EXPECT_EQ(KeyCombo(45, 2304).description(), QString::fromUtf8("\u2325\u2318N"));
    // Extra mask bits keep combos apart though they look alike.
    const KeyCombo plain(45, 256), withCaps(45, 256 + 1024);
    EXPECT_TRUE(plain != withCaps && plain.description() == withCaps.description());
    KeyCombo combo = withCaps;
    combo.setKey(std::nullopt);
    EXPECT_EQ(combo.key(), Key::a); // code 0
    combo.setKey(Key::z);
    combo.setModifiers(ModifierFlags(ModifierFlags::shift));
    EXPECT_EQ(combo, KeyCombo(6, 512)); // the stray 1024 is gone
    EXPECT_EQ(KeyCombo(52, 256).description(), QString::fromUtf8("\u2318")); // no key: modifiers
    const QVariantMap d = KeyCombo(45, 2304).dictionary();
    EXPECT_EQ(d, (QVariantMap{{"keyCode", 45LL}, {"modifiers", 2304LL}}));
    EXPECT_EQ(KeyCombo::fromDictionary({{"keyCode", 4294967295LL}, {"modifiers", 0u}, {"x", 1}}),
              KeyCombo(4294967295u, 0));
    // clang-format off
    for (const QVariantMap& m : QList<QVariantMap>{{}, {{"keyCode", 45}},
             {{"keyCode", "45"}, {"modifiers", 2304}}, {{"keyCode", 45.0}, {"modifiers", 2304}},
             {{"keyCode", -1}, {"modifiers", 2304}}, {{"keyCode", 1LL << 32}, {"modifiers", 2304}}})
        // clang-format on
        EXPECT_FALSE(KeyCombo::fromDictionary(m));
}

} // namespace
