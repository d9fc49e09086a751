// A stand-in StatusNotifierItem tray for the end-to-end tests: the
// org.kde.StatusNotifierWatcher service and a host, as a desktop panel has
// them. The host is a dock strip along the top of the screen that reserves
// its height; a release of the left or right button on it becomes the
// items' Activate(x, y) or ContextMenu(x, y) call, with global coordinates.
#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kHeight = 24;

class Watcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit Watcher(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    QStringList items() const { return m_items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    // Items name themselves by bus name, or by object path on their own connection.
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        const QString sender = message.service();
        const QString item = service.startsWith(QLatin1Char('/'))
                                 ? sender + service
                                 : service + QStringLiteral("/StatusNotifierItem");
        if (!m_items.contains(item))
            m_items << item, emit StatusNotifierItemRegistered(item);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items; // each run of a test registers its one item once
};

class HostStrip : public QWidget {
public:
    explicit HostStrip(Watcher* watcher) : m_watcher(watcher) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setWindowTitle(QStringLiteral("sni-host"));
        setStyleSheet(QStringLiteral("background: #2b2b2b"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        setGeometry(screen.x(), screen.y(), screen.width(), kHeight);
        reserveTopEdge();
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        const char* method = event->button() == Qt::RightButton ? "ContextMenu" : "Activate";
        const QPoint at = event->globalPosition().toPoint();
        for (const QString& item : m_watcher->items()) {
            auto call = QDBusMessage::createMethodCall(
                item.section(QLatin1Char('/'), 0, 0), QLatin1Char('/') + item.section('/', 1),
                QStringLiteral("org.kde.StatusNotifierItem"), QString::fromLatin1(method));
            call << at.x() << at.y();
            QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
        }
    }

private:
    // A dock window whose strut shrinks the work area, as desktop panels do.
    void reserveTopEdge() {
        auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* c = x11->connection();
        auto atom = [c](const char* name) {
            auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
            return std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)>(r, free)->atom;
        };
        const auto id = static_cast<xcb_window_t>(winId());
        const xcb_atom_t dock = atom("_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, 1, &dock);
        const quint32 strut[12] = {0, 0, kHeight, 0, 0, 0, 0, 0, 0, quint32(width() - 1), 0, 0};
        for (auto [name, length] : {std::pair("_NET_WM_STRUT_PARTIAL", 12), {"_NET_WM_STRUT", 4}})
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(name), XCB_ATOM_CARDINAL, 32,
                                length, strut);
        xcb_flush(c);
    }

    Watcher* m_watcher;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QObject root;
    auto* watcher = new Watcher(&root);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &root) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "cannot own org.kde.StatusNotifierWatcher\n");
        return 1;
    }
    HostStrip strip(watcher);
    strip.show();
    return QApplication::exec();
}

#include "StatusNotifierHost.moc"
