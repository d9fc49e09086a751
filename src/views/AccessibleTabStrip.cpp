#include "views/AccessibleTabStrip.h"

#include "views/GlyphButton.h"
#include "views/TabBarView.h"
#include "views/TabItemView.h"

namespace jotbox {

AccessibleTabStrip::AccessibleTabStrip(TabBarView* strip)
    : QAccessibleWidget(strip, QAccessible::PageTabList) {}

TabBarView* AccessibleTabStrip::strip() const {
    return static_cast<TabBarView*>(widget());
}

int AccessibleTabStrip::childCount() const {
    return int(strip()->tabs().size());
}

QAccessibleInterface* AccessibleTabStrip::child(int index) const {
    const QList<TabItemView*> tabs = strip()->tabs();
    return index >= 0 && index < tabs.size() ? QAccessible::queryAccessibleInterface(tabs[index])
                                             : nullptr;
}

int AccessibleTabStrip::indexOfChild(const QAccessibleInterface* child) const {
    return child ? int(strip()->tabs().indexOf(qobject_cast<TabItemView*>(child->object()))) : -1;
}

AccessibleTab::AccessibleTab(TabItemView* tab) : QAccessibleWidget(tab, QAccessible::PageTab) {}

TabItemView* AccessibleTab::tab() const {
    return static_cast<TabItemView*>(widget());
}

QAccessibleInterface* AccessibleTab::parent() const {
    for (QWidget* w = tab()->parentWidget(); w; w = w->parentWidget())
        if (auto* strip = qobject_cast<TabBarView*>(w))
            return QAccessible::queryAccessibleInterface(strip);
    return QAccessibleWidget::parent();
}

int AccessibleTab::childCount() const {
    return 1;
}

QAccessibleInterface* AccessibleTab::child(int index) const {
    return index == 0 ? QAccessible::queryAccessibleInterface(tab()->closeButton()) : nullptr;
}

int AccessibleTab::indexOfChild(const QAccessibleInterface* child) const {
    return child && child->object() == tab()->closeButton() ? 0 : -1;
}

QString AccessibleTab::text(QAccessible::Text t) const {
    return t == QAccessible::Name ? tab()->title() : QAccessibleWidget::text(t);
}

QAccessible::State AccessibleTab::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.selectable = true;
    state.selected = tab()->isActive();
    return state;
}

QStringList AccessibleTab::actionNames() const {
    return {pressAction()};
}

void AccessibleTab::doAction(const QString& action) {
    if (action == pressAction())
        tab()->activate();
}

QAccessibleInterface* accessibleTabStripFactory(const QString&, QObject* object) {
    if (auto* strip = qobject_cast<TabBarView*>(object))
        return new AccessibleTabStrip(strip);
    if (auto* tab = qobject_cast<TabItemView*>(object))
        return new AccessibleTab(tab);
    return nullptr;
}

} // namespace jotbox
