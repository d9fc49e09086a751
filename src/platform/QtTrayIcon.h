#pragma once

#include "platform/TrayIcon.h"

#include <QIcon>

class QSystemTrayIcon;

namespace jotbox {

class QtTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    QtTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void show() override;
    QRect geometry() const override;
    void showMenu(const Menu& menu) override;

private:
    QSystemTrayIcon* m_icon;
};

} // namespace jotbox
