#pragma once

#include "notes/NoteStore.h"

#include <QPlainTextEdit>
#include <QWidget>

namespace jotbox {

// The plain-text editor below the tabs. One lives as long as the content
// view; switching notes replaces its text, never the widget. It reads and
// writes the note only through its binding, which resolves the active note
// at each call.
class NoteEditorView : public QWidget {
    Q_OBJECT
public:
    NoteEditorView(NoteBinding note, bool editable, QWidget* parent = nullptr);

    // Brings the text and the editable state into line with the note: the
    // text is replaced whole only when it differs (canonical equivalence).
    void updateFromNote();
    void setEditable(bool editable) { m_editable = editable; }

    QPlainTextEdit* textView() const { return m_textView; }

private:
    // Every user change writes the whole text into the note. Programmatic
    // replacements never write back, and nothing here requests a save.
    void textDidChange();

    NoteBinding m_note;
    bool m_editable;
    QPlainTextEdit* m_textView;
    bool m_replacing = false;
    // The text last written back, to spot the echo of our own write cheaply.
    QString m_lastWritten;
};

} // namespace jotbox
