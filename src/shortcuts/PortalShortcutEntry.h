#pragma once

#include <QDBusArgument>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace jotbox {

// One element of the GlobalShortcuts portal's a(sa{sv}) shortcut lists: an id
// and its properties ("description", "preferred_trigger", "trigger_description").
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
};

inline QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcutEntry& e) {
    out.beginStructure();
    out << e.id << e.properties;
    out.endStructure();
    return out;
}

inline const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcutEntry& e) {
    in.beginStructure();
    in >> e.id >> e.properties;
    in.endStructure();
    return in;
}

} // namespace jotbox

Q_DECLARE_METATYPE(jotbox::PortalShortcutEntry)
