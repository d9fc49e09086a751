#include "views/TabBarView.h"

#include "views/TabItemView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace jotbox {

namespace {
constexpr int kHeight = 28;
} // namespace

TabBarView::TabBarView(NoteStore* store, QWidget* parent)
    : QScrollArea(parent), m_store(store), m_row(new QWidget), m_layout(new QHBoxLayout(m_row)) {
    m_layout->setContentsMargins(8, 0, 8, 0);
    m_layout->setSpacing(2);
    m_layout->setSizeConstraint(QLayout::SetFixedSize);
    setWidget(m_row);
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus); // its tabs take the focus
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    m_row->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
}

const QString& TabBarView::titleOf(const Note& note) {
    // Typing changes one note at a time: the other titles come from the cache.
    CachedTitle& cached = m_titles[note.id];
    if (!cached.valid || cached.content.constData() != note.content.constData() ||
        cached.content.size() != note.content.size()) {
        cached.title = note.title();
        cached.content = note.content;
        cached.valid = true;
    }
    return cached.title;
}

void TabBarView::evaluate() {
    if (!m_store)
        return;
    NoteStore* store = m_store;
    const QList<Note>& notes = store->notes();
    const qint64 active = store->activeTabIndex();
    // A tab with the focus hands it to the active one, as does a tab closed with it.
    QWidget* focused = QApplication::focusWidget();
    const bool focusInStrip = m_row->isAncestorOf(focused);

    QHash<QPair<QUuid, int>, TabItemView*> kept;
    QList<TabItemView*> order;
    QHash<QUuid, int> seen;
    order.reserve(notes.size());
    for (qsizetype position = 0; position < notes.size(); ++position) {
        const Note& note = notes[position];
        const QPair<QUuid, int> key(note.id, seen[note.id]++);
        TabItemView* tab = m_tabs.take(key);
        if (!tab) {
            tab = new TabItemView(m_row);
            tab->installEventFilter(this);
        }
        QPointer<NoteStore> weak(store);
        tab->set(
            titleOf(note), active == position,
            [weak, position] {
                if (weak)
                    weak->selectTab(position);
            },
            [weak, position] {
                if (weak)
                    weak->closeTab(position);
            });
        kept.insert(key, tab);
        order.append(tab);
    }
    // A tab may be gone while its own click is still being handled: delete later.
    for (TabItemView* gone : std::as_const(m_tabs)) {
        m_layout->removeWidget(gone);
        gone->hide();
        gone->deleteLater();
    }
    if (order != m_order) {
        for (int i = 0; i < order.size(); ++i)
            m_layout->insertWidget(i, order[i]);
        // A tab made while the strip is hidden shows with it; showing it now
        // would lay out and shape its title at start, for a panel not yet seen.
        if (m_row->isVisible())
            for (TabItemView* tab : order)
                tab->show();
    }
    m_tabs = std::move(kept);
    m_order = std::move(order);
    const bool activeInRange = active >= 0 && active < m_order.size();
    if (focusInStrip && activeInRange &&
        (qobject_cast<TabItemView*>(focused) || !m_row->isAncestorOf(QApplication::focusWidget())))
        m_order[active]->setFocus(Qt::TabFocusReason);
    if (isVisible())
        bringActiveIntoView();
    if (m_titles.size() > 2 * notes.size() + 8) {
        QHash<QUuid, CachedTitle> live;
        for (const Note& note : notes)
            live.insert(note.id, m_titles.value(note.id));
        m_titles = std::move(live);
    }
    updateGeometry();
}

// Another note made active, or one added or closed, from anywhere (Ctrl+Tab
// in the editor, a new note): its tab comes wholly into view. Typing leaves
// the strip where the user scrolled it.
void TabBarView::bringActiveIntoView() {
    const qint64 active = m_store ? m_store->activeTabIndex() : -1;
    if (active < 0 || active >= m_order.size())
        return;
    const QList<Note>& notes = m_store->notes();
    if (notes[active].id == m_inView && notes.size() == m_inViewAmong)
        return;
    // Laid out first: a tab just added has no place in the strip yet, and
    // the area's range follows the row's new width only later.
    QApplication::sendPostedEvents(m_row, QEvent::LayoutRequest);
    horizontalScrollBar()->setRange(0, std::max(0, m_row->width() - viewport()->width()));
    ensureWidgetVisible(m_order[active], 0, 0);
    m_inView = notes[active].id;
    m_inViewAmong = notes.size();
}

// What changed while hidden comes into view as the strip shows.
void TabBarView::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    bringActiveIntoView();
}

QSize TabBarView::sizeHint() const {
    return {m_row->sizeHint().width(), kHeight};
}

QSize TabBarView::minimumSizeHint() const {
    return {0, kHeight};
}

bool TabBarView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !m_store)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const qint64 at = m_order.indexOf(static_cast<TabItemView*>(watched));
    const qint64 last = m_order.size() - 1;
    if (at < 0 || key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Left:
        m_store->selectTab(std::max<qint64>(at - 1, 0));
        break;
    case Qt::Key_Right:
        m_store->selectTab(std::min(at + 1, last));
        break;
    case Qt::Key_Home:
        m_store->selectTab(0);
        break;
    case Qt::Key_End:
        m_store->selectTab(last);
        break;
    case Qt::Key_Delete:
        m_store->closeTab(at);
        break;
    default:
        return false;
    }
    return true;
}

// A mouse wheel scrolls the strip sideways: it has no other direction.
void TabBarView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int steps = delta.x() != 0 ? delta.x() : delta.y();
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - steps / 2);
    event->accept();
}

} // namespace jotbox
