// Any bytes as "notes.json": decoding gives a whole list or none, never a
// crash, hang or leak; whatever decodes, Jotbox's own keys included, is
// written back to bytes that decode to the very same notes and ancestry,
// and writing those again changes nothing.
#include "notes/NotesFile.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace jotbox;

namespace {

// Exactly the same, not merely equivalent: writing must not alter a
// character or the sign of a zero.
bool identical(const Note& a, const Note& b) {
    return a.id == b.id && a.content == b.content &&
           std::bit_cast<std::uint64_t>(a.createdAt) == std::bit_cast<std::uint64_t>(b.createdAt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto document =
        NotesFile::decodeDocument(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!document)
        return 0;
    const auto bytes = NotesFile::encode(*document);
    const auto back = bytes ? NotesFile::decodeDocument(*bytes) : std::nullopt;
    if (!back || !std::ranges::equal(document->notes, back->notes, identical) ||
        document->ancestry != back->ancestry || document->closed != back->closed ||
        NotesFile::encode(*back) != bytes) {
        std::fprintf(stderr, "notes file round trip: %s\n",
                     !bytes  ? "cannot be written"
                     : !back ? "does not decode"
                             : "changed");
        std::abort();
    }
    return 0;
}
