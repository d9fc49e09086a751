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

constexpr ModifierFlags kCmd{ModifierFlags::command};
constexpr ModifierFlags kOpt{ModifierFlags::option};
constexpr ModifierFlags kShift{ModifierFlags::shift};

TEST(KeyCombo, FromKeyAndModifiersEqualsRawNumbers) {
    EXPECT_EQ(KeyCombo(Key::n, kCmd | kOpt), KeyCombo(45, 2304));
    EXPECT_EQ(KeyCombo(45, 2304).description(), QString::fromUtf8("\u2325\u2318N"));
}

TEST(KeyCombo, ExtraMaskBitsKeepCombosApartThoughTheyLookAlike) {
    const KeyCombo plain(45, 256), withCaps(45, 256 + 1024);
    EXPECT_NE(plain, withCaps);
    EXPECT_EQ(plain.modifiers(), withCaps.modifiers());
    EXPECT_EQ(plain.description(), withCaps.description());
}

TEST(KeyCombo, KeyAndModifierWrites) {
    KeyCombo combo(45, 256 + 1024);
    combo.setKey(std::nullopt);
    EXPECT_EQ(combo.carbonKeyCode, 0u);
    EXPECT_EQ(combo.key(), Key::a);
    combo.setKey(Key::z);
    EXPECT_EQ(combo.carbonKeyCode, 6u);
    combo.setModifiers(kShift);
    EXPECT_EQ(combo.carbonModifiers, 512u); // the stray 1024 is gone
}

TEST(KeyCombo, CodeWithoutAKeyDescribesModifiersOnly) {
    EXPECT_EQ(KeyCombo(52, 256).description(), QString::fromUtf8("\u2318"));
    EXPECT_EQ(KeyCombo(52, 1024).description(), "");
    EXPECT_FALSE(KeyCombo(200, 0).key());
    EXPECT_TRUE(KeyCombo(200, 0xFFFFFFFF).isValid());
}

TEST(KeyComboDictionary, RoundTripAndRejections) {
    const QVariantMap d = KeyCombo(45, 2304).dictionary();
    EXPECT_EQ(d.size(), 2);
    EXPECT_EQ(d.value("keyCode").typeId(), QMetaType::LongLong);
    EXPECT_EQ(d.value("keyCode").toLongLong(), 45);
    EXPECT_EQ(d.value("modifiers").toLongLong(), 2304);
    EXPECT_EQ(KeyCombo::fromDictionary(d), KeyCombo(45, 2304));

    QVariantMap extra = d;
    extra.insert("other", "ignored");
    EXPECT_EQ(KeyCombo::fromDictionary(extra), KeyCombo(45, 2304));
    EXPECT_EQ(KeyCombo::fromDictionary({{"keyCode", 4294967295LL}, {"modifiers", 0u}}),
              KeyCombo(4294967295u, 0));

    const QList<QVariantMap> bad = {
        {},
        {{"keyCode", 45}},
        {{"modifiers", 2304}},
        {{"keyCode", "45"}, {"modifiers", 2304}},
        {{"keyCode", 45}, {"modifiers", QVariant()}},
        {{"keyCode", 45.0}, {"modifiers", 2304}},
        {{"keyCode", -1}, {"modifiers", 2304}},
        {{"keyCode", 4294967296LL}, {"modifiers", 2304}},
        {{"keyCode", 45}, {"modifiers", 18446744073709551615ULL}},
    };
    for (const QVariantMap& m : bad)
        EXPECT_FALSE(KeyCombo::fromDictionary(m));
}

TEST(KeyComboLists, MenuWalkIsDepthFirstItemsBeforeTheirSubmenus) {
    auto sub = std::make_shared<Menu>();
    MenuItem z;
    z.keyEquivalent = "z";
    z.keyEquivalentModifierMask = kShift | kCmd;
    sub->itemArray = {z};

    Menu menu;
    MenuItem q;
    q.keyEquivalent = "q";
    MenuItem holder;
    holder.submenu = sub;
    MenuItem upper; // an upper-case equivalent reads as its key, no shift added
    upper.keyEquivalent = "Z";
    MenuItem privateUse; // a function-key glyph no key reads
    privateUse.keyEquivalent = QString(QChar(0xF704));
    MenuItem withBoth;
    withBoth.keyEquivalent = "a";
    withBoth.submenu = sub;
    menu.itemArray = {q, holder, upper, privateUse, MenuItem::separator(), withBoth};

    EXPECT_EQ(KeyCombo::keyCombos(menu),
              (QList<KeyCombo>{{12, 256}, {6, 768}, {6, 256}, {0, 256}, {6, 768}}));
}

TEST(KeyComboLists, MainMenuCombosFollowTheInstalledMenu) {
    MainMenu::set(nullptr);
    EXPECT_TRUE(KeyCombo::mainMenuKeyCombos().isEmpty());
    auto menu = std::make_shared<Menu>();
    MenuItem c;
    c.keyEquivalent = "c";
    menu->itemArray = {c};
    MainMenu::set(menu);
    EXPECT_EQ(KeyCombo::mainMenuKeyCombos(), QList<KeyCombo>{KeyCombo(8, 256)});
    MainMenu::set(nullptr);
}

TEST(KeyComboLists, StandardCombosAreTheFixedFortySix) {
    const auto combos = KeyCombo::standardKeyCombos();
    ASSERT_EQ(combos.size(), 46);
    EXPECT_EQ(combos.front(), KeyCombo(43, 256));
    EXPECT_EQ(combos.back(), KeyCombo(44, 768));
    EXPECT_FALSE(combos.contains(KeyCombo(45, 2304))); // Jotbox's own shortcut is free
    for (const KeyCombo& c : combos)
        EXPECT_TRUE(c.key()) << c.carbonKeyCode;
}

class FakeSymbolicSource : public SymbolicHotKeySource {
public:
    OSStatus status = noErr;
    std::optional<QList<QVariantMap>> records;
    std::optional<QList<QVariantMap>> copySymbolicHotKeys(OSStatus* s) override {
        *s = status;
        return records;
    }
};

TEST(KeyComboLists, SystemCombosKeepOnlyEnabledNumericRecords) {
    FakeSymbolicSource source;
    auto record = [](QVariant enabled, QVariant code, QVariant mods) {
        QVariantMap m;
        if (enabled.isValid())
            m.insert("kHISymbolicHotKeyEnabled", enabled);
        if (code.isValid())
            m.insert("kHISymbolicHotKeyCode", code);
        if (mods.isValid())
            m.insert("kHISymbolicHotKeyModifiers", mods);
        return m;
    };
    source.records = QList<QVariantMap>{
        record(true, 49, 256),   record(false, 50, 256),       record(QVariant(), 51, 256),
        record("yes", 52, 256),  record(1, 53, 6912 + 1024), // unfiltered mask
        record(true, "54", 256), record(true, 55, QVariant()),
    };
    EXPECT_EQ(KeyCombo::systemKeyCombos(source), (QList<KeyCombo>{{49, 256}, {53, 6912 + 1024}}));

    source.status = -1;
    EXPECT_TRUE(KeyCombo::systemKeyCombos(source).isEmpty());
    source.status = noErr;
    source.records.reset();
    EXPECT_TRUE(KeyCombo::systemKeyCombos(source).isEmpty());
    EXPECT_TRUE(KeyCombo::systemKeyCombos().isEmpty()); // X11 has no such list
}

} // namespace
