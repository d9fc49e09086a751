#pragma once

#include "app/Command.h"
#include "app/PanelPlacement.h"
#include "session/LoginItemService.h"
#include "session/OutsideClickWatcher.h"
#include "session/WindowActivation.h"
#include "store/NoteStore.h"
#include "tray/TrayIcon.h"

#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace jotbox {

class ContentView;
class KeyablePanel;

// What the delegate needs from the desktop; the program passes the real
// services, tests pass fakes.
struct AppServices {
    std::shared_ptr<PersistenceManager> persistence;
    TimerFactory makeTimer; // none: Qt's timers
    std::function<std::unique_ptr<TrayIcon>()> makeTrayIcon;
    std::unique_ptr<OutsideClickWatcher> outsideClickWatcher;
    std::unique_ptr<LoginItemService> loginItem;
    std::function<void(const QUrl&)> openUrl;
    std::function<void()> quit;
    // The screen holding a point, or the pointer's (the primary) when none;
    // `onTray`: the point is on the tray's bar (the icon, a click on it).
    std::function<ScreenArea(std::optional<QPoint> at, bool onTray)> screenAt;
    // None where the X server cannot see it (over a Wayland session's own windows).
    std::function<std::optional<QPoint>()> pointer;
    std::function<std::chrono::milliseconds()> now; // a monotonic clock
    QString version;
    // Hands the panel the focus with the proof a request came with; none: Qt's own request.
    std::unique_ptr<WindowActivation> activation;
    // The proof that came with the last press of the shortcut, taken once.
    std::function<ActivationProof()> shortcutActivation;
    // Sets up the shortcut's back end, once the tray icon is shown; none: already done.
    std::function<void()> startShortcuts;
};

// The one application delegate: the store, the tray icon, the panel, the
// menus and the toggle shortcut.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // A press outside that hid the panel, followed this soon by an icon
    // click where it was pressed, was that click.
    static constexpr std::chrono::milliseconds kSameClickWindow{700};
    static constexpr int kSameClickSlop = 8;

    explicit AppDelegate(AppServices services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence: the tray icon first, then the notes, read from
    // disk only once the icon is shown, and the hidden panel.
    void applicationDidFinishLaunching();

    void statusItemClicked(TrayIcon::Click click);
    void togglePanel(const ActivationProof& proof = {});
    void showPanel(const ActivationProof& proof = {});
    void hidePanel();
    // Carries out a request from the command line or the bus; new notes
    // and appended text are on disk when it returns success.
    Outcome perform(const Command& command, const ActivationProof& proof);
    void showStatusMenu();
    // The status menu as it reads now: the login item's state is read afresh.
    Menu statusMenu();
    void setupMainMenu();
    void openWebsite();
    void toggleLaunchAtLogin();
    // Writes a pending save now; called whenever the program ends.
    void flush();

    NoteStore& store() { return *m_store; } // once launched
    TrayIcon* statusItem() const { return m_statusItem.get(); }
    KeyablePanel* panel() const { return m_panel.get(); }
    ContentView* contentView() const { return m_contentView; }
    bool hasMonitor() const { return m_monitor; }

private:
    struct OutsideHide {
        std::chrono::milliseconds at;
        std::optional<QPoint> pointer;
    };
    std::optional<QPoint> pointer() const;
    std::chrono::milliseconds now() const;
    bool isClickThatHid(std::optional<QPoint> click) const;

    AppServices m_services;
    std::unique_ptr<TrayIcon> m_statusItem;
    std::unique_ptr<KeyablePanel> m_panel;
    std::unique_ptr<NoteStore> m_store;
    bool m_monitor = false;
    ContentView* m_contentView = nullptr;
    // Where the tray reports no icon geometry: the last click on the icon,
    // which stands for its place, and the last hiding by a press outside.
    std::optional<QPoint> m_iconClick;
    std::optional<OutsideHide> m_outsideHide;
};

} // namespace jotbox
