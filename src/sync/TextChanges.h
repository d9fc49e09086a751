#pragma once

#include <QHash>
#include <QStringView>

#include <optional>
#include <vector>

// What a merge of texts compares: a text cut into tokens (words, spaces,
// line breaks and signs, or whole lines), and the changes that make one
// token list of another.
namespace jotbox::text {

// Past this many differing tokens between two texts, a merge would stall
// the panel: compare lines instead, and past this many lines, give up.
inline constexpr std::size_t kMaxDiffering = 40'000;

enum class Unit { words, lines };

// A text cut into tokens: where each starts, and one past the last.
struct Tokens {
    QStringView text;
    std::vector<qsizetype> starts; // starts.size() - 1 tokens; the last entry is text.size()
    std::vector<int> ids;          // the same token text has the same id in all three
    qsizetype size() const { return qsizetype(ids.size()); }
    QStringView span(qsizetype from, qsizetype to) const {
        return text.sliced(starts[from], starts[to] - starts[from]);
    }
};

// Cuts `text`; the same token text gets the same id from `dictionary`.
Tokens tokenize(QStringView text, Unit unit, QHash<QStringView, int>& dictionary);

// One change of a side: base tokens [from, to) became side tokens [sideFrom, sideTo).
struct Hunk {
    qsizetype from, to, sideFrom, sideTo;
    QStringView text; // what it puts in their place
    const Tokens* side = nullptr;
    bool isInsertion() const { return from == to; }
};

// What `side` changed of `base`, each change as far back as it can stand;
// none when the two are too far apart to compare quickly.
std::optional<std::vector<Hunk>> changes(const Tokens& base, const Tokens& side);

} // namespace jotbox::text
