#include "tray/QtMenu.h"

#include <QKeyEvent>
#include <QMenu>

namespace jotbox {

QKeySequence keySequence(const MenuItem& item) {
    if (item.keyEquivalent.size() != 1)
        return {};
    const QChar c = item.keyEquivalent.front();
    const ModifierFlags mask = item.keyEquivalentModifierMask;
    int modifiers = 0;
    if (mask.contains(ModifierFlags::command))
        modifiers |= Qt::CTRL;
    if (mask.contains(ModifierFlags::option))
        modifiers |= Qt::ALT;
    if (mask.contains(ModifierFlags::control))
        modifiers |= Qt::META;
    if (mask.contains(ModifierFlags::shift) || c.isUpper())
        modifiers |= Qt::SHIFT;
    const int key = c.toUpper().unicode();
    return QKeySequence(modifiers | key);
}

namespace {

// A pop-up menu's actions take part in no window's shortcuts, so the menu
// matches its own key equivalents while it is open.
class KeyEquivalentMenu final : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QKeySequence pressed(event->keyCombination());
        for (QAction* action : actions()) {
            if (!action->shortcut().isEmpty() && action->shortcut() == pressed &&
                action->isEnabled()) {
                hide();
                action->trigger();
                return;
            }
        }
        QMenu::keyPressEvent(event);
    }
};

// An action made to say and do what `item` says.
void setUp(QAction* action, const MenuItem& item) {
    action->setShortcut(keySequence(item));
    action->setCheckable(item.checkable || item.state == MenuItem::State::on);
    action->setChecked(item.state == MenuItem::State::on);
    if (item.action)
        QObject::connect(action, &QAction::triggered, action, [run = item.action] { run(); });
}

void fill(QMenu* target, const Menu& menu) {
    for (const MenuItem& item : menu.itemArray) {
        if (item.isSeparator) {
            target->addSeparator();
            continue;
        }
        if (item.submenu) {
            QMenu* sub = target->addMenu(item.title);
            fill(sub, *item.submenu);
            continue;
        }
        setUp(target->addAction(item.title), item);
    }
}

} // namespace

void installShortcuts(QWidget* target, const Menu& menu) {
    for (const MenuItem& item : menu.itemArray) {
        if (item.submenu)
            installShortcuts(target, *item.submenu);
        const QKeySequence keys = keySequence(item);
        if (keys.isEmpty() || !item.action)
            continue;
        auto* action = new QAction(item.title, target);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(action, &QAction::triggered, action, [run = item.action] { run(); });
        target->addAction(action);
    }
}

std::unique_ptr<QMenu> renderMenu(const Menu& menu) {
    auto rendered = std::make_unique<KeyEquivalentMenu>(menu.title);
    fill(rendered.get(), menu);
    return rendered;
}

} // namespace jotbox
