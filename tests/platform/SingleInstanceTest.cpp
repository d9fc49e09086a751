#include "platform/SingleInstance.h"
#include "platform/UnixSignalWatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using jotbox::SingleInstance;

namespace {

// A second launch toggling the first and exiting, and a run killed before it
// could unlock, are the end-to-end runs' part.
TEST(SingleInstance, WithNobodyToAnswerASecondLaunchSaysSoWithoutWaitingForEver) {
    QTemporaryDir dir;
    EXPECT_FALSE(SingleInstance(dir.path()).askPrimaryToToggle(300));
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
