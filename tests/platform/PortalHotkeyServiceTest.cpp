// The portal hotkey service against a stand-in GlobalShortcuts portal on a
// private session bus (the test runs under dbus-run-session). The stand-in
// answers each request with its Response signal before the call's reply, as
// the protocol allows, so a client that subscribes only after calling never
// hears back.
#include "platform/PortalHotkeyService.h"
#include "hotkey/FakeHotkeyService.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QTest>

using namespace jotbox;
using jotbox::testing::FakeHotkeyService;

struct Entry {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(Entry)
QDBusArgument& operator<<(QDBusArgument& out, const Entry& e) {
    out.beginStructure();
    out << e.id << e.properties;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, Entry& e) {
    in.beginStructure();
    in >> e.id >> e.properties;
    in.endStructure();
    return in;
}

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

struct Behaviour {
    bool registry = true;
    uint createCode = 0, bindCode = 0;
    bool binds = true;
};

class StandInPortal : public QObject {
public:
    StandInPortal(const Behaviour& b, const QString& connectionName)
        : behaviour(b),
          bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {}
    ~StandInPortal() override {
        bus.unregisterService(kPortal);
        QDBusConnection::disconnectFromBus(bus.name());
    }
    void respond(const QDBusMessage& call, const QString& token, uint code, QVariantMap results) {
        const QString path = QStringLiteral("%1/request/%2/%3")
                                 .arg(kPath, call.service().mid(1).replace('.', '_'), token);
        bus.send(QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"),
                                            QStringLiteral("Response"))
                 << code << results);
    }
    void emitShortcut(const QString& signal, const QString& session, const QString& id) {
        bus.send(QDBusMessage::createSignal(
                     kPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), signal)
                 << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1)
                 << QVariantMap());
    }

    Behaviour behaviour;
    QDBusConnection bus;
    QStringList calls;
    QVariantMap createOptions;
    QList<Entry> bound;
    QString session;
};

class GlobalShortcuts : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
public:
    explicit GlobalShortcuts(StandInPortal* p) : QDBusAbstractAdaptor(p), portal(p) {}
    StandInPortal* portal;
public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& call) {
        portal->calls << QStringLiteral("CreateSession");
        portal->createOptions = options;
        portal->session = QStringLiteral("%1/session/%2/%3")
                              .arg(kPath, call.service().mid(1).replace('.', '_'),
                                   options.value("session_handle_token").toString());
        portal->respond(call, options.value("handle_token").toString(),
                        portal->behaviour.createCode, {{"session_handle", portal->session}});
        return QDBusObjectPath(kPath + "/request/x");
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& session, const QList<Entry>& shortcuts,
                                  const QString&, const QVariantMap& options,
                                  const QDBusMessage& call) {
        portal->calls << QStringLiteral("BindShortcuts");
        portal->bound = shortcuts;
        const bool known = session.path() == portal->session;
        portal->respond(
            call, options.value("handle_token").toString(), portal->behaviour.bindCode,
            {{"shortcuts",
              QVariant::fromValue(portal->behaviour.binds && known ? shortcuts : QList<Entry>())}});
        return QDBusObjectPath(kPath + "/request/y");
    }
};

class Registry : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.host.portal.Registry")
public:
    explicit Registry(StandInPortal* p) : QDBusAbstractAdaptor(p), portal(p) {}
    StandInPortal* portal;
public slots:
    void Register(const QString& appId, const QVariantMap&) {
        portal->calls << QStringLiteral("Register ") + appId;
    }
};

class PortalHotkeyServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "portal_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        qDBusRegisterMetaType<Entry>();
        qDBusRegisterMetaType<QList<Entry>>();
    }

    // Starts the stand-in (none: no portal on the bus) and the service, and
    // registers Ctrl+Alt+N and one other combination.
    void start(std::optional<Behaviour> behaviour) {
        static int n = 0;
        if (behaviour) {
            portal = std::make_unique<StandInPortal>(*behaviour, QString("standin-%1").arg(++n));
            new GlobalShortcuts(portal.get());
            if (behaviour->registry)
                new Registry(portal.get());
            ASSERT_TRUE(portal->bus.registerObject(kPath, portal.get()));
            ASSERT_TRUE(portal->bus.registerService(kPortal));
        }
        service = std::make_unique<PortalHotkeyService>(
            x11, PortalShortcut{45, 2304, "toggle", "Show or hide the panel", "CTRL+ALT+n"},
            "dev.jotbox.Jotbox");
        QObject::connect(service.get(), &PortalHotkeyService::fellBack, [this] { ++fallbacks; });
        EventHandlerRef handler = 0;
        service->installEventHandler(
            [this](EventRef e) {
                kinds.push_back(e->kind);
                return noErr;
            },
            {}, &handler);
        ASSERT_EQ(service->registerEventHotKey(45, 2304, {0x516D7A74, 1}, 0, &toggle), noErr);
        ASSERT_EQ(service->registerEventHotKey(31, 256, {0x516D7A74, 2}, 0, &other), noErr);
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return service->state() != PortalHotkeyService::State::binding; }, 5000));
    }
    // The X11 grabs held for Ctrl+Alt+N.
    long grabsOfToggle() const {
        return std::count_if(
            x11->registrations.begin(), x11->registrations.end(), [this](const auto& r) {
                return r.keyCode == 45 &&
                       std::find(x11->unregistered.begin(), x11->unregistered.end(), r.ref) ==
                           x11->unregistered.end();
            });
    }

    std::shared_ptr<FakeHotkeyService> x11 = std::make_shared<FakeHotkeyService>();
    std::unique_ptr<StandInPortal> portal;
    std::unique_ptr<PortalHotkeyService> service;
    EventHotKeyRef toggle = 0, other = 0;
    int fallbacks = 0;
    std::vector<std::uint32_t> kinds;
};

