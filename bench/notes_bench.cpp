// Prints the cost of saving and loading the notes file against plain file I/O
// of the same bytes, Qt's own JSON classes side by side, and the caption cost.
#include "BenchUtil.h"
#include "store/NoteStore.h"
#include "notes/NotesFile.h"
#include "sync/NotesLedger.h"
#include "sync/NotesMerge.h"
#include "sync/NotesSync.h"
#include "notes/PersistenceManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

using namespace jotbox;
using jotbox::bench::medianMs;

namespace {

void plainWrite(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || ::fsync(f.handle()) != 0)
        std::abort();
}

QByteArray plainRead(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<Note> qtDecode(const QByteArray& bytes) {
    QList<Note> notes;
    for (const QJsonValue& v : QJsonDocument::fromJson(bytes).array()) {
        const QJsonObject o = v.toObject();
        notes.append(Note{QUuid::fromString(o.value(u"id").toString()),
                          o.value(u"content").toString(), o.value(u"createdAt").toDouble()});
    }
    return notes;
}

QByteArray qtEncode(const QList<Note>& notes) {
    QJsonArray array;
    for (const Note& n : notes)
        array.append(QJsonObject{{"id", n.id.toString(QUuid::WithoutBraces).toUpper()},
                                 {"content", n.content},
                                 {"createdAt", n.createdAt}});
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

// Median time of `f` run once in each of `runs` fresh child processes: what
// Jotbox pays for its one load at start, with no memory warmed up before it.
template <typename F> double medianInFreshProcessMs(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        int fds[2];
        if (::pipe(fds) != 0)
            std::abort();
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            const double ms = medianMs(1, f);
            [[maybe_unused]] const ssize_t n = ::write(fds[1], &ms, sizeof ms);
            ::_exit(0);
        }
        ::close(fds[1]);
        double ms = 0;
        if (::read(fds[0], &ms, sizeof ms) == sizeof ms)
            times.push_back(ms);
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void measure(const char* name, const QList<Note>& notes, int runs) {
    QTemporaryDir dir;
    PersistenceManager manager(dir.path());
    const QByteArray bytes = *NotesFile::encode(notes);
    const QString plainPath = dir.filePath("plain.json");

    // Each save changes a note: a save of the same list again writes nothing.
    QList<Note> changing = notes;
    int saves = 0;
    const double save = medianMs(runs, [&] {
        changing.front().createdAt = ++saves;
        (void)manager.save(changing);
    });
    const double write = medianMs(runs, [&] { plainWrite(plainPath, bytes); });
    const double load = medianMs(runs, [&] { (void)manager.load(); });
    const double read = medianMs(runs, [&] { (void)plainRead(plainPath); });
    NotesFile::Encoder encoder; // kept between saves, as the program keeps it
    const double encode = medianMs(runs, [&] { (void)encoder.encode(notes); });
    const double decode = medianMs(runs, [&] { (void)NotesFile::decode(bytes); });
    const double qtEnc = medianMs(runs, [&] { (void)qtEncode(notes); });
    const double qtDec = medianMs(runs, [&] { (void)qtDecode(bytes); });
    const double coldLoad = medianInFreshProcessMs(runs, [&] { (void)manager.load(); });
    const double coldRead = medianInFreshProcessMs(runs, [&] { (void)plainRead(plainPath); });

    std::printf("%s (%.1f MB)\n", name, bytes.size() / 1e6);
    std::printf("  save %8.3f ms   plain write+fsync %8.3f ms   ratio %.2fx (target <= 2x)\n", save,
                write, save / write);
    std::printf("  load %8.3f ms   plain read        %8.3f ms   ratio %.2fx (target <= 4x)\n", load,
                read, load / read);
    std::printf(
        "  first load in a fresh process %6.3f ms, plain read there %6.3f ms, ratio %.2fx\n",
        coldLoad, coldRead, coldLoad / coldRead);
    std::printf("  codec only: encode %.3f ms, decode %.3f ms (RapidJSON)\n", encode, decode);
    std::printf("  side by side: encode %.3f ms, decode %.3f ms (Qt QJsonDocument)\n", qtEnc,
                qtDec);
}

QString text(qsizetype bytes, char16_t c = u'x') {
    QString s(bytes, QChar(c));
    for (qsizetype i = 60; i < s.size(); i += 61)
        s[i] = u'\n';
    return s;
}

// How long loading takes to give up on a hostile or broken file.
void measureRejection(const char* name, const QList<QByteArray>& pieces) {
    QTemporaryDir dir;
    {
        QFile f(dir.filePath("notes.json"));
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        for (const QByteArray& piece : pieces)
            f.write(piece);
    }
    PersistenceManager manager(dir.path());
    bool rejected = true;
    const double ms = medianMs(5, [&] { rejected = rejected && manager.load().isEmpty(); });
    std::printf("  %-44s %8.1f ms%s (target < 1000 ms)\n", name, ms,
                rejected ? "" : "  NOT REJECTED");
}

} // namespace

// Another machine's version arriving as a sync engine writes it (a
// temporary renamed over the file): the time until the store has merged it.
double landingToStoreMs(const QList<Note>& notes) {
    QTemporaryDir dir;
    auto persistence = std::make_shared<PersistenceManager>(dir.path());
    (void)persistence->save(notes);
    NoteStore store(persistence);
    store.watchFolder();
    QList<Note> theirs = notes;
    std::vector<double> times;
    for (int run = 0; run < 7; ++run) {
        theirs[run].content += QStringLiteral(" (from the other machine)");
        plainWrite(dir.filePath("incoming"), *NotesFile::encode(theirs));
        QEventLoop loop;
        QObject::connect(&store, &NoteStore::objectDidChange, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        ::rename(QFile::encodeName(dir.filePath("incoming")),
                 QFile::encodeName(persistence->filePath()));
        loop.exec();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<Note> thousand;
    for (int i = 0; i < 1000; ++i)
        thousand.append(Note{QUuid::createUuid(), text(1024), 700000000.0 + i * 0.123456789});
    measure("1,000 notes of 1 KB", thousand, 31);
    measure("one note of 10 MB", {Note{QUuid::createUuid(), text(10 * 1024 * 1024), 700000000.5}},
            11);

    Note huge{QUuid::createUuid(), QString(1024 * 1024, QChar(u'a')) + "\nsecond line", 0};
    const double caption = medianMs(101, [&] { (void)huge.title(); });
    huge.content = "   " + QString(1024 * 1024, QChar(u'a')) + "   ";
    const double captionTrimmed = medianMs(101, [&] { (void)huge.title(); });
    std::printf(
        "caption of a 1 MB first line: %.3f ms, padded with spaces: %.3f ms (target < 1 ms)\n",
        caption, captionTrimmed);

    // Two machines' versions of 1,000 notes: each edited 10 (5 of them the
    // same notes, in different places), added 5, one reordered.
    AncestorTexts textsA({}), textsB({});
    NotesLedger a(textsA), b(textsB);
    a.reset({thousand, {}, {}, {}});
    b.reset({thousand, {}, {}, {}});
    QList<Note> mine = thousand, theirs = thousand;
    for (int i = 0; i < 10; ++i) {
        mine[i * 97].content += "mine";
        theirs[i * 97 + (i % 2)].content.prepend("theirs");
        mine.insert(i * 50, Note::make());
    }
    std::reverse(theirs.begin(), theirs.end());
    a.record(mine);
    b.record(theirs);
    const NotesDocument docA = a.document(mine), docB = b.document(theirs);
    std::printf("merge of 1,000 notes of 1 KB, both sides changed: %.2f ms\n",
                medianMs(31, [&] { (void)mergeDocuments(docA, docB, textsA); }));
    std::printf("another machine's version landing, to the store merged (watch delay %lld ms):\n"
                "  1,000 notes of 1 KB: %.0f ms\n",
                static_cast<long long>(NotesSync::kLookDelay.count()), landingToStoreMs(thousand));

    // Lists far longer than Jotbox writes, as another program may: decoding
    // must stay linear in the file's size.
    std::printf("decoding per megabyte (target: flat as the lists grow):\n");
    const QByteArray note =
        R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","content":"x","createdAt":1,)";
    const auto perMb = [](const char* name, const QByteArray& bytes) {
        const double ms = medianMs(5, [&] { (void)NotesFile::decodeDocument(bytes); });
        std::printf("  %-52s %6.1f MB %8.1f ms %7.2f ms/MB\n", name, bytes.size() / 1e6, ms,
                    ms / (bytes.size() / 1e6));
    };
    const auto repeated = [](const QByteArray& head, const QByteArray& item, int n,
                             const QByteArray& tail) {
        QByteArray out = head;
        for (int i = 0; i < n; ++i)
            out += (i ? "," : "") + item;
        return out + tail;
    };
    perMb("1,000 notes of 1 KB", *NotesFile::encode(thousand));
    for (int n : {40'000, 160'000})
        perMb(qPrintable(QString("a history of %L1 entries").arg(n)),
              repeated("[" + note + R"("history":[)", R"("0123456789abcdef:1")", n, "]}]"));
    for (int n : {10'000, 200'000})
        perMb(qPrintable(QString("versions naming %L1 installations").arg(n)), [&] {
            QByteArray versions;
            for (int i = 0; i < n; ++i)
                versions +=
                    QString("%1\"%2\":1").arg(i ? "," : "").arg(i, 8, 16, QChar('0')).toLatin1();
            return "[" + note + R"("history":["0123456789abcdef:1"],"versions":{)" + versions +
                   "}}]";
        }());
    perMb(
        "100,000 closed records",
        repeated(
            "[" + note + R"("closed":[)",
            R"({"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","versions":{"0000abcd":1},"closedAt":1})",
            100'000, "]}]"));
    perMb("200,000 notes",
          repeated("[", note + R"("history":["0123456789abcdef:1"]})", 200'000, "]"));

    std::printf("rejecting a broken or hostile notes.json, read from disk:\n");
    const QByteArray head = R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","createdAt":1,)";
    const QByteArray body(100 * 1024 * 1024, 'x');
    measureRejection("100 MB note, file cut short", {head, "\"content\":\"", body});
    measureRejection("100 MB note, bad byte at the very end",
                     {head, "\"content\":\"", body, "\x1b\"}]"});
    measureRejection("100 MB of [", {QByteArray(100 * 1024 * 1024, '[')});
    measureRejection("100,000 arrays deep", {QByteArray(100'000, '['), QByteArray(100'000, ']')});
    measureRejection("1,000,000 arrays deep",
                     {QByteArray(1'000'000, '['), QByteArray(1'000'000, ']')});
    return 0;
}
