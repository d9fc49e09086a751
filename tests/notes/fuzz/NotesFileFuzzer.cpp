// Any bytes as "notes.json": decoding gives a whole list or none, never a
// crash, hang or leak; whatever decodes, Jotbox's own keys included, is
// written back to bytes that decode to the very same notes and ancestry,
// and writing those again changes nothing.
#include "notes/NotesFile.h"

#include <QByteArray>

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

// Files of megabytes with lists far longer than Jotbox writes, from small
// inputs: a first byte of 0x01 asks for the piece between the next two
// 0x01 bytes to stand (second byte + 1) * 1024 times, up to some 4 MB, each
// copy's 0x02 and 0x03 its number (decimal, and down from ffffffff). Run
// under a per-input time limit, a decoding that grows faster than the file fails.
QByteArray expand(const std::uint8_t* data, std::size_t size) {
    const QByteArray in(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype from = in.indexOf('\x01', 2), to = from < 0 ? -1 : in.indexOf('\x01', from + 1);
    if (size < 2 || data[0] != 1 || to < 0)
        return in;
    const QByteArray piece = in.mid(from + 1, to - from - 1);
    const qsizetype times =
        std::min<qsizetype>((data[1] + 1) * 1024, (4 << 20) / std::max<qsizetype>(1, piece.size()));
    QByteArray out = in.mid(2, from - 2);
    for (qsizetype i = 0; i < times; ++i)
        out += QByteArray(piece)
                   .replace('\x02', QByteArray::number(i))
                   .replace('\x03', QByteArray::number(0xffffffffu - quint32(i), 16));
    return out + in.mid(to + 1);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto document = NotesFile::decodeDocument(expand(data, size));
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
