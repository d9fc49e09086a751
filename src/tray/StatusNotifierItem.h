#pragma once

#include "desktop/Menu.h"

#include <QByteArray>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QDBusServiceWatcher;

namespace jotbox {

class DBusMenuExporter;

// The wire types of org.kde.StatusNotifierItem.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb; // big-endian ARGB32, row by row
};
struct SniToolTip {
    QString iconName;
    QList<SniPixmap> pixmaps;
    QString title;
    QString description;
};

// The tray icon as a StatusNotifierItem of Jotbox's own, with its status
// menu over DBusMenu. Qt's item cannot say where its icon theme lies, so
// hosts could draw Jotbox's icon by name only where it is installed; this one
// names the folder holding it (IconThemePath), and still carries pixmaps for
// hosts that draw nothing by name. It registers again whenever a host's
// watcher comes, so a panel restarted later shows it too.
class StatusNotifierItem final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category SCRIPTABLE true)
    Q_PROPERTY(QString Id READ title SCRIPTABLE true)
    Q_PROPERTY(QString Title READ title SCRIPTABLE true)
    Q_PROPERTY(QString Status READ status SCRIPTABLE true)
    Q_PROPERTY(int WindowId READ windowId SCRIPTABLE true)
    Q_PROPERTY(QString IconThemePath READ iconThemePath SCRIPTABLE true)
    Q_PROPERTY(QDBusObjectPath Menu READ menu SCRIPTABLE true)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu SCRIPTABLE true)
    Q_PROPERTY(QString IconName READ iconName SCRIPTABLE true)
    Q_PROPERTY(QList<jotbox::SniPixmap> IconPixmap READ iconPixmap SCRIPTABLE true)
    Q_PROPERTY(QString OverlayIconName READ none SCRIPTABLE true)
    Q_PROPERTY(QList<jotbox::SniPixmap> OverlayIconPixmap READ noPixmap SCRIPTABLE true)
    Q_PROPERTY(QString AttentionIconName READ none SCRIPTABLE true)
    Q_PROPERTY(QList<jotbox::SniPixmap> AttentionIconPixmap READ noPixmap SCRIPTABLE true)
    Q_PROPERTY(QString AttentionMovieName READ none SCRIPTABLE true)
    Q_PROPERTY(jotbox::SniToolTip ToolTip READ toolTip SCRIPTABLE true)
public:
    struct Icon {
        QString name;      // in the hicolor theme under themePath
        QString themePath; // empty: no name is given, only pixmaps
        QIcon pixmaps;
    };

    StatusNotifierItem(const QString& title, Icon icon, std::function<Menu()> menu,
                       QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // Puts the item on the session bus and registers it with the watcher.
    bool publish();

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString title() const { return m_title; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconThemePath() const { return m_icon.themePath; }
    QDBusObjectPath menu() const;
    bool itemIsMenu() const { return false; }
    QString iconName() const { return m_icon.themePath.isEmpty() ? QString() : m_icon.name; }
    QList<SniPixmap> iconPixmap() const;
    QString none() const { return {}; }
    QList<SniPixmap> noPixmap() const { return {}; }
    SniToolTip toolTip() const { return {{}, {}, m_title, {}}; }

public slots:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);
    Q_SCRIPTABLE void ProvideXdgActivationToken(const QString& token);

signals:
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewAttentionIcon();
    Q_SCRIPTABLE void NewOverlayIcon();
    Q_SCRIPTABLE void NewMenu();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString& status);
    // Not on the bus: what the host asked for.
    void activated(const QString& activationToken);
    void contextMenuRequested();

private:
    void registerWithWatcher();

    QString m_title;
    Icon m_icon;
    mutable QList<SniPixmap> m_pixmaps;
    QString m_service;
    QString m_token; // for the next Activate
    DBusMenuExporter* m_menu;
    QDBusServiceWatcher* m_watcher = nullptr;
};

} // namespace jotbox

Q_DECLARE_METATYPE(jotbox::SniPixmap)
Q_DECLARE_METATYPE(jotbox::SniToolTip)
