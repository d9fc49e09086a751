#include "store/NoteStore.h"

#include "sync/NotesSync.h"

#include <QPointer>
#include <QThread>

#include <algorithm>

namespace jotbox {

NoteStore::NoteStore(std::shared_ptr<PersistenceManager> persistence, TimerFactory makeTimer,
                     QObject* parent)
    : QObject(parent), m_persistence(std::move(persistence)),
      m_saveSubject([this] { requestSave(); }) {
    if (!makeTimer)
        makeTimer = [] { return std::make_unique<QtSingleShotTimer>(); };
    m_saveTimer = makeTimer();
    m_deadline = makeTimer();
    m_sync =
        std::make_unique<NotesSync>(static_cast<NotesOwner&>(*this), *m_persistence, makeTimer);
    m_notes = m_sync->load();
    if (m_notes.isEmpty())
        m_notes.append(Note::make());
    m_saveTimer->setCallback([this] { saveNow(); });
    m_deadline->setCallback([this] { saveNow(); });
}

// Dropping a pending save here matches the event loop ending the timer; the
// application flushes before it lets the store go.
NoteStore::~NoteStore() {
    m_saveTimer->stop();
    m_deadline->stop();
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

void NoteStore::addNote(const QString& text) {
    Note note = Note::make();
    note.content = text;
    change([&] { m_notes.append(note); });
    requestSave();
}

void NoteStore::appendLine(qint64 index, const QString& text) {
    if (index < 0 || index >= m_notes.size())
        return;
    const QString& content = m_notes[index].content;
    const bool startsLine = content.isEmpty() || content.endsWith(QLatin1Char('\n'));
    change([&] { m_notes[index].content += startsLine ? text : QLatin1Char('\n') + text; });
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
    m_closed.append({m_notes[index], index});
    if (m_closed.size() > kReopenable)
        m_closed.removeFirst();
    change([&] { m_notes.removeAt(index); });
    if (m_activeTabIndex >= m_notes.size())
        change([this] { m_activeTabIndex = m_notes.size() - 1; });
    // A close is a version of its own at once: one taken back before the
    // save still outgrows another machine's close of the same note.
    m_sync->record();
    requestSave();
}

void NoteStore::reopenClosedTab() {
    while (!m_closed.isEmpty()) {
        const std::pair<Note, qint64> closed = m_closed.takeLast();
        const Note& note = closed.first;
        const qint64 index = std::min<qint64>(closed.second, m_notes.size());
        // Back already (another machine edited it after the close): skipped.
        if (std::any_of(m_notes.begin(), m_notes.end(),
                        [&](const Note& n) { return n.id == note.id; }))
            continue;
        change([&] {
            m_notes.insert(index, note);
            m_activeTabIndex = index;
        });
        requestSave();
        return;
    }
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
    if (!m_deadline->isActive())
        m_deadline->start(kMaxSaveDelay);
}

void NoteStore::saveNow() {
    Q_ASSERT(QThread::currentThread() == thread());
    m_saveTimer->stop();
    m_deadline->stop();
    switch (m_sync->save()) {
    case NotesSync::Saved::yes:
        break;
    case NotesSync::Saved::later: // the file is settling: never write over a version not seen
        m_saveTimer->start(kSaveDelay);
        break;
    case NotesSync::Saved::failed:
        retryLater();
        break;
    }
}

// A failed save keeps the notes in memory and tries again later; a request
// in between writes the list as it is then, sooner.
void NoteStore::retryLater() {
    m_deadline->stop();
    m_saveTimer->start(kRetryDelay);
}

bool NoteStore::flush() {
    if (!hasPendingSave() && !m_sync->waiting())
        return true;
    m_saveTimer->stop();
    m_deadline->stop();
    if (m_sync->save(true) == NotesSync::Saved::yes)
        return true;
    retryLater();
    return false;
}

void NoteStore::watchFolder() {
    m_sync->watch();
}

bool NoteStore::look() {
    return m_sync->look();
}

// The active tab stays on its note; only when that note is gone does the
// position stand. One change: the views never see the list and the index
// out of step (the editor would load a neighbour's text in between).
void NoteStore::replaceNotes(const QList<Note>& notes) {
    const QUuid active = isActiveInRange() ? m_notes[m_activeTabIndex].id : QUuid();
    qint64 index = std::clamp<qint64>(m_activeTabIndex, 0, notes.size() - 1);
    for (qint64 i = 0; i < notes.size(); ++i)
        if (notes[i].id == active)
            index = i;
    change([&] {
        m_notes = notes;
        m_activeTabIndex = index;
    });
}

} // namespace jotbox
