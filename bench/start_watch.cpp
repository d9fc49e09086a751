// Starts a program and measures its start as a user meets it, from outside:
// exec to its tray icon shown (an XEmbed icon's window mapped into the tray,
// or a StatusNotifierItem registered with the watcher), then resident and
// anonymous memory and CPU time at 3 s, and its threads' context switches
// from 3 s to 13 s, while nothing touches it. Prints one line:
//   ICON_MS RSS_KIB ANON_KIB CPU_MS WAKEUPS
// Usage: start_watch WM_CLASS_INSTANCE -- PROGRAM [ARGS...]
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

xcb_connection_t* x;
QByteArray wantedClass;
pid_t child = 0;
QElapsedTimer sinceExec;
qint64 iconMs = -1;

void watchTree(xcb_window_t window) {
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, window, XCB_CW_EVENT_MASK, &mask);
    auto* tree = xcb_query_tree_reply(x, xcb_query_tree(x, window), nullptr);
    if (!tree)
        return;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
        watchTree(children[i]);
    std::free(tree);
}

QByteArray instanceOf(xcb_window_t window) {
    auto* reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr);
    QByteArray name;
    if (reply && xcb_get_property_value_length(reply) > 0)
        name = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)));
    std::free(reply);
    return name;
}

void iconShown() {
    if (iconMs < 0)
        iconMs = sinceExec.elapsed();
}

std::map<QByteArray, long> readStatus(pid_t pid) {
    std::map<QByteArray, long> values;
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (const int colon = line.indexOf(':'); colon > 0)
                values[line.left(colon)] =
                    line.mid(colon + 1).trimmed().split(' ').value(0).toLong();
    return values;
}

long cpuMs(pid_t pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toLong() + fields.value(12).toLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

long switches(pid_t pid) {
    long total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + QStringLiteral("/status"));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.contains("ctxt_switches:"))
                    total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    }
    return total;
}

// The watcher's signal, received through a slot: QtDBus knows no other way.
class Registered : public QObject {
    Q_OBJECT
public slots:
    void registered(const QString&) { iconShown(); }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int dash = 1;
    while (dash < argc && std::strcmp(argv[dash], "--") != 0)
        ++dash;
    if (dash != 2 || dash + 1 >= argc) {
        std::fprintf(stderr, "usage: start_watch WM_CLASS_INSTANCE -- PROGRAM [ARGS...]\n");
        return 2;
    }
    wantedClass = argv[1];
    x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x))
        return 2;
    watchTree(xcb_setup_roots_iterator(xcb_get_setup(x)).data->root);
    xcb_flush(x);
    QSocketNotifier xEvents(xcb_get_file_descriptor(x), QSocketNotifier::Read);
    QObject::connect(&xEvents, &QSocketNotifier::activated, [] {
        while (xcb_generic_event_t* e = xcb_poll_for_event(x)) {
            const int type = e->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                watchTree(reinterpret_cast<xcb_create_notify_event_t*>(e)->window);
            } else if (type == XCB_MAP_NOTIFY) {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
                const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
                // Docked: mapped inside another window, not as a top level.
                if (map->event != root && instanceOf(map->window) == wantedClass)
                    iconShown();
            }
            std::free(e);
        }
        xcb_flush(x);
    });
    // A StatusNotifierItem is shown once its watcher has it.
    QDBusConnection bus = QDBusConnection::sessionBus();
    Registered registered;
    bus.connect(QString(), QStringLiteral("/StatusNotifierWatcher"),
                QStringLiteral("org.kde.StatusNotifierWatcher"),
                QStringLiteral("StatusNotifierItemRegistered"), &registered,
                SLOT(registered(QString)));

    sinceExec.start();
    if (posix_spawnp(&child, argv[3], nullptr, nullptr, argv + 3, environ) != 0)
        return 2;
    long rss = 0, anon = 0, cpu = 0, switchesAt3 = 0;
    QTimer::singleShot(3000, [&] {
        const auto status = readStatus(child);
        rss = status.count("VmRSS") ? status.at("VmRSS") : -1;
        anon = status.count("RssAnon") ? status.at("RssAnon") : -1;
        cpu = cpuMs(child);
        switchesAt3 = switches(child);
    });
    QTimer::singleShot(13000, [&] {
        std::printf("%lld %ld %ld %ld %ld\n", iconMs, rss, anon, cpu,
                    switches(child) - switchesAt3);
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

#include "start_watch.moc"
