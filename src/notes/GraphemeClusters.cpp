#include "notes/GraphemeClusters.h"

#include "notes/BreakIterator.h"

namespace jotbox {

namespace {

// ICU, not QTextBoundaryFinder: Qt's own segmentation splits CR LF pairs and
// even surrogate pairs when Indic text appears anywhere in the string.
// Opening an iterator loads its rules; one per thread is kept and reused.
UBreakIterator* characterBreaks() {
    thread_local BreakIterator iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        BreakIterator it(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
        return U_SUCCESS(status) ? std::move(it) : nullptr;
    }();
    return iterator.get();
}

// The end of the `count`th cluster of `text`, -1 when it has fewer, or -2
// when ICU cannot segment at all.
qsizetype endOfCluster(QStringView text, qsizetype count) {
    UBreakIterator* breaks = characterBreaks();
    UErrorCode status = U_ZERO_ERROR;
    if (!breaks)
        return -2;
    ubrk_setText(breaks, text.utf16(), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        return -2;
    qsizetype boundary = 0;
    for (qsizetype found = 0; found < count; ++found) {
        boundary = ubrk_next(breaks);
        if (boundary == UBRK_DONE)
            return -1;
    }
    return boundary;
}

} // namespace

QStringView firstGraphemeClusters(QStringView text, qsizetype count) {
    if (count <= 0 || text.isEmpty())
        return text.first(0);
    // Segments a growing prefix only, so a huge line costs no more than its
    // first few characters. A break found before the end of the prefix is
    // final: whether a break falls somewhere depends only on the text before
    // it and the one code point after it, and the prefix never ends inside a
    // surrogate pair, so that code point is whole.
    for (qsizetype window = 4 * count;; window *= 2) {
        if (window < text.size() && text[window - 1].isHighSurrogate())
            ++window;
        const bool whole = window >= text.size();
        const QStringView prefix = whole ? text : text.first(window);
        const qsizetype end = endOfCluster(prefix, count);
        if (end == -2) // ICU unusable: count code units rather than fail
            return text.first(std::min(text.size(), count));
        if (end >= 0 && (whole || end < prefix.size()))
            return text.first(end);
        if (whole)
            return text;
    }
}

} // namespace jotbox
