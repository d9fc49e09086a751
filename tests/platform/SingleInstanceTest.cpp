#include "platform/SingleInstance.h"
#include "platform/UnixSignalWatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using jotbox::SingleInstance;

namespace {

// A run killed before it could unlock is the end-to-end run's case.
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
