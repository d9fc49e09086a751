// Jotbox's entry point: one instance per user, the delegate over the real
// desktop services, and the pending save written however the program ends.
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/HotkeyManager.h"
#include "app/JotboxIcon.h"
#include "app/KeyablePanel.h"
#include "desktop/DesktopSession.h"
#include "hotkey/HotKeysController.h"
#include "session/FreedesktopApplication.h"
#include "session/SingleInstance.h"
#include "session/UnixSignalWatcher.h"
#include "session/X11OutsideClickWatcher.h"
#include "session/X11WindowActivation.h"
#include "shortcuts/PortalHotkeyService.h"
#include "shortcuts/X11HotkeyService.h"
#include "tray/QtTrayIcon.h"
#include "tray/StatusNotifierHostWatcher.h"
#include "tray/X11DesktopBars.h"
#include "tray/X11TrayManagerWatcher.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>
#include <QPixmapCache>
#include <QScreen>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <map>
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
        std::fprintf(
            stderr,
            "Jotbox: this desktop did not bind Ctrl+Alt+N for Jotbox, so it works only "
            "while an X11 window has focus.\nTo show and hide Jotbox from anywhere, bind "
            "a shortcut to the command \"jotbox toggle\" in your desktop's keyboard settings.\n");
    });
    return portal;
}

// What the command line asked, answered where it needs nothing else.
std::optional<int> answerAtOnce(CommandLine& line) {
    switch (line.action) {
    case CommandLine::Action::version:
        std::printf("%s\n", JOTBOX_VERSION);
        return 0;
    case CommandLine::Action::help:
        std::printf("%s", qPrintable(CommandLine::usage(PersistenceManager().filePath())));
        return 0;
    case CommandLine::Action::refuse:
        std::fprintf(stderr, "jotbox: %s\n\n%s", qPrintable(line.error),
                     qPrintable(CommandLine::usage(PersistenceManager().filePath())));
        return 2;
    case CommandLine::Action::refuseText:
        std::fprintf(stderr, "jotbox: %s\n", qPrintable(line.error));
        return 1;
    default:
        break;
    }
    if (line.textFromInput) {
        QFile input;
        (void)input.open(stdin, QIODevice::ReadOnly);
        QString why;
        line.command.text = CommandLine::decodeText(input.readAll(), &why);
        if (!line.command.text) {
            std::fprintf(stderr, "jotbox: %s\n", qPrintable(why));
            return 1;
        }
    }
    return std::nullopt;
}

int report(const Outcome& outcome) {
    std::fwrite(outcome.output.constData(), 1, std::size_t(outcome.output.size()), stdout);
    if (!outcome.error.isEmpty())
        std::fprintf(stderr, "jotbox: %s\n", qPrintable(outcome.error));
    return outcome.exitCode;
}

// The running Jotbox does what was asked, or, with none running, this
// process takes the lock. A Jotbox still starting is waited for.
std::optional<int> askTheRunningOne(SingleInstance& instance, const CommandLine& line,
                                    const ActivationProof& proof) {
    const QByteArray request = encodeRequest(line.command, proof);
    QDeadlineTimer deadline(3000);
    for (;;) {
        QByteArray answer;
        // Started by the bus while another runs: the bus will find that one.
        const auto asked = line.action == CommandLine::Action::startedByBus
                               ? SingleInstance::Asked::unreached
                               : instance.ask(request, &answer, 60'000);
        if (asked == SingleInstance::Asked::answered) {
            if (const auto outcome = decodeOutcome(answer))
                return report(*outcome);
        }
        if (asked != SingleInstance::Asked::unreached)
            return report({1, {}, QStringLiteral("Jotbox is running but did not answer.")});
        if (instance.lock())
            return std::nullopt;
        if (line.action == CommandLine::Action::startedByBus)
            return 0;
        if (deadline.hasExpired())
            return report({1,
                           {},
                           QStringLiteral("Another Jotbox holds %1 but does not answer.")
                               .arg(instance.socketPath())});
        QThread::msleep(50);
    }
}

// Notes captured with no Jotbox running: on the file, with the store's
// own load, merge and save, and no display.
int performOnTheFile(int argc, char** argv, const Command& command) {
    QCoreApplication app(argc, argv);
    NoteStore store(std::make_shared<PersistenceManager>());
    return report(performOnNotes(store, command));
}

// Actions offered over D-Bus, by their names there.
std::optional<Command::Kind> busAction(const QString& name) {
    using Kind = Command::Kind;
    static const std::map<QString, Kind> actions{{QStringLiteral("activate"), Kind::activate},
                                                 {QStringLiteral("toggle"), Kind::toggle},
                                                 {QStringLiteral("show"), Kind::show},
                                                 {QStringLiteral("hide"), Kind::hide},
                                                 {QStringLiteral("new-note"), Kind::newNote}};
    const auto found = actions.find(name);
    return found == actions.end() ? std::nullopt : std::optional(found->second);
}

} // namespace

