#include "sync/NotesMerge.h"

#include "notes/TextEquivalence.h"
#include "sync/NoteVersionsMerge.h"
#include "sync/TextMerge.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

namespace jotbox {

namespace {

constexpr NoteTime kClosedKeptFor = 90 * 24 * 3600;

using Id = NoteAncestry::Id;
using Version = NoteAncestry::Version;

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

SideVersion versionAt(const NotesDocument& document, qsizetype i) {
    return SideVersion{document.notes[i],
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
                        const QHash<QUuid, KnownVersion>& current,
                        const QHash<QUuid, NoteAncestry>& closedHere) {
    document.ancestry.resize(document.notes.size());
    for (qsizetype i = 0; i < document.notes.size(); ++i) {
        const Note& note = document.notes[i];
        NoteAncestry& ancestry = document.ancestry[i];
        const auto onDisk = lastOnDisk.constFind(note.id);
        const bool dropped = ancestry.history.isEmpty();
        if (dropped && onDisk != lastOnDisk.cend())
            ancestry = onDisk->ancestry;
        else if (const auto closed = closedHere.constFind(note.id);
                 dropped && closed != closedHere.cend())
            ancestry = *closed; // its text unchanged, the close still covers it
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
        // Counted apart from every installation, alike on every machine that
        // records it: one entry for all such edits, so that a program editing
        // the file all day does not grow the note's record. Two such edits
        // made apart tell themselves apart by their heads, as any versions do.
        // A note known from nowhere is named after its text instead: counted
        // from nothing, it would pass for one any close of the note had seen.
        ancestry.versions.bump(head ? kOutsideEdits : ReplicaId(hash));
        ancestry.append(hash, head ? QList{*head} : QList<Id>{});
    }
}

namespace {

using MergedNotes = QHash<QUuid, MergedVersion>;

// What each note becomes: both sides' versions merged; none when its close
// covers every version of it (one edited after its close withdraws the close).
MergedNotes mergeNotes(const NotesDocument& mine, const NotesDocument& theirs,
                       const AncestorTexts& texts, QList<ClosedNote>& closed) {
    QHash<QUuid, qsizetype> closedAt;
    for (qsizetype i = 0; i < closed.size(); ++i)
        closedAt.insert(closed[i].id, i);
    const auto m = indexOf(mine.notes), t = indexOf(theirs.notes);
    MergedNotes outcome;
    QSet<QUuid> staysClosed;
    for (const NotesDocument* side : {&mine, &theirs}) {
        for (const Note& n : side->notes) {
            if (outcome.contains(n.id) || staysClosed.contains(n.id))
                continue;
            const auto my = m.find(n.id), their = t.find(n.id);
            MergedVersion o =
                my != m.end() && their != t.end()
                    ? mergeVersions(versionAt(mine, *my), versionAt(theirs, *their), texts)
                    : MergedVersion{versionAt(*side, side == &mine ? *my : *their), {}};
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
    return outcome;
}

// The order: common notes as the side that reordered has them, then each
// side's own notes after the note they follow there.
QList<QUuid> mergedOrder(const NotesDocument& mine, const NotesDocument& theirs,
                         const MergedNotes& outcome, const QList<QUuid>& lastSeen) {
    const auto m = indexOf(mine.notes), t = indexOf(theirs.notes);
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
        return std::pair(outcome.constFind(id)->version.note.createdAt, id);
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
    return order;
}

// Notes closed on both sides, every one: a blank note, the same on every
// machine, until notes come back.
void standInForNone(NotesDocument& out) {
    const QUuid blank = QUuid::createUuidV5(QUuid(), QStringLiteral("jotbox blank note"));
    if (out.notes.isEmpty()) {
        out.notes.append(
            Note{blank, QString(), out.closed.isEmpty() ? 0 : out.closed.back().closedAt});
        out.ancestry.append(NoteAncestry{});
        out.ancestry.back().append(hashText(QString()), {});
    } else if (out.notes.size() > 1) {
        for (qsizetype i = out.notes.size() - 1; i >= 0; --i)
            if (out.notes[i].id == blank && out.notes[i].content.isEmpty()) {
                out.notes.removeAt(i);
                out.ancestry.removeAt(i);
            }
    }
}

// Conflict notes right after theirs, unless that text is in a note
// already, or every word of it in theirs (the other side only deleted).
void placeConflicts(NotesDocument& out, const MergedNotes& outcome, QSet<QUuid>& placed) {
    for (qsizetype i = 0; i < out.notes.size(); ++i) {
        const std::optional<SideVersion> conflict = outcome.value(out.notes[i].id).conflict;
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
}

} // namespace

NotesDocument mergeDocuments(const NotesDocument& mine, const NotesDocument& theirs,
                             const AncestorTexts& texts, const QList<QUuid>& lastSeen) {
    NotesDocument out;
    out.closed = boundClosed(mine.closed + theirs.closed);
    const MergedNotes outcome = mergeNotes(mine, theirs, texts, out.closed);
    QSet<QUuid> placed;
    for (const QUuid& id : mergedOrder(mine, theirs, outcome, lastSeen))
        if (!placed.contains(id)) {
            placed.insert(id);
            const SideVersion& version = outcome.constFind(id)->version;
            out.notes.append(version.note);
            out.ancestry.append(version.ancestry);
        }
    standInForNone(out);
    placeConflicts(out, outcome, placed);
    return out;
}

} // namespace jotbox
