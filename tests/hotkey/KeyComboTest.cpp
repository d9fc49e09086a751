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
constexpr ModifierFlags kShift{ModifierFlags::shift};

TEST(KeyCombo, RawNumbersKeysModifiersAndDescriptions) {
    EXPECT_EQ(KeyCombo(Key::n, kCmd | ModifierFlags(ModifierFlags::option)), KeyCombo(45, 2304));
    EXPECT_EQ(KeyCombo(45, 2304).description(), QString::fromUtf8("\u2325\u2318N"));
    // Extra mask bits keep combos apart though they look alike.
    const KeyCombo plain(45, 256), withCaps(45, 256 + 1024);
    EXPECT_NE(plain, withCaps);
    EXPECT_EQ(plain.modifiers(), withCaps.modifiers());
    EXPECT_EQ(plain.description(), withCaps.description());
    KeyCombo combo = withCaps;
    combo.setKey(std::nullopt);
    EXPECT_EQ(combo.carbonKeyCode, 0u);
    EXPECT_EQ(combo.key(), Key::a);
    combo.setKey(Key::z);
    combo.setModifiers(kShift);
    EXPECT_EQ(combo, KeyCombo(6, 512)); // the stray 1024 is gone
    // A code without a key describes the modifiers only.
    EXPECT_EQ(KeyCombo(52, 256).description(), QString::fromUtf8("\u2318"));
    EXPECT_EQ(KeyCombo(52, 1024).description(), "");
    EXPECT_FALSE(KeyCombo(200, 0).key());
    EXPECT_TRUE(KeyCombo(200, 0xFFFFFFFF).isValid());
}

TEST(KeyCombo, DictionaryRoundTripAndRejections) {
    const QVariantMap d = KeyCombo(45, 2304).dictionary();
    EXPECT_EQ(d, (QVariantMap{{"keyCode", 45LL}, {"modifiers", 2304LL}}));
    EXPECT_EQ(d.value("keyCode").typeId(), QMetaType::LongLong);
    QVariantMap extra = d;
    extra.insert("other", "ignored");
    EXPECT_EQ(KeyCombo::fromDictionary(extra), KeyCombo(45, 2304));
    EXPECT_EQ(KeyCombo::fromDictionary({{"keyCode", 4294967295LL}, {"modifiers", 0u}}),
              KeyCombo(4294967295u, 0));
    for (const QVariantMap& m :
         QList<QVariantMap>{{},
                            {{"keyCode", 45}},
                            {{"modifiers", 2304}},
                            {{"keyCode", "45"}, {"modifiers", 2304}},
                            {{"keyCode", 45}, {"modifiers", QVariant()}},
                            {{"keyCode", 45.0}, {"modifiers", 2304}},
                            {{"keyCode", -1}, {"modifiers", 2304}},
                            {{"keyCode", 4294967296LL}, {"modifiers", 2304}},
                            {{"keyCode", 45}, {"modifiers", 18446744073709551615ULL}}})
        EXPECT_FALSE(KeyCombo::fromDictionary(m));
}

MenuItem item(const QString& key, ModifierFlags mask = kCmd, std::shared_ptr<Menu> sub = {}) {
    MenuItem i;
    i.keyEquivalent = key;
    i.keyEquivalentModifierMask = mask;
    i.submenu = std::move(sub);
    return i;
}

TEST(KeyComboLists, MenusDepthFirstTheMainMenuAndTheStandardOnes) {
    auto sub = std::make_shared<Menu>(Menu{{}, {item("z", kShift | kCmd)}});
    // An upper-case equivalent reads as its key, no shift added; a function-key glyph as none.
    const Menu menu{{},
                    {item("q"), item("", kCmd, sub), item("Z"), item(QString(QChar(0xF704))),
                     MenuItem::separator(), item("a", kCmd, sub)}};
    EXPECT_EQ(KeyCombo::keyCombos(menu),
              (QList<KeyCombo>{{12, 256}, {6, 768}, {6, 256}, {0, 256}, {6, 768}}));
    MainMenu::set(nullptr);
    EXPECT_TRUE(KeyCombo::mainMenuKeyCombos().isEmpty());
    MainMenu::set(std::make_shared<Menu>(Menu{{}, {item("c")}}));
    EXPECT_EQ(KeyCombo::mainMenuKeyCombos(), QList<KeyCombo>{KeyCombo(8, 256)});
    MainMenu::set(nullptr);
    const auto standard = KeyCombo::standardKeyCombos();
    ASSERT_EQ(standard.size(), 46);
    EXPECT_EQ(standard.front(), KeyCombo(43, 256));
    EXPECT_EQ(standard.back(), KeyCombo(44, 768));
    EXPECT_FALSE(standard.contains(KeyCombo(45, 2304))); // Jotbox's own shortcut is free
    for (const KeyCombo& c : standard)
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
    const auto record = [](QVariant enabled, QVariant code, QVariant mods) {
        QVariantMap m{{"kHISymbolicHotKeyEnabled", enabled},
                      {"kHISymbolicHotKeyCode", code},
                      {"kHISymbolicHotKeyModifiers", mods}};
        m.removeIf([](const auto& entry) { return !entry.value().isValid(); });
        return m;
    };
    FakeSymbolicSource source;
    source.records = QList<QVariantMap>{record(true, 49, 256),       record(false, 50, 256),
                                        record(QVariant(), 51, 256), record("yes", 52, 256),
                                        record(1, 53, 6912 + 1024), // unfiltered mask
                                        record(true, "54", 256),     record(true, 55, QVariant())};
    EXPECT_EQ(KeyCombo::systemKeyCombos(source), (QList<KeyCombo>{{49, 256}, {53, 6912 + 1024}}));
    source.status = -1;
    EXPECT_TRUE(KeyCombo::systemKeyCombos(source).isEmpty());
    source.status = noErr;
    source.records.reset();
    EXPECT_TRUE(KeyCombo::systemKeyCombos(source).isEmpty());
    EXPECT_TRUE(KeyCombo::systemKeyCombos().isEmpty()); // X11 has no such list
}

} // namespace
