#pragma once

#include "store/NoteStore.h"

#include <QPlainTextEdit>
#include <QWidget>

#include <optional>
#include <vector>

namespace jotbox {

// One change the user made to the text, as written back to the note: the
// texts before and after, which agree outside [start, start + removed) of
// `before` and [start, start + inserted) of `after`.
struct TextEdit {
    QString before, after;
    qsizetype start = 0, removed = 0, inserted = 0;
};

// The plain-text editor below the tabs. One lives as long as the content
// view; switching notes replaces its text, never the widget. It reads and
// writes the note only through its binding, which resolves the active note
// at each call.
//
// Its text is the note's content, character for character. The text
// document turns CR LF, CR, LF and U+2029 alike into line breaks, so the
// editor keeps the exact text beside it and applies each change the
// document reports to that text: what the user did not touch stays as it
// was loaded, and a keystroke costs the same in any note.
class NoteEditorView : public QWidget {
    Q_OBJECT
public:
    NoteEditorView(NoteBinding note, bool editable, QWidget* parent = nullptr);
    ~NoteEditorView() override;

    // Brings the text and the editable state into line with the note. Another
    // note's text replaces it whole, with the undo history; a change to this
    // note's text (a merge) is applied where it differs, caret and scroll
    // kept; the same text (canonical equivalence) is left alone. While the
    // editor is hidden the text waits to be laid out until shown.
    void updateFromNote();
    void setEditable(bool editable) { m_editable = editable; }

    QPlainTextEdit* textView() const { return m_textView; }
    const QString& text() const { return m_text; }
    const std::optional<TextEdit>& lastEdit() const { return m_lastEdit; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void replaceText(const QString& content);
    void followText(const QString& content);
    void indexLineBreaks();
    void fillDocument();
    // Every user change writes the text into the note. Programmatic
    // replacements never write back, and nothing here requests a save.
    void documentChanged(int position, int removed, int added);
    qsizetype crlfBefore(int block) const;

    NoteBinding m_note;
    QUuid m_noteId; // whose text the editor holds
    bool m_editable;
    QPlainTextEdit* m_textView;
    QString m_text;
    QString m_spare; // a buffer for the next change
    // The blocks (lines) of the document whose line break is CR LF, two
    // characters of the text for one of the document, in ascending order.
    std::vector<int> m_crlfBlocks;
    qsizetype m_documentLength = 0; // characters in the document's text
    bool m_documentStale = false;   // the text is not in the document yet
    bool m_replacing = false;
    std::optional<TextEdit> m_lastEdit;
};

} // namespace jotbox
