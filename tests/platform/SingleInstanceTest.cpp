#include "platform/SingleInstance.h"
#include "platform/UnixSignalWatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using jotbox::SingleInstance;

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
    QDeadlineTimer deadline(2000);
    while (toggles == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(toggles, 1);
}

TEST(SingleInstance, LockOfACrashedRunDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    // A process that has ended, and the files it left behind.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    QFile lock(dir.filePath("jotbox.lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(child) + "\n" + QCoreApplication::applicationName().toUtf8() +
               "\n" + QHostInfo::localHostName().toUtf8() + "\n");
    lock.close();
    QFile stale(dir.filePath("jotbox.socket"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    SingleInstance next(dir.path());
    EXPECT_TRUE(next.becomePrimary());
    SingleInstance another(dir.path());
    EXPECT_FALSE(another.becomePrimary());
    EXPECT_TRUE(another.askPrimaryToToggle());
}

TEST(UnixSignalWatcher, TermIntAndHupArriveAsQtSignals) {
    jotbox::UnixSignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    QList<int> received;
    QObject::connect(&watcher, &jotbox::UnixSignalWatcher::received, [&](int s) { received << s; });
    for (int s : {SIGHUP, SIGINT, SIGTERM})
        ::raise(s);
    QDeadlineTimer deadline(2000);
    while (received.size() < 3 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(received, (QList<int>{SIGHUP, SIGINT, SIGTERM}));
}

} // namespace
