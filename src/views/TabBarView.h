#pragma once

#include "store/NoteStore.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScrollArea>

class QHBoxLayout;

namespace jotbox {

class TabItemView;

// The strip of tabs, one per note in list order, scrolling sideways with no
// visible scroll bar; keeps the tab with the focus in view. A tab follows its note's id across
// changes; its actions carry the position the user sees.
class TabBarView : public QScrollArea {
    Q_OBJECT
public:
    explicit TabBarView(NoteStore* store, QWidget* parent = nullptr);

    // Re-reads the store: titles, the active tab and the actions.
    void evaluate();

    QList<TabItemView*> tabs() const { return m_order; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The keys of a tab with the focus: Left, Right, Home and End choose
    // another, which takes the focus; Delete closes it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct CachedTitle {
        QString content; // held, so its buffer cannot be reused for other text
        QString title;
        bool valid = false;
    };
    const QString& titleOf(const Note& note);
    void bringActiveIntoView();

    QPointer<NoteStore> m_store;
    QWidget* m_row;
    QHBoxLayout* m_layout;
    // Keyed by id and its occurrence, so even a hand-made file's duplicate ids get their own tabs.
    QHash<QPair<QUuid, int>, TabItemView*> m_tabs;
    QList<TabItemView*> m_order;
    QHash<QUuid, CachedTitle> m_titles;
    // The active note the strip last brought into view, and among how many.
    QUuid m_inView;
    qsizetype m_inViewAmong = 0;
};

} // namespace jotbox
