// Jotbox's entry point: one instance per user, the delegate over the real
// desktop services, and the pending save written however the program ends.
#include "app/AppDelegate.h"
#include "app/HotkeyManager.h"
#include "app/JotboxIcon.h"
#include "hotkey/HotKeysController.h"
#include "platform/DesktopSession.h"
#include "platform/PortalHotkeyService.h"
#include "platform/QtTrayIcon.h"
#include "platform/SingleInstance.h"
#include "platform/StatusNotifierHostWatcher.h"
#include "platform/UnixSignalWatcher.h"
#include "platform/X11HotkeyService.h"
#include "platform/X11OutsideClickWatcher.h"
#include "platform/X11TrayManagerWatcher.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QPixmapCache>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <optional>

using namespace jotbox;

namespace {

// Jotbox places its panel and grabs its shortcut through X11; on Wayland it
// runs through XWayland, even where the session asks Qt apps for Wayland.
// Headless platforms (offscreen, minimal) are left alone.
bool chooseDisplay() {
    const QByteArray asked = qgetenv("QT_QPA_PLATFORM");
    if (!asked.isEmpty() && !asked.startsWith("wayland") && !asked.startsWith("xcb"))
        return true;
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    std::fprintf(stderr, qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                             ? "Jotbox needs a graphical desktop session: DISPLAY is not set.\n"
                               "Start it from your desktop, or set DISPLAY to a running X server.\n"
                             : "Jotbox needs XWayland: this Wayland session offers no X11 display "
                               "(DISPLAY is not set).\n");
    return false;
}

// The X11 grab sees keys only while an X11 window has focus: in a Wayland
// session the shortcut goes through the desktop's portal where it has one.
std::shared_ptr<HotkeyService> hotkeyService() {
    auto x11 = std::make_shared<X11HotkeyService>();
    if (!isWaylandSession())
        return x11;
    const KeyCombo toggle = HotkeyManager::toggleCombo();
    auto portal = std::make_shared<PortalHotkeyService>(
        x11,
        PortalShortcut{toggle.carbonKeyCode, toggle.carbonModifiers, QStringLiteral("toggle"),
                       QStringLiteral("Show or hide the Jotbox panel"),
                       QStringLiteral("CTRL+ALT+n")},
        QStringLiteral(JOTBOX_APP_ID));
    QObject::connect(portal.get(), &PortalHotkeyService::fellBack, [] {
        std::fprintf(stderr,
                     "Jotbox: this desktop did not bind Ctrl+Alt+N for Jotbox, so it works only "
                     "while an X11 window has focus.\nTo show and hide Jotbox from anywhere, bind "
                     "a shortcut to the command \"jotbox\" in your desktop's keyboard settings.\n");
    });
    return portal;
}

// --version and --help answer without a display; anything else is Qt's.
std::optional<int> answerOptions(int argc, char** argv) {
    const QByteArray option = argc == 2 ? QByteArray(argv[1]) : QByteArray();
    if (option == "--version") {
        std::printf("%s\n", JOTBOX_VERSION);
        return 0;
    }
    if (option != "--help" && option != "-h")
        return std::nullopt;
    std::printf("Usage: jotbox [--help | --version]\n"
                "Plain-text notes in the tray, one shortcut away.\n\n"
                "  Ctrl+Alt+N or a click on the tray icon shows and hides the notes panel.\n"
                "  Running jotbox while it runs shows or hides the running one's panel.\n"
                "  Notes are saved to %s\n",
                qPrintable(PersistenceManager().filePath()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto answered = answerOptions(argc, argv))
        return *answered;
    if (!chooseDisplay())
        return 1;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Jotbox"));
    QApplication::setApplicationVersion(QStringLiteral(JOTBOX_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(JOTBOX_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's pixmap cache sweeps itself every 30 s while it holds anything,
    // waking an idle Jotbox; its few small pixmaps are cheap to redraw.
    QPixmapCache::setCacheLimit(0);
    QApplication::setWindowIcon(jotboxIcon());

    SingleInstance instance;
    if (!instance.becomePrimary())
        return instance.askPrimaryToToggle() ? 0 : 1;

    HotKeysController::setService(hotkeyService());

    AppServices services;
    services.persistence = std::make_shared<PersistenceManager>();
    services.makeTrayIcon = [] {
        return std::make_unique<QtTrayIcon>(
            StatusNotifierItem::Icon{QStringLiteral(JOTBOX_APP_ID), jotboxIconThemePath(),
                                     jotboxThemeIcon()},
            QStringLiteral("Jotbox"), std::make_unique<StatusNotifierHostWatcher>(),
            std::make_unique<X11TrayManagerWatcher>());
    };
    services.outsideClickWatcher = std::make_unique<X11OutsideClickWatcher>();
    services.loginItem = std::make_unique<XdgAutostartLoginItem>();
    services.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    services.quit = [] { QCoreApplication::quit(); };
    const bool wayland = isWaylandSession();
    services.pointer = [wayland]() -> std::optional<QPoint> {
        if (wayland)
            return std::nullopt;
        return QCursor::pos();
    };
    services.screenAt = [](std::optional<QPoint> at) {
        QScreen* screen = at ? QGuiApplication::screenAt(*at) : nullptr;
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        return screen ? ScreenArea{screen->geometry(), screen->availableGeometry()} : ScreenArea{};
    };
    services.version = QCoreApplication::applicationVersion();
    AppDelegate delegate(std::move(services));
    // A sync engine may change the notes file while Jotbox runs.
    delegate.store().watchFolder();

    QObject::connect(&instance, &SingleInstance::toggleRequested, &delegate,
                     &AppDelegate::togglePanel);
    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&signalWatcher, &UnixSignalWatcher::received, &app,
                     [] { QCoreApplication::quit(); });
    // The desktop session ending: write before the session manager moves on.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate,
                     [&delegate] { delegate.flush(); });

    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    const int status = QApplication::exec();
    delegate.flush(); // however the loop ended: the menu, a signal, the session
    return status;
}
