#include "tray/StatusNotifierItem.h"

#include "tray/DBusMenuExporter.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QImage>

#include <QMetaObject>
#include <QtEndian>
#include <utility>

namespace jotbox {

namespace {
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
} // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& pixmap) {
    arg.beginStructure();
    arg << pixmap.width << pixmap.height << pixmap.argb;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& pixmap) {
    arg.beginStructure();
    arg >> pixmap.width >> pixmap.height >> pixmap.argb;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& tip) {
    arg.beginStructure();
    arg << tip.iconName << tip.pixmaps << tip.title << tip.description;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& tip) {
    arg.beginStructure();
    arg >> tip.iconName >> tip.pixmaps >> tip.title >> tip.description;
    arg.endStructure();
    return arg;
}

StatusNotifierItem::StatusNotifierItem(const QString& title, Icon icon, std::function<Menu()> menu,
                                       QObject* parent)
    : QObject(parent), m_title(title), m_icon(std::move(icon)),
      m_menu(new DBusMenuExporter(std::move(menu), this)) {
    qDBusRegisterMetaType<SniPixmap>();
    qDBusRegisterMetaType<QList<SniPixmap>>();
    qDBusRegisterMetaType<SniToolTip>();
}

// Drawn when a host first asks: hosts that find the icon by its name never
// do, and drawing six sizes held the icon back at start.
QList<SniPixmap> StatusNotifierItem::iconPixmap() const {
    if (!m_pixmaps.isEmpty())
        return m_pixmaps;
    // The sizes panels draw at, for hosts that go by pixmaps alone.
    for (int size : {16, 22, 24, 32, 48, 64}) {
        const QImage image =
            m_icon.pixmaps.pixmap(size, size)
                .toImage()
                .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniPixmap pixmap{size, size, QByteArray(size * size * 4, Qt::Uninitialized)};
        auto* out = reinterpret_cast<uchar*>(pixmap.argb.data());
        for (int y = 0; y < size; ++y) {
            const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < size; ++x, out += 4)
                qToBigEndian(row[x], out);
        }
        m_pixmaps.append(pixmap);
    }
    return m_pixmaps;
}

StatusNotifierItem::~StatusNotifierItem() {
    if (m_service.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(kItemPath);
    bus.unregisterObject(kMenuPath);
    bus.unregisterService(m_service);
}

QDBusObjectPath StatusNotifierItem::menu() const {
    return QDBusObjectPath(kMenuPath);
}

bool StatusNotifierItem::publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    if (!bus.registerObject(kItemPath, this, QDBusConnection::ExportScriptableContents) ||
        !bus.registerObject(kMenuPath, m_menu, QDBusConnection::ExportScriptableContents) ||
        !bus.registerService(service)) {
        bus.unregisterObject(kItemPath);
        bus.unregisterObject(kMenuPath);
        return false;
    }
    m_service = service;
    m_watcher =
        new QDBusServiceWatcher(kWatcher, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &StatusNotifierItem::registerWithWatcher);
    registerWithWatcher();
    return true;
}

void StatusNotifierItem::registerWithWatcher() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    // By the connection's own name, as Qt's item does: GNOME's extension,
    // given the well-known one, also watches that name, and its watcher and
    // its first reading of the item race each other under load, losing the
    // item (no icon, no menu). The well-known name stays for hosts that look.
    call << QDBusConnection::sessionBus().baseService();
    QDBusConnection::sessionBus().asyncCall(call);
}

// Answered first, acted on after: the panel and the menu run event loops of
// their own, and a host waiting for the answer meanwhile would stall.
// A token the host gave just before is for this activation only.
void StatusNotifierItem::Activate(int, int) {
    QMetaObject::invokeMethod(
        this, [this, token = std::exchange(m_token, {})] { emit activated(token); },
        Qt::QueuedConnection);
}

void StatusNotifierItem::ContextMenu(int, int) {
    QMetaObject::invokeMethod(this, &StatusNotifierItem::contextMenuRequested,
                              Qt::QueuedConnection);
}

// A middle click and a scroll mean nothing to Jotbox.
void StatusNotifierItem::SecondaryActivate(int, int) {}
void StatusNotifierItem::Scroll(int, const QString&) {}

void StatusNotifierItem::ProvideXdgActivationToken(const QString& token) {
    m_token = token;
}

} // namespace jotbox
