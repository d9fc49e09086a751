#include "notes/NoteAncestry.h"

#include <algorithm>
#include <charconv>

namespace jotbox {

quint64 VersionVector::count(ReplicaId replica) const {
    const auto it =
        std::lower_bound(m_counts.begin(), m_counts.end(), std::pair(replica, quint64(0)));
    return it != m_counts.end() && it->first == replica ? it->second : 0;
}

void VersionVector::set(ReplicaId replica, quint64 count) {
    const auto it =
        std::lower_bound(m_counts.begin(), m_counts.end(), std::pair(replica, quint64(0)));
    if (it != m_counts.end() && it->first == replica)
        it->second = count;
    else
        m_counts.insert(it, {replica, count});
}

VersionVector VersionVector::fromCounts(std::vector<std::pair<ReplicaId, quint64>> counts) {
    std::stable_sort(counts.begin(), counts.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    VersionVector out;
    out.m_counts.reserve(counts.size());
    for (const auto& entry : counts)
        if (!out.m_counts.empty() && out.m_counts.back().first == entry.first)
            out.m_counts.back().second = entry.second;
        else
            out.m_counts.push_back(entry);
    return out;
}

bool VersionVector::covers(const VersionVector& other) const {
    return std::all_of(other.m_counts.begin(), other.m_counts.end(),
                       [this](const auto& entry) { return count(entry.first) >= entry.second; });
}

VersionVector VersionVector::joined(const VersionVector& other) const {
    VersionVector out;
    out.m_counts.reserve(m_counts.size() + other.m_counts.size());
    auto a = m_counts.begin(), b = other.m_counts.begin();
    while (a != m_counts.end() || b != other.m_counts.end()) {
        if (b == other.m_counts.end() || (a != m_counts.end() && a->first < b->first))
            out.m_counts.push_back(*a++);
        else if (a == m_counts.end() || b->first < a->first)
            out.m_counts.push_back(*b++);
        else
            out.m_counts.emplace_back(a->first, std::max(a->second, b->second)), ++a, ++b;
    }
    return out;
}

quint64 VersionVector::total() const {
    quint64 sum = 0;
    for (const auto& entry : m_counts)
        sum += entry.second;
    return sum;
}

bool NoteAncestry::has(const Id& id) const {
    return std::any_of(history.begin(), history.end(),
                       [&](const Version& v) { return v.id == id; });
}

void NoteAncestry::append(TextHash hash, QList<Id> parents) {
    const Id id{hash, versions.total()};
    // The same version reached again keeps what it came from before, too.
    for (const Version& v : history)
        if (v.id == id)
            parents += v.parents;
    history.removeIf([&](const Version& v) { return v.id == id; });
    parents.removeAll(id);
    std::sort(parents.begin(), parents.end()); // the same whichever side is whose
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    history.append(Version{id, std::move(parents)});
    if (history.size() > kHistoryLength)
        history.remove(0, history.size() - kHistoryLength);
}

QString replicaToString(ReplicaId replica) {
    return QStringLiteral("%1").arg(replica, 8, 16, QLatin1Char('0'));
}

std::optional<ReplicaId> replicaFromString(QLatin1StringView text) {
    if (text.size() != 8 || !std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        }))
        return std::nullopt;
    ReplicaId replica = 0;
    std::from_chars(text.data(), text.data() + text.size(), replica, 16);
    return replica;
}

} // namespace jotbox
