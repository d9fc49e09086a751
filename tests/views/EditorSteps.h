#pragma once

// Random use of the editor, shared by its seeded model test and its fuzzer:
// notes holding every kind of line break the document draws alike (CR,
// CR LF, LF, U+2028, U+2029), no-break spaces and surrogate pairs; steps
// that edit through a cursor, press keys (Enter, Shift+Enter, Backspace,
// Delete, arrows, Home, End), undo and redo, paste CR LF, CR and U+2028
// text, commit an input method's preedit, move a selection elsewhere, or
// merge another version in. After each step the note holds the editor's
// text, and that text, loaded into a fresh editor, shows exactly what this
// one shows.
#include "views/NoteEditorView.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>

#include <algorithm>
#include <iterator>

namespace jotbox::testing {

// An editor over a note of its own.
struct Editor {
    Note note{QUuid::createUuid(), {}, 0};
    NoteEditorView view{{[this] { return note; }, [this](const Note& n) { note = n; }}, true};

    Editor() { view.show(); }
    QPlainTextEdit* text() { return view.textView(); }
    // What the document shows, every line break as the document keeps it.
    QString shown() { return text()->document()->toRawText(); }
    void load(const QString& content) { // another note: the text replaced whole
        note = Note{QUuid::createUuid(), content, 0};
        view.updateFromNote();
    }
};

// A text of up to `most` pieces; `pick(n)` chooses from 0 to n - 1.
template <typename Pick> QString editorPieces(Pick& pick, int most) {
    static const QString pieces[] = {"a",     "bc",          "\r",         "\r\n",
                                     "\n",    u"\u2028"_qs,  u"\u2029"_qs, u"\u00A0"_qs,
                                     u"😀"_qs, u"e\u0301"_qs, " ",          "\t"};
    QString s;
    for (int n = pick(most) + 1; n > 0; --n)
        s += pieces[pick(int(std::size(pieces)))];
    return s;
}

struct EditorStep {
    QString what, fault; // the fault found after it, if any, and the text saved
};

// One step on `editor`, then the checks; `fresh` is an editor to load the
// saved text into.
template <typename Pick> EditorStep editorStep(Editor& editor, Editor& fresh, Pick& pick) {
    QPlainTextEdit* text = editor.text();
    const auto oddBreaks = [](const QString& s) { return s.count(u'\r') + s.count(QChar(0x2028)); };
    const qsizetype breaksBefore = oddBreaks(editor.view.text());
    const int length = text->document()->characterCount() - 1;
    QTextCursor cursor(text->document());
    const int at = pick(length + 1); // mostly a caret, now and then a short selection
    cursor.setPosition(at);
    cursor.setPosition(std::clamp(at + (pick(3) ? 0 : pick(7) - 3), 0, length),
                       QTextCursor::KeepAnchor);
    const int kind = pick(9);
    EditorStep step;
    if (kind == 0) { // an edit through a cursor, as another part of Qt makes it
        const QString typed = editorPieces(pick, 3);
        cursor.insertText(typed);
        step.what = "insert " + typed;
    } else if (kind <= 3) { // a key, where the caret or selection is; Shift+Enter too
        static const Qt::Key keys[] = {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Delete,
                                       Qt::Key_Left,   Qt::Key_Right,     Qt::Key_Up,
                                       Qt::Key_Down,   Qt::Key_Home,      Qt::Key_End};
        const Qt::Key key = keys[pick(int(std::size(keys)))];
        text->setTextCursor(cursor);
        const auto modifiers = pick(3) == 0 ? Qt::ShiftModifier : Qt::NoModifier;
        QTest::keyClick(text, key, modifiers);
        step.what = QString("key %1 %2").arg(key).arg(modifiers);
    } else if (kind == 4) {
        pick(2) ? text->undo() : text->redo();
        step.what = "undo or redo";
    } else if (kind == 5) { // a paste of text from other programs
        QApplication::clipboard()->setText(editorPieces(pick, 4));
        text->setTextCursor(cursor);
        text->paste();
        step.what = "paste " + QApplication::clipboard()->text();
    } else if (kind == 6) { // an input method: a preedit, then its commit
        text->setTextCursor(cursor);
        QInputMethodEvent preedit(editorPieces(pick, 2), {});
        QApplication::sendEvent(text, &preedit);
        QInputMethodEvent commit;
        commit.setCommitString(editorPieces(pick, 2));
        QApplication::sendEvent(text, &commit);
        step.what = "input method " + commit.commitString();
    } else if (kind == 7) { // a selection moved elsewhere, as a drag does
        const QString moved = cursor.selectedText();
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.setPosition(pick(text->document()->characterCount()));
        cursor.insertText(moved);
        cursor.endEditBlock();
        step.what = "move " + moved;
    } else { // another version merged in, after the caret: the caret stays
        QString arrived = editor.view.text();
        const qsizetype caret = text->textCursor().position();
        const qsizetype after = std::min(arrived.size(), caret + arrived.count(u"\r\n") + 1);
        qsizetype where = after + pick(int(arrived.size() - after) + 1);
        while (where < arrived.size() && (arrived[where - 1] == u'\r' || arrived[where] == u'\n'))
            ++where; // not inside a CR LF, nor making one
        // Now and then in place of what follows, a CR of a CR LF among it.
        arrived.remove(where, pick(3) ? 0 : pick(4));
        arrived.insert(where, editorPieces(pick, 3));
        editor.note.content = arrived;
        editor.view.updateFromNote();
        step.what = "arrived " + arrived;
        if (editor.view.text() != arrived)
            step.fault = "the arriving version is not what the editor holds";
        else if (where > after && text->textCursor().position() != caret) // strictly after it
            step.fault = "the caret moved";
    }
    const QString& saved = editor.view.text();
    fresh.load(saved);
    if (editor.note.content != saved)
        step.fault = "the note does not hold the editor's text";
    else if (fresh.shown() != editor.shown())
        step.fault = "the saved text reads back differently";
    else if (kind >= 1 && kind <= 5 && kind != 4 && oddBreaks(saved) > breaksBefore)
        step.fault = "a line break typed or pasted is not a line feed";
    if (!step.fault.isEmpty())
        step.fault += "\nsaved: " + QString::fromLatin1(saved.toUtf8().toPercentEncoding(" "));
    return step;
}

} // namespace jotbox::testing
