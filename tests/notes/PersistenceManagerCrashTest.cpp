// A save killed at any moment leaves "notes.json" holding a whole list, and
// what the killed save was writing is cleared away by the next start.
#include "notes/NotesFile.h"
#include "notes/PersistenceManager.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <iostream>
#include <random>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace jotbox;

namespace {

constexpr int kKills = 500;

// Save number `k`: lists differ in length and size, up to about 1.5 MB, so
// that a save takes long enough for kills to land in every part of it.
QList<Note> listFor(qint64 k) {
    QList<Note> notes;
    const int count = 1 + int(k % 5);
    for (int i = 0; i < count; ++i) {
        const auto size = qsizetype((k * 7919 + i * 104729) % 300'000);
        notes.append(
            Note{QUuid(uint(k), ushort(i), ushort(0x4000), uchar(0x80), 0, 0, 0, 0, 0, 0, 0),
                 QStringLiteral("save %1, note %2: ").arg(k).arg(i) +
                     QString(size, QChar(char16_t(u'a' + (k + i) % 26))),
                 double(k)});
    }
    return notes;
}

// What the child tells the test, one record per write so none is torn.
struct Record {
    char kind; // 'S' a save starts, 'D' it returned without error
    qint64 save;
};

[[noreturn]] void saveForever(const QString& folder, qint64 first, int reports) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    PersistenceManager manager(folder);
    manager.load(); // as Jotbox does at start
    for (qint64 k = first;; ++k) {
        const QList<Note> notes = listFor(k);
        Record record{'S', k};
        (void)!::write(reports, &record, sizeof record);
        if (!manager.save(notes)) {
            record.kind = 'D';
            (void)!::write(reports, &record, sizeof record);
        }
    }
}

QStringList temporaries(const QString& folder) {
    return QDir(folder).entryList({"notes.json.saving-*"}, QDir::Files | QDir::Hidden);
}

TEST(PersistenceManagerCrash, KilledSavesNeverLeaveAPartialFileOrPileUpTemporaries) {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath("Jotbox");
    PersistenceManager seed(folder);
    ASSERT_FALSE(seed.save(listFor(0)));

    // How long one save takes here, to spread the kills over a whole save.
    QElapsedTimer clock;
    clock.start();
    for (qint64 k = 1; k <= 5; ++k)
        ASSERT_FALSE(seed.save(listFor(k)));
    const auto saveTime = std::chrono::nanoseconds(clock.nsecsElapsed() / 5);
    ASSERT_FALSE(seed.save(listFor(0)));

    std::mt19937_64 random(20261206);
    qint64 lastDone = 0; // the newest list known to be complete on disk
    qint64 next = 1;
    int midWrite = 0, afterRename = 0, outsideWrite = 0, mostTemporaries = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipe[0]);
            saveForever(folder, next, pipe[1]);
        }
        ::close(pipe[1]);

        // Let 0 to 2 saves finish, then kill at a random point of the next.
        const int finish = int(random() % 3);
        std::uniform_int_distribution<qint64> at(0, saveTime.count() * 13 / 10);
        qint64 inProgress = -1;
        int finished = 0;
        Record record{};
        while (::read(pipe[0], &record, sizeof record) == sizeof record) {
            if (record.kind == 'D') {
                lastDone = record.save;
                ++finished;
            } else if (finished >= finish) {
                inProgress = record.save;
                std::this_thread::sleep_for(std::chrono::nanoseconds(at(random)));
                break;
            }
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended on its own";
        // Whatever it reported before it died.
        while (::read(pipe[0], &record, sizeof record) == sizeof record) {
            if (record.kind == 'D')
                lastDone = record.save;
            else
                inProgress = record.save;
        }
        ::close(pipe[0]);

        QFile file(folder + "/notes.json");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "kill " << kill;
        const auto onDisk = NotesFile::decode(file.readAll());
        ASSERT_TRUE(onDisk) << "kill " << kill << ": the file is not a whole list";
        const int leftovers = int(temporaries(folder).size());
        mostTemporaries = std::max(mostTemporaries, leftovers);
        // The save it was killed in counts once its rename is done.
        if (*onDisk == listFor(lastDone)) {
            (leftovers > 0 ? midWrite : outsideWrite)++;
        } else {
            ASSERT_EQ(*onDisk, listFor(inProgress))
                << "kill " << kill << ": neither the last saved list nor the one being saved";
            ++afterRename;
            lastDone = inProgress;
        }
        ASSERT_LE(leftovers, 1) << "kill " << kill << ": temporary files pile up";
        next = std::max(lastDone, inProgress) + 1;
    }

    PersistenceManager restarted(folder);
    EXPECT_EQ(restarted.load(), listFor(lastDone));
    EXPECT_TRUE(temporaries(folder).isEmpty());
    std::cout << "[ kills    ] " << kKills << " survived; a save takes " << saveTime.count() / 1000
              << " us; killed before writing " << outsideWrite << ", while writing " << midWrite
              << ", after the rename " << afterRename << "\n";
    // Kills that left a temporary file show they hit the write itself.
    EXPECT_GT(midWrite, 0);
}

} // namespace
