#include "views/TabBarView.h"

#include "views/TabItemView.h"

#include <QHBoxLayout>
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

    QHash<QPair<QUuid, int>, TabItemView*> kept;
    QList<TabItemView*> order;
    QHash<QUuid, int> seen;
    order.reserve(notes.size());
    for (qsizetype position = 0; position < notes.size(); ++position) {
        const Note& note = notes[position];
        const QPair<QUuid, int> key(note.id, seen[note.id]++);
        TabItemView* tab = m_tabs.take(key);
        if (!tab)
            tab = new TabItemView(m_row);
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
        for (TabItemView* tab : order)
            tab->show();
    }
    m_tabs = std::move(kept);
    m_order = std::move(order);
    if (m_titles.size() > 2 * notes.size() + 8) {
        QHash<QUuid, CachedTitle> live;
        for (const Note& note : notes)
            live.insert(note.id, m_titles.value(note.id));
        m_titles = std::move(live);
    }
    updateGeometry();
}

QSize TabBarView::sizeHint() const {
    return {m_row->sizeHint().width(), kHeight};
}

QSize TabBarView::minimumSizeHint() const {
    return {0, kHeight};
}

// A mouse wheel scrolls the strip sideways: it has no other direction.
void TabBarView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int steps = delta.x() != 0 ? delta.x() : delta.y();
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - steps / 2);
    event->accept();
}

} // namespace jotbox
