#pragma once

#include <unicode/ubrk.h>

#include <memory>

namespace jotbox {

// An ICU break iterator, closed when let go.
struct BreakIteratorCloser {
    void operator()(UBreakIterator* it) const { ubrk_close(it); }
};
using BreakIterator = std::unique_ptr<UBreakIterator, BreakIteratorCloser>;

} // namespace jotbox
