#pragma once

#include "tray/StatusMenuPopup.h"
#include "tray/StatusNotifierItem.h"
#include "tray/TrayHostChoice.h"
#include "tray/TrayHostWatcher.h"
#include "tray/TrayIcon.h"
#include "tray/XEmbedIconFitter.h"

#include <chrono>
#include <memory>
#include <utility>

class QSystemTrayIcon;

namespace jotbox {

// The icon: a StatusNotifierItem of Jotbox's own where a host for those is
// there, else an XEmbed one through QSystemTrayIcon, made once the choice of
// tray is made; its clicks passed on, each once.
class QtTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    // Faster than any hand clicks twice: one click reported twice.
    static constexpr std::chrono::milliseconds kRepeatedActivation{40};

    QtTrayIcon(StatusNotifierItem::Icon icon, const QString& toolTip,
               std::unique_ptr<TrayHostWatcher> statusNotifierHost,
               std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void show() override;
    QRect geometry() const override;
    void showMenu(const Menu& menu) override;
    void setMenuSource(std::function<Menu()> source) override;
    bool clickOpensMenu() const override { return m_clickOpensMenu; }
    ActivationProof takeActivation() override { return {std::exchange(m_activationToken, {}), {}}; }

private:
    void makeIcon(TrayHostChoice::Choice choice);
    void primaryClick();

    StatusNotifierItem::Icon m_image;
    QString m_toolTip;
    TrayHostChoice m_hostChoice;
    XEmbedIconFitter m_fitter;
    StatusMenuPopup m_menu;
    bool m_clickOpensMenu = false;
    QSystemTrayIcon* m_icon = nullptr; // the XEmbed one
    std::function<Menu()> m_menuSource;
    std::chrono::steady_clock::time_point m_lastActivation;
    QString m_activationToken;
};

} // namespace jotbox
