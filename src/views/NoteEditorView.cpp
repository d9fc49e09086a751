#include "views/NoteEditorView.h"

#include "notes/TextEquivalence.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QVBoxLayout>

namespace jotbox {

namespace {

QFont editorFont() {
    if (QFontDatabase::families().contains(QStringLiteral("Menlo")))
        return QFont(QStringLiteral("Menlo"), 14);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(14);
    return font;
}

// The same string buffer: the note still holds exactly what we wrote. Empty
// strings all share one buffer, so they never count.
bool sameData(const QString& a, const QString& b) {
    return !a.isEmpty() && a.size() == b.size() && a.constData() == b.constData();
}

} // namespace

NoteEditorView::NoteEditorView(NoteBinding note, bool editable, QWidget* parent)
    : QWidget(parent), m_note(std::move(note)), m_editable(editable),
      m_textView(new QPlainTextEdit(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_textView);
    setFocusProxy(m_textView);

    QPlainTextEdit* t = m_textView;
    t->setFont(editorFont());
    // QPlainTextEdit only ever inserts plain text, pasted rich text included,
    // and has no quote, dash or text-replacement substitutions to turn off.
    t->setUndoRedoEnabled(true);
    t->setFrameShape(QFrame::NoFrame);
    t->viewport()->setAutoFillBackground(false);
    t->setAutoFillBackground(false);
    t->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    t->document()->setDocumentMargin(4);
    t->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    t->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    t->setTabChangesFocus(false);
    connect(t, &QPlainTextEdit::textChanged, this, &NoteEditorView::textDidChange);
}

void NoteEditorView::updateFromNote() {
    const QString content = m_note.get().content;
    if (!sameData(content, m_lastWritten) &&
        !canonicallyEqual(m_textView->toPlainText(), content)) {
        m_replacing = true;
        // setPlainText also clears the undo history, so an undo can never
        // carry one note's edits into another.
        m_textView->setPlainText(m_note.get().content);
        m_replacing = false;
        m_lastWritten.clear();
    }
    m_textView->setReadOnly(!m_editable);
    m_textView->setTextInteractionFlags(m_editable ? Qt::TextEditorInteraction
                                                   : Qt::NoTextInteraction);
}

void NoteEditorView::textDidChange() {
    if (m_replacing)
        return;
    Note note = m_note.get();
    note.content = m_textView->toPlainText();
    m_lastWritten = note.content;
    m_note.set(note);
}

} // namespace jotbox
