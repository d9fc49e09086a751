#include "sync/TextChanges.h"

#include "notes/BreakIterator.h"

#include <dtl/dtl.hpp>

namespace jotbox::text {

namespace {

std::vector<qsizetype> boundaries(QStringView text, Unit unit) {
    std::vector<qsizetype> starts{0};
    if (unit == Unit::lines) {
        for (qsizetype i = 0; i < text.size(); ++i)
            if (text[i] == u'\n')
                starts.push_back(i + 1);
    } else {
        UErrorCode status = U_ZERO_ERROR;
        BreakIterator words(
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

// An insertion or deletion next to tokens like its own could stand in more
// than one place ("a ␣" typed after a space or "␣ a" before it), and the
// diff picks by what else changed. Each moves as far back as it can, so
// that the same change made on two machines stands in the same place and
// merges once.
void slideLeft(std::vector<Hunk>& hunks, const Tokens& base, const Tokens& side) {
    qsizetype limit = 0; // not into, nor up against, the change before
    for (Hunk& h : hunks) {
        if (h.isInsertion()) {
            while (h.from > limit && base.ids[h.from - 1] == side.ids[h.sideTo - 1]) {
                --h.from, --h.to, --h.sideFrom, --h.sideTo;
            }
        } else if (h.sideFrom == h.sideTo) {
            while (h.from > limit && base.ids[h.from - 1] == base.ids[h.to - 1]) {
                --h.from, --h.to, --h.sideFrom, --h.sideTo;
            }
        }
        h.text = side.span(h.sideFrom, h.sideTo);
        limit = h.to + 1;
    }
}

} // namespace

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
    slideLeft(hunks, base, side);
    return hunks;
}

} // namespace jotbox::text
