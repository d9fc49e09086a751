#include "platform/QtTrayIcon.h"

#include "platform/QtMenu.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace jotbox {

QtTrayIcon::QtTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent)
    : TrayIcon(parent), m_icon(new QSystemTrayIcon(icon, this)) {
    m_icon->setToolTip(toolTip);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                // Tray hosts report the second click of a quick double click as a
                // double click: it is a click all the same.
                case QSystemTrayIcon::Trigger:
                case QSystemTrayIcon::DoubleClick:
                    emit clicked(Click::primary);
                    break;
                case QSystemTrayIcon::Context:
                    emit clicked(Click::secondary);
                    break;
                default:
                    break;
                }
            });
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::show() {
    m_icon->show();
}

// Read at each use: an XEmbed icon reports its place only once it has docked.
QRect QtTrayIcon::geometry() const {
    return m_icon->geometry();
}

void QtTrayIcon::showMenu(const Menu& menu) {
    std::unique_ptr<QMenu> rendered = renderMenu(menu);
    rendered->setObjectName(QStringLiteral("JotboxStatusMenu"));
    rendered->setWindowTitle(QStringLiteral("Jotbox menu"));
    const QRect icon = geometry();
    const QPoint at = icon.isEmpty() ? QCursor::pos() : icon.bottomLeft() + QPoint(0, 1);
    rendered->exec(at);
}

} // namespace jotbox
