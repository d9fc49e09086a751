#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

using namespace jotbox;

namespace {

const QUuid kId = QUuid::fromString(QStringLiteral("5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D"));

std::optional<QList<Note>> decode(const char* json) {
    return NotesFile::decode(QByteArray(json));
}

TEST(NotesFileEncode, CompactUpperCaseUuidNoTrailingNewline) {
    const QByteArray bytes = *NotesFile::encode({Note{kId, "hi", 1.5}});
    EXPECT_EQ(bytes,
              R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"hi","createdAt":1.5}])");
    EXPECT_EQ(*NotesFile::encode({}), "[]");
}

TEST(NotesFileEncode, EscapesOnlyWhatJsonRequires) {
    const QString text = QString::fromUtf8("q\"b\\s/\n\t\x01\u00E9\U0001F600");
    const QByteArray bytes = *NotesFile::encode({Note{kId, text, 0}});
    EXPECT_TRUE(bytes.contains(R"(q\"b\\s/\n\t\u0001)"));
    EXPECT_TRUE(bytes.contains(QString::fromUtf8("\u00E9\U0001F600").toUtf8()));
}

TEST(NotesFileRoundTrip, EveryControlCharacterIsEscapedWhereverItFalls) {
    // Pasted terminal output carries ESC (U+001B); every alignment within a
    // 16-byte block must be escaped on writing.
    for (int offset = 0; offset < 32; ++offset) {
        QString text(offset, u'x');
        for (char16_t c = 1; c < 0x20; ++c)
            text += QChar(c);
        const QByteArray bytes = *NotesFile::encode({Note{kId, text, 1}});
        EXPECT_FALSE(
            std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x20; }))
            << "offset " << offset;
        const auto back = NotesFile::decode(bytes);
        ASSERT_TRUE(back) << "offset " << offset;
        EXPECT_EQ(back->front().content, text);
    }
}

TEST(NotesFileRoundTrip, AwkwardTextComesBackUnchanged) {
    QString controls;
    for (char16_t c = 0; c < 0x20; ++c)
        controls += QChar(c);
    const QList<QString> texts = {
        "",
        controls,
        "\"quoted\" \\back\\slash\\ /solidus/",
        QString::fromUtf8("\U0001F468\u200D\U0001F469 \U00010348 \uFFFF"),
        QString::fromUtf8("\u2028\u2029 line separators"),
        "A\r\nB",
        QString(5000, QChar(u'x')),
    };
    QList<Note> notes;
    for (const QString& t : texts)
        notes.append(Note{QUuid::createUuid(), t, 1.0});
    const auto back = NotesFile::decode(*NotesFile::encode(notes));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), notes.size());
    for (qsizetype i = 0; i < notes.size(); ++i) {
        EXPECT_EQ((*back)[i].id, notes[i].id);
        // Exact code units, not only canonical equivalence.
        EXPECT_EQ((*back)[i].content, notes[i].content) << i;
    }
}

TEST(NotesFileRoundTrip, TimesReadBackBitForBit) {
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             0.1,
                             786000000.123456789,
                             123456789.98765432101,
                             -978307200.0,
                             1e300,
                             -1e-300,
                             5e-324,
                             std::numeric_limits<double>::max(),
                             std::nextafter(1.0, 2.0),
                             9007199254740993.0,
                             3.0e15 + 0.5};
    for (double v : values) {
        const auto back = NotesFile::decode(*NotesFile::encode({Note{kId, "", v}}));
        ASSERT_TRUE(back) << v;
        EXPECT_EQ(std::bit_cast<quint64>(back->front().createdAt), std::bit_cast<quint64>(v)) << v;
    }
}

TEST(NotesFileEncode, NonFiniteTimeIsAnErrorNotABadFile) {
    EXPECT_FALSE(NotesFile::encode({Note{kId, "", std::numeric_limits<double>::infinity()}}));
    EXPECT_FALSE(NotesFile::encode({Note{kId, "", std::nan("")}}));
}

TEST(NotesFileDecode, AcceptsWhatTheFormAllows) {
    const auto notes = decode(R"( [ {"createdAt": 7, "colour": "red", "content": "x",
        "id": "5f1d3c9a-0b7e-4c2d-9a8b-1e2f3a4b5c6d"},
        {"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"","createdAt":-2.5e2} ] )");
    ASSERT_TRUE(notes);
    ASSERT_EQ(notes->size(), 2);
    EXPECT_EQ((*notes)[0].id, kId);
    EXPECT_EQ((*notes)[0].createdAt, 7.0);
    EXPECT_EQ((*notes)[1].id, kId); // duplicates kept as they stand
    EXPECT_EQ((*notes)[1].createdAt, -250.0);
    EXPECT_EQ(decode("[]")->size(), 0);
}

TEST(NotesFileDecode, IntegerAndZeroFractionAreTheSameInstant) {
    const auto a =
        decode(R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"","createdAt":42}])");
    const auto b =
        decode(R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"","createdAt":42.0}])");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->front().createdAt, b->front().createdAt);
}

