// Any bytes as "notes.json": decoding gives a whole list or none, never a
// crash, hang or leak; whatever decodes is written back to bytes that decode
// to the very same list, and writing those again changes nothing.
#include "notes/NotesFile.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace jotbox;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "notes file round trip: %s\n", what);
    std::abort();
}

bool identical(const Note& a, const Note& b) {
    // Exactly the same, not merely equivalent: writing must not alter a
    // character or the sign of a zero.
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
    if (!bytes)
        fail("a decoded list cannot be written");
    const auto back = NotesFile::decode(*bytes);
    if (!back)
        fail("what was written does not decode");
    if (back->size() != notes->size())
        fail("the number of notes changed");
    for (qsizetype i = 0; i < notes->size(); ++i)
        if (!identical(notes->at(i), back->at(i)) || !(notes->at(i) == back->at(i)))
            fail("a note changed");
    if (NotesFile::encode(*back) != bytes)
        fail("writing the list again gives other bytes");
    return 0;
}
