#include "sync/NotesSync.h"

#include <algorithm>
#include <cstdio>

namespace jotbox {

namespace {

// Versions, written here or taken from another machine, between two
// clear-outs of ancestor texts nothing names any more.
constexpr int kPruneEvery = 64;

// A hand-made file may hold an id twice: each later one gets an id of its
// own, derived from the id and its place, so that every machine agrees.
void giveDuplicatesTheirOwnIds(NotesDocument& document) {
    QSet<QUuid> seen;
    for (qsizetype i = 0; i < document.notes.size(); ++i) {
        Note& note = document.notes[i];
        if (!seen.contains(note.id)) {
            seen.insert(note.id);
            continue;
        }
        note.id = QUuid::createUuidV5(note.id, QString::number(i));
        seen.insert(note.id);
    }
}

} // namespace

NotesSync::NotesSync(NotesOwner& owner, PersistenceManager& persistence, TimerFactory makeTimer)
    : m_owner(owner), m_persistence(persistence), m_texts(persistence.cacheDirectory()),
      m_makeTimer(std::move(makeTimer)) {}

NotesSync::~NotesSync() {
    if (m_lookTimer)
        m_lookTimer->stop();
}

QList<Note> NotesSync::load() {
    NotesDocument document = m_persistence.loadDocument();
    giveDuplicatesTheirOwnIds(document);
    m_fresh = document.notes.isEmpty();
    m_ledger.reset(document);
    m_ledger.pruneTexts();
    return document.notes;
}

void NotesSync::record() {
    m_ledger.record(m_owner.notes());
}

// A quit that cannot save (a full disk, a folder gone read-only) leaves the
// notes in the cache folder, whence the next start merges them.
void NotesSync::keepUnsaved() {
    const QString path = m_persistence.writeUnsaved(ours(), replicaToString(m_texts.replica()));
    std::fprintf(stderr,
                 path.isEmpty() ? "jotbox: the notes could not be saved, nor kept anywhere else\n"
                                : "jotbox: the notes could not be saved; they are kept in %s and "
                                  "saved at the next start\n",
                 qPrintable(path));
}

void NotesSync::watch() {
    m_lookTimer = m_makeTimer();
    m_lookTimer->setCallback([this] { (void)look(); });
    m_watcher = std::make_unique<NotesFolderWatcher>(m_persistence.directoryPath(),
                                                     m_persistence.filePath());
    connect(m_watcher.get(), &NotesFolderWatcher::changed, this,
            [this] { m_lookTimer->start(kLookDelay); });
    // Copies there already (a quit's unsaved notes, an engine's conflict) are merged now.
    if (!m_persistence.conflictCopies().isEmpty())
        m_lookTimer->start(kLookDelay);
}

NotesSync::Saved NotesSync::save(bool final) {
    return settle(true, final);
}

bool NotesSync::look() {
    return settle(false, false) != Saved::later;
}

// Merges what is on disk (the file, the engines' copies), then writes the
// result: always for a save, for a look only when the merge changed
// something. The one loop around a write: a version that lands meanwhile is
// merged, and the write tried again.
NotesSync::Saved NotesSync::settle(bool save, bool final) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Merged merged = mergeDisk();
        if (merged == Merged::waiting) {
            if (!save)
                return Saved::later;
            // While the file is away (an engine between deleting it and
            // renaming its successor in, or deleted for good), the notes go
            // into a copy every Jotbox merges, kept as they change: a crash
            // meanwhile loses nothing, and the engine's rename may still land
            // over a file written at quit.
            m_ledger.record(m_owner.notes());
            m_copy = m_persistence.writeCopy(ours(), replicaToString(m_texts.replica()), m_copy);
            if (!final)
                return Saved::later;
            if (m_holding) // the copy is where they go meanwhile, at a quit too
                return Saved::yes;
            m_persistence.acceptCurrent();
            m_ledger.written({});
            m_lookedAgain = 0;
        } else if (merged == Merged::nothing && !save) {
            m_copy.clear(); // merged and gone, here or on another machine
            return Saved::yes;
        }
        const auto written = write();
        if (written == PersistenceManager::Written::raced)
            continue;
        if (written == PersistenceManager::Written::failed) {
            if (final)
                keepUnsaved();
            else if (!save) // a save's caller tries again itself
                m_owner.retryLater();
            return Saved::failed;
        }
        // A copy goes only once everything in it is safely on disk.
        for (const QString& path : std::exchange(m_merged, {}))
            if (!m_bisyncKept.contains(path) || m_bisyncOwn.contains(path))
                m_persistence.removeCopy(path);
        m_copy.clear();
        return Saved::yes;
    }
    return save ? Saved::later : Saved::yes;
}

