#include "views/ContentView.h"

#include "views/AccessibleTabStrip.h"
#include "views/GlyphButton.h"
#include "views/NoteEditorView.h"
#include "views/TabBarView.h"
#include "views/TabItemView.h"

#include <QApplication>
#include <QFrame>

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace jotbox {

namespace {
constexpr int kRowHeight = 28;
constexpr int kAddButtonSide = 28;
constexpr int kSideInset = 8;
} // namespace

ContentView::ContentView(NoteStore* store, QWidget* parent)
    : QWidget(parent), m_store(store), m_tabBar(new TabBarView(store)),
      m_addButton(new GlyphButton(GlyphButton::Glyph::plus, 13.0, false)),
      m_editor(new NoteEditorView(store->activeNoteBinding(), true)) {
    static const bool factoryInstalled =
        (QAccessible::installFactory(accessibleTabStripFactory), true);
    (void)factoryInstalled;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* top = new QWidget;
    top->setFixedHeight(kRowHeight);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(kSideInset, 0, kSideInset, 0);
    row->setSpacing(0);
    row->addWidget(m_tabBar);
    row->addStretch(1);
    m_addButton->setFixedSize(kAddButtonSide, kAddButtonSide);
    m_addButton->setToolTip(tr("New Note (Ctrl+T)"));
    row->addWidget(m_addButton);
    column->addWidget(top);

    auto* separator = new QFrame;
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setFixedHeight(1);
    separator->setForegroundRole(QPalette::Mid);
    column->addWidget(separator);
    column->addWidget(m_editor, 1);

    connect(m_addButton, &QAbstractButton::clicked, this, [this] {
        if (m_store)
            m_store->addTab();
    });
    connect(store, &NoteStore::objectDidChange, this, &ContentView::evaluate);
    m_editor->textView()->installEventFilter(this);
    evaluate();
}

// The keys of tabbed editors, taken from the editor before it treats them
// as typing, and done through the same store operations as the buttons and
// tabs.
bool ContentView::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    return handleKey(static_cast<QKeyEvent*>(event));
}

// The same keys where a tab or a button has the focus.
void ContentView::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event))
        QWidget::keyPressEvent(event);
}

bool ContentView::handleKey(QKeyEvent* event) {
    const QKeyCombination key = event->keyCombination();
    const Qt::KeyboardModifiers mods = key.keyboardModifiers() & ~Qt::KeypadModifier;
    const auto is = [&](Qt::KeyboardModifiers m, std::initializer_list<int> keys) {
        return mods == m && std::find(keys.begin(), keys.end(), key.key()) != keys.end();
    };
    std::function<void(NoteStore&)> action;
    const auto step = [](NoteStore& store, qint64 by) {
        const qint64 count = store.notes().size();
        store.selectTab(((store.activeTabIndex() + by) % count + count) % count);
    };
    if (is(Qt::NoModifier, {Qt::Key_Escape}))
        action = [this](NoteStore&) { emit dismissRequested(); };
    else if (is(Qt::ControlModifier, {Qt::Key_T}))
        action = [](NoteStore& s) { s.addTab(); };
    else if (is(Qt::ControlModifier, {Qt::Key_W}))
        action = [](NoteStore& s) { s.closeTab(s.activeTabIndex()); };
    else if (is(Qt::ControlModifier | Qt::ShiftModifier, {Qt::Key_T}))
        action = [](NoteStore& s) { s.reopenClosedTab(); };
    else if (is(Qt::ControlModifier, {Qt::Key_Tab, Qt::Key_PageDown}))
        action = [step](NoteStore& s) { step(s, 1); };
    else if (is(Qt::ControlModifier, {Qt::Key_PageUp}) ||
             is(Qt::ControlModifier | Qt::ShiftModifier, {Qt::Key_Backtab, Qt::Key_Tab}))
        action = [step](NoteStore& s) { step(s, -1); };
    else if (mods == Qt::AltModifier && key.key() >= Qt::Key_1 && key.key() <= Qt::Key_9)
        action = [n = key.key() - Qt::Key_1](NoteStore& s) { s.selectTab(n); };
    if (!action || !m_store)
        return false;
    if (event->type() == QEvent::KeyPress)
        action(*m_store);
    event->accept(); // an override accepted comes back as the key press
    return true;
}

bool ContentView::focusNextPrevChild(bool next) {
    QList<QWidget*> ring;
    const QList<TabItemView*> tabs = m_tabBar->tabs();
    if (m_store && m_tabBar->isVisible() && m_store->activeTabIndex() < tabs.size())
        ring << tabs[m_store->activeTabIndex()] << tabs[m_store->activeTabIndex()]->closeButton();
    ring << m_addButton << m_editor->textView();
    QWidget* focused = QApplication::focusWidget();
    qsizetype at = ring.indexOf(focused);
    if (at < 0 && !isAncestorOf(focused))
        return QWidget::focusNextPrevChild(next);
    at = at < 0 ? ring.size() - 1 : (at + (next ? 1 : ring.size() - 1)) % ring.size();
    ring[at]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void ContentView::evaluate() {
    if (!m_store)
        return;
    const bool showTabs = m_store->notes().size() >= 2;
    updateStrip(showTabs);
    m_editor->updateFromNote();
    const Note active = m_store->activeNoteBinding().get();
    nameEditor(active.id, showTabs);
    if (m_textChanges.changed(active.content, m_editor->lastEdit()))
        m_store->saveSubject().send();
}

void ContentView::updateStrip(bool showTabs) {
    // Hidden too, the strip follows its notes: a screen reader reads its
    // tabs, and a stale one would be a closed note.
    m_tabBar->evaluate();
    const bool focusInStrip = m_tabBar->isAncestorOf(QApplication::focusWidget());
    m_tabBar->setVisible(showTabs);
    if (focusInStrip && !showTabs)
        m_editor->textView()->setFocus(Qt::OtherFocusReason);
}

// The editor is named after its tab when another note comes in, not as its
// first line is typed: a screen reader says a new name aloud.
void ContentView::nameEditor(const QUuid& active, bool showTabs) {
    if (std::pair(active, showTabs) == m_namedFor)
        return;
    m_namedFor = {active, showTabs};
    const TabItemView* tab = showTabs ? m_tabBar->tabs().value(m_store->activeTabIndex()) : nullptr;
    m_editor->textView()->setAccessibleName(tab ? tab->title() : tr("Note"));
}

} // namespace jotbox
