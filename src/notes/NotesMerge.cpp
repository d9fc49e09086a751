#include "notes/NotesMerge.h"

#include "notes/TextEquivalence.h"
#include "notes/TextMerge.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

namespace jotbox {

namespace {

constexpr NoteTime kClosedKeptFor = 90 * 24 * 3600;

using Id = NoteAncestry::Id;
using Version = NoteAncestry::Version;

// One side's version of a note.
struct Side {
    Note note;
    NoteAncestry ancestry;
    Id head() const { return *ancestry.head(); }
};

// Whether `x` has seen `y`. A history as long as it gets may have forgotten
// y; a shorter one must hold it, which also guards against counts reused
// after a crash.
bool hasSeen(const Side& x, const Side& y) {
    return x.ancestry.versions.covers(y.ancestry.versions) &&
           (x.ancestry.has(y.head()) || x.ancestry.history.size() >= NoteAncestry::kHistoryLength);
}

// Both histories in one, the latest versions last.
QList<Version> joinHistories(const QList<Version>& a, const QList<Version>& b) {
    QList<Version> joined = a;
    for (const Version& v : b) {
        const auto same = std::find_if(joined.begin(), joined.end(),
                                       [&](const Version& w) { return w.id == v.id; });
        if (same == joined.end()) {
            joined.append(v);
            continue;
        }
        for (const Id& parent : v.parents)
            if (!same->parents.contains(parent))
                same->parents.append(parent);
        std::sort(same->parents.begin(), same->parents.end());
    }
    std::sort(joined.begin(), joined.end(),
              [](const Version& x, const Version& y) { return x.id < y.id; });
    if (joined.size() > NoteAncestry::kHistoryLength)
        joined.remove(0, joined.size() - NoteAncestry::kHistoryLength);
    return joined;
}

// The versions both histories know, and what each was made from.
class Lineage {
public:
    Lineage(const QList<Version>& a, const QList<Version>& b) {
        for (const QList<Version>* history : {&a, &b})
            for (const Version& v : *history)
                m_parents[v.id] += v.parents;
    }
    // The version and all it descends from, as far as known.
    QSet<Id> ancestors(const Id& id) const {
        QSet<Id> seen{id};
        QList<Id> todo{id};
        while (!todo.isEmpty())
            for (const Id& parent : m_parents.value(todo.takeLast()))
                if (!seen.contains(parent)) {
                    seen.insert(parent);
                    todo.append(parent);
                }
        return seen;
    }
    // The versions both descend from, latest first.
    QList<Id> common(const Id& x, const Id& y) const {
        const QSet<Id> ofX = ancestors(x);
        QList<Id> both;
        for (const Id& id : ancestors(y))
            if (ofX.contains(id))
                both.append(id);
        std::sort(both.rbegin(), both.rend());
        return both;
    }
    // Of these, the ones none of the others descends from, latest first.
    QList<Id> latest(const QList<Id>& ids) const {
        QList<Id> out;
        for (const Id& c : ids)
            if (std::none_of(ids.begin(), ids.end(), [&](const Id& other) {
                    return other != c && ancestors(other).contains(c);
                }))
                out.append(c);
        std::sort(out.rbegin(), out.rend());
        return out;
    }

private:
    QHash<Id, QList<Id>> m_parents;
};

// The text of one version made of all of `heads`: each merged into the
// rest against what they share, found the same way (two sides that came
// together more than once share more than one latest version).
struct Merged {
    std::optional<QString> text;
    QSet<Id> ancestors;
};
// None when a text it needs is not on this machine.
Merged mergeOf(const Lineage& lineage, const QList<Id>& heads, const AncestorTexts& texts,
               int depth) {
    Merged all;
    for (const Id& head : heads) {
        const QSet<Id> ancestors = lineage.ancestors(head);
        const auto text = texts.get(head.hash);
        if (!text || depth > 4)
            return {};
        if (!all.text) {
            all = {text, ancestors};
            continue;
        }
        QList<Id> shared;
        for (const Id& id : ancestors)
            if (all.ancestors.contains(id))
                shared.append(id);
        const auto base = mergeOf(lineage, lineage.latest(shared), texts, depth + 1).text;
        // A base is only compared against: changes that overlap are kept both.
        all.text = base ? mergeTexts(*base, *all.text, *text, Overlaps::keepBoth) : std::nullopt;
        if (!all.text)
            return {};
        all.ancestors.unite(ancestors);
    }
    return all;
}

// The text two versions both started from; none where this machine never
// had a text it is made of.
std::optional<QString> baseText(const Lineage& lineage, const Id& x, const Id& y,
                                const AncestorTexts& texts) {
    const QList<Id> latest = lineage.latest(lineage.common(x, y));
    return latest.isEmpty() ? std::nullopt : mergeOf(lineage, latest, texts, 0).text;
}

struct Outcome {
    Side version;
    std::optional<Side> conflict; // the other text, in a note of its own
};

// A conflict note's id: from its note's and a version of the text set aside.
QUuid conflictId(const QUuid& note, const Id& version) {
    return QUuid::createUuidV5(note,
                               QString("%1:%2").arg(hashToString(version.hash)).arg(version.depth));
}

Outcome mergeVersions(const Side& m, const Side& t, const AncestorTexts& texts) {
    if (m.ancestry == t.ancestry && m.note == t.note)
        return {m, std::nullopt};
    Outcome out{m, std::nullopt};
    NoteAncestry& ancestry = out.version.ancestry;
    Note& note = out.version.note;
    note.createdAt = std::min(m.note.createdAt, t.note.createdAt);
    ancestry.versions = m.ancestry.versions.joined(t.ancestry.versions);
    ancestry.history = joinHistories(m.ancestry.history, t.ancestry.history);
    if (canonicallyEqual(m.note.content, t.note.content)) {
        // The same text written alike on both, or by code points that read alike.
        if (t.note.content < m.note.content)
            note.content = t.note.content;
        const TextHash hash =
            m.head().hash == t.head().hash ? m.head().hash : hashText(note.content);
        if (ancestry.head() != Id{hash, ancestry.versions.total()})
            ancestry.append(hash, {m.head(), t.head()});
        return out;
    }
    const bool mineSawTheirs = hasSeen(m, t), theirsSawMine = hasSeen(t, m);
    if (mineSawTheirs != theirsSawMine)
        return {mineSawTheirs ? m : t, std::nullopt};

    // Both changed it since they last agreed: merged against the text they
    // agreed on, or, where this machine never had it, against a guess.
    const Lineage lineage(m.ancestry.history, t.ancestry.history);
    const auto base = baseText(lineage, m.head(), t.head(), texts);
    const auto merged = base ? mergeTexts(*base, m.note.content, t.note.content)
                             : mergeWithoutBase(m.note.content, t.note.content);
    if (merged) {
        note.content = *merged;
        ancestry.append(hashText(note.content), {m.head(), t.head()});
        return out;
    }
    // The text with more versions behind it stays; the other goes beside it.
    const auto rank = [](const Side& v) {
        return std::pair(v.ancestry.versions.total(), ~v.head().hash);
    };
    const Side& kept = rank(m) > rank(t) ? m : t;
    const Side& other = &kept == &m ? t : m;
    note.content = kept.note.content;
    ancestry.append(kept.head().hash, {m.head(), t.head()});
    // It carries the other's versions, and is named after the first of them
    // the kept text never saw: machines that set the same change aside at
    // different stages make one note of it, its latest stage.
    const QSet<Id> seen = lineage.ancestors(kept.head());
    Id first = other.head();
    for (const Version& v : other.ancestry.history)
        if (!seen.contains(v.id))
            first = std::min(first, v.id);
    out.conflict =
        Side{Note{conflictId(note.id, first), other.note.content, note.createdAt}, other.ancestry};
    return out;
}

// Whether the notes both lists hold come in another order in `side` than in `base`.
bool reordered(const QList<QUuid>& base, const QList<Note>& side) {
    QHash<QUuid, qsizetype> at;
    for (qsizetype i = 0; i < base.size(); ++i)
        at.insert(base[i], i);
    qsizetype last = -1;
    for (const Note& n : side) {
        const auto it = at.find(n.id);
        if (it == at.end())
            continue;
        if (*it < last)
            return true;
        last = *it;
    }
    return false;
}

QHash<QUuid, qsizetype> indexOf(const QList<Note>& notes) {
    QHash<QUuid, qsizetype> index;
    for (qsizetype i = notes.size() - 1; i >= 0; --i)
        index.insert(notes[i].id, i); // a duplicate id: the first one
    return index;
}

Side versionAt(const NotesDocument& document, qsizetype i) {
    return Side{document.notes[i],
                i < document.ancestry.size() ? document.ancestry[i] : NoteAncestry{}};
}

} // namespace

QList<ClosedNote> boundClosed(QList<ClosedNote> closed) {
    QHash<QUuid, ClosedNote> byId;
    for (const ClosedNote& c : closed) {
        auto it = byId.find(c.id);
        if (it == byId.end()) {
            byId.insert(c.id, c);
        } else {
            it->versions = it->versions.joined(c.versions);
            it->closedAt = std::max(it->closedAt, c.closedAt);
        }
    }
    closed = byId.values();
    std::sort(closed.begin(), closed.end(), [](const ClosedNote& a, const ClosedNote& b) {
        return std::pair(a.closedAt, a.id) < std::pair(b.closedAt, b.id);
    });
    if (closed.size() > ClosedNote::kKept)
        closed.remove(0, closed.size() - ClosedNote::kKept);
    const NoteTime latest = closed.isEmpty() ? 0 : closed.back().closedAt;
    closed.removeIf([&](const ClosedNote& c) { return c.closedAt < latest - kClosedKeptFor; });
    return closed;
}

void recordOutsideEdits(NotesDocument& document, const QHash<QUuid, KnownVersion>& lastOnDisk,
                        const QHash<QUuid, KnownVersion>& current) {
    document.ancestry.resize(document.notes.size());
    for (qsizetype i = 0; i < document.notes.size(); ++i) {
        const Note& note = document.notes[i];
        NoteAncestry& ancestry = document.ancestry[i];
        const auto onDisk = lastOnDisk.constFind(note.id);
        const bool dropped = ancestry.history.isEmpty();
        if (dropped && onDisk != lastOnDisk.cend())
            ancestry = onDisk->ancestry;
        const auto head = ancestry.head();
        const auto matches = [&](const QHash<QUuid, KnownVersion>& known) {
            const auto it = known.constFind(note.id);
            return it != known.cend() && it->ancestry.head() == head && it->text == note.content;
        };
        if (head && (matches(current) || matches(lastOnDisk)))
            continue;
        const TextHash hash = hashText(note.content);
        if (head && head->hash == hash)
            continue;
        // A text this note had earlier, with no ancestry: an old version,
        // written by a program that had not seen the later ones.
        const auto earlier = std::find_if(ancestry.history.crbegin(), ancestry.history.crend(),
                                          [&](const Version& v) { return v.id.hash == hash; });
        if (dropped && earlier != ancestry.history.crend()) {
            ancestry = NoteAncestry{{}, {Version{earlier->id, {}}}};
            continue;
        }
        // Named after the text, so that every machine recording it agrees.
        ancestry.versions.bump(ReplicaId(hash));
        ancestry.append(hash, head ? QList{*head} : QList<Id>{});
    }
}

NotesDocument mergeDocuments(const NotesDocument& mine, const NotesDocument& theirs,
                             const AncestorTexts& texts, const QList<QUuid>& lastSeen) {
    NotesDocument out;
    QList<ClosedNote> closed = mine.closed + theirs.closed;
    closed = boundClosed(closed);
    QHash<QUuid, qsizetype> closedAt;
    for (qsizetype i = 0; i < closed.size(); ++i)
        closedAt.insert(closed[i].id, i);

    // What each id becomes: nothing when closed, else a version and perhaps a conflict.
    const auto m = indexOf(mine.notes), t = indexOf(theirs.notes);
    QHash<QUuid, Outcome> outcome;
    QSet<QUuid> staysClosed;
    for (const NotesDocument* side : {&mine, &theirs}) {
        for (const Note& n : side->notes) {
            if (outcome.contains(n.id) || staysClosed.contains(n.id))
                continue;
            const auto my = m.find(n.id), their = t.find(n.id);
            Outcome o = my != m.end() && their != t.end()
                            ? mergeVersions(versionAt(mine, *my), versionAt(theirs, *their), texts)
                            : Outcome{versionAt(*side, side == &mine ? *my : *their), {}};
            if (const auto c = closedAt.find(n.id); c != closedAt.end()) {
                if (closed[*c].versions.covers(o.version.ancestry.versions)) {
                    staysClosed.insert(n.id);
                    continue;
                }
                closed[*c].id = QUuid(); // edited after the close: the close is withdrawn
            }
            outcome.insert(n.id, o);
        }
    }
    closed.removeIf([](const ClosedNote& c) { return c.id.isNull(); });
    out.closed = closed;

    // The order: common notes as the side that reordered has them, then
    // each side's own notes after the note they follow there.
    const bool theirsFirst = reordered(lastSeen, theirs.notes) && !reordered(lastSeen, mine.notes);
    const QList<Note>& primary = theirsFirst ? theirs.notes : mine.notes;
    const auto inBoth = [&](const QUuid& id) { return m.contains(id) && t.contains(id); };
    // Runs of one side's own notes, by the common note they follow (null: the start).
    QHash<QUuid, QList<QList<QUuid>>> runs;
    for (const QList<Note>* side : {&mine.notes, &theirs.notes}) {
        QUuid anchor;
        QList<QUuid> run;
        QSet<QUuid> inRun; // lists far longer than ours stay linear
        const auto end = [&] {
            if (!run.isEmpty())
                runs[anchor].append(run);
            run.clear();
            inRun.clear();
        };
        for (const Note& n : *side) {
            if (!outcome.contains(n.id))
                continue;
            if (inBoth(n.id)) {
                end();
                anchor = n.id;
            } else if (!inRun.contains(n.id)) {
                run.append(n.id);
                inRun.insert(n.id);
            }
        }
        end();
    }
    const auto created = [&](const QUuid& id) {
        return std::pair(outcome[id].version.note.createdAt, id);
    };
    QList<QUuid> order;
    QSet<QUuid> ordered; // the common notes placed
    const auto appendRuns = [&](const QUuid& anchor) {
        QList<QList<QUuid>> here = runs.value(anchor);
        std::sort(here.begin(), here.end(), [&](const QList<QUuid>& a, const QList<QUuid>& b) {
            return created(a.front()) < created(b.front());
        });
        for (const QList<QUuid>& run : here)
            order += run;
    };
    appendRuns(QUuid());
    for (const Note& n : primary)
        if (inBoth(n.id) && outcome.contains(n.id) && !ordered.contains(n.id)) {
            order.append(n.id);
            ordered.insert(n.id);
            appendRuns(n.id);
        }

    QSet<QUuid> placed;
    const auto place = [&](const Side& v) {
        placed.insert(v.note.id);
        out.notes.append(v.note);
        out.ancestry.append(v.ancestry);
    };
    for (const QUuid& id : order)
        if (!placed.contains(id))
            place(outcome[id].version);
    // Notes closed on both sides, every one: a blank note, the same on every
    // machine, until notes come back.
    const QUuid blank = QUuid::createUuidV5(QUuid(), QStringLiteral("jotbox blank note"));
    if (out.notes.isEmpty()) {
        out.notes.append(Note{blank, QString(), closed.isEmpty() ? 0 : closed.back().closedAt});
        out.ancestry.append(NoteAncestry{});
        out.ancestry.back().append(hashText(QString()), {});
    } else if (out.notes.size() > 1) {
        for (qsizetype i = out.notes.size() - 1; i >= 0; --i)
            if (out.notes[i].id == blank && out.notes[i].content.isEmpty()) {
                out.notes.removeAt(i);
                out.ancestry.removeAt(i);
            }
    }
    // Conflict notes right after theirs, unless that text is in a note
    // already, or every word of it in theirs (the other side only deleted).
    for (qsizetype i = 0; i < out.notes.size(); ++i) {
        const std::optional<Side> conflict = outcome.value(out.notes[i].id).conflict;
        if (!conflict || placed.contains(conflict->note.id) ||
            holdsEveryWord(conflict->note.content, out.notes[i].content) ||
            std::any_of(out.notes.begin(), out.notes.end(), [&](const Note& n) {
                return canonicallyEqual(n.content, conflict->note.content);
            }))
            continue;
        placed.insert(conflict->note.id);
        // The same change set aside before, at an earlier stage (before more
        // typing reached it): that note takes this stage, so one note holds it.
        const auto isEarlierStage = [&](qsizetype j) {
            const NoteAncestry& a = out.ancestry[j];
            return a.head() && conflict->ancestry.versions.covers(a.versions) &&
                   conflict->ancestry.has(*a.head()) &&
                   std::any_of(conflict->ancestry.history.begin(), conflict->ancestry.history.end(),
                               [&](const Version& v) {
                                   return out.notes[j].id == conflictId(out.notes[i].id, v.id);
                               });
        };
        qsizetype j = 0;
        while (j < out.notes.size() && !isEarlierStage(j))
            ++j;
        if (j < out.notes.size()) {
            out.notes[j].content = conflict->note.content;
            out.ancestry[j] = conflict->ancestry;
            continue;
        }
        out.notes.insert(i + 1, conflict->note);
        out.ancestry.insert(i + 1, conflict->ancestry);
    }
    return out;
}

} // namespace jotbox
