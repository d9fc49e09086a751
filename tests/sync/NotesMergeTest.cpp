#include "sync/NotesLedger.h"
#include "sync/TextMerge.h"

#include "notes/NoteTexts.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace jotbox;
using namespace jotbox::testing;

namespace {

// Each row is merged both ways round: the result must not depend on which
// side a machine calls its own.
TEST(TextMerge, ChangesInDifferentPlacesCombineOverlappingOnesDoNot) {
    const struct {
        const char *base, *mine, *theirs, *merged; // null: they overlap
    } cases[] = {
        {"Hello", "Hello world", "Hello there", "Hello there world"},
        {"", "milk", "eggs", "eggs milk"},
        {"", "milk\n", "eggs\nflour", "eggs\nflour\nmilk\n"},
        {"milk\neggs", "bread\nmilk\neggs", "milk\neggs\nflour", "bread\nmilk\neggs\nflour"},
        {"one two three", "one 2 three", "one two 3", "one 2 3"},
        {"one two three", "one three", "one two three four", "one three four"},
        {"same", "same edit", "same edit", "same edit"},
        {"a b c", "a X c", "a Y c", nullptr},       // both replaced the same word
        {"a b c d", "a d", "a b Y d", nullptr},     // typed inside what the other deleted
        {"a b c", "a c", "a c", "a c"},             // the same deletion, once
        {"a b c d e", "a e", "a b e", "a e"},       // deletions that overlap: what either deleted
        {"a b c", "a c b", "a d c b", "a d c b"},   // moves, as merges in other orders make
        {"b c", "b a c d", "e b a c", "e b a c d"}, // "a " or " a": the same, once
        {"x\r\ny", "x\r\nmid\r\ny", "x\r\ny!", "x\r\nmid\r\ny!"},
        {"\U0001F600 b", "\U0001F600\U0001F601 b", "\U0001F600 b c", "\U0001F600\U0001F601 b c"},
    };
    for (const auto& c : cases) {
        const QString base = QString::fromUtf8(c.base), mine = QString::fromUtf8(c.mine),
                      theirs = QString::fromUtf8(c.theirs);
        const auto expected = c.merged ? std::optional(QString::fromUtf8(c.merged)) : std::nullopt;
        EXPECT_EQ(mergeTexts(base, mine, theirs), expected) << c.base << " | " << c.mine;
        EXPECT_EQ(mergeTexts(base, theirs, mine), expected) << c.base << " | " << c.theirs;
    }
    // Where the text both came from is lost, what both hold in different
    // places was moved, not typed twice.
    for (const auto& [mine, theirs] : {std::pair{u"a b c", u"a c b"}, {u"x a b", u"a b x"}}) {
        EXPECT_EQ(mergeWithoutBase(mine, theirs), mergeWithoutBase(theirs, mine));
        EXPECT_EQ(mergeWithoutBase(mine, theirs)->size(), QStringView(mine).size());
    }
    // What both hold is never cut anew: "a" and "d" do not run together into "ad".
    EXPECT_EQ(mergeWithoutBase(u"a x y d", u"a p q r d e"), u"a p q r x y d e"_qs);
}

// One machine's notes with what it knows of them; `doc` is what it saves.
struct Machine {
    AncestorTexts texts{{}};
    NotesLedger ledger{texts};
    QList<Note> notes;

