#include "notes/NotesMerge.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace jotbox;

namespace {

// "a:one b:two": notes whose ids are named by letters; "a~one" is the note
// keeping theirs' text "one" beside a note `a` both sides changed.
QList<Note> notes(const QString& list) {
    QList<Note> out;
    for (const QString& token : list.split(' ', Qt::SkipEmptyParts)) {
        const bool conflict = token.contains('~');
        const QString letter = token.section(conflict ? '~' : ':', 0, 0);
        const Note n{QUuid::createUuidV5(QUuid(), letter), token.section(conflict ? '~' : ':', 1),
                     double(letter[0].unicode())};
        out.append(conflict ? conflictNote(n) : n);
    }
    return out;
}

TEST(NotesMerge, PerNoteAndInOrderNothingOfEitherSideIsLost) {
    const struct {
        const char *what, *base, *mine, *theirs, *merged;
    } cases[] = {
        // clang-format off
        {"changed there", "a:1 b:2", "a:1 b:2", "a:1 b:2y", "a:1 b:2y"},
        {"changed here", "a:1 b:2", "a:1x b:2", "a:1 b:2", "a:1x b:2"},
        {"each side changed a note", "a:1 b:2", "a:1x b:2", "a:1 b:2y", "a:1x b:2y"},
        {"the same change on both", "a:1", "a:1x", "a:1x", "a:1x"},
        {"different changes to one note", "a:1 b:2", "a:1x b:2", "a:1y b:2", "a:1x a~1y b:2"},
        {"deleted there, edited here", "a:1 b:2", "a:1 b:2x", "a:1", "a:1 b:2x"},
        {"deleted here, edited there", "a:1 b:2", "a:1", "a:1 b:2y", "a:1 b:2y"},
        {"deleted there, untouched here", "a:1 b:2", "a:1 b:2", "a:1", "a:1"},
        {"deleted here, untouched there", "a:1 b:2", "a:1", "a:1 b:2", "a:1"},
        {"deleted on both", "a:1 b:2", "a:1", "a:1", "a:1"},
        {"new on both sides", "a:1", "a:1 m:x", "a:1 t:y", "a:1 t:y m:x"},
        {"reordered there", "a:1 b:2 c:3", "a:1 b:2 c:3", "c:3 a:1 b:2", "c:3 a:1 b:2"},
        {"reordered on both: mine", "a:1 b:2 c:3", "b:2 a:1 c:3", "c:3 a:1 b:2", "b:2 a:1 c:3"},
        {"reordered there, new here", "a:1 b:2", "a:1 m:x b:2", "b:2 a:1", "b:2 a:1 m:x"},
        {"a conflict copy: a union", "", "a:1x b:2", "a:1y c:3", "a:1x a~1y c:3 b:2"},
        {"a copy merged once already", "", "a:1x a~1y", "a:1y", "a:1x a~1y"},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(mergeNotes(notes(c.base), notes(c.mine), notes(c.theirs)), notes(c.merged))
            << c.what;
}

// Both machines changed the same note while apart; Syncthing keeps one
// version as the file and the other as a conflict copy on both machines.
TEST(NotesMerge, TwoMachinesMergingEachOthersVersionsConverge) {
    const QList<Note> base = notes("a:1 b:2"), onA = notes("a:1A b:2"), onB = notes("a:1B b:2 c:3");
    // A gets B's file and merges its own version back in from the copy; B merges A's copy.
    const QList<Note> a = mergeNotes({}, mergeNotes(onA, onA, onB), onA);
    const QList<Note> b = mergeNotes({}, onB, onA);
    EXPECT_EQ(a, b);
    for (const char* text : {"1A", "1B"})
        EXPECT_TRUE(
            std::any_of(a.begin(), a.end(), [&](const Note& n) { return n.content == text; }));
    // Each merging the other's file three-way comes to the same texts after one more exchange.
    const QList<Note> a2 = mergeNotes(base, onA, onB), b2 = mergeNotes(base, onB, onA);
    EXPECT_EQ(mergeNotes(b2, b2, a2), a2);
}

} // namespace
