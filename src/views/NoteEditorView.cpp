#include "views/NoteEditorView.h"

#include "notes/TextEquivalence.h"
#include "views/IdleCursor.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace jotbox {

namespace {

// How the document reads a line break back.
constexpr QChar kBreak = QChar::ParagraphSeparator;

QFont editorFont() {
    if (QFontDatabase::families().contains(QStringLiteral("Menlo")))
        return QFont(QStringLiteral("Menlo"), 14);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(14);
    return font;
}

// The characters of `text` at `i` that the document makes one line break
// of, as QTextCursor::insertText does: CR LF, CR, LF, U+2029 and the two
// frame marks. 0 when `i` holds no line break.
int lineBreakAt(const QString& text, qsizetype i) {
    const QChar c = text[i];
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
        return 2;
    return c == u'\n' || c == u'\r' || c == kBreak || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

// Every line break typed or pasted is a paragraph of the document, so that
// the note gets a line feed: Shift+Enter and pasted U+2028 line separators
// would otherwise stay line separators, which other programs read as no
// break at all.
class PlainTextView final : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event != QKeySequence::InsertLineSeparator)
            return QPlainTextEdit::keyPressEvent(event);
        QKeyEvent enter(event->type(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
    }
    void insertFromMimeData(const QMimeData* source) override {
        if (!source->hasText() || !source->text().contains(QChar::LineSeparator))
            return QPlainTextEdit::insertFromMimeData(source);
        QMimeData plain;
        plain.setText(source->text().replace(QChar::LineSeparator, u'\n'));
        QPlainTextEdit::insertFromMimeData(&plain);
    }
};

} // namespace

NoteEditorView::NoteEditorView(NoteBinding note, bool editable, QWidget* parent)
    : QWidget(parent), m_note(std::move(note)), m_editable(editable),
      m_textView(new PlainTextView(this)) {
    new IdleCursor(m_textView);
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
    connect(t->document(), &QTextDocument::contentsChange, this, &NoteEditorView::documentChanged);
}

NoteEditorView::~NoteEditorView() = default;

void NoteEditorView::updateFromNote() {
    const Note note = m_note.get();
    const bool same = sameBuffer(note.content, m_text) || note.content == m_text;
    if (note.id != m_noteId) {
        m_noteId = note.id;
        if (same) // the undo history is the other note's: never replayed into this one
            m_textView->document()->clearUndoRedoStacks();
        else
            replaceText(note.content);
    } else if (!same && !canonicallyEqual(m_text, note.content)) {
        followText(note.content);
    }
    m_textView->setReadOnly(!m_editable);
    m_textView->setTextInteractionFlags(m_editable ? Qt::TextEditorInteraction
                                                   : Qt::NoTextInteraction);
}

void NoteEditorView::indexLineBreaks() {
    m_crlfBlocks.clear();
    int block = 0;
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const int width = lineBreakAt(m_text, i);
        if (width == 2)
            m_crlfBlocks.push_back(block);
        block += width > 0;
        i += width > 1;
    }
}

// Only the part that differs is replaced, through a cursor: the caret, the
// selection and the scroll stay where they were in the text around it. The
// change can be undone like a keystroke, within this same note.
void NoteEditorView::followText(const QString& content) {
    if (m_documentStale)
        return replaceText(content);
    // What both texts begin and end with, never cutting a CR LF in two.
    const auto cutsPair = [](const QString& s, qsizetype at) {
        return at > 0 && at < s.size() && s[at - 1] == u'\r' && s[at] == u'\n';
    };
    qsizetype head = 0, tail = 0;
    const qsizetype n = m_text.size(), m = content.size();
    while (head < n && head < m && m_text[head] == content[head])
        ++head;
    while (head > 0 && (cutsPair(m_text, head) || cutsPair(content, head)))
        --head;
    while (tail < n - head && tail < m - head && m_text[n - 1 - tail] == content[m - 1 - tail])
        ++tail;
    while (tail > 0 && (cutsPair(m_text, n - tail) || cutsPair(content, m - tail)))
        --tail;
    // Text positions to document positions: a CR LF is one character there.
    const auto inDocument = [&](qsizetype at) {
        return at - QStringView(m_text).first(at).count(u"\r\n");
    };
    QTextCursor change(m_textView->document());
    change.setPosition(int(inDocument(head)));
    change.setPosition(int(inDocument(n - tail)), QTextCursor::KeepAnchor);
    m_replacing = true;
    change.insertText(content.sliced(head, m - head - tail));
    m_replacing = false;
    m_text = content;
    m_lastEdit.reset();
    indexLineBreaks();
    m_documentLength = m_textView->document()->characterCount() - 1;
}