    explicit Machine(const QList<Note>& base) : notes(base) { ledger.reset({base, {}, {}, {}}); }
    NotesDocument doc() {
        ledger.record(notes);
        return ledger.document(notes);
    }
    void merge(const NotesDocument& theirs) { notes = ledger.merge(notes, theirs, true).notes; }
};

// A note another machine closed, brought back here, outgrows that close even
// where this machine never held its history: it does not close again.
TEST(NotesMerge, ANoteClosedElsewhereAndBroughtBackHereStaysBack) {
    Machine a(notesWith({"one", "two"})), b(a.notes);
    a.notes[0].content = "one A";
    b.merge(a.doc());
    const Note note = b.notes.takeAt(0);
    a.merge(b.doc());
    ASSERT_EQ(textsOf(a.notes), QStringList{"two"});
    a.notes.prepend(note); // Ctrl+Shift+T
    b.merge(a.doc());
    EXPECT_EQ(textsOf(b.notes), (QStringList{"one A", "two"}));
}

// Edits by a program that keeps no history (a text editor, an earlier
// Jotbox) are versions, each over the one before, in a record that does not
// grow with them: not in the note, not in its close.
TEST(NotesMerge, EditsThatKeepNoHistoryAreVersionsInABoundedRecord) {
    Machine a(notesWith({"zero", "other"})), b(a.notes);
    for (int i = 1; i <= 40; ++i) {
        QList<Note> edited = a.notes;
        edited[0].content = QString("edit %1").arg(i);
        a.merge({edited, {}, {}, {}});
        if (i == 20)
            b.merge(a.doc());
    }
    a.notes[0].content += " typed";
    b.merge(a.doc());
    EXPECT_EQ(textsOf(b.notes), (QStringList{"edit 40 typed", "other"})); // no conflict
    EXPECT_LE(b.doc().ancestry[0].versions.counts().size(), 3u);
    b.notes.removeAt(0);
    const ClosedNote closed = b.doc().closed.value(0);
    EXPECT_LE(closed.versions.counts().size(), 3u);
    EXPECT_EQ(closed.closedAt, std::floor(closed.closedAt)); // whole seconds: a shorter record
    // Such a program rewriting a file that still holds a note closed here, and
    // saved closed: unchanged, it stays closed; changed, it is back, also on a
    // machine that knows the close but never held the note.
    b.merge(b.doc());
    b.merge({a.notes, {}, {}, {}});
    EXPECT_EQ(textsOf(b.notes), QStringList{"other"});
    Machine c(b.notes);
    c.merge(b.doc());
    a.notes[0].content += " more";
    for (Machine* m : {&b, &c}) {
        m->merge({a.notes, {}, {}, {}});
        EXPECT_EQ(textsOf(m->notes), (QStringList{"edit 40 typed more", "other"}));
    }
}

// Two machines act apart from one shared list, then each merges the other's
// file: both must end with the same file, holding what the row says.
TEST(NotesMerge, TwoMachinesApartComeToTheSameNotes) {
    using Act = std::function<void(Machine&)>;
    const auto edit = [](int i, const char* text) {
        return [=](Machine& m) { m.notes[i].content = QString::fromUtf8(text); };
    };
    const auto twice = [](int i, const char* first, const char* then) { // more versions
        return [=](Machine& m) {
            m.notes[i].content = first;
            (void)m.doc();
            m.notes[i].content = then;
        };
    };
    const auto close = [](int i) { return [=](Machine& m) { m.notes.removeAt(i); }; };
    // Ctrl+Shift+T: the note as it was closed, then typed in.
    const auto reopen = [](int i, const char* text) {
        return [=](Machine& m) {
            const Note note = m.notes.takeAt(i);
            (void)m.doc();
            m.notes.insert(i, note);
            m.notes[i].content = QString::fromUtf8(text);
        };
    };
    const auto add = [](const char* text) {
        return [=](Machine& m) { m.notes.append(notesWith({text})); };
    };
    const struct {
        const char* what;
        Act a, b;
        QStringList merged;
        Act thenA = nullptr; // a second round: this on A, then each merges the other's again
        Act thenB = nullptr; // on B once A merged B's file, before A's reaches B
        const char* first = "one";
    } cases[] = {
        // clang-format off
        {"edits in different notes", edit(0, "one A"), edit(1, "two B"), {"one A", "two B"}},
        {"a close against an edit of that note", close(0), edit(0, "one B"), {"one B", "two"}},
        {"both typed at the end", edit(0, "one A"), edit(0, "one B"), {"one A B", "two"}},
        // The text with more versions stays; the other goes right after it.
        {"both replaced the same word", twice(0, "un", "uno"), edit(0, "eins"), {"uno", "eins", "two"}},
        // Ties: texts alike but for how they are written; as many versions behind each.
        {"the same word written two ways", edit(0, "caf\u00e9"), edit(0, "cafe\u0301"), {u"cafe\u0301"_qs, "two"}},
        {"both replaced the same word once", edit(0, "uno"), edit(0, "eins"), {"uno", "eins", "two"}},
        // Set aside at two stages, before and after B typed on: one note, the latest.
        {"both replaced the same word, B again", twice(0, "un", "uno"), edit(0, "beta1"),
         {"uno", "beta2", "two"}, nullptr, edit(0, "beta2")},
        // Brought back, it goes on from the text it had: the merge knows the base.
        {"closed, brought back and typed in, against a replaced word", reopen(0, "the quick fox jumps"),
         edit(0, "the slow fox"), {"the slow fox jumps", "two"}, nullptr, nullptr, "the quick fox"},
        {"both replaced it, one with another note's text", edit(0, "two"), twice(0, "ein", "eins"), {"eins", "two"}},
        // Every note closed: one blank note stands in, until a note comes back.
        {"each closed the other's note", close(1), close(0), {""}},
        {"each closed the other's, then one adds a note", close(1), close(0), {"three"}, add("three")},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QList<Note> base = notesWith({c.first, "two"});
        Machine a(base), b(base);
        c.a(a);
        c.b(b);
        const NotesDocument fromA = a.doc(), fromB = b.doc();
        a.merge(fromB);
        if (c.thenB)
            c.thenB(b);
        b.merge(c.thenB ? a.doc() : fromA);
        if (c.thenB)
            a.merge(b.doc());
        if (c.thenA) {
            c.thenA(a);
            b.merge(a.doc());
            a.merge(b.doc());
        }
        EXPECT_EQ(NotesFile::encode(a.doc()), NotesFile::encode(b.doc()));
        EXPECT_EQ(textsOf(a.notes), c.merged);
        // Merging the same again, or a stale version, changes nothing.
        const NotesDocument settled = a.doc();
        a.merge(fromB);
        b.merge(fromB);
        EXPECT_EQ(NotesFile::encode(a.doc()), NotesFile::encode(settled));
        EXPECT_EQ(NotesFile::encode(b.doc()), NotesFile::encode(settled));
    }
}

} // namespace