using State = PortalHotkeyService::State;

// First: the first subscription of a process is where a type unknown so far would bite.
TEST_F(PortalHotkeyServiceTest, ActivationsOfItsOwnSessionAndShortcutArePresses) {
    start(Behaviour{});
    ASSERT_EQ(service->state(), State::bound);
    const QString mine = portal->session;
    portal->emitShortcut("Activated", mine, "toggle");
    portal->emitShortcut("Activated", mine + "x", "toggle");
    portal->emitShortcut("Activated", mine, "other");
    portal->emitShortcut("Deactivated", mine, "toggle");
    ASSERT_TRUE(QTest::qWaitFor([this] { return kinds.size() >= 2; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(kinds, (std::vector<std::uint32_t>{kEventHotKeyPressed, kEventHotKeyReleased}));
    // Paused (unregistered), the shortcut does nothing; registered again, it works again.
    EXPECT_EQ(service->unregisterEventHotKey(toggle), noErr);
    portal->emitShortcut("Activated", mine, "toggle");
    QTest::qWait(100);
    EXPECT_EQ(kinds.size(), 2u);
    ASSERT_EQ(service->registerEventHotKey(45, 2304, {0x516D7A74, 3}, 0, &toggle), noErr);
    portal->emitShortcut("Activated", mine, "toggle");
    EXPECT_TRUE(QTest::qWaitFor([this] { return kinds.size() == 3; }, 5000));
    EXPECT_EQ(grabsOfToggle(), 0);
}

TEST_F(PortalHotkeyServiceTest, BindsThroughThePortalOrLeavesTheShortcutToTheX11Grab) {
    const QString reg = "Register dev.jotbox.Jotbox";
    const struct {
        const char* what;
        std::optional<Behaviour> portal;
        State state;
        QStringList calls;
    } cases[] = {
        {"a portal with the registry",
         Behaviour{},
         State::bound,
         {reg, "CreateSession", "BindShortcuts"}},
        {"an older portal without it",
         Behaviour{false},
         State::bound,
         {"CreateSession", "BindShortcuts"}},
        {"no portal", std::nullopt, State::fallenBack, {}},
        {"CreateSession fails", Behaviour{true, 2}, State::fallenBack, {reg, "CreateSession"}},
        {"the user cancels the binding",
         Behaviour{true, 0, 1},
         State::fallenBack,
         {reg, "CreateSession", "BindShortcuts"}},
        {"nothing is bound",
         Behaviour{true, 0, 0, false},
         State::fallenBack,
         {reg, "CreateSession", "BindShortcuts"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service.reset();
        portal.reset();
        x11 = std::make_shared<FakeHotkeyService>();
        fallbacks = 0;
        start(c.portal);
        EXPECT_EQ(service->state(), c.state);
        EXPECT_EQ(portal ? portal->calls : QStringList(), c.calls);
        // Bound by the portal, Ctrl+Alt+N is never grabbed on X11 too; otherwise the grab has it,
        // taken only after the portal answered, and Jotbox says so once.
        EXPECT_EQ(grabsOfToggle(), c.state == State::bound ? 0 : 1);
        EXPECT_EQ(fallbacks, c.state == State::bound ? 0 : 1);
        // Other combinations always go to the X11 grab.
        EXPECT_EQ(x11->registrations.front().keyCode, 31u);
        if (c.calls.contains("CreateSession")) {
            EXPECT_EQ(portal->createOptions.value("session_handle_token"), "jotbox");
            const auto listed = qdbus_cast<QList<Entry>>(portal->createOptions.value("shortcuts"));
            ASSERT_EQ(listed.size(), 1);
            EXPECT_EQ(listed[0].id, "toggle");
            EXPECT_EQ(listed[0].properties.value("preferred_trigger"), "CTRL+ALT+n");
        }
        if (c.calls.contains("BindShortcuts")) {
            ASSERT_EQ(portal->bound.size(), 1);
            EXPECT_EQ(portal->bound[0].id, "toggle");
        }
    }
}

} // namespace

#include "PortalHotkeyServiceTest.moc"
