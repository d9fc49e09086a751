#include "notes/TextMerge.h"

#include <dtl/dtl.hpp>
#include <unicode/ubrk.h>

#include <QHash>

#include <algorithm>
#include <memory>
#include <vector>

namespace jotbox {

namespace {

// Past this many differing tokens between two texts, a merge would stall
// the panel: compare lines instead, and past this many lines, give up.
constexpr std::size_t kMaxDiffering = 40'000;

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

struct BreakIteratorCloser {
    void operator()(UBreakIterator* it) const { ubrk_close(it); }
};

std::vector<qsizetype> boundaries(QStringView text, Unit unit) {
    std::vector<qsizetype> starts{0};
    if (unit == Unit::lines) {
        for (qsizetype i = 0; i < text.size(); ++i)
            if (text[i] == u'\n')
                starts.push_back(i + 1);
    } else {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UBreakIterator, BreakIteratorCloser> words(
            ubrk_open(UBRK_WORD, "", text.utf16(), static_cast<int32_t>(text.size()), &status));
        if (U_FAILURE(status)) // no segmentation at all: whole lines still merge
            return boundaries(text, Unit::lines);
        for (int32_t at = ubrk_next(words.get()); at != UBRK_DONE; at = ubrk_next(words.get()))
            starts.push_back(at);
    }
    if (starts.back() != text.size())
        starts.push_back(text.size());
    return starts;
}

Tokens tokenize(QStringView text, Unit unit, QHash<QStringView, int>& dictionary) {
    Tokens tokens{text, boundaries(text, unit), {}};
    tokens.ids.reserve(tokens.starts.size() - 1);
    for (std::size_t i = 0; i + 1 < tokens.starts.size(); ++i) {
        const QStringView token =
            text.sliced(tokens.starts[i], tokens.starts[i + 1] - tokens.starts[i]);
        auto id = dictionary.constFind(token);
        if (id == dictionary.cend())
            id = dictionary.insert(token, int(dictionary.size()));
        tokens.ids.push_back(*id);
    }
    return tokens;
}

// One change of a side: base tokens [from, to) became side tokens [sideFrom, sideTo).
struct Hunk {
    qsizetype from, to, sideFrom, sideTo;
    QStringView text; // what it puts in their place
    const Tokens* side = nullptr;
    bool isInsertion() const { return from == to; }
};

std::optional<std::vector<Hunk>> changes(const Tokens& base, const Tokens& side) {
    qsizetype head = 0, tail = 0;
    const qsizetype n = base.size(), m = side.size();
    while (head < n && head < m && base.ids[head] == side.ids[head])
        ++head;
    while (tail < n - head && tail < m - head && base.ids[n - 1 - tail] == side.ids[m - 1 - tail])
        ++tail;
    const std::vector<int> a(base.ids.begin() + head, base.ids.end() - tail);
    const std::vector<int> b(side.ids.begin() + head, side.ids.end() - tail);
    if (a.size() + b.size() > kMaxDiffering)
        return std::nullopt;
    std::vector<Hunk> hunks;
    if (a.empty() && b.empty())
        return hunks;
    // Hunks are runs of edits between common tokens.
    qsizetype at = head, sideAt = head;
    std::optional<Hunk> open;
    const auto close = [&] {
        if (open) {
            open->to = at;
            open->sideTo = sideAt;
            open->text = side.span(open->sideFrom, open->sideTo);
            hunks.push_back(*open);
            open.reset();
        }
    };
    const auto edit = [&] {
        if (!open)
            open = Hunk{at, at, sideAt, sideAt, {}, &side};
    };
    if (a.empty() || b.empty()) { // all inserted or all deleted: nothing to compare
        edit();
        at += qsizetype(a.size());
        sideAt += qsizetype(b.size());
    } else {
        dtl::Diff<int> diff(a, b);
        diff.compose();
        for (const auto& [id, info] : diff.getSes().getSequence()) {
            (void)id;
            if (info.type == dtl::SES_COMMON) {
                close();
                ++at, ++sideAt;
            } else {
                edit();
                info.type == dtl::SES_DELETE ? ++at : ++sideAt;
            }
        }
    }
    close();
    return hunks;
}

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

// Two insertions at one place, as one: what both begin or end with once
// (both may have it from a version the base text predates), and between
// that what each typed, the one that sorts first first. The same whichever
// is called first.
QString interleave(const Hunk& a, const Hunk& b) {
    const Hunk& first = a.text < b.text ? a : b;
    const Hunk& second = &first == &a ? b : a;
    const auto id = [](const Hunk& h, qsizetype i) { return h.side->ids[h.sideFrom + i]; };
    const qsizetype n = first.sideTo - first.sideFrom, m = second.sideTo - second.sideFrom;
    qsizetype head = 0, tail = 0;
    while (head < n && head < m && id(first, head) == id(second, head))
        ++head;
    while (tail < n - head && tail < m - head &&
           id(first, n - 1 - tail) == id(second, m - 1 - tail))
        ++tail;
    const auto part = [](const Hunk& h, qsizetype from, qsizetype to) {
        return h.side->span(h.sideFrom + from, h.sideFrom + to);
    };
    const bool multiline = first.text.contains(u'\n') || second.text.contains(u'\n');
    QString out = part(first, 0, head).toString();
    appendApart(out, part(first, head, n - tail), multiline);
    appendApart(out, part(second, head, m - tail), multiline);
    out.append(part(first, n - tail, n));
    return out;
}

struct Merged {
    bool tooFarApart = false;
    std::optional<QString> text; // none when the changes overlap
};

Merged merge(QStringView base, QStringView mine, QStringView theirs, Unit unit) {
    QHash<QStringView, int> dictionary;
    const Tokens b = tokenize(base, unit, dictionary), m = tokenize(mine, unit, dictionary),
                 t = tokenize(theirs, unit, dictionary);
    const auto ours = changes(b, m), others = changes(b, t);
    if (!ours || !others)
        return {true, std::nullopt};

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
            return {};
        }
    }
    out.append(b.span(cursor, b.size()));
    return {false, out};
}

} // namespace

std::optional<QString> mergeTexts(QStringView base, QStringView mine, QStringView theirs) {
    if (mine == theirs || theirs == base)
        return mine.toString();
    if (mine == base)
        return theirs.toString();
    Merged merged = merge(base, mine, theirs, Unit::words);
    if (merged.tooFarApart)
        merged = merge(base, mine, theirs, Unit::lines);
    return merged.text;
}

} // namespace jotbox
