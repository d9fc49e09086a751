#include "hotkey/Key.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <set>

using namespace jotbox;

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::vector<Key> allKeys() {
    std::vector<Key> keys;
    for (int i = 0; i < kKeyCount; ++i)
        keys.push_back(static_cast<Key>(i));
    return keys;
}

TEST(KeyTable, CaseIndexesAreTheInterface) {
    EXPECT_EQ(caseIndex(Key::n), 13);
    EXPECT_EQ(carbonKeyCode(Key::n), 45u);
    EXPECT_EQ(description(Key::n), "N");
    EXPECT_EQ(caseIndex(Key::return_), 50);
    EXPECT_EQ(name(Key::return_), "return");
    EXPECT_EQ(caseIndex(Key::mute), kKeyCount - 1);
}

TEST(KeyTable, EveryCodeMapsBackAndNoTwoKeysShareOne) {
    std::set<std::uint32_t> codes;
    for (Key key : allKeys()) {
        EXPECT_EQ(keyFromCarbonKeyCode(carbonKeyCode(key)), key) << name(key);
        codes.insert(carbonKeyCode(key));
        const QString d = description(key);
        EXPECT_FALSE(d.isEmpty());
        EXPECT_LE(d.toUcs4().size(), 4) << name(key);
    }
    EXPECT_EQ(codes.size(), std::size_t(kKeyCount));
}

TEST(KeyTable, CodesWithoutAKey) {
    EXPECT_EQ(keyFromCarbonKeyCode(0), Key::a); // 0 is a real key
    for (std::uint32_t code : {52u, 66u, 68u, 70u, 77u, 93u, 94u, 95u, 102u, 104u, 108u, 110u, 112u,
                               127u, 128u, 255u, 256u, 4294967295u})
        EXPECT_FALSE(keyFromCarbonKeyCode(code)) << code;
    int withKey = 0;
    for (std::uint32_t code = 0; code < 127; ++code)
        withKey += keyFromCarbonKeyCode(code).has_value();
    EXPECT_EQ(withKey, kKeyCount);
}

TEST(KeyFromString, DescriptionsReadBackExceptTheSharedOnes) {
    const std::map<Key, std::optional<Key>> exceptions = {
        {Key::rightCommand, Key::command}, {Key::rightOption, Key::option},
        {Key::rightControl, Key::control}, {Key::rightShift, Key::shift},
        {Key::keypad0, Key::zero},         {Key::keypad1, Key::one},
        {Key::keypad2, Key::two},          {Key::keypad3, Key::three},
        {Key::keypad4, Key::four},         {Key::keypad5, Key::five},
        {Key::keypad6, Key::six},          {Key::keypad7, Key::seven},
        {Key::keypad8, Key::eight},        {Key::keypad9, Key::nine},
        {Key::keypadDecimal, Key::period}, {Key::keypadDivide, Key::slash},
        {Key::keypadEnter, Key::return_},  {Key::keypadEquals, Key::equal},
        {Key::keypadMinus, Key::minus},    {Key::keypadMultiply, std::nullopt},
        {Key::keypadPlus, std::nullopt},
    };
    for (Key key : allKeys()) {
        const auto it = exceptions.find(key);
        const std::optional<Key> expected =
            it == exceptions.end() ? std::optional(key) : it->second;
        EXPECT_EQ(keyFromString(description(key)), expected) << name(key);
    }
}

TEST(KeyFromString, NamesInAnyLetterCase) {
    for (Key key : allKeys()) {
        EXPECT_EQ(keyFromString(name(key)), key) << name(key);
        EXPECT_EQ(keyFromString(name(key).toUpper()), key) << name(key);
    }
    EXPECT_EQ(keyFromString(u"N"), Key::n);
    EXPECT_EQ(keyFromString(u"rightbracket"), Key::rightBracket);
    EXPECT_EQ(keyFromString(u"RiGhTbRaCkEt"), Key::rightBracket);
    EXPECT_EQ(keyFromString(u"]"), Key::rightBracket);
    EXPECT_EQ(keyFromString(u"["), Key::leftBracket);
    EXPECT_EQ(keyFromString(u("\uF860f1")), Key::f1);
    EXPECT_EQ(keyFromString(u"1"), Key::one);
    EXPECT_EQ(keyFromString(u"."), Key::period);
}

TEST(KeyFromString, SymbolsPrivateUseAndCombiningForms) {
    EXPECT_EQ(keyFromString(u("\u2318")), Key::command);
    EXPECT_EQ(keyFromString(u("\uF8FF")), Key::command);
    EXPECT_EQ(keyFromString(u("?\u20DD")), Key::help);
    EXPECT_EQ(keyFromString(u("\u02CB")), Key::grave);
    EXPECT_EQ(keyFromString(u("\uFF40")), Key::grave);
    EXPECT_EQ(keyFromString(u("\u23CE")), Key::return_);
    EXPECT_EQ(keyFromString(u("\u2B90")), Key::return_);
    EXPECT_EQ(keyFromString(u"\r"), Key::return_);
    EXPECT_EQ(keyFromString(u"\t"), Key::tab);
    EXPECT_EQ(keyFromString(u" "), Key::space);
    EXPECT_EQ(keyFromString(u("\U0001F507")), Key::mute);
    // Canonical equivalence: the section sign has no decomposition, but
    // U+212B (angstrom) style equivalents must not match anything by accident.
    EXPECT_FALSE(keyFromString(u("\u212B")));
}

TEST(KeyFromString, TextThatIsNotOneWholeKey) {
    for (const char* text : {"", "  ", "f21", "n ", " n", "nn", "keypad", "fn ", "?", "\u21A9",
                             "\U0001F50A\U0001F50A", "\u2318\u2318", "right command"})
        EXPECT_FALSE(keyFromString(u(text))) << text;
}

} // namespace
