#pragma once

#include <QAccessibleWidget>

namespace jotbox {

class TabBarView;
class TabItemView;

// The tab strip as screen readers know tab strips: a page tab list whose
// children are its tabs, in order, so that a tab's place reads "2 of 5".
// Qt alone shows the scroll area's viewport and row in between.
class AccessibleTabStrip : public QAccessibleWidget {
public:
    explicit AccessibleTabStrip(TabBarView* strip);
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

private:
    TabBarView* strip() const;
};

// One tab: a page tab named by its caption, selected when active; pressing
// it makes it active. Its only child is its close button (the caption is
// its name already).
class AccessibleTab : public QAccessibleWidget {
public:
    explicit AccessibleTab(TabItemView* tab);
    QAccessibleInterface* parent() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

private:
    TabItemView* tab() const;
};

// Gives Qt the two above for Jotbox's tab strip and tabs.
QAccessibleInterface* accessibleTabStripFactory(const QString& className, QObject* object);

} // namespace jotbox
