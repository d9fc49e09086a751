#include "notes/NoteStore.h"

#include "notes/NotesMerge.h"

#include <QFile>
#include <QPointer>
#include <QThread>

namespace jotbox {

NoteStore::NoteStore(std::shared_ptr<PersistenceManager> persistence,
                     std::unique_ptr<SingleShotTimer> saveTimer, QObject* parent)
    : QObject(parent), m_persistence(std::move(persistence)),
      m_saveTimer(saveTimer ? std::move(saveTimer) : std::make_unique<QtSingleShotTimer>()),
      m_saveSubject([this] { requestSave(); }) {
    m_notes = m_persistence->load();
    m_base = m_notes;
    if (m_notes.isEmpty())
        m_notes.append(Note::make());
    m_saveTimer->setCallback([this] { saveNow(); });
}

// Dropping a pending save here matches the event loop ending the timer; the
// application flushes before it lets the store go.
NoteStore::~NoteStore() {
    m_saveTimer->stop();
    if (m_lookTimer)
        m_lookTimer->stop();
}

template <typename Change> void NoteStore::change(Change&& apply) {
    emit objectWillChange();
    apply();
    emit objectDidChange();
}

bool NoteStore::isActiveInRange() const {
    return m_activeTabIndex >= 0 && m_activeTabIndex < m_notes.size();
}

void NoteStore::addTab() {
    change([this] { m_notes.append(Note::make()); });
    change([this] { m_activeTabIndex = m_notes.size() - 1; });
    requestSave();
}

void NoteStore::selectTab(qint64 index) {
    if (index < 0 || index >= m_notes.size())
        return;
    change([&] { m_activeTabIndex = index; });
}

void NoteStore::closeTab(qint64 index) {
    if (m_notes.size() < 2 || index < 0 || index >= m_notes.size())
        return;
    change([&] { m_notes.removeAt(index); });
    if (m_activeTabIndex >= m_notes.size())
        change([this] { m_activeTabIndex = m_notes.size() - 1; });
    requestSave();
}

NoteBinding NoteStore::activeNoteBinding() {
    QPointer<NoteStore> store(this);
    return NoteBinding{
        [store]() -> Note {
            Q_ASSERT(!store || QThread::currentThread() == store->thread());
            if (!store || !store->isActiveInRange())
                return Note::make();
            return store->m_notes.at(store->m_activeTabIndex);
        },
        [store](const Note& note) {
            Q_ASSERT(!store || QThread::currentThread() == store->thread());
            if (!store || !store->isActiveInRange())
                return;
            store->change([&] { store->m_notes[store->m_activeTabIndex] = note; });
        },
    };
}

void NoteStore::requestSave() {
    m_saveTimer->start(kSaveDelay);
}

void NoteStore::saveNow() {
    Q_ASSERT(QThread::currentThread() == thread());
    // Never over a version not seen: what another program wrote is merged
    // first, and a file it is still writing is waited for.
    if (m_lookedAgain > 0 || !look()) {
        m_saveTimer->start(kSaveDelay);
        return;
    }
    writeNow();
}

// A failed save keeps the notes in memory and tries again later; a request
// in between writes the list as it is then, sooner.
bool NoteStore::writeNow() {
    m_saveTimer->stop();
    if (m_persistence->save(m_notes)) {
        m_saveTimer->start(kRetryDelay);
        return false;
    }
    m_base = m_notes;
    if (m_watcher)
        m_watcher->rewatch();
    return true;
}

void NoteStore::flush() {
    if (!m_saveTimer->isActive())
        return;
    (void)look(); // whatever it finds, the notes here are written now
    writeNow();
}

void NoteStore::watchFolder(std::unique_ptr<SingleShotTimer> lookTimer) {
    m_lookTimer = lookTimer ? std::move(lookTimer) : std::make_unique<QtSingleShotTimer>();
    m_lookTimer->setCallback([this] { (void)look(); });
    m_watcher = std::make_unique<NotesFolderWatcher>(m_persistence->directoryPath(),
                                                     m_persistence->filePath());
    connect(m_watcher.get(), &NotesFolderWatcher::changed, this,
            [this] { m_lookTimer->start(kLookDelay); });
}

bool NoteStore::look() {
    const PersistenceManager::DiskState disk = m_persistence->reread();
    if (disk.kind == PersistenceManager::DiskState::missing ||
        disk.kind == PersistenceManager::DiskState::unreadable) {
        // Mid-way through a sync engine's replace or write: never "no notes".
        if (m_lookedAgain < kLookAgain && m_lookTimer) {
            m_lookTimer->start(kLookDelay * (1 << m_lookedAgain++));
            return false;
        }
        m_persistence->acceptCurrent(); // waited long enough: it is what it is
    } else if (disk.kind == PersistenceManager::DiskState::changed) {
        adopt(disk.notes);
    }
    m_lookedAgain = 0;
    mergeConflictCopies();
    return true;
}

void NoteStore::adopt(const QList<Note>& theirs) {
    // A fresh start's blank note holds nothing to keep beside their notes.
    const bool fresh = m_base.isEmpty() && m_notes.size() == 1 && m_notes.front().content.isEmpty();
    QList<Note> merged = fresh ? theirs : mergeNotes(m_base, m_notes, theirs);
    if (merged.isEmpty())
        merged.append(Note::make());
    m_base = theirs;
    replaceNotes(merged);
    if (!(merged == theirs))
        writeNow();
}

void NoteStore::mergeConflictCopies() {
    QStringList merged;
    bool changed = false;
    for (const QString& path : m_persistence->conflictCopies()) {
        const auto copy = m_persistence->readCopy(path);
        if (!copy)
            continue; // unreadable: left alone
        // A union: nothing is deleted because of a copy.
        const QList<Note> notes = mergeNotes({}, m_notes, *copy);
        if (!(notes == m_notes)) {
            replaceNotes(notes);
            changed = true;
        }
        merged << path;
    }
    // A copy goes only once everything in it is safely on disk.
    if (merged.isEmpty() || ((changed || !(m_notes == m_base)) && !writeNow()))
        return;
    for (const QString& path : std::as_const(merged))
        QFile::remove(path);
}

// The active tab stays on its note; only when that note is gone does the
// position stand.
void NoteStore::replaceNotes(const QList<Note>& notes) {
    const QUuid active = isActiveInRange() ? m_notes[m_activeTabIndex].id : QUuid();
    change([&] { m_notes = notes; });
    qint64 index = std::clamp<qint64>(m_activeTabIndex, 0, m_notes.size() - 1);
    for (qint64 i = 0; i < m_notes.size(); ++i)
        if (m_notes[i].id == active)
            index = i;
    if (index != m_activeTabIndex)
        change([&] { m_activeTabIndex = index; });
}

} // namespace jotbox
