#include "tray/TrayHostChoice.h"

namespace jotbox {

TrayHostChoice::TrayHostChoice(std::unique_ptr<TrayHostWatcher> statusNotifierHost,
                               std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent)
    : QObject(parent), m_statusNotifierHost(std::move(statusNotifierHost)),
      m_xembedHost(std::move(xembedHost)) {
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, [this] { choose(); });
    for (TrayHostWatcher* host : {m_statusNotifierHost.get(), m_xembedHost.get()})
        if (host)
            connect(host, &TrayHostWatcher::stateChanged, this, [this] {
                if (m_started && hostReady())
                    choose();
            });
}

bool TrayHostChoice::hostReady() const {
    using State = TrayHostWatcher::State;
    const State sni = m_statusNotifierHost ? m_statusNotifierHost->state() : State::absent;
    const State xembed = m_xembedHost ? m_xembedHost->state() : State::absent;
    // Where a StatusNotifierItem service runs, its host is coming: an XEmbed
    // tray there is most likely the desktop's proxy for old programs.
    return sni == State::present || (sni == State::absent && xembed == State::present);
}

void TrayHostChoice::start() {
    m_started = true;
    if (m_chosen)
        return;
    if (hostReady())
        choose(false); // the watchers asked a moment ago, as they were made
    else if (!m_wait.isActive())
        m_wait.start(kHostWait);
}

void TrayHostChoice::choose(bool askAgain) {
    if (m_chosen)
        return;
    m_chosen = true;
    m_wait.stop();
    // Asked now, and waited for, as Qt asks when it makes an icon: where this
    // finds no host, Qt's icon then takes the XEmbed path too.
    Choice choice;
    choice.statusNotifier = m_statusNotifierHost && (askAgain ? m_statusNotifierHost->stateNow()
                                                              : m_statusNotifierHost->state()) ==
                                                        TrayHostWatcher::State::present;
    choice.clickOpensMenu = choice.statusNotifier && m_statusNotifierHost->hostOpensMenuOnClick();
    // No longer needed; later, since one of them may be what called.
    for (auto* host : {m_statusNotifierHost.release(), m_xembedHost.release()})
        if (host)
            host->deleteLater();
    emit chosen(choice);
}

} // namespace jotbox
