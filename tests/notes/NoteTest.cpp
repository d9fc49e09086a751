#include "notes/Note.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using jotbox::Note;

namespace {

QString title(const QString& content) {
    return Note{QUuid::createUuid(), content, 0}.title();
}

QString repeated(const QString& unit, int times) {
    QString s;
    for (int i = 0; i < times; ++i)
        s += unit;
    return s;
}

TEST(NoteTitle, BlankFirstLineIsNewNoteEvenWithTextBelow) {
    EXPECT_EQ(title(""), "New Note");
    EXPECT_EQ(title(" \t \nShopping"), "New Note");
    EXPECT_EQ(title("\n\nlater"), "New Note");
    EXPECT_EQ(title(QString::fromUtf8("\u00A0\u3000\u2003")), "New Note");
}

TEST(NoteTitle, TrimsTabsAndSpaceSeparatorsAtBothEndsOnly) {
    EXPECT_EQ(title("  Shopping  \nmilk"), "Shopping");
    EXPECT_EQ(title(QString::fromUtf8("\u00A0Buy\u00A0milk\u3000")),
              QString::fromUtf8("Buy\u00A0milk"));
    EXPECT_EQ(title("\tA\t"), "A");
    // Only tabs and Zs are trimmed: other line breaks and format characters stay.
    EXPECT_EQ(title("A\r"), "A\r");
    EXPECT_EQ(title(QString::fromUtf8("\u200BA")), QString::fromUtf8("\u200BA"));
    EXPECT_EQ(title("\vA"), "\vA");
}

TEST(NoteTitle, CrLfDoesNotEndTheFirstLine) {
    EXPECT_EQ(title("A\r\nB"), "A\r\nB");
    EXPECT_EQ(title("A\r\nB\nC"), "A\r\nB");
    EXPECT_EQ(title("A\r\r\nB"), "A\r\r\nB");
    EXPECT_EQ(title("\r\nX"), "\r\nX");
}

TEST(NoteTitle, CutsAtThirtyUserPerceivedCharacters) {
    const QString thirty = repeated("a", 30);
    EXPECT_EQ(title(thirty), thirty);
    EXPECT_EQ(title(thirty + "b"), thirty);
    EXPECT_EQ(title(repeated("x", 40)), repeated("x", 30));
    // The cut is not trimmed again.
    EXPECT_EQ(title(repeated("a", 29) + "  z"), repeated("a", 29) + " ");
}

TEST(NoteTitle, ClustersCountAsOneCharacter) {
    const QString eAcute = QString::fromUtf8("e\u0301");
    const QString family =
        QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    const QString thumb = QString::fromUtf8("\U0001F44D\U0001F3FD");
    const QString flag = QString::fromUtf8("\U0001F1E9\U0001F1EA");
    for (const QString& unit : {eAcute, family, thumb, flag}) {
        EXPECT_EQ(title(repeated(unit, 30)), repeated(unit, 30));
        EXPECT_EQ(title(repeated(unit, 31)), repeated(unit, 30));
    }
    // An odd run of regional indicators pairs from the left.
    const QString lone = QString::fromUtf8("\U0001F1E9");
    EXPECT_EQ(title(repeated(flag, 29) + lone + lone + lone), repeated(flag, 29) + lone + lone);
}

TEST(NoteTitle, OtherScriptsLaterInTheTextChangeNoCluster) {
    // Indic text after an emoji once made the emoji fall apart into halves.
    const QString thumb = QString::fromUtf8("\U0001F44D\U0001F3FD");
    const QString hindi = QString::fromUtf8(" \u0928\u092E\u0938\u094D\u0924\u0947");
    EXPECT_EQ(title(repeated("x", 29) + thumb + hindi), repeated("x", 29) + thumb);
    EXPECT_EQ(title("a\r\nb" + repeated("x", 26) + hindi), "a\r\nb" + repeated("x", 26) + " ");
}

TEST(NoteTitle, AWindowEdgeInsideASurrogatePairSplitsNothing) {
    // 29 clusters of four code units, one of three: the 30th ends one code
    // unit before the first 120-unit window does, right before an emoji
    // modifier whose first half ends the window.
    const QString heavy = QString::fromUtf8("e\u0301\u0301\u0301");
    const QString last = QString::fromUtf8("e\u0301\u0301");
    const QString modifier = QString::fromUtf8("\U0001F3FD");
    EXPECT_EQ(title(repeated(heavy, 29) + last + modifier + "tail"),
              repeated(heavy, 29) + last + modifier);
}

TEST(NoteTitle, ClusterLongerThanTheFirstWindowStaysWhole) {
    // One base letter with 500 combining marks is one character.
    const QString zalgo = "a" + repeated(QString::fromUtf8("\u0301"), 500);
    EXPECT_EQ(title(zalgo + "bcd"), zalgo + "bcd");
    EXPECT_EQ(title(repeated(zalgo, 31)), repeated(zalgo, 30));
}

TEST(NoteTitle, HugeFirstLine) {
    const QString big = "  " + repeated("word ", 200000) + "\nrest";
    EXPECT_EQ(title(big), repeated("word ", 6));
}

TEST(NoteEquality, ContentUnderCanonicalEquivalenceOtherFieldsExactly) {
    const Note a{QUuid::createUuid(), QString::fromUtf8("caf\u00E9"), 12.5};
    Note b = a;
    b.content = QString::fromUtf8("cafe\u0301");
    EXPECT_EQ(a, b);
    b.content = "cafe";
    EXPECT_NE(a, b);
    Note c = a;
    c.createdAt = std::nextafter(12.5, 13.0);
    EXPECT_NE(a, c);
    Note d = a;
    d.id = QUuid::createUuid();
    EXPECT_NE(a, d);
}

TEST(NoteEquality, EquivalenceAcrossOrderOfCombiningMarks) {
    // Marks of different classes may come in either order; same class may not.
    const Note a{QUuid(), QString::fromUtf8("x q\u0307\u0323 y"), 0};
    const Note b{QUuid(), QString::fromUtf8("x q\u0323\u0307 y"), 0};
    const Note c{QUuid(), QString::fromUtf8("x a\u0301\u0300 y"), 0};
    const Note d{QUuid(), QString::fromUtf8("x a\u0300\u0301 y"), 0};
    EXPECT_EQ(a, b);
    EXPECT_NE(c, d);
    // A Hangul syllable equals its jamo.
    EXPECT_EQ((Note{QUuid(), QString::fromUtf8("\uD55C"), 0}),
              (Note{QUuid(), QString::fromUtf8("\u1112\u1161\u11AB"), 0}));
}

TEST(NoteMake, FreshBlankNotesDiffer) {
    const Note a = Note::make();
    const Note b = Note::make();
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.id.version(), QUuid::Random);
    EXPECT_TRUE(a.content.isEmpty());
    // Created now: after 2026 in seconds since 2001.
    EXPECT_GT(a.createdAt, 788918400.0);
}

} // namespace