TEST(NotesFileDecode, EveryWayOfWritingANumberReadsAsItsValue) {
    const struct {
        const char* json;
        double value;
    } cases[] = {
        {"0e200", 0.0},
        {"-0E+100", -0.0},
        {"0.000e-300", 0.0},
        {"1e-400", 0.0},
        {"-1e-400", -0.0},
        {"2.5e-320", 2.5e-320},
        {"4.2E1", 42.0},
        {"7e+0", 7.0},
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
        {"0.1", 0.1},
        {"-978307200.5", -978307200.5},
    };
    for (const auto& c : cases) {
        const auto notes = NotesFile::decode(
            QByteArray(R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"",)") +
            "\"createdAt\":" + c.json + "}]");
        ASSERT_TRUE(notes) << c.json;
        const double got = notes->front().createdAt;
        EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(c.value))
            << c.json << " read as " << got;
    }
}

TEST(NotesFileDecode, EveryDepartureGivesNoNotesAtAll) {
    const QByteArray good =
        R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"ok","createdAt":1})";
    auto withSecond = [&](const char* second) {
        return "[" + good + "," + QByteArray(second) + "]";
    };
    const QList<QByteArray> bad = {
        "",
        "   ",
        "not json",
        "{}",
        "null",
        "\"text\"",
        good,
        "[" + good,
        "[" + good + "] x",
        "[" + good + ",]",
        "[1]",
        "[[]]",
        withSecond(R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"x"})"),
        withSecond(R"({"content":"x","createdAt":1})"),
        withSecond(R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","createdAt":1})"),
        withSecond(R"({"id":null,"content":"x","createdAt":1})"),
        withSecond(R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":null,"createdAt":1})"),
        withSecond(R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":3,"createdAt":1})"),
        withSecond(
            R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"x","createdAt":"1"})"),
        withSecond(
            R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"x","createdAt":1e400})"),
        withSecond(
            R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"x","createdAt":NaN})"),
        withSecond(
            R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"x","createdAt":Infinity})"),
        withSecond(
            R"({"id":"{5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D}","content":"x","createdAt":1})"),
        withSecond(R"({"id":"5F1D3C9A0B7E4C2D9A8B1E2F3A4B5C6D","content":"x","createdAt":1})"),
        withSecond(R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6G","content":"x","createdAt":1})"),
        withSecond(R"({"id":" 5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"x","createdAt":1})"),
        withSecond(R"({"id":"","content":"x","createdAt":1})"),
        "[" + good + "] // comment",
        "[{\"id\":\"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D\",\"content\":\"\xff\",\"createdAt\":1}]",
        "[{\"id\":\"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D\",\"content\":\"\xc3\",\"createdAt\":1}]",
        "[{\"id\":\"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D\",\"content\":\"\xed\xa0\x80\","
        "\"createdAt\":1}]",
        QByteArray("[" + good + "]").append('\0'),
        QByteArray("\xef\xbb\xbf") + "[" + good + "]",
    };
    for (const QByteArray& bytes : bad)
        EXPECT_FALSE(NotesFile::decode(bytes)) << bytes.constData();
}

TEST(NotesFileDecode, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    // A million levels: far beyond any stack if each level were a call.
    constexpr qsizetype kDepth = 1'000'000;
    EXPECT_FALSE(NotesFile::decode(QByteArray(kDepth, '[') + QByteArray(kDepth, ']')));
    EXPECT_FALSE(NotesFile::decode(QByteArray(kDepth, '[')));
    EXPECT_FALSE(NotesFile::decode(QByteArray(kDepth, '{')));

    // Under a key Jotbox ignores, nesting up to 512 levels in all is fine.
    auto withExtra = [](int levels) {
        return R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"kept","createdAt":1,"x":)" +
               QByteArray(levels, '[') + QByteArray(levels, ']') + "}]";
    };
    const auto notes = NotesFile::decode(withExtra(510));
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->front().content, "kept");
    EXPECT_FALSE(NotesFile::decode(withExtra(511)));
}

TEST(NotesFileDecode, RawControlCharactersInTextAreRejectedWhereverTheyFall) {
    for (int offset = 0; offset < 32; ++offset)
        for (char c = 1; c < 0x20; ++c) {
            const QByteArray json =
                R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","createdAt":1,"content":")" +
                QByteArray(offset, 'x') + c + QByteArray(20, 'y') + "\"}]";
            EXPECT_FALSE(NotesFile::decode(json)) << "byte " << int(c) << " at " << offset;
        }
}

TEST(NotesFileDecode, EscapedNulInsideTextIsKept) {
    const auto notes = decode(
        R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"a\u0000b","createdAt":1}])");
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->front().content, QString::fromUtf16(u"a\0b", 3));
}

TEST(NotesFileUuid, OnlyTheCanonicalForm) {
    EXPECT_EQ(
        NotesFile::parseCanonicalUuid(QLatin1StringView("5f1d3c9a-0b7e-4c2d-9a8b-1e2f3a4b5c6d")),
        kId);
    EXPECT_FALSE(
        NotesFile::parseCanonicalUuid(QLatin1StringView("5f1d3c9a-0b7e4-c2d-9a8b-1e2f3a4b5c6d")));
    EXPECT_FALSE(
        NotesFile::parseCanonicalUuid(QLatin1StringView("5f1d3c9a-0b7e-4c2d-9a8b-1e2f3a4b5c6")));
}

} // namespace
