#include "sync/NotesLedger.h"

#include "notes/TextEquivalence.h"

#include <QSet>

#include <cmath>

namespace jotbox {

namespace {

// Closed notes whose ancestry is kept in memory before those no longer
// remembered as closed are let go.
constexpr qsizetype kClosedAncestryKept = 1000;

} // namespace

QHash<QUuid, KnownVersion> NotesLedger::versionsOf(const NotesDocument& document) {
    QHash<QUuid, KnownVersion> versions;
    for (qsizetype i = 0; i < document.notes.size(); ++i)
        versions.emplace(document.notes[i].id,
                         KnownVersion{document.ancestry.value(i), document.notes[i].content});
    return versions;
}

void NotesLedger::reset(NotesDocument document) {
    recordOutsideEdits(document);
    m_entries.clear();
    take(document);
    written(document);
}

void NotesLedger::written(const NotesDocument& document) {
    m_onDisk = versionsOf(document);
    m_diskOrder.clear();
    for (const Note& note : document.notes)
        m_diskOrder.append(note.id);
    m_diskNotes = document.notes;
    m_diskClosed = document.closed;
}

bool NotesLedger::matchesDisk(const NotesDocument& document) const {
    // A version the file has not seen (a note brought back here, merged into
    // the very text there) must reach it, or a close elsewhere would later
    // take it for covered when it is not.
    for (qsizetype i = 0; i < document.notes.size() && i < document.ancestry.size(); ++i)
        if (const auto disk = m_onDisk.constFind(document.notes[i].id);
            disk != m_onDisk.cend() &&
            !disk->ancestry.versions.covers(document.ancestry[i].versions))
            return false;
    return document.closed == m_diskClosed &&
           std::equal(document.notes.begin(), document.notes.end(), m_diskNotes.begin(),
                      m_diskNotes.end(), [](const Note& a, const Note& b) {
                          return a.id == b.id && a.createdAt == b.createdAt &&
                                 (sameBuffer(a.content, b.content) || a.content == b.content);
                      });
}

// Keeps each text seen at hand, as an ancestor for later merges.
void NotesLedger::keepTexts(const QHash<QUuid, KnownVersion>& versions) {
    for (auto it = versions.cbegin(); it != versions.cend(); ++it) {
        const auto old = m_entries.constFind(it.key());
        if (const auto head = it->ancestry.head();
            head && (old == m_entries.cend() || old->ancestry.head() != head))
            m_texts.put(head->hash, it->text);
    }
}

void NotesLedger::take(const NotesDocument& document) {
    QHash<QUuid, KnownVersion> entries = versionsOf(document);
    keepTexts(entries);
    m_entries = std::move(entries);
    m_closed = document.closed;
}

void NotesLedger::record(const QList<Note>& notes) {
    const ReplicaId me = m_texts.replica();
    QSet<QUuid> present;
    for (const Note& note : notes) {
        present.insert(note.id);
        auto entry = m_entries.find(note.id);
        if (entry == m_entries.end()) {
            // New here; or back after a close, whose versions it must outgrow,
            // going on from the history it had.
            NoteAncestry ancestry = m_closedAncestry.take(note.id);
            for (const ClosedNote& closed : std::as_const(m_closed))
                if (closed.id == note.id)
                    ancestry.versions = ancestry.versions.joined(closed.versions);
            m_closed.removeIf([&](const ClosedNote& c) { return c.id == note.id; });
            entry = m_entries.insert(note.id, KnownVersion{ancestry, QString()});
        } else if (sameBuffer(entry->text, note.content)) {
            continue;
        } else if (!entry->ancestry.history.isEmpty() &&
                   canonicallyEqual(entry->text, note.content)) {
            entry->text = note.content;
            continue;
        }
        const TextHash hash = hashText(note.content);
        const auto parent = entry->ancestry.head();
        entry->ancestry.versions.bump(me);
        entry->ancestry.append(hash, parent ? QList{*parent} : QList<NoteAncestry::Id>{});
        entry->text = note.content;
        m_texts.put(hash, note.content);
    }
    // Whole seconds: the close's time only orders and ages closes, and each
    // record is read and written at every save.
    const NoteTime now = std::floor(currentNoteTime());
    bool closedAny = false;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        m_closed.append(ClosedNote{it.key(), it->ancestry.versions, now});
        m_closedAncestry.insert(it.key(), it->ancestry);
        closedAny = true;
        it = m_entries.erase(it);
    }
    if (closedAny) {
        m_closed = boundClosed(m_closed);
        if (m_closedAncestry.size() > kClosedAncestryKept) {
            QSet<QUuid> kept;
            for (const ClosedNote& c : std::as_const(m_closed))
                kept.insert(c.id);
            m_closedAncestry.removeIf([&](const auto& e) { return !kept.contains(e.key()); });
        }
    }
}

NotesDocument NotesLedger::document(const QList<Note>& notes) const {
    NotesDocument document{notes, {}, m_closed, {}};
    document.ancestry.reserve(notes.size());
    for (const Note& note : notes)
        document.ancestry.append(m_entries.value(note.id).ancestry);
    return document;
}

NotesDocument NotesLedger::merge(const QList<Note>& notes, NotesDocument theirs, bool isTheFile,
                                 bool overOurs) {
    record(notes);
    QHash<QUuid, KnownVersion> parents = m_onDisk;
    if (!overOurs) {
        // Taken to descend from the file here, a text written elsewhere would
        // read as deleting whatever it lacks of it.
        QHash<QUuid, QString> texts;
        for (const Note& note : std::as_const(theirs.notes))
            texts.insert(note.id, note.content);
        parents.removeIf([&](const auto& e) { return texts.value(e.key()) != e->text; });
    }
    recordOutsideEdits(theirs, parents, m_entries, m_closedAncestry);
    keepTexts(versionsOf(theirs));
    NotesDocument merged = mergeDocuments(document(notes), theirs, m_texts, m_diskOrder);
    take(merged);
    if (isTheFile)
        written(theirs);
    return merged;
}

void NotesLedger::pruneTexts() {
    QSet<TextHash> named;
    const auto name = [&](const NoteAncestry& ancestry) {
        for (const NoteAncestry::Version& version : ancestry.history)
            named.insert(version.id.hash);
    };
    for (const KnownVersion& entry : std::as_const(m_entries))
        name(entry.ancestry);
    for (const NoteAncestry& ancestry : std::as_const(m_closedAncestry))
        name(ancestry);
    m_texts.keepOnly(named);
}

} // namespace jotbox
