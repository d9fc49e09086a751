#include "platform/SingleInstance.h"
#include "notes/FileContents.h"
#include "platform/UnixSignalWatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using jotbox::SingleInstance;
using jotbox::testing::writeAll;

namespace {

TEST(SingleInstance, ASecondLaunchTogglesTheFirstOrSaysNobodyAnswered) {
    QTemporaryDir dir;
    SingleInstance lone(dir.path());
    EXPECT_FALSE(lone.askPrimaryToToggle(300)); // reported, not waited on for ever
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.becomePrimary());
    int toggles = 0;
    QObject::connect(&first, &SingleInstance::toggleRequested, [&] { ++toggles; });
    SingleInstance second(dir.path());
    EXPECT_FALSE(second.becomePrimary());
    EXPECT_TRUE(second.askPrimaryToToggle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return toggles == 1; }, 2000));
}

TEST(SingleInstance, LockOfACrashedRunDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    // A process that has ended, and the files it left behind.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    writeAll(dir.filePath("jotbox.lock"), QByteArray::number(child) + "\n" +
                                              QCoreApplication::applicationName().toUtf8() + "\n" +
                                              QHostInfo::localHostName().toUtf8() + "\n");
    writeAll(dir.filePath("jotbox.socket"), "");
    SingleInstance next(dir.path()), another(dir.path());
    EXPECT_TRUE(next.becomePrimary());
    EXPECT_FALSE(another.becomePrimary());
    EXPECT_TRUE(another.askPrimaryToToggle());
}

TEST(UnixSignalWatcher, TermIntAndHupArriveAsQtSignals) {
    jotbox::UnixSignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    QList<int> received;
    QObject::connect(&watcher, &jotbox::UnixSignalWatcher::received, [&](int s) { received << s; });
    for (int s : {SIGHUP, SIGINT, SIGTERM})
        ::raise(s);
    (void)QTest::qWaitFor([&] { return received.size() == 3; }, 2000);
    EXPECT_EQ(received, (QList<int>{SIGHUP, SIGINT, SIGTERM}));
}

} // namespace
