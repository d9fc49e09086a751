#pragma once

#include "notes/FileContents.h"
#include "notes/ManualClock.h"
#include "notes/NoteTexts.h"
#include "notes/NotesFile.h"
#include "notes/RecordingFileSystem.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace jotbox::testing {

// A store over a temporary folder, on a clock the test moves. Its save timer
// counts requests; every save rewrites the file whole.
class StoreFixture : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    ManualClock clock;
    std::shared_ptr<RecordingFileSystem> fs = std::make_shared<RecordingFileSystem>();
    std::shared_ptr<PersistenceManager> persistence =
        std::make_shared<PersistenceManager>(tmp.path(), QString(), fs);
    ManualClock::Timer* timer = nullptr; // the save timer, the first the store makes
    std::unique_ptr<NoteStore> store;
    int changes = 0;

    TimerFactory makeTimer() {
        return [this] {
            auto t = clock.makeTimer();
            timer = timer ? timer : t.get();
            return t;
        };
    }
    void start(const QStringList& saved = {}) {
        ASSERT_TRUE(saved.isEmpty() || !persistence->save(notesWith(saved)));
        store.reset();
        timer = nullptr;
        store = std::make_unique<NoteStore>(persistence, makeTimer());
        changes = 0;
        QObject::connect(store.get(), &NoteStore::objectWillChange, [this] { ++changes; });
    }
    QStringList onDisk() const {
        const QByteArray bytes = readAll(persistence->filePath());
        return bytes == "<none>" ? QStringList{"<no file>"}
                                 : textsOf(NotesFile::decode(bytes).value_or(QList<Note>{}));
    }
    QStringList texts() const { return textsOf(store->notes()); }
    void type(const QString& text, bool request = true) { typeInto(*store, text, request); }
};

} // namespace jotbox::testing
