#include "sync/TextMerge.h"

#include "sync/TextChanges.h"

#include <dtl/dtl.hpp>

#include <QHash>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

namespace jotbox {

namespace {

using namespace text;

bool overlap(const Hunk& a, const Hunk& b) {
    if (a.isInsertion())
        return b.from < a.from && a.from < b.to;
    if (b.isInsertion())
        return a.from < b.from && b.from < a.to;
    return a.from < b.to && b.from < a.to;
}

// Appends `text`, with a space or line break before it where it would run
// into a word `out` ends with.
void appendApart(QString& out, QStringView text, bool multiline) {
    if (!out.isEmpty() && !text.isEmpty() && !out.back().isSpace() && !text.front().isSpace())
        out.append(multiline ? u'\n' : u' ');
    out.append(text);
}

// Two different insertions at one place: both, the one that sorts first
// first, so that every machine merging them gets the same text.
QString interleave(const Hunk& a, const Hunk& b) {
    const Hunk& first = a.text < b.text ? a : b;
    const Hunk& second = &first == &a ? b : a;
    QString out = first.text.toString();
    appendApart(out, second.text, first.text.contains(u'\n') || second.text.contains(u'\n'));
    return out;
}

struct Merged {
    bool tooFarApart = false;
    std::optional<QString> text; // none when the changes overlap
};

// What one side's hunks make of base tokens [from, to).
QString version(const Tokens& b, qsizetype from, qsizetype to, std::vector<Hunk>::const_iterator h,
                std::vector<Hunk>::const_iterator end) {
    QString out;
    for (; h != end && h->from < to + (h->isInsertion() ? 1 : 0); ++h) {
        out.append(b.span(from, h->from)).append(h->text);
        from = h->to;
    }
    return out.append(b.span(from, to));
}

// A text both sides inserted in different places (but for the spaces around
// it), when the base is only a guess, was moved rather than typed twice: it
// stays where it comes first.
void dropMoves(std::vector<Hunk>& ours, std::vector<Hunk>& others) {
    // Each side judged against the other as it came, not as already pruned.
    const auto kept = [](const std::vector<Hunk>& from, const std::vector<Hunk>& than) {
        std::vector<Hunk> out;
        std::copy_if(from.begin(), from.end(), std::back_inserter(out), [&](const Hunk& h) {
            return !h.isInsertion() || h.text.trimmed().isEmpty() ||
                   std::none_of(than.begin(), than.end(), [&](const Hunk& o) {
                       return o.isInsertion() && o.text.trimmed() == h.text.trimmed() &&
                              o.from < h.from;
                   });
        });
        return out;
    };
    std::vector<Hunk> a = kept(ours, others), b = kept(others, ours);
    ours = std::move(a);
    others = std::move(b);
}

// The merge itself, over texts cut into tokens with one dictionary.
Merged merge(const Tokens& b, const Tokens& m, const Tokens& t, Overlaps overlaps,
             bool baseGuessed) {
    const QStringView mine = m.text, theirs = t.text;
    auto ours = changes(b, m), others = changes(b, t);
    if (!ours || !others)
        return {true, std::nullopt};
    if (baseGuessed)
        dropMoves(*ours, *others);

    QString out;
    out.reserve(std::max(mine.size(), theirs.size()) + 64);
    qsizetype cursor = 0; // base tokens up to here are done
    const auto apply = [&](const Hunk& h) {
        out.append(b.span(cursor, h.from)).append(h.text);
        cursor = h.to;
    };
    auto x = ours->begin(), y = others->begin();
    while (x != ours->end() || y != others->end()) {
        if (y == others->end() || (x != ours->end() && !overlap(*x, *y) && x->from < y->from)) {
            apply(*x++);
            continue;
        }
        if (x == ours->end() || (!overlap(*x, *y) && y->from < x->from)) {
            apply(*y++);
            continue;
        }
        // Both at the same place, or crossing.
        if (x->from == y->from && x->to == y->to && x->text == y->text) {
            apply(*x++); // the same change on both sides: once
            ++y;
        } else if (x->isInsertion() && y->isInsertion() && x->from == y->from) {
            out.append(b.span(cursor, x->from)).append(interleave(*x, *y));
            cursor = x->to;
            ++x, ++y;
        } else if (x->isInsertion() && x->from == y->from) {
            apply(*x++); // typed just before what the other side replaced
        } else if (y->isInsertion() && y->from == x->from) {
            apply(*y++);
        } else {
            // The stretch both changed, and every change of either side in it.
            qsizetype from = std::min(x->from, y->from), to = std::max(x->to, y->to);
            auto xEnd = x, yEnd = y;
            for (bool grew = true; grew;) {
                grew = false;
                for (auto* it : {&xEnd, &yEnd}) {
                    const auto end = it == &xEnd ? ours->end() : others->end();
                    while (*it != end && (*it)->from < to + ((*it)->isInsertion() ? 1 : 0)) {
                        grew |= (*it)->to > to;
                        to = std::max(to, (*it)->to);
                        ++*it;
                    }
                }
            }
            const auto deletesOnly = [](auto begin, auto end) {
                return std::all_of(begin, end, [](const Hunk& h) { return h.text.isEmpty(); });
            };
            out.append(b.span(cursor, from));
            if (deletesOnly(x, xEnd) && deletesOnly(y, yEnd)) {
                // Both only deleted: what either deleted goes.
                for (qsizetype i = from; i < to; ++i)
                    if (std::none_of(x, xEnd,
                                     [&](const Hunk& h) { return h.from <= i && i < h.to; }) &&
                        std::none_of(y, yEnd,
                                     [&](const Hunk& h) { return h.from <= i && i < h.to; }))
                        out.append(b.span(i, i + 1));
            } else if (overlaps == Overlaps::keepBoth) {
                // As each side has it: the two, one after the other.
                const QString a = version(b, from, to, x, xEnd), c = version(b, from, to, y, yEnd);
                out.append(std::min(a, c)).append(std::max(a, c));
            } else {
                return {};
            }
            cursor = to;
            x = xEnd;
            y = yEnd;
        }
    }
    out.append(b.span(cursor, b.size()));
    return {false, out};
}

Merged merge(QStringView base, QStringView mine, QStringView theirs, Unit unit, Overlaps overlaps) {
    QHash<QStringView, int> dictionary;
    const Tokens b = tokenize(base, unit, dictionary), m = tokenize(mine, unit, dictionary),
                 t = tokenize(theirs, unit, dictionary);
    return merge(b, m, t, overlaps, false);
}

// Two texts merged against what they have in common, in order: the words
// both hold, and the spaces and line breaks right beside them in both. The
// tokens are kept as they stand rather than cut anew (two words that come
// together would read as one), and spaces that stand apart from any common
// word are left out, or each side's words would be dealt between them.
Merged mergeOnCommon(QStringView mine, QStringView theirs, Unit unit) {
    QHash<QStringView, int> dictionary;
    const Tokens m = tokenize(mine, unit, dictionary), t = tokenize(theirs, unit, dictionary);
    const Tokens& x = mine <= theirs ? m : t; // the same whichever comes first
    const Tokens& y = &x == &m ? t : m;
    if (x.ids.size() + y.ids.size() > 4 * kMaxDiffering)
        return {true, std::nullopt};
    dtl::Diff<int> diff(x.ids, y.ids);
    diff.compose();
    std::vector<std::pair<qsizetype, qsizetype>> both; // where each common token stands in x, y
    qsizetype i = 0, j = 0;
    for (const auto& [id, info] : diff.getSes().getSequence()) {
        (void)id;
        if (info.type == dtl::SES_COMMON)
            both.emplace_back(i, j);
        i += info.type != dtl::SES_ADD;
        j += info.type != dtl::SES_DELETE;
    }
    const auto blank = [&](std::size_t k) {
        return x.span(both[k].first, both[k].first + 1).trimmed().isEmpty();
    };
    const auto besideWord = [&](std::size_t k, std::size_t other) {
        return other < both.size() && !blank(other) &&
               std::abs(both[other].first - both[k].first) == 1 &&
               both[other].first - both[k].first == both[other].second - both[k].second;
    };
    QString common;
    Tokens b{{}, {0}, {}};
    for (std::size_t k = 0; k < both.size(); ++k) {
        if (blank(k) && !besideWord(k, k - 1) && !besideWord(k, k + 1))
            continue;
        common.append(x.span(both[k].first, both[k].first + 1));
        b.starts.push_back(common.size());
        b.ids.push_back(x.ids[std::size_t(both[k].first)]);
    }
    b.text = common;
    return merge(b, m, t, Overlaps::fail, true);
}

std::optional<QString> mergeAny(QStringView base, QStringView mine, QStringView theirs,
                                Overlaps overlaps) {
    if (mine == theirs || theirs == base)
        return mine.toString();
    if (mine == base)
        return theirs.toString();
    Merged merged = merge(base, mine, theirs, Unit::words, overlaps);
    if (merged.tooFarApart)
        merged = merge(base, mine, theirs, Unit::lines, overlaps);
    return merged.text;
}

} // namespace

bool holdsEveryWord(QStringView base, QStringView text) {
    QHash<QStringView, int> dictionary;
    const Tokens b = tokenize(base, Unit::words, dictionary),
                 t = tokenize(text, Unit::words, dictionary);
    QHash<int, qsizetype> count;
    for (qsizetype i = 0; i < t.size(); ++i)
        ++count[t.ids[std::size_t(i)]];
    for (qsizetype i = 0; i < b.size(); ++i)
        if (!b.span(i, i + 1).trimmed().isEmpty() && --count[b.ids[std::size_t(i)]] < 0)
            return false;
    return true;
}

std::optional<QString> mergeTexts(QStringView base, QStringView mine, QStringView theirs,
                                  Overlaps overlaps) {
    auto merged = mergeAny(base, mine, theirs, overlaps);
    // Machines that merged the same changes in another order, or a word one
    // moved, read as changes that overlap; where neither side deleted a word,
    // nothing is lost by merging them as texts with no base.
    if (!merged && holdsEveryWord(base, mine) && holdsEveryWord(base, theirs))
        merged = mergeWithoutBase(mine, theirs);
    return merged;
}

std::optional<QString> mergeWithoutBase(QStringView mine, QStringView theirs) {
    if (mine == theirs)
        return mine.toString();
    Merged merged = mergeOnCommon(mine, theirs, Unit::words);
    if (merged.tooFarApart)
        merged = mergeOnCommon(mine, theirs, Unit::lines);
    return merged.text;
}

} // namespace jotbox
