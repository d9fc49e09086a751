// The editor under random use, from a seed: after every step, the note holds
// the editor's text, and that text, loaded into a fresh editor, shows exactly
// what this one shows. Notes start with every kind of line break the
// document draws alike (CR, CR LF, LF, U+2028, U+2029), no-break spaces and
// surrogate pairs; steps are edits through a cursor, keys (Enter,
// Shift+Enter, Backspace, Delete, arrows, Home, End), undo and redo, pastes
// of CR LF, CR and U+2028 text, an input method's preedit and commit, and a
// selection moved elsewhere.
#include "views/NoteEditorView.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>
#include <QTextBlock>

#include <random>

using namespace jotbox;

namespace {

const QString kPieces[] = {"a",          "bc",         "\r",    "\r\n",        "\n", u"\u2028"_qs,
                           u"\u2029"_qs, u"\u00A0"_qs, u"😀"_qs, u"e\u0301"_qs, " ",  "\t"};

// An editor over a note of its own.
struct Editor {
    explicit Editor(const QString& text) : note{QUuid::createUuid(), text, 0} {
        view.updateFromNote();
        view.show();
    }
    QPlainTextEdit* text() { return view.textView(); }
    const QString& saved() const { return view.text(); }
    // What the document shows, every line break as the document keeps it.
    QString shown() { return text()->document()->toRawText(); }

    Note note;
    NoteEditorView view{{[this] { return note; }, [this](const Note& n) { note = n; }}, true};
};

void runEditorModel(unsigned seed, int steps) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const auto pieces = [&](int most) {
        QString s;
        for (int n = pick(most) + 1; n > 0; --n)
            s += kPieces[pick(int(std::size(kPieces)))];
        return s;
    };
    auto editor = std::make_unique<Editor>(QString());
    const auto oddBreaks = [](const QString& s) { return s.count(u'\r') + s.count(QChar(0x2028)); };
    for (int step = 0; step < steps; ++step) {
        if (step % 50 == 0) // a note of a few lines, each break of its own kind
            editor = std::make_unique<Editor>(pieces(30));
        QPlainTextEdit* text = editor->text();
        const qsizetype breaksBefore = oddBreaks(editor->saved());
        const int length = text->document()->characterCount() - 1;
        QTextCursor cursor(text->document());
        const int at = pick(length + 1); // mostly a caret, now and then a short selection
        cursor.setPosition(at);
        cursor.setPosition(std::clamp(at + (pick(3) ? 0 : pick(7) - 3), 0, length),
                           QTextCursor::KeepAnchor);
        const int kind = pick(10);
        QString what;
        if (kind == 0) { // an edit through a cursor, as another part of Qt makes it
            const QString typed = pieces(3);
            cursor.insertText(typed);
            what = "insert " + typed;
        } else if (kind <= 3) { // a key, where the caret or selection is
            static const Qt::Key keys[] = {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Delete,
                                           Qt::Key_Left,   Qt::Key_Right,     Qt::Key_Up,
                                           Qt::Key_Down,   Qt::Key_Home,      Qt::Key_End};
            const Qt::Key key = keys[pick(int(std::size(keys)))];
            text->setTextCursor(cursor);
            const auto modifiers = pick(3) == 0 ? Qt::ShiftModifier : Qt::NoModifier;
            QTest::keyClick(text, key, modifiers);
            what = QString("key %1 %2").arg(key).arg(modifiers);
        } else if (kind == 4) {
            pick(2) ? text->undo() : text->redo();
            what = "undo or redo";
        } else if (kind == 5) { // a paste of text from other programs
            QApplication::clipboard()->setText(pieces(4));
            text->setTextCursor(cursor);
            text->paste();
            what = "paste " + QApplication::clipboard()->text();
        } else if (kind == 6) { // an input method: a preedit, then its commit
            text->setTextCursor(cursor);
            QInputMethodEvent preedit(pieces(2), {});
            QApplication::sendEvent(text, &preedit);
            QInputMethodEvent commit;
            commit.setCommitString(pieces(2));
            QApplication::sendEvent(text, &commit);
            what = "input method " + commit.commitString();
        } else if (kind == 7) { // a selection moved elsewhere, as a drag does
            const QString moved = cursor.selectedText();
            cursor.beginEditBlock();
            cursor.removeSelectedText();
            cursor.setPosition(pick(text->document()->characterCount()));
            cursor.insertText(moved);
            cursor.endEditBlock();
            what = "move " + moved;
        } else if (kind == 8) {
            text->setTextCursor(cursor);
            QTest::keyClick(text, Qt::Key_Return, Qt::ShiftModifier);
            what = "Shift+Enter";
        } else { // another version merged in, after the caret: the caret stays
            QString arrived = editor->saved();
            const qsizetype caret = text->textCursor().position();
            const qsizetype after = std::min(arrived.size(), caret + arrived.count(u"\r\n") + 1);
            qsizetype at = after + pick(int(arrived.size() - after) + 1);
            while (at < arrived.size() && (arrived[at - 1] == u'\r' || arrived[at] == u'\n'))
                ++at; // not inside a CR LF, nor making one
            arrived.insert(at, pieces(3));
            editor->note.content = arrived;
            editor->view.updateFromNote();
            ASSERT_EQ(editor->saved(), arrived);
            if (at > after) { // strictly after the caret
                ASSERT_EQ(text->textCursor().position(), caret);
            }
            what = "arrived " + arrived;
        }
        SCOPED_TRACE(::testing::Message() << "step " << step << ": " << what.toStdString());
        ASSERT_EQ(editor->note.content, editor->saved());
        Editor fresh(editor->saved());
        ASSERT_EQ(fresh.shown(), editor->shown()) << "saved: " << editor->saved();
        // A line break typed or pasted is a line feed.
        if (kind == 5 || kind == 8) {
            ASSERT_LE(oddBreaks(editor->saved()), breaksBefore);
        }
    }
}

TEST(NoteEditorModel, TheSavedTextAlwaysShowsWhatTheEditorShows) {
    const unsigned seed = qEnvironmentVariableIntValue("JOTBOX_EDITOR_SEED");
    const int steps = std::max(1, qEnvironmentVariableIntValue("JOTBOX_EDITOR_STEPS"));
    if (seed) {
        runEditorModel(seed, steps);
        return;
    }
    for (unsigned s = 1; s <= 4; ++s)
        runEditorModel(s, 1500);
}

} // namespace
