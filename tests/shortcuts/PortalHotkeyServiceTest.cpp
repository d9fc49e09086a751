// The portal hotkey service against a stand-in GlobalShortcuts portal on a
// private session bus (the test runs under dbus-run-session). The stand-in
// answers each request with its Response signal before the call's reply, as
// the protocol allows, so a client that subscribes only after calling never
// hears back.
#include "shortcuts/PortalHotkeyService.h"
#include "hotkey/FakeHotkeyService.h"
#include "shortcuts/PortalShortcutEntry.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QTest>

using namespace jotbox;
using jotbox::testing::FakeHotkeyService;

namespace {

const QString kPortal = "org.freedesktop.portal.Desktop", kPath = "/org/freedesktop/portal/desktop";

class StandInPortal : public QDBusVirtualObject {
public:
    // What goes wrong, if anything: textCode and otherList are answers no portal
    // gives; late binds only when the test says, as a person reading the dialog.
    enum class Odd {
        no,
        noRegistry,
        createFails,
        createError,
        cancel,
        unbound,
        silent,
        textCode,
        otherList,
        late
    };
    std::function<void()> held; // the late binding's answer
    Odd odd = Odd::no;
    QStringList calls; // each call, with the shortcuts it names
    QString session;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "standin");

    ~StandInPortal() override { QDBusConnection::disconnectFromBus("standin"); }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection&) override {
        const QVariantList args = call.arguments();
        const QString sender = call.service().mid(1).replace('.', '_');
        const auto respond = [&](const QVariantMap& options, bool fails,
                                 const QVariantMap& results) {
            const QDBusMessage response =
                QDBusMessage::createSignal(
                    QString("%1/request/%2/%3")
                        .arg(kPath, sender, options.value("handle_token").toString()),
                    "org.freedesktop.portal.Request", "Response")
                << (odd == Odd::textCode ? QVariant("0") : QVariant(fails ? 1u : 0u)) << results;
            if (odd == Odd::late && call.member() == "BindShortcuts")
                held = [this, response] { bus.send(response); };
            else if (odd != Odd::silent)
                bus.send(response);
            bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(kPath + "/request/x"))));
        };
        if (call.member() == "Register" && odd != Odd::noRegistry) {
            calls << "Register " + args.value(0).toString();
            bus.send(call.createReply());
        } else if (call.member() == "CreateSession") {
            const auto options = qdbus_cast<QVariantMap>(args.value(0));
            session = QString("%1/session/%2/%3")
                          .arg(kPath, sender, options.value("session_handle_token").toString());
            calls << "CreateSession " + session.section('/', -1);
            if (odd == Odd::createError)
                return bus.send(call.createErrorReply(QDBusError::AccessDenied, "not here"));
            respond(options, odd == Odd::createFails, {{"session_handle", session}});
        } else if (call.member() == "BindShortcuts") {
            // What the desktop shows and binds is the real portal's run.
            const auto shortcuts = qdbus_cast<QList<PortalShortcutEntry>>(args.value(1));
            calls << "BindShortcuts " + shortcuts.value(0).id;
            const bool known = args.value(0).value<QDBusObjectPath>().path() == session;
            const QVariant bound = odd == Odd::otherList ? QVariant(QStringList{"toggle"})
                                   : odd != Odd::unbound && known
                                       ? args.value(1)
                                       : QVariant::fromValue(QList<PortalShortcutEntry>());
            respond(qdbus_cast<QVariantMap>(args.value(3)), odd == Odd::cancel,
                    {{"shortcuts", bound}});
        } else {
            return false; // the bus answers: unknown method
        }
        return true;
    }
    void closeSession() {
        bus.send(QDBusMessage::createSignal(session, "org.freedesktop.portal.Session", "Closed")
                 << QVariantMap());
    }
    void emitShortcut(const QString& signal, const QString& session, const QString& id = "toggle",
                      const QVariantMap& options = {}) {
        bus.send(QDBusMessage::createSignal(kPath, "org.freedesktop.portal.GlobalShortcuts", signal)
                 << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1)
                 << options);
    }
};

class PortalHotkeyServiceTest : public ::testing::Test {
protected:
    // Starts the stand-in (unless there is to be no portal) and the service,
    // and registers Ctrl+Alt+N and one other combination. Only a portal that
    // never answers should meet the service's time bound.
    void start(bool withPortal = true, std::chrono::milliseconds bound = std::chrono::seconds(60)) {
        ASSERT_TRUE(!withPortal || (portal->bus.registerVirtualObject(kPath, &*portal) &&
                                    portal->bus.registerService(kPortal)));
        service = std::make_unique<PortalHotkeyService>(
            x11, PortalShortcut{45, 2304, "toggle", "Show or hide the panel", "CTRL+ALT+n"},
            "dev.jotbox.Jotbox", QString(), bound);
        QObject::connect(service.get(), &PortalHotkeyService::fellBack, [this] { ++fallbacks; });
        EventHandlerRef handler = 0;
        service->installEventHandler(
            [this](EventRef e) {
                kinds.push_back(e->kind);
                tokens.push_back(service->takeActivationToken());
                return noErr;
            },
            {}, &handler);
        ASSERT_EQ(service->registerEventHotKey(45, 2304, {0x516D7A74, 1}, 0, &toggle), noErr);
        ASSERT_EQ(service->registerEventHotKey(31, 256, {0x516D7A74, 2}, 0, &other), noErr);
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return service->state() != PortalHotkeyService::State::binding; }, 5000));
    }
    // X11 grabs of Ctrl+Alt+N still held.
    long grabsOfToggle() const {
        return std::count_if(x11->registrations.begin(), x11->registrations.end(), [this](auto r) {
            return r.keyCode == 45 &&
                   std::count(x11->unregistered.begin(), x11->unregistered.end(), r.ref) == 0;
        });
    }

    std::shared_ptr<FakeHotkeyService> x11 = std::make_shared<FakeHotkeyService>();
    std::optional<StandInPortal> portal{std::in_place};
    std::unique_ptr<PortalHotkeyService> service;
    EventHotKeyRef toggle = 0, other = 0;
    int fallbacks = 0;
    std::vector<std::uint32_t> kinds;
    std::vector<std::string> tokens; // taken as each event came
};

