#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <bit>

using namespace jotbox;

namespace {

const QUuid kId = QUuid::fromString(QStringLiteral("5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D"));
const QByteArray kIdJson = R"("id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D")";

// A file of one note object; "ID" in `body` stands for the id's key and value.
QByteArray file(QByteArray body) {
    return "[" + body.replace("ID", kIdJson) + "]";
}

TEST(NotesFileEncode, CompactUpperCaseUuidOnlyTheEscapesJsonRequires) {
    EXPECT_EQ(*NotesFile::encode({Note{kId, "hi", 1.5}}),
              file(R"({ID,"content":"hi","createdAt":1.5})"));
    EXPECT_EQ(*NotesFile::encode(QList<Note>{}), "[]");
    const QByteArray bytes =
        *NotesFile::encode({Note{kId, QString::fromUtf16(u"q\"b\\s/\n\t\x01\u00E9\U0001F600"), 0}});
    EXPECT_TRUE(
        bytes.contains(R"(q\"b\\s/\n\t\u0001)" + QString::fromUtf16(u"\u00E9\U0001F600").toUtf8()));
    // Every control character, wherever it falls in a 16-byte block, comes back.
    for (int offset = 0; offset < 32; ++offset)
        for (char16_t c = 1; c < 0x20; ++c) {
            const Note note{kId, QString(offset, u'x') + QChar(c) + "yy", 1};
            EXPECT_EQ(NotesFile::decode(*NotesFile::encode({note})), QList<Note>{note}) << int(c);
        }
}

// Texts and times written back exactly (every control character at every
// place in a 16-byte block, -0, the smallest and largest doubles): the
// notes-file fuzzer's round trip, from its seed round-trip.json.

TEST(NotesFileDecode, AcceptsWhatTheFormAllowsAndReadsEveryNumberAsItsValue) {
    const auto notes = NotesFile::decode(R"( [ {"createdAt": 7, "colour": "red", "content": "x",
        "id": "5f1d3c9a-0b7e-4c2d-9a8b-1e2f3a4b5c6d"}, {"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D",
        "content":"a\u0000b","createdAt":-2.5e2} ] )");
    ASSERT_TRUE(notes); // duplicates kept as they stand
    EXPECT_EQ(*notes, (QList<Note>{{kId, "x", 7}, {kId, QString::fromUtf16(u"a\0b", 3), -250}}));
    EXPECT_EQ(NotesFile::decode("[]")->size(), 0);
    const struct {
        const char* json;
        double value;
    } numbers[] = {// clang-format off
        {"42", 42.0}, {"42.0", 42.0}, {"0e200", 0.0}, {"-0E+100", -0.0}, {"0.000e-300", 0.0},
        {"1e-400", 0.0}, {"-1e-400", -0.0}, {"2.5e-320", 2.5e-320}, {"4.2E1", 42.0}, {"7e+0", 7.0},
        {"0.1", 0.1}, {"-978307200.5", -978307200.5},
        {"123456789012345678901234567890", 123456789012345678901234567890.0}};
    // clang-format on
    for (const auto& n : numbers) {
        const auto read =
            NotesFile::decode(file(R"({ID,"content":"","createdAt":)" + QByteArray(n.json) + "}"));
        ASSERT_TRUE(read) << n.json;
        EXPECT_EQ(std::bit_cast<uint64_t>(read->front().createdAt),
                  std::bit_cast<uint64_t>(n.value))
            << n.json << " read as " << read->front().createdAt;
    }
}

