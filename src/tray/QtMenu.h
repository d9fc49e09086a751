#pragma once

#include "desktop/Menu.h"

#include <QKeySequence>

#include <memory>

class QMenu;
class QWidget;

namespace jotbox {

// The shortcut a key equivalent stands for: command is Ctrl, option Alt,
// control Meta; an upper-case letter adds Shift.
QKeySequence keySequence(const MenuItem& item);

// A QMenu with the model's titles, order, shortcuts, check marks and submenus.
std::unique_ptr<QMenu> renderMenu(const Menu& menu);

// Puts every key equivalent of the menu and its submenus on `target` as a
// shortcut that works while `target` or a child has focus.
void installShortcuts(QWidget* target, const Menu& menu);

} // namespace jotbox
