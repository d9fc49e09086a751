#include "sync/NoteVersionsMerge.h"

#include "notes/TextEquivalence.h"
#include "sync/TextMerge.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace jotbox {

namespace {

using Id = NoteAncestry::Id;
using Version = NoteAncestry::Version;

// Whether `x` has seen `y`. A history as long as it gets may have forgotten
// y; a shorter one must hold it, which also guards against counts reused
// after a crash.
bool hasSeen(const SideVersion& x, const SideVersion& y) {
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

} // namespace

QUuid conflictId(const QUuid& note, const Id& version) {
    return QUuid::createUuidV5(note,
                               QString("%1:%2").arg(hashToString(version.hash)).arg(version.depth));
}

MergedVersion mergeVersions(const SideVersion& m, const SideVersion& t,
                            const AncestorTexts& texts) {
    if (m.ancestry == t.ancestry && m.note == t.note)
        return {m, std::nullopt};
    MergedVersion out{m, std::nullopt};
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
    const auto rank = [](const SideVersion& v) {
        return std::pair(v.ancestry.versions.total(), ~v.head().hash);
    };
    const SideVersion& kept = rank(m) > rank(t) ? m : t;
    const SideVersion& other = &kept == &m ? t : m;
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
    out.conflict = SideVersion{Note{conflictId(note.id, first), other.note.content, note.createdAt},
                               other.ancestry};
    return out;
}

} // namespace jotbox
