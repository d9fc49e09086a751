#include "session/SingleInstance.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using jotbox::SingleInstance;

namespace {

// A second launch toggling the first and exiting, a run killed before it
// could unlock, the socket's mode and the signals that end a run are the
// end-to-end runs' part.
TEST(SingleInstance, WithNobodyToAnswerASecondLaunchSaysSoWithoutWaitingForEver) {
    QTemporaryDir dir;
    QByteArray answer;
    EXPECT_EQ(SingleInstance(dir.path()).ask("{}", &answer, 300), SingleInstance::Asked::unreached);
}

} // namespace