// What changed on disk, merged into the notes here; `waiting` while the
// file is settling, or while this machine holds its notes in its copy.
NotesSync::Merged NotesSync::mergeDisk() {
    m_merged.clear();
    if (m_lookedAgain > 0 && m_lookTimer && m_lookTimer->isActive())
        return Merged::waiting; // still waiting for the file to settle
    PersistenceManager::DiskState disk = m_persistence.reread();
    const bool gone = disk.kind == PersistenceManager::DiskState::missing ||
                      disk.kind == PersistenceManager::DiskState::unreadable;
    const bool changed = disk.kind == PersistenceManager::DiskState::changed;
    const QStringList present = m_persistence.conflictCopies(); // listed once a look
    const Bisync bisync = bisyncConflict(present);
    // Mid-way through a sync engine's replace or write: never "no notes".
    if (gone && bisync == Bisync::none && m_lookedAgain < kLookAgain && m_lookTimer) {
        m_lookTimer->start(kLookDelay * (1 << m_lookedAgain++));
        return Merged::waiting;
    }
    if (changed) {
        adopt(disk.document, true, !oursLost(present));
        // Another machine's file came through, so bisync ran since; writing
        // again is safe once that file holds all this machine's notes: the
        // other then has nothing to write that crosses ours.
        if (m_holding && m_ledger.matchesDisk(ours())) {
            m_holding = false;
            if (bisync == Bisync::none)
                bisyncTimer().stop();
        }
    }
    const bool absent = gone || m_persistence.knownAbsent(); // gone, or since the start
    const bool hold = m_holding || (absent && bisync == Bisync::theirsToWrite);
    if (gone && !hold) {
        // Waited long enough, or bisync's copies are ours to settle: it is
        // what it is. The notes here go back on disk, an unreadable file set
        // aside first.
        m_persistence.acceptCurrent();
        m_ledger.written({});
    }
    m_lookedAgain = 0;
    m_merged = mergeConflictCopies(present, bisync != Bisync::theirsToWrite);
    if (hold || (!absent && !m_bisyncOwn.isEmpty())) {
        holdInCopy();
        return Merged::waiting;
    }
    return changed || gone || !m_merged.isEmpty() ? Merged::something : Merged::nothing;
}

// rclone bisync (1.60) cannot take a conflict on "notes.json" in the run
// that also carries the removal of one of its copies, which a new conflict
// names alike: it stops, for good, until run with --resync. So a machine
// that removes its bisync copy writes its notes only into a copy of its
// own (merged by every machine, and new to bisync: never a conflict) until
// the other machine's file comes through, that is until bisync has run,
// or until kBisyncWait has passed. The one exception is the machine whose
// file the conflict left as the ..path1 copy, while "notes.json" is gone:
// it writes the merged file, which the other is holding for.
void NotesSync::holdInCopy() {
    m_ledger.record(m_owner.notes());
    bool held = false;
    m_copy = m_persistence.writeCopy(ours(), replicaToString(m_texts.replica()), m_copy, &held);
    if (held)
        for (const QString& path : std::exchange(m_bisyncOwn, {}))
            m_persistence.removeCopy(path);
    if (!m_holding) {
        m_holding = true;
        bisyncTimer().start(kBisyncWait);
    }
}

