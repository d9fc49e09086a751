#include "tray/DBusMenuExporter.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QMetaObject>

namespace jotbox {

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& keys) {
    arg.beginStructure();
    arg << keys.id << keys.names;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& keys) {
    arg.beginStructure();
    arg >> keys.id >> keys.names;
    arg.endStructure();
    return arg;
}
// (ia{sv}av): the children are variants each holding a layout.
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayout& layout) {
    arg.beginStructure();
    arg << layout.id << layout.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayout& child : layout.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayout& layout) {
    arg.beginStructure();
    arg >> layout.id >> layout.properties;
    layout.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        layout.children.append(qdbus_cast<DBusMenuLayout>(child.variant()));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& event) {
    arg.beginStructure();
    arg << event.id << event.eventId << event.data << event.timestamp;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& event) {
    arg.beginStructure();
    arg >> event.id >> event.eventId >> event.data >> event.timestamp;
    arg.endStructure();
    return arg;
}

void DBusMenuExporter::registerTypes() {
    qDBusRegisterMetaType<DBusMenuItem>();
    qDBusRegisterMetaType<QList<DBusMenuItem>>();
    qDBusRegisterMetaType<DBusMenuItemKeys>();
    qDBusRegisterMetaType<QList<DBusMenuItemKeys>>();
    qDBusRegisterMetaType<DBusMenuLayout>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<QList<DBusMenuEvent>>();
}

DBusMenuExporter::DBusMenuExporter(std::function<Menu()> source, QObject* parent)
    : QObject(parent), m_source(std::move(source)) {
    registerTypes();
    refresh();
}

void DBusMenuExporter::add(const Menu& menu, int parent) {
    QHash<QString, int> seen; // the same title twice under one parent
    for (const MenuItem& item : menu.itemArray) {
        QString key = m_entries[parent].key + QChar(0x1f) +
                      (item.isSeparator ? QStringLiteral("\x1e") : item.title);
        key += QString::number(seen[key]++);
        int& id = m_ids[key];
        if (id == 0)
            id = static_cast<int>(m_ids.size());
        m_entries[parent].children.append(id);
        Entry entry{key, {}, {}, {}};
        if (item.isSeparator) {
            entry.properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            // An underscore marks a mnemonic there; a written one is doubled.
            QString label = item.title;
            entry.properties.insert(QStringLiteral("label"),
                                    label.replace('_', QStringLiteral("__")));
            if (item.checkable || item.state == MenuItem::State::on) {
                entry.properties.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
                entry.properties.insert(QStringLiteral("toggle-state"),
                                        item.state == MenuItem::State::on ? 1 : 0);
            }
            entry.action = item.action;
        }
        if (item.submenu)
            entry.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
        m_entries[id] = std::move(entry);
        if (item.submenu)
            add(*item.submenu, id);
    }
}

bool DBusMenuExporter::refresh() {
    std::map<int, Entry> before = std::move(m_entries);
    m_entries.clear();
    m_entries[0].properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    if (m_source)
        add(m_source(), 0);
    const bool sameLayout =
        std::equal(before.begin(), before.end(), m_entries.begin(), m_entries.end(),
                   [](const auto& a, const auto& b) {
                       return a.first == b.first && a.second.children == b.second.children &&
                              a.second.properties.value(QStringLiteral("type")) ==
                                  b.second.properties.value(QStringLiteral("type"));
                   });
    if (!sameLayout) {
        if (!before.empty()) {
            ++m_revision;
            emit LayoutUpdated(m_revision, 0);
        }
        return true;
    }
    QList<DBusMenuItem> updated;
    QList<DBusMenuItemKeys> removed;
    for (const auto& [id, entry] : m_entries) {
        const QVariantMap& was = before[id].properties;
        const QVariantMap& now = entry.properties;
        DBusMenuItem changed{id, {}};
        for (auto it = now.begin(); it != now.end(); ++it)
            if (was.value(it.key()) != it.value())
                changed.properties.insert(it.key(), it.value());
        DBusMenuItemKeys gone{id, {}};
        for (auto it = was.begin(); it != was.end(); ++it)
            if (!now.contains(it.key()))
                gone.names.append(it.key());
        if (!changed.properties.isEmpty())
            updated.append(changed);
        if (!gone.names.isEmpty())
            removed.append(gone);
    }
    if (!updated.isEmpty() || !removed.isEmpty())
        emit ItemsPropertiesUpdated(updated, removed);
    return false;
}

bool DBusMenuExporter::knownOrRefused(int id) {
    if (known(id))
        return true;
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No menu entry %1").arg(id));
    return false;
}

namespace {
QVariantMap only(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty())
        return properties;
    QVariantMap kept;
    for (const QString& name : names)
        if (properties.contains(name))
            kept.insert(name, properties.value(name));
    return kept;
}
} // namespace

// A negative depth is the whole tree below.
DBusMenuLayout DBusMenuExporter::layoutOf(int id, int depth, const QStringList& names) const {
    const Entry& entry = m_entries.at(id);
    DBusMenuLayout layout{id, only(entry.properties, names), {}};
    if (depth != 0)
        for (int child : entry.children)
            layout.children.append(layoutOf(child, depth < 0 ? -1 : depth - 1, names));
    return layout;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 DBusMenuLayout& layout) {
    if (knownOrRefused(parentId))
        layout = layoutOf(parentId, recursionDepth, propertyNames);
    return m_revision;
}

QList<DBusMenuItem> DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                         const QStringList& propertyNames) {
    QList<DBusMenuItem> items;
    for (int id : ids)
        if (known(id))
            items.append({id, only(m_entries.at(id).properties, propertyNames)});
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    if (!knownOrRefused(id))
        return QDBusVariant(QString());
    const QVariant value = m_entries.at(id).properties.value(name);
    if (!value.isValid() && calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No property %1").arg(name));
    return QDBusVariant(value.isValid() ? value : QVariant(QString()));
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (!knownOrRefused(id) || eventId != QLatin1String("clicked") || !m_entries.at(id).action)
        return;
    // Run once the call is answered: the action may open windows or quit.
    QMetaObject::invokeMethod(
        this,
        [this, action = m_entries.at(id).action] {
            action();
            refresh();
        },
        Qt::QueuedConnection);
}

QList<int> DBusMenuExporter::EventGroup(const QList<DBusMenuEvent>& events) {
    QList<int> errors;
    for (const DBusMenuEvent& event : events) {
        if (known(event.id))
            Event(event.id, event.eventId, event.data, event.timestamp);
        else
            errors.append(event.id);
    }
    return errors;
}

bool DBusMenuExporter::AboutToShow(int id) {
    return knownOrRefused(id) && refresh();
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    for (int id : ids)
        if (!known(id))
            idErrors.append(id);
    return refresh() ? QList<int>{0} : QList<int>{};
}

} // namespace jotbox
