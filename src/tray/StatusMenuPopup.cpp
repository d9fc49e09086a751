#include "tray/StatusMenuPopup.h"

#include "tray/QtMenu.h"
#include "tray/X11DesktopBars.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>

namespace jotbox {

void StatusMenuPopup::exec(const Menu& menu, QRect icon) {
    // A tray calling ContextMenu again while the menu is open (it runs its
    // own loop, where the next call arrives) must not stack another.
    if (m_shown)
        return;
    m_shown = true;
    const auto shown = qScopeGuard([self = QPointer(this)] {
        if (self) // a choice in the menu may have let the icon go
            self->m_shown = false;
    });
    std::unique_ptr<QMenu> rendered = renderMenu(menu);
    rendered->setObjectName(QStringLiteral("JotboxStatusMenu"));
    rendered->setWindowTitle(QStringLiteral("Jotbox menu"));
    if (icon.isEmpty()) {
        rendered->exec(QCursor::pos());
        return;
    }
    // Against the bar holding the icon, not over its edge: under a top bar,
    // above a bottom one.
    QRect bar = icon;
    const QScreen* screen = QGuiApplication::screenAt(icon.center());
    for (const QRect& b : x11DesktopBars(screen, icon.center()))
        if (b.contains(icon.center()))
            bar = bar.united(b);
    const bool below = !screen || icon.center().y() < screen->geometry().center().y();
    rendered->exec(below ? QPoint(icon.x(), bar.y() + bar.height())
                         : QPoint(icon.x(), bar.y() - rendered->sizeHint().height()));
}

} // namespace jotbox