// Whether the engine set the file as this machine last had it aside in a
// conflict copy: the file now there was written over another.
bool NotesSync::oursLost(const QStringList& copies) const {
    return std::any_of(copies.begin(), copies.end(), [this](const QString& path) {
        const auto copy = m_persistence.readCopy(path);
        return copy && m_ledger.matchesDisk(*copy);
    });
}

void NotesSync::adopt(const NotesDocument& theirs, bool isTheFile, bool overOurs) {
    const QList<Note>& mine = m_owner.notes();
    // A fresh start's blank note holds nothing to keep beside their notes.
    const bool fresh = m_fresh && mine.size() == 1 && mine.front().content.isEmpty();
    NotesDocument merged = theirs;
    giveDuplicatesTheirOwnIds(merged);
    if (fresh) {
        m_ledger.reset(merged);
        if (!isTheFile) // a copy's notes are not on disk until written
            m_ledger.written({});
    } else
        merged = m_ledger.merge(mine, std::move(merged), isTheFile, overOurs);
    m_fresh = false;
    if (isTheFile) // a machine that only receives keeps their texts too
        countVersion();
    if (merged.notes.isEmpty()) // their file held none
        merged.notes.append(Note::make());
    m_owner.replaceNotes(merged.notes);
}

// Each bisync copy is removed by the machine whose side it came from (see
// bisyncConflict): were one machine to remove both, bisync would stop ("too
// many deletes"). Another machine's is left for it, merged at every look
// meanwhile.
QStringList NotesSync::mergeConflictCopies(const QStringList& present, bool writer) {
    QStringList merged;
    m_bisyncKept.clear();
    m_bisyncOwn.clear();
    bool othersToWrite = false;
    for (const QString& path : present) {
        const auto copy = m_persistence.readCopy(path);
        if (!copy)
            continue; // unreadable: left alone
        adopt(*copy, false);
        if (!isBisyncCopy(path) && !m_othersOver && isOthersToWrite(path, *copy)) {
            othersToWrite = true;
            continue;
        }
        merged << path;
        if (!isBisyncCopy(path))
            continue;
        m_bisyncKept.insert(path);
        // Where no side tells, the writer takes ..path1's side, and the other
        // once alone (after a start, or the wait).
        if (m_bisyncHere.value(
                path, writer && (path.endsWith(u'1') || !present.contains(bisyncSibling(path)))))
            m_bisyncOwn << path;
        else
            m_bisyncTheirs.insert(path);
    }
    if (!othersToWrite) {
        if (m_othersTimer)
            m_othersTimer->stop();
    } else if (!othersTimer().isActive())
        othersTimer().start(kBisyncWait);
    return merged;
}

// An engine's conflict copy (not one Jotbox named after the machine that
// saved it) holds the notes of the machine whose change lost, which is
// merging it too: that machine writes the merged file. Were both to write
// it, the engine would meet two changes again. This one takes the notes
// into memory meanwhile, and writes them itself past kBisyncWait.
bool NotesSync::isOthersToWrite(const QString& path, const NotesDocument& copy) const {
    return copy.savedBy && *copy.savedBy != m_texts.replica() &&
           !PersistenceManager::isCopyOf(path, replicaToString(*copy.savedBy));
}

SingleShotTimer& NotesSync::othersTimer() {
    if (!m_othersTimer) {
        m_othersTimer = m_makeTimer();
        m_othersTimer->setCallback([this] {
            m_othersOver = true; // for this look
            (void)look();
            m_othersOver = false;
        });
    }
    return *m_othersTimer;
}

bool NotesSync::isBisyncCopy(const QString& path) {
    return path.endsWith(QLatin1String("..path1")) || path.endsWith(QLatin1String("..path2"));
}

QString NotesSync::bisyncSibling(const QString& path) {
    return path.chopped(1) + (path.endsWith(u'1') ? u'2' : u'1');
}

