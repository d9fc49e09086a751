#pragma once

#include "notes/NoteStore.h"
#include "platform/LoginItemService.h"
#include "platform/OutsideClickWatcher.h"
#include "platform/TrayIcon.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

namespace jotbox {

class ContentView;
class KeyablePanel;

// What the delegate needs from the desktop; the program passes the real
// services, tests pass fakes.
struct AppServices {
    std::shared_ptr<PersistenceManager> persistence;
    std::unique_ptr<SingleShotTimer> saveTimer; // none: Qt's timer
    std::function<std::unique_ptr<TrayIcon>()> makeTrayIcon;
    std::unique_ptr<OutsideClickWatcher> outsideClickWatcher;
    std::unique_ptr<LoginItemService> loginItem;
    std::function<void(const QUrl&)> openUrl;
    std::function<void()> quit;
    std::function<QRect(QPoint)> availableScreenArea; // of the screen holding a point
    std::function<QPoint()> pointer;
    QString version;
};

// The one application delegate: the store, the tray icon, the panel, the
// menus and the toggle shortcut.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(AppServices services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence, run as the event loop's first callback.
    void applicationDidFinishLaunching();

    void statusItemClicked(TrayIcon::Click click);
    void togglePanel();
    void showPanel();
    void hidePanel();
    void showStatusMenu();
    void setupMainMenu();
    void openWebsite();
    void toggleLaunchAtLogin();
    // Writes a pending save now; called whenever the program ends.
    void flush();

    NoteStore& store() { return *m_store; }
    TrayIcon* statusItem() const { return m_statusItem.get(); }
    KeyablePanel* panel() const { return m_panel.get(); }
    ContentView* contentView() const { return m_contentView; }
    bool hasMonitor() const { return m_monitor; }

private:
    AppServices m_services;
    std::unique_ptr<TrayIcon> m_statusItem;
    std::unique_ptr<KeyablePanel> m_panel;
    std::unique_ptr<NoteStore> m_store;
    bool m_monitor = false;
    ContentView* m_contentView = nullptr;
};

} // namespace jotbox