int main(int argc, char** argv) {
    CommandLine line = CommandLine::parse([&] {
        QList<QByteArray> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QByteArray(argv[i]));
        return arguments;
    }());
    if (const auto answered = answerAtOnce(line))
        return *answered;
    // Used here or passed on, never inherited by what Jotbox starts.
    const ActivationProof proof = ActivationProof::takeFromEnvironment();
    SingleInstance instance;
    if (const auto answered = askTheRunningOne(instance, line, proof))
        return *answered;
    if (line.command.kind == Command::Kind::hide)
        return 0;
    if (line.command.onNotesOnly())
        return performOnTheFile(argc, argv, line.command);
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

    AppServices services;
    services.persistence = std::make_shared<PersistenceManager>();
    services.makeTrayIcon = [] {
        return std::make_unique<QtTrayIcon>(
            StatusNotifierItem::Icon{QStringLiteral(JOTBOX_APP_ID), jotboxIconThemePath(),
                                     jotboxIcon()},
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
    services.screenAt = [](std::optional<QPoint> at, bool onTray) {
        QScreen* screen = at ? QGuiApplication::screenAt(*at) : nullptr;
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return ScreenArea{};
        // The bars as they are now, on this monitor: Qt's work area is read
        // once, and with two monitors not at all.
        const QList<QRect> bars = x11DesktopBars(screen, onTray ? at : std::nullopt);
        return ScreenArea{screen->geometry(), bars.isEmpty() ? screen->availableGeometry()
                                                             : freeArea(screen->geometry(), bars)};
    };
    services.version = QCoreApplication::applicationVersion();
    services.activation = std::make_unique<X11WindowActivation>();
    std::shared_ptr<HotkeyService> hotkeys;
    services.startShortcuts = [&hotkeys] {
        hotkeys = hotkeyService();
        HotKeysController::setService(hotkeys);
    };
    services.shortcutActivation = [&hotkeys] {
        return hotkeys ? ActivationProof{QString::fromStdString(hotkeys->takeActivationToken()), {}}
                       : ActivationProof{};
    };
    AppDelegate delegate(std::move(services));

    FreedesktopApplication bus([&delegate](const QString& action,
                                           const std::optional<QString>& text,
                                           const ActivationProof& proof) -> std::optional<QString> {
        const auto kind = busAction(action);
        if (!kind)
            return QStringLiteral("Jotbox has no action named \"%1\".").arg(action);
        const Outcome outcome = delegate.perform({*kind, text, std::nullopt}, proof);
        return outcome.exitCode == 0 ? std::nullopt : std::optional(outcome.error);
    });
    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&signalWatcher, &UnixSignalWatcher::received, &app,
                     [] { QCoreApplication::quit(); });
    // The desktop session ending: write before the session manager moves on.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate,
                     [&delegate] { delegate.flush(); });

    // Before the loop, as the smallest tray program does it: the icon does
    // not wait behind the loop's first turn (Qt's accessibility bridge asking
    // the bus, 5 ms and more).
    delegate.applicationDidFinishLaunching();
    // A sync engine may change the notes file while Jotbox runs.
    delegate.store().watchFolder();
    // Later launches and the bus are answered once the panel is there.
    instance.listen([&delegate](const QByteArray& request) {
        const auto asked = decodeRequest(request);
        return encodeOutcome(
            asked ? delegate.perform(asked->first, asked->second)
                  : Outcome{2, {}, QStringLiteral("Jotbox did not understand the request.")});
    });
    bus.publish();
    // What this launch itself asked for; a plain start shows nothing.
    if (line.command.kind != Command::Kind::activate)
        (void)delegate.perform(line.command, proof);
    else if (delegate.panel())
        delegate.panel()->complete(proof);
    const int status = QApplication::exec();
    delegate.flush(); // however the loop ended: the menu, a signal, the session
    return status;
}
