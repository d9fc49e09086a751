#include "platform/DBusMenuExporter.h"

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
    for (const MenuItem& item : menu.itemArray) {
        const int id = static_cast<int>(m_entries.size());
        m_entries[parent].children.append(id);
        Entry entry;
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
        m_entries.push_back(std::move(entry));
        if (item.submenu)
            add(*item.submenu, id);
    }
}

bool DBusMenuExporter::refresh() {
    std::vector<Entry> before = std::move(m_entries);
    m_entries.assign(1, Entry{});
    m_entries[0].properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    if (m_source)
        add(m_source(), 0);
    const bool sameLayout = before.size() == m_entries.size() &&
                            std::equal(before.begin(), before.end(), m_entries.begin(),
                                       [](const auto& a, const auto& b) {
                                           return a.children == b.children &&
                                                  a.properties.value(QStringLiteral("type")) ==
                                                      b.properties.value(QStringLiteral("type"));
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
    for (int id = 0; id < static_cast<int>(m_entries.size()); ++id) {
        const QVariantMap& was = before[id].properties;
        const QVariantMap& now = m_entries[id].properties;
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

DBusMenuLayout DBusMenuExporter::layoutOf(int id, int depth, const QStringList& names) const {
    DBusMenuLayout layout{id, only(m_entries[id].properties, names), {}};
    if (depth != 0)
        for (int child : m_entries[id].children)
            layout.children.append(layoutOf(child, depth - 1, names));
    return layout;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 DBusMenuLayout& layout) {
    layout = layoutOf(known(parentId) ? parentId : 0, recursionDepth, propertyNames);
    return m_revision;
}

QList<DBusMenuItem> DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                         const QStringList& propertyNames) {
    QList<DBusMenuItem> items;
    for (int id : ids)
        if (known(id))
            items.append({id, only(m_entries[id].properties, propertyNames)});
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    return QDBusVariant(known(id) ? m_entries[id].properties.value(name) : QVariant());
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (eventId != QLatin1String("clicked") || !known(id) || !m_entries[id].action)
        return;
    // Run once the call is answered: the action may open windows or quit.
    QMetaObject::invokeMethod(
        this,
        [this, action = m_entries[id].action] {
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

bool DBusMenuExporter::AboutToShow(int) {
    return refresh();
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    for (int id : ids)
        if (!known(id))
            idErrors.append(id);
    return refresh() ? QList<int>{0} : QList<int>{};
}

} // namespace jotbox