TEST(NotesFileDecode, EveryDepartureGivesNoNotesAtAll) {
    const QByteArray good = R"({ID,"content":"ok","createdAt":1})";
    // clang-format off
    QList<QByteArray> bad = {"", "   ", "not json", "{}", "null", "\"text\"", good, "[" + good,
        "[" + good + "] x", "[" + good + ",]", "[1]", "[[]]", "[" + good + "] // comment",
        "\xef\xbb\xbf[" + good + "]", QByteArray("[" + good + "]").append('\0')};
    // clang-format on
    for (const char* second :
         {R"({ID,"content":"x"})", R"({"content":"x","createdAt":1})", R"({ID,"createdAt":1})",
          R"({"id":null,"content":"x","createdAt":1})", R"({ID,"content":null,"createdAt":1})",
          R"({ID,"content":3,"createdAt":1})", R"({ID,"content":"x","createdAt":"1"})",
          R"({ID,"content":"x","createdAt":1e400})", R"({ID,"content":"x","createdAt":NaN})",
          R"({ID,"content":"x","createdAt":Infinity})",
          // Invalid UTF-8: a stray byte, a cut sequence, an encoded surrogate.
          "{ID,\"content\":\"\xff\",\"createdAt\":1}", "{ID,\"content\":\"\xc3\",\"createdAt\":1}",
          "{ID,\"content\":\"\xed\xa0\x80\",\"createdAt\":1}"})
        bad << file(good + "," + second);
    // Ids in other forms than the canonical one, or broken.
    for (const char* id :
         {"{5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D}", "5F1D3C9A0B7E4C2D9A8B1E2F3A4B5C6D",
          "5F1D3C9A-0B7E4-C2D-9A8B-1E2F3A4B5C6D", "5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6G",
          " 5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D", ""})
        bad << file(good + R"(,{"id":")" + id + R"(","content":"x","createdAt":1})");
    // Raw control characters in text, wherever they fall within a 16-byte block.
    for (int offset = 0; offset < 32; ++offset)
        for (char c = 1; c < 0x20; ++c)
            bad << file(R"({ID,"createdAt":1,"content":")" + QByteArray(offset, 'x') + c + "yy\"}");
    for (QByteArray bytes : bad)
        EXPECT_FALSE(NotesFile::decode(bytes.replace("ID", kIdJson))) << bytes.constData();
}

// Jotbox's own keys as another program left them: taken as absent, the note kept.
// The first history is whole; the first saver's name alone is one.
TEST(NotesFileDecode, MalformedAncestryOrSaverIsTakenAsAbsentAndTheNoteKept) {
    const QByteArray savers[] = {R"("3f9a61c2")",
                                 R"("3F9A61C2")",
                                 R"("3f9a61c")",
                                 "1",
                                 "{}",
                                 R"("3f9a61c2 ")",
                                 '"' + QByteArray(1 << 20, 'a') + '"'};
    QByteArray longer = "[\"1e2a07e32a1f679c:0\""; // one entry more than a history holds
    for (int i = 1; i <= jotbox::NoteAncestry::kHistoryLength; ++i)
        longer += ",\"1e2a07e32a1f679c:" + QByteArray::number(i) + "\"";
    std::size_t rounds = 0;
    for (const QByteArray& history : std::initializer_list<QByteArray>{
             longer + "]", R"(["1e2a07e32a1f679c:1","05d54c6957b1fdab:2:1"])", "[1]",
             R"(["1e2a07e32a1f679c:x"])", R"(["1e2a07e32a1f679c:1:1"])",
             R"(["zz2a07e32a1f679c:1"])", R"(["1e2a07e32a1f679c:1","1e2a07e32a1f679c:1"])"}) {
        const QByteArray saver = savers[rounds++ % std::size(savers)];
        const auto read = NotesFile::decodeDocument(
            file(R"({ID,"content":"x","createdAt":1,"versions":{"3f9a61c2":1},"history":)" +
                 history + R"(,"savedBy":)" + saver + "}"));
        ASSERT_TRUE(read && read->notes[0].content == "x") << history.constData();
        EXPECT_EQ(read->savedBy, rounds == 1 ? std::optional(0x3f9a61c2u) : std::nullopt);
        EXPECT_EQ(read->ancestry[0].history.size(), history.contains("05d5") ? 2 : 0)
            << history.constData();
    }
}

TEST(NotesFileDecode, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    // A million levels: far beyond any stack if each level were a call.
    constexpr qsizetype kDepth = 1'000'000;
    EXPECT_FALSE(NotesFile::decode(QByteArray(kDepth, '[') + QByteArray(kDepth, ']')));
    EXPECT_FALSE(NotesFile::decode(QByteArray(kDepth, '{')));
    // Under a key Jotbox ignores, nesting up to 512 levels in all is fine.
    const auto nested = [](int levels) {
        return NotesFile::decode(file(R"({ID,"content":"kept","createdAt":1,"x":)" +
                                      QByteArray(levels, '[') + QByteArray(levels, ']') + "}"));
    };
    ASSERT_TRUE(nested(510));
    EXPECT_EQ(nested(510)->front().content, "kept");
    EXPECT_FALSE(nested(511));
}

} // namespace
