#include "app/Command.h"
#include "notes/FileContents.h"
#include "store/NoteStore.h"
#include "notes/RecordingFileSystem.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace jotbox;
using namespace jotbox::testing;

namespace {

// A script goes on once jotbox says a capture is saved: success only once it
// is on disk. A save that failed is kept and written with the next one.
TEST(CommandTest, ACaptureSucceedsOnlyOnceItIsOnDisk) {
    QTemporaryDir tmp;
    auto fs = std::make_shared<RecordingFileSystem>();
    auto persistence = std::make_shared<PersistenceManager>(tmp.path(), QString(), fs);
    NoteStore store(persistence);
    fs->failOn = "write", fs->failError = ENOSPC, fs->failTimes = 100;
    const Outcome refused = performOnNotes(store, {Command::Kind::newNote, "kept", {}});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.error.contains(persistence->filePath())) << refused.error.toStdString();
    fs->failOn.clear();
    EXPECT_EQ(performOnNotes(store, {Command::Kind::append, "more", {}}).exitCode, 0);
    EXPECT_TRUE(readAll(persistence->filePath()).contains("\"more\"") &&
                readAll(persistence->filePath()).contains("\"kept\""));
    EXPECT_EQ(performOnNotes(store, {Command::Kind::print, {}, 3}).exitCode, 1); // two notes
}

} // namespace