SingleShotTimer& NotesSync::bisyncTimer() {
    if (!m_bisyncTimer) {
        m_bisyncTimer = m_makeTimer();
        m_bisyncTimer->setCallback([this] {
            m_bisyncOver = true; // for this look: the next conflict is waited for again
            m_holding = false;
            (void)look();
            m_bisyncOver = false;
        });
    }
    return *m_bisyncTimer;
}

// rclone bisync, finding "notes.json" changed on both sides, renames it on
// both to "notes.json..path1" (the side it ran from) and "..path2". Were
// both machines to write the merged file, bisync would take the two new
// files for another conflict, even alike. So the machine on ..path1's side
// writes it, and the other holds its notes in a copy until that
// file arrives; past kBisyncWait (a machine away), either writes.
NotesSync::Bisync NotesSync::bisyncConflict(QStringList copies) {
    copies.removeIf([](const QString& path) { return !isBisyncCopy(path); });
    m_bisyncHere.clear();
    if (copies.isEmpty()) {
        m_bisyncOver = false;
        m_bisyncTheirs.clear();
        if (!m_holding && m_bisyncTimer)
            m_bisyncTimer->stop();
        return Bisync::none;
    }
    if (!m_bisyncOver && !bisyncTimer().isActive())
        bisyncTimer().start(kBisyncWait);
    // Which side each came from: the one this machine saved, else (a text
    // editor's, saved by no Jotbox) the one that is its file as it last read
    // it, else the side the other copy is not from; one found another's stays
    // so once the other went.
    const ReplicaId me = m_texts.replica();
    QStringList matching;
    for (const QString& path : std::as_const(copies)) {
        const auto copy = m_persistence.readCopy(path);
        if (copy && copy->savedBy)
            m_bisyncHere.insert(path, *copy->savedBy == me);
        else if (copy && m_ledger.matchesDisk(*copy))
            matching << path;
        else if (m_bisyncTheirs.contains(path) && !m_bisyncOver)
            m_bisyncHere.insert(path, false);
    }
    if (matching.size() == 1) // alike, both would match
        m_bisyncHere.insert(matching.front(), true);
    for (const QString& path : std::as_const(copies)) {
        const QString sibling = bisyncSibling(path);
        if (!m_bisyncHere.contains(path) && m_bisyncHere.contains(sibling))
            m_bisyncHere.insert(path, !m_bisyncHere.value(sibling));
    }
    const auto fromHere = [&](char16_t n) -> std::optional<bool> {
        for (auto it = m_bisyncHere.cbegin(); it != m_bisyncHere.cend(); ++it)
            if (it.key().endsWith(n))
                return *it;
        return std::nullopt;
    };
    const auto path1 = fromHere(u'1'), path2 = fromHere(u'2');
    const bool theirs = !m_bisyncOver && (path1 ? !*path1 : path2 && *path2);
    return theirs ? Bisync::theirsToWrite : Bisync::oursToWrite;
}

NotesDocument NotesSync::ours() const {
    NotesDocument document = m_ledger.document(m_owner.notes());
    document.savedBy = m_texts.replica();
    return document;
}

PersistenceManager::Written NotesSync::write() {
    m_ledger.record(m_owner.notes());
    const NotesDocument document = ours();
    // The same notes as on disk are not written again, not even to add the
    // ancestry a file an earlier Jotbox wrote lacks: nothing changed.
    const auto written = m_ledger.matchesDisk(document) && m_persistence.isCurrent()
                             ? PersistenceManager::Written::unchanged
                             : m_persistence.write(document);
    if (written == PersistenceManager::Written::yes ||
        written == PersistenceManager::Written::unchanged) {
        m_fresh = false;
        m_ledger.written(document);
        if (m_watcher)
            m_watcher->rewatch();
        if (written == PersistenceManager::Written::yes)
            countVersion();
    }
    return written;
}

void NotesSync::countVersion() {
    if (++m_versions % kPruneEvery == 0)
        m_ledger.pruneTexts();
}

} // namespace jotbox
