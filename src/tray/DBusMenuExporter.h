#pragma once

#include "desktop/Menu.h"

#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <map>

namespace jotbox {

// The wire types of com.canonical.dbusmenu.
struct DBusMenuItem {
    int id = 0;
    QVariantMap properties;
};
struct DBusMenuItemKeys {
    int id = 0;
    QStringList names;
};
struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

// A menu served to trays that draw it themselves (DBusMenu). It is read
// afresh from its source whenever a tray is about to show it and after
// each choice; when only texts and check marks change, the layout keeps its
// revision, since some trays close a menu whose layout changes as it opens.
// An entry keeps its id for its life, so a click that crosses a refill
// still reaches it; a call naming no entry gets an error reply.
class DBusMenuExporter final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version SCRIPTABLE true)
    Q_PROPERTY(QString TextDirection READ textDirection SCRIPTABLE true)
    Q_PROPERTY(QString Status READ status SCRIPTABLE true)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath SCRIPTABLE true)
public:
    explicit DBusMenuExporter(std::function<Menu()> source, QObject* parent = nullptr);
    static void registerTypes();

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                jotbox::DBusMenuLayout& layout);
    Q_SCRIPTABLE QList<jotbox::DBusMenuItem> GetGroupProperties(const QList<int>& ids,
                                                                const QStringList& propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
    Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data,
                            uint timestamp);
    Q_SCRIPTABLE QList<int> EventGroup(const QList<jotbox::DBusMenuEvent>& events);
    Q_SCRIPTABLE bool AboutToShow(int id);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    Q_SCRIPTABLE void ItemsPropertiesUpdated(const QList<jotbox::DBusMenuItem>& updatedProps,
                                             const QList<jotbox::DBusMenuItemKeys>& removedProps);
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
    Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

private:
    struct Entry {
        QString key; // its place: the titles leading to it
        QVariantMap properties;
        QList<int> children;
        std::function<void()> action;
    };
    // Reads the source again and tells trays what changed; true when the
    // layout did.
    bool refresh();
    void add(const Menu& menu, int parent);
    DBusMenuLayout layoutOf(int id, int depth, const QStringList& names) const;
    bool known(int id) const { return m_entries.count(id) > 0; }
    // False, with an error reply to a caller on the bus, for an unknown id.
    bool knownOrRefused(int id);

    std::function<Menu()> m_source;
    std::map<int, Entry> m_entries; // by id; 0 is the menu itself
    QHash<QString, int> m_ids;      // every entry's id, by its key
    uint m_revision = 1;
};

} // namespace jotbox

Q_DECLARE_METATYPE(jotbox::DBusMenuItem)
Q_DECLARE_METATYPE(jotbox::DBusMenuItemKeys)
Q_DECLARE_METATYPE(jotbox::DBusMenuLayout)
Q_DECLARE_METATYPE(jotbox::DBusMenuEvent)
