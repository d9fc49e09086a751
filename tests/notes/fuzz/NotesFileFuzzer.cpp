// Any bytes as "notes.json": decoding gives a whole list or none, never a
// crash, hang or leak; whatever decodes is written back to bytes that decode
// to the very same list, and writing those again changes nothing.
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
    const auto notes =
        NotesFile::decode(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!notes)
        return 0;
    const auto bytes = NotesFile::encode(*notes);
    const auto back = bytes ? NotesFile::decode(*bytes) : std::nullopt;
    if (!back || !std::ranges::equal(*notes, *back, identical) ||
        NotesFile::encode(*back) != bytes) {
        std::fprintf(stderr, "notes file round trip: %s\n",
                     !bytes  ? "cannot be written"
                     : !back ? "does not decode"
                             : "changed");
        std::abort();
    }
    return 0;
}