void NoteEditorView::replaceText(const QString& content) {
    m_text = content;
    m_lastEdit.reset();
    indexLineBreaks();
    // A hidden editor lays nothing out: a big note costs no memory for
    // glyphs until the panel is first shown.
    m_documentStale = !isVisible();
    if (!m_documentStale) {
        fillDocument();
    } else if (!m_textView->document()->isEmpty()) {
        m_replacing = true;
        m_textView->clear();
        m_replacing = false;
    }
}

void NoteEditorView::fillDocument() {
    m_replacing = true;
    // setPlainText also clears the undo history, so an undo can never carry
    // one note's edits into another.
    m_textView->setPlainText(m_text);
    m_replacing = false;
    m_documentStale = false;
    m_documentLength = m_textView->document()->characterCount() - 1;
}

void NoteEditorView::showEvent(QShowEvent* event) {
    if (m_documentStale)
        fillDocument();
    QWidget::showEvent(event);
}

qsizetype NoteEditorView::crlfBefore(int block) const {
    return std::lower_bound(m_crlfBlocks.begin(), m_crlfBlocks.end(), block) - m_crlfBlocks.begin();
}

void NoteEditorView::documentChanged(int position, int removed, int added) {
    if (m_replacing || m_documentStale)
        return;
    QTextDocument* document = m_textView->document();
    const qsizetype length = document->characterCount() - 1;
    // Qt may report more than changed, the document's closing line break
    // included: keep to what both texts have, then trim what stayed the same.
    const qsizetype wasRemoved =
        std::clamp<qsizetype>(removed, 0, std::max<qsizetype>(0, m_documentLength - position));
    const qsizetype wasAdded =
        std::clamp<qsizetype>(added, 0, std::max<qsizetype>(0, length - position));
    QTextCursor range(document);
    range.setPosition(position);
    range.setPosition(int(position + wasAdded), QTextCursor::KeepAnchor);
    const QString inserted = range.selectedText();

    int block = document->findBlock(position).blockNumber();
    qsizetype start = position + crlfBefore(block);
    qsizetype end = start;
    for (qsizetype n = 0; n < wasRemoved && end < m_text.size(); ++n)
        end += std::max(1, lineBreakAt(m_text, end));
    qsizetype from = 0, to = inserted.size();
    while (start < end && from < to) {
        const int width = lineBreakAt(m_text, start);
        if ((width ? kBreak : m_text[start]) != inserted[from])
            break;
        block += width > 0;
        start += std::max(1, width);
        ++from;
    }
    while (end > start && to > from) {
        const bool crlf = end - start >= 2 && m_text[end - 2] == u'\r' && m_text[end - 1] == u'\n';
        if ((crlf || lineBreakAt(m_text, end - 1) ? kBreak : m_text[end - 1]) != inserted[to - 1])
            break;
        end -= crlf ? 2 : 1;
        --to;
    }
    if (start == end && from == to)
        return;

    // The line breaks that went, and those typed in their place (line feeds).
    int breaksGone = 0;
    for (qsizetype i = start; i < end; ++i) {
        const int width = lineBreakAt(m_text, i);
        breaksGone += width > 0;
        i += width > 1;
    }
    QString typed = inserted.sliced(from, to - from);
    const int breaksTyped = int(typed.count(kBreak));
    typed.replace(kBreak, u'\n');
    const auto first = std::lower_bound(m_crlfBlocks.begin(), m_crlfBlocks.end(), block);
    const auto last = std::lower_bound(first, m_crlfBlocks.end(), block + breaksGone);
    for (auto it = last; it != m_crlfBlocks.end(); ++it)
        *it += breaksTyped - breaksGone;
    m_crlfBlocks.erase(first, last);

    // The new text goes into the buffer of the text before last, which
    // nobody holds any more (the note holds the last one): a big note costs
    // one copy per key, no fresh allocation.
    m_lastEdit.reset();
    const qsizetype size = m_text.size() - (end - start) + typed.size();
    if (!m_spare.isDetached() || m_spare.capacity() < size) {
        m_spare = QString();
        m_spare.reserve(size + size / 8 + 64);
    }
    m_spare.resize(0);
    m_spare.append(QStringView(m_text).first(start))
        .append(typed)
        .append(QStringView(m_text).sliced(end));
    qsizetype changedFrom = start, changedRemoved = end - start, changedInserted = typed.size();
    // A lone CR now right before a line feed would read back as one CR LF
    // break: the breaks the editor shows are saved as line feeds, and so is
    // every lone CR that would then meet the one after it.
    for (qsizetype i = start;
         i > 0 && i < m_spare.size() && m_spare[i - 1] == u'\r' && m_spare[i] == u'\n'; --i) {
        m_spare[i - 1] = u'\n';
        --changedFrom, ++changedRemoved, ++changedInserted;
    }
    std::swap(m_text, m_spare);
    TextEdit edit{m_spare, m_text, changedFrom, changedRemoved, changedInserted};
    m_documentLength = length;
    m_lastEdit = std::move(edit);
    Note note = m_note.get();
    note.content = m_text;
    m_note.set(note);
}

} // namespace jotbox