using State = PortalHotkeyService::State;

// First: the first subscription of a process is where a type unknown so far would bite.
TEST_F(PortalHotkeyServiceTest, ActivationsOfItsOwnSessionAndShortcutArePresses) {
    start();
    ASSERT_EQ(service->state(), State::bound);
    const QString mine = portal->session;
    // The activation token comes with a press, for that press only; one of
    // another type is none.
    portal->emitShortcut("Activated", mine, "toggle", {{"activation_token", "press-1"}});
    portal->emitShortcut("Activated", mine + "x");
    portal->emitShortcut("Activated", mine, "other");
    portal->emitShortcut("Deactivated", mine); // signals come in order: this one comes last
    portal->emitShortcut("Activated", mine, "toggle", {{"activation_token", 7}});
    ASSERT_TRUE(QTest::qWaitFor([this] { return kinds.size() >= 3; }, 5000));
    EXPECT_EQ(kinds, (std::vector<std::uint32_t>{kEventHotKeyPressed, kEventHotKeyReleased,
                                                 kEventHotKeyPressed}));
    EXPECT_EQ(tokens, (std::vector<std::string>{"press-1", "", ""}));
    EXPECT_EQ(grabsOfToggle(), 0);
    // The desktop ends the session: a new one is bound; when that fails, the grab has it.
    portal->calls.clear();
    portal->closeSession();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return portal->calls.size() == 2 && service->state() == State::bound; }, 5000));
    portal->odd = StandInPortal::Odd::createFails;
    portal->closeSession();
    ASSERT_TRUE(QTest::qWaitFor([this] { return service->state() == State::fallenBack; }, 5000));
    EXPECT_EQ(grabsOfToggle(), 1);
}

TEST_F(PortalHotkeyServiceTest, BindsThroughThePortalOrLeavesTheShortcutToTheX11Grab) {
    const QString reg = "Register dev.jotbox.Jotbox", create = "CreateSession jotbox",
                  bind = "BindShortcuts toggle";
    using Odd = StandInPortal::Odd;
    const struct {
        const char* what;
        Odd odd;
        QStringList calls;
        bool portal = true;
    } cases[] = {
        // clang-format off
        {"a portal with the registry", Odd::no, {reg, create, bind}},
        {"an older portal without it", Odd::noRegistry, {create, bind}},
        {"no portal", Odd::no, {}, false},
        {"CreateSession fails", Odd::createFails, {reg, create}},
        {"CreateSession is refused with an error", Odd::createError, {reg, create}},
        {"the user cancels the binding", Odd::cancel, {reg, create, bind}},
        {"nothing is bound", Odd::unbound, {reg, create, bind}},
        {"no answer, ever", Odd::silent, {reg, create}},
        {"a code that is text", Odd::textCode, {reg, create}},
        {"a list of other types", Odd::otherList, {reg, create, bind}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service.reset();
        portal.emplace();
        portal->odd = c.odd;
        x11 = std::make_shared<FakeHotkeyService>();
        fallbacks = 0;
        start(c.portal, c.odd == Odd::silent ? std::chrono::milliseconds(300)
                                             : std::chrono::milliseconds(60'000));
        const bool bound = c.portal && (c.odd == Odd::no || c.odd == Odd::noRegistry);
        EXPECT_EQ(service->state(), bound ? State::bound : State::fallenBack);
        // The fixed session token, and the shortcut.
        EXPECT_EQ(portal->calls, c.calls);
        // Bound by the portal, Ctrl+Alt+N is never grabbed on X11 too; otherwise the grab
        // has it, taken only after the portal answered, and Jotbox says so once.
        EXPECT_EQ(std::pair(grabsOfToggle(), fallbacks),
                  bound ? std::pair(0L, 0) : std::pair(1L, 1));
        EXPECT_EQ(x11->registrations.front().keyCode, 31u); // other combinations: the X11 grab
    }
}

// A person takes longer over the binding dialog than Jotbox waits: the grab
// stands in meanwhile, and the binding, once given, takes over from it.
TEST_F(PortalHotkeyServiceTest, ABindingGivenAfterTheWaitTakesOverFromTheGrab) {
    portal->odd = StandInPortal::Odd::late;
    start(true, std::chrono::milliseconds(300));
    ASSERT_EQ(std::pair(service->state(), grabsOfToggle()), std::pair(State::fallenBack, 1L));
    ASSERT_TRUE(portal->held);
    portal->held();
    ASSERT_TRUE(QTest::qWaitFor([this] { return service->state() == State::bound; }, 5000));
    EXPECT_EQ(grabsOfToggle(), 0);
    portal->emitShortcut("Activated", portal->session);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !kinds.empty(); }, 5000));
    EXPECT_EQ(kinds, std::vector<std::uint32_t>{kEventHotKeyPressed});
}

} // namespace
