#include "app/AppDelegate.h"

#include "app/AppMenus.h"
#include "app/HotkeyManager.h"
#include "app/JotboxIcon.h"
#include "app/KeyablePanel.h"
#include "app/PanelPlacement.h"
#include "tray/QtMenu.h"
#include "views/ContentView.h"
#include "views/NoteEditorView.h"

#include <QPlainTextEdit>
#include <QPointer>

namespace jotbox {

AppDelegate::AppDelegate(AppServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)) {}

AppDelegate::~AppDelegate() {
    if (m_services.outsideClickWatcher)
        m_services.outsideClickWatcher->stop();
    m_panel.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    // 1. No taskbar entry: the panel is a tool window and nothing else is shown.
    // 2-3. The tray icon and its click routing.
    m_statusItem = m_services.makeTrayIcon();
    connect(m_statusItem.get(), &TrayIcon::clicked, this, &AppDelegate::statusItemClicked);
    QPointer<AppDelegate> weak(this);
    m_statusItem->setMenuSource([weak] { return weak ? weak->statusMenu() : Menu{}; });
    m_statusItem->show();
    // 4-5. The content view in the hidden panel.
    m_store = std::make_unique<NoteStore>(m_services.persistence, m_services.makeTimer);
    m_contentView = new ContentView(m_store.get());
    m_contentView->setFixedSize(KeyablePanel::kSize);
    m_panel = std::make_unique<KeyablePanel>(m_contentView, m_services.activation.get());
    m_panel->setFocusProxy(m_contentView->editor());
    // Its own window's icon only: drawn once that window is made, at first
    // show; the tray icon's window needs none.
    m_panel->setWindowIcon(jotboxIcon());
    // Escape puts the panel away, as a click elsewhere does.
    connect(m_contentView, &ContentView::dismissRequested, this, &AppDelegate::hidePanel);
    // 6. The Edit shortcuts.
    setupMainMenu();
    // 7. The toggle shortcut.
    if (m_services.startShortcuts)
        m_services.startShortcuts();
    HotkeyManager::shared().onToggle = [weak] {
        if (weak)
            weak->togglePanel(weak->m_services.shortcutActivation
                                  ? weak->m_services.shortcutActivation()
                                  : ActivationProof{});
    };
}

std::optional<QPoint> AppDelegate::pointer() const {
    return m_services.pointer ? m_services.pointer() : std::nullopt;
}

std::chrono::milliseconds AppDelegate::now() const {
    return m_services.now ? m_services.now()
                          : std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now().time_since_epoch());
}

void AppDelegate::statusItemClicked(TrayIcon::Click click) {
    // Where the tray does not tell the icon's place, the pointer at a click
    // on it stands for that place...
    const bool placeUnknown = m_statusItem && m_statusItem->geometry().isEmpty();
    const std::optional<QPoint> at = placeUnknown ? pointer() : std::nullopt;
    if (at)
        m_iconClick = at;
    if (click == TrayIcon::Click::secondary) {
        showStatusMenu();
        return;
    }
    // ...and a press on it looks like a press outside, so the panel may
    // already be hidden by this very click.
    const bool alreadyHidden = placeUnknown && isClickThatHid(at);
    m_outsideHide.reset();
    const ActivationProof proof = m_statusItem->takeActivation();
    if (!alreadyHidden)
        togglePanel(proof);
}

bool AppDelegate::isClickThatHid(std::optional<QPoint> click) const {
    if (!m_outsideHide || now() - m_outsideHide->at > kSameClickWindow)
        return false;
    return !click || !m_outsideHide->pointer ||
           (*click - *m_outsideHide->pointer).manhattanLength() <= kSameClickSlop;
}

void AppDelegate::togglePanel(const ActivationProof& proof) {
    if (!m_panel)
        return;
    if (m_panel->isVisible()) {
        hidePanel();
        m_panel->complete(proof);
    } else {
        showPanel(proof);
    }
}

Outcome AppDelegate::perform(const Command& command, const ActivationProof& proof) {
    if (!m_panel)
        return {1, {}, QStringLiteral("Jotbox is still starting.")};
    using Kind = Command::Kind;
    switch (command.kind) {
    case Kind::activate:
    case Kind::toggle:
        togglePanel(proof);
        return {};
    case Kind::newNote:
        if (command.text)
            break;
        m_store->addTab();
        [[fallthrough]];
    case Kind::show:
        showPanel(proof);
        return {};
    case Kind::hide:
        hidePanel();
        break;
    default:
        break;
    }
    m_panel->complete(proof);
    return command.onNotesOnly() ? performOnNotes(*m_store, command) : Outcome{};
}

