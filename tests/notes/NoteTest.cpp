#include "notes/Note.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using jotbox::Note;

namespace {

// Examples of the rule; note_title_fuzzer checks it on any text against a
// plain reference, its seeds holding the clusters that once went wrong.
TEST(NoteTitle, FirstLineTrimmedToThirtyClustersOrNewNote) {
    const auto s = [](const char16_t* text) { return QString::fromUtf16(text); };
    const QString thumb = s(u"\U0001F44D\U0001F3FD"), a = "a";
    const QString zalgo = "a" + s(u"\u0301").repeated(500);
    // Across the first scan's end (unit 120): a ZWJ sequence, a letter and its mark.
    const QString four = s(u"a\u0301\u0301\u0301"), seven = four + s(u"\u0301").repeated(3);
    const QString zwj = four.repeated(29) + s(u"\U0001F468\u200D\U0001F469");
    const QString mark = four.repeated(28) + seven + s(u"e\u0301");
    const struct {
        QString text, title;
    } cases[] = {
        // clang-format off
        // A blank first line, even with text below.
        {"", "New Note"}, {" \t \nShopping", "New Note"}, {"\n\nlater", "New Note"},
        {s(u"\u00A0\u3000\u2003"), "New Note"},
        // Tabs and space separators are trimmed at both ends, nothing else.
        {"  Shopping  \nmilk", "Shopping"}, {"\tA\t", "A"}, {"A\r", "A\r"}, {"\vA", "\vA"},
        // CR LF does not end the first line.
        {"A\r\nB", "A\r\nB"}, {"A\r\nB\nC", "A\r\nB"}, {"\r\nX", "\r\nX"},
        // 30 user-perceived characters; the cut is not trimmed again.
        {a.repeated(30) + "b", a.repeated(30)}, {a.repeated(29) + "  z", a.repeated(29) + " "},
        {thumb.repeated(31), thumb.repeated(30)},
        // One letter with 500 marks is one character; a huge first line is cut quickly.
        {zalgo + "bcd", zalgo + "bcd"}, {zalgo.repeated(31), zalgo.repeated(30)}, {zwj + "z", zwj}, {mark + "z", mark},
        {"  " + QString("word ").repeated(200000) + "\nrest", QString("word ").repeated(6)},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ((Note{QUuid(), c.text, 0}.title()), c.title) << &c - cases;
}

} // namespace
