#include "hotkey/Key.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace jotbox;

namespace {

TEST(KeyTable, CaseIndexesCodesAndDescriptions) {
    EXPECT_EQ(caseIndex(Key::n), 13);
    EXPECT_EQ(carbonKeyCode(Key::n), 45u);
    EXPECT_EQ(description(Key::n), "N");
    EXPECT_EQ(caseIndex(Key::return_), 50);
    EXPECT_EQ(name(Key::return_), "return");
    EXPECT_EQ(caseIndex(Key::mute), kKeyCount - 1);
    // Every code maps back, no two keys share one, and the codes between have no key.
    std::set<std::uint32_t> codes;
    for (int i = 0; i < kKeyCount; ++i) {
        const Key key = Key(i);
        EXPECT_EQ(keyFromCarbonKeyCode(carbonKeyCode(key)), key) << name(key);
        codes.insert(carbonKeyCode(key));
        EXPECT_FALSE(description(key).isEmpty());
        EXPECT_LE(description(key).toUcs4().size(), 4) << name(key);
    }
    EXPECT_EQ(codes.size(), std::size_t(kKeyCount));
    EXPECT_EQ(*codes.rbegin(), 126u);
    EXPECT_EQ(keyFromCarbonKeyCode(0), Key::a); // 0 is a real key
    for (std::uint32_t code : {52u, 66u, 102u, 127u, 255u, 4294967295u})
        EXPECT_FALSE(keyFromCarbonKeyCode(code)) << code;
}

TEST(KeyFromString, NamesDescriptionsAndSymbolsInAnyCaseNothingElse) {
    // Descriptions read back as their key, but for those another key shares.
    std::map<Key, std::optional<Key>> shared = {
        {Key::rightCommand, Key::command}, {Key::rightOption, Key::option},
        {Key::rightControl, Key::control}, {Key::rightShift, Key::shift},
        {Key::keypadDecimal, Key::period}, {Key::keypadDivide, Key::slash},
        {Key::keypadEnter, Key::return_},  {Key::keypadEquals, Key::equal},
        {Key::keypadMinus, Key::minus},    {Key::keypadMultiply, std::nullopt},
        {Key::keypadPlus, std::nullopt}};
    for (int digit = 0; digit < 10; ++digit) // keypad digits read as the digits
        shared[*keyFromString(QString("keypad%1").arg(digit))] =
            keyFromString(QString::number(digit));
    for (int i = 0; i < kKeyCount; ++i) {
        const Key key = Key(i);
        const auto it = shared.find(key);
        EXPECT_EQ(keyFromString(description(key)), it == shared.end() ? key : it->second)
            << name(key);
        EXPECT_EQ(keyFromString(name(key)), key);
        EXPECT_EQ(keyFromString(name(key).toUpper()), key);
    }
    const std::pair<const char16_t*, std::optional<Key>> texts[] = {
        {u"N", Key::n},
        {u"RiGhTbRaCkEt", Key::rightBracket},
        {u"]", Key::rightBracket},
        {u"[", Key::leftBracket},
        {u"\uF860f1", Key::f1},
        {u"1", Key::one},
        {u".", Key::period},
        {u"\u2318", Key::command},
        {u"\uF8FF", Key::command},
        {u"?\u20DD", Key::help},
        {u"\u02CB", Key::grave},
        {u"\uFF40", Key::grave},
        {u"\u23CE", Key::return_},
        {u"\u2B90", Key::return_},
        {u"\r", Key::return_},
        {u"\t", Key::tab},
        {u" ", Key::space},
        {u"\U0001F507", Key::mute},
        // Not one whole key.
        {u"\u212B", {}},
        {u"", {}},
        {u"  ", {}},
        {u"f21", {}},
        {u"n ", {}},
        {u" n", {}},
        {u"nn", {}},
        {u"keypad", {}},
        {u"fn ", {}},
        {u"?", {}},
        {u"\u21A9", {}},
        {u"\U0001F50A\U0001F50A", {}},
        {u"\u2318\u2318", {}},
        {u"right command", {}}};
    for (const auto& [text, key] : texts)
        EXPECT_EQ(keyFromString(QString::fromUtf16(text)), key) << QString::fromUtf16(text);
}

} // namespace