void AppDelegate::showPanel(const ActivationProof& proof) {
    if (!m_statusItem)
        return;
    if (m_panel->isVisible()) { // asked again: only the focus comes back
        m_panel->present(m_panel->pos(), proof);
        return;
    }
    const QRect icon = m_statusItem->geometry();
    const std::optional<QPoint> click = icon.isEmpty() ? m_iconClick : std::nullopt;
    const std::optional<QPoint> anchor = !icon.isEmpty() ? icon.center()
                                         : click         ? click
                                                         : pointer();
    const ScreenArea screen =
        m_services.screenAt ? m_services.screenAt(anchor, !icon.isEmpty() || click) : ScreenArea{};
    m_panel->present(panelOrigin(icon, KeyablePanel::kSize, screen, click), proof);
    m_outsideHide.reset();

    QPointer<AppDelegate> weak(this);
    QPointer<TrayIcon> tray(m_statusItem.get());
    m_monitor = m_services.outsideClickWatcher &&
                m_services.outsideClickWatcher->start(
                    [weak] {
                        if (!weak || !weak->m_panel->isVisible())
                            return;
                        weak->m_outsideHide = OutsideHide{weak->now(), weak->pointer()};
                        weak->hidePanel();
                    },
                    // A press on the icon is the icon's to handle: it hides the
                    // panel through its own click, exactly once.
                    [tray](QPoint global) { return tray && tray->geometry().contains(global); });
}

void AppDelegate::hidePanel() {
    m_panel->hide();
    if (m_monitor) {
        m_services.outsideClickWatcher->stop();
        m_monitor = false;
    }
}

void AppDelegate::showStatusMenu() {
    if (m_statusItem)
        m_statusItem->showMenu(statusMenu());
}

Menu AppDelegate::statusMenu() {
    const bool enabled =
        m_services.loginItem && m_services.loginItem->status() == LoginItemService::enabled;
    QPointer<AppDelegate> weak(this);
    Menu menu = makeStatusMenu(m_services.version, enabled,
                               {[weak] {
                                    if (weak)
                                        weak->openWebsite();
                                },
                                [weak] {
                                    if (weak)
                                        weak->toggleLaunchAtLogin();
                                },
                                [weak] {
                                    if (weak && weak->m_services.quit)
                                        weak->m_services.quit();
                                }});
    // Where a click opens this menu, its first entry is the way to the panel.
    if (m_statusItem && m_statusItem->clickOpensMenu())
        menu.itemArray = QList<MenuItem>{makeOpenItem([weak] {
                                             if (weak)
                                                 weak->showPanel();
                                         }),
                                         MenuItem::separator()} +
                         menu.itemArray;
    return menu;
}

void AppDelegate::setupMainMenu() {
    QPointer<AppDelegate> weak(this);
    auto onEditor = [weak](void (QPlainTextEdit::*command)()) {
        return [weak, command] {
            if (weak && weak->m_contentView)
                (weak->m_contentView->editor()->textView()->*command)();
        };
    };
    const auto menu =
        makeMainMenu({onEditor(&QPlainTextEdit::undo), onEditor(&QPlainTextEdit::redo),
                      onEditor(&QPlainTextEdit::cut), onEditor(&QPlainTextEdit::copy),
                      onEditor(&QPlainTextEdit::paste), onEditor(&QPlainTextEdit::selectAll)});
    MainMenu::set(menu);
    if (m_panel)
        installShortcuts(m_panel.get(), *menu);
}

void AppDelegate::openWebsite() {
    const QUrl url(QString::fromLatin1(kWebsite));
    if (url.isValid() && m_services.openUrl)
        m_services.openUrl(url);
}

void AppDelegate::toggleLaunchAtLogin() {
    LoginItemService* item = m_services.loginItem.get();
    if (!item)
        return;
    // A failure is dropped: the menu shows the real state next time it opens.
    if (item->status() == LoginItemService::enabled)
        (void)item->unregisterItem();
    else
        (void)item->registerItem();
}

void AppDelegate::flush() {
    if (m_store)
        m_store->flush();
}

} // namespace jotbox
