#include "session/SingleInstance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <future>

using jotbox::SingleInstance;

namespace {

// A second launch toggling the first and exiting, a run killed before it
// could unlock, the socket's mode, hostile callers and the signals that end
// a run are the end-to-end runs' part. Here: an answer far larger than the
// socket's buffer arrives whole, and nobody listening is said at once.
TEST(SingleInstance, AnswersArriveWholeAndNobodyListeningIsSaidAtOnce) {
    QTemporaryDir dir;
    QByteArray answer;
    EXPECT_EQ(SingleInstance(dir.path()).ask("{}", &answer, 300), SingleInstance::Asked::unreached);

    auto running = std::make_unique<SingleInstance>(dir.path());
    ASSERT_TRUE(running->lock());
    running->listen([](const QByteArray& line) { return line.repeated(4 << 20); });
    auto asked = std::async(std::launch::async,
                            [&] { return SingleInstance(dir.path()).ask("ab", &answer, 30'000); });
    while (asked.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    EXPECT_EQ(asked.get(), SingleInstance::Asked::answered);
    EXPECT_EQ(answer.size(), 8 << 20);
    EXPECT_TRUE(answer.startsWith("abab") && answer.endsWith("abab"));
}

} // namespace
