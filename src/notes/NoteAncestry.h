#pragma once

#include "notes/Note.h"
#include "notes/TextHash.h"

#include <QHashFunctions>
#include <QList>

#include <tuple>
#include <utility>
#include <vector>

namespace jotbox {

// Names one Jotbox installation among those sharing a notes folder.
using ReplicaId = quint32;
// Counts the edits of programs that keep no ancestry, whoever recorded them.
constexpr ReplicaId kOutsideEdits = 0;

// How many versions of a note each installation has made: a note's version
// has seen another when its count is at least as high for every one.
class VersionVector {
public:
    quint64 count(ReplicaId replica) const;
    void set(ReplicaId replica, quint64 count);
    void bump(ReplicaId replica) { set(replica, count(replica) + 1); }
    // From counts in any order, in one sort; of a replica named twice, the last.
    static VersionVector fromCounts(std::vector<std::pair<ReplicaId, quint64>> counts);

    // Whether this version has seen everything `other` has.
    bool covers(const VersionVector& other) const;
    // What either has seen.
    VersionVector joined(const VersionVector& other) const;
    quint64 total() const;
    bool isEmpty() const { return m_counts.empty(); }
    // By replica, ascending.
    const std::vector<std::pair<ReplicaId, quint64>>& counts() const { return m_counts; }

    friend bool operator==(const VersionVector&, const VersionVector&) = default;

private:
    std::vector<std::pair<ReplicaId, quint64>> m_counts;
};

// What a note's text descends from, kept in the notes file beside it.
struct NoteAncestry {
    static constexpr qsizetype kHistoryLength = 32;

    // Names one version the note went through: its text, and how many
    // versions of all machines led to it, which orders versions along any
    // line of descent (a text that comes back later is a later version).
    struct Id {
        TextHash hash = 0;
        quint64 depth = 0;
        friend bool operator==(const Id&, const Id&) = default;
        // Oldest first, and ancestors before what descends from them.
        friend auto operator<=>(const Id& a, const Id& b) {
            return std::tie(a.depth, a.hash) <=> std::tie(b.depth, b.hash);
        }
    };
    // A version and the versions it was made from: one for an edit, two
    // for a merge, none known for a first text.
    struct Version {
        Id id;
        QList<Id> parents;
        friend bool operator==(const Version&, const Version&) = default;
    };

    VersionVector versions;
    // The latest versions the note went through, oldest first; the last is
    // the one `versions` describes. A text that is not the last's was
    // changed by a program that keeps no ancestry.
    QList<Version> history;

    std::optional<Id> head() const {
        return history.isEmpty() ? std::nullopt : std::optional(history.back().id);
    }
    bool has(const Id& id) const;
    // Makes the text with this hash the head, as the version `versions` now
    // counts, made from `parents`; forgets the oldest beyond the limit.
    void append(TextHash hash, QList<Id> parents);

    friend bool operator==(const NoteAncestry&, const NoteAncestry&) = default;
};

inline size_t qHash(const NoteAncestry::Id& id, size_t seed = 0) {
    return qHashMulti(seed, id.hash, id.depth);
}

// A closed note, remembered so that the close reaches every machine: a
// version of the note that this has seen stays closed.
struct ClosedNote {
    // The latest this many are kept (and read from a file).
    static constexpr qsizetype kKept = 1000;
    QUuid id;
    VersionVector versions;
    NoteTime closedAt = 0;
    friend bool operator==(const ClosedNote&, const ClosedNote&) = default;
};

QString replicaToString(ReplicaId replica);
std::optional<ReplicaId> replicaFromString(QLatin1StringView text);

} // namespace jotbox
