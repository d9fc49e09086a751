#pragma once

#include "desktop/Menu.h"

#include <QObject>
#include <QRect>

namespace jotbox {

// The status menu opened by Jotbox itself, for trays that ask with a
// secondary click: against the bar holding the icon, one at a time.
class StatusMenuPopup final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Returns once the menu has closed; at the pointer where `icon` is empty.
    void exec(const Menu& menu, QRect icon);

private:
    bool m_shown = false;
};

} // namespace jotbox
