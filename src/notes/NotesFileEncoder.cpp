#include "notes/NotesFile.h"

#include <QStringEncoder>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <charconv>
#include <cmath>
#include <string>

namespace jotbox::NotesFile {

namespace {

bool needsEscape(unsigned char c) {
    return c < 0x20 || c == '"' || c == '\\';
}

// Where the next byte that JSON needs escaped lies, from `from` on; `size` if none.
std::size_t nextToEscape(const char* data, std::size_t from, std::size_t size) {
#if defined(__SSE2__)
    // Sixteen bytes at a time: quotation marks, reverse solidi, and every byte
    // up to 0x1F (the largest of itself and 0x1F is 0x1F).
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i control = _mm_set1_epi8(0x1F);
    for (; from + 16 <= size; from += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
        const __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(block, quote), _mm_cmpeq_epi8(block, backslash)),
            _mm_cmpeq_epi8(_mm_max_epu8(block, control), control));
        if (const int mask = _mm_movemask_epi8(special))
            return from + std::countr_zero(unsigned(mask));
    }
#endif
    while (from < size && !needsEscape(static_cast<unsigned char>(data[from])))
        ++from;
    return from;
}

void appendString(std::string& out, const char* data, std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t at = 0;;) {
        const std::size_t special = nextToEscape(data, at, size);
        out.append(data + at, special - at);
        if (special == size)
            break;
        const auto c = static_cast<unsigned char>(data[special]);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
        at = special + 1;
    }
    out += '"';
}

// The canonical form with upper-case digits, without the allocations of QUuid's own.
void appendUuid(std::string& out, const QUuid& id) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto appendHex = [&](quint64 value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            out += kHex[(value >> shift) & 0xF];
    };
    out += '"';
    appendHex(id.data1, 8);
    out += '-';
    appendHex(id.data2, 4);
    out += '-';
    appendHex(id.data3, 4);
    out += '-';
    appendHex(quint64(id.data4[0]) << 8 | id.data4[1], 4);
    out += '-';
    for (int i = 2; i < 8; ++i)
        appendHex(id.data4[i], 2);
    out += '"';
}

} // namespace

// Written by hand rather than with RapidJSON's writer, whose fast string scan
// would leave bytes 0x1A to 0x1F unescaped; the form is small and fixed.
struct Encoder::Buffers {
    std::string out;
    QByteArray utf8; // one note's text at a time
    QStringEncoder toUtf8{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};

Encoder::Encoder() : d(std::make_unique<Buffers>()) {}
Encoder::~Encoder() = default;

bool Encoder::encode(const QList<Note>& notes) {
    return encode(NotesDocument{notes, {}, {}, {}});
}

namespace {

void appendNumber(std::string& out, double value) {
    // The shortest text that reads back as exactly this double.
    char number[32];
    const auto written = std::to_chars(number, number + sizeof number, value);
    out.append(number, written.ptr);
}

void appendVersions(std::string& out, const VersionVector& versions) {
    out += "\"versions\":{";
    for (const auto& [replica, count] : versions.counts()) {
        if (&replica != &versions.counts().front().first)
            out += ',';
        out += '"';
        out += replicaToString(replica).toStdString();
        out += "\":";
        out += std::to_string(count);
    }
    out += '}';
}

void appendAncestry(std::string& out, const NoteAncestry& ancestry) {
    if (!ancestry.versions.isEmpty()) {
        out += ',';
        appendVersions(out, ancestry.versions);
    }
    if (!ancestry.history.isEmpty()) {
        out += ",\"history\":[";
        const auto& history = ancestry.history;
        for (qsizetype i = 0; i < history.size(); ++i) {
            out += i ? ",\"" : "\"";
            out += hashToString(history[i].id.hash).toStdString();
            out += ':';
            out += std::to_string(history[i].id.depth);
            // Parents that are still in the list, by how far back they stand.
            char separator = ':';
            for (const NoteAncestry::Id& parent : history[i].parents)
                for (qsizetype j = i - 1; j >= 0; --j)
                    if (history[j].id == parent) {
                        out += separator;
                        out += std::to_string(i - j);
                        separator = ',';
                    }
            out += '"';
        }
        out += ']';
    }
}

bool appendClosed(std::string& out, const QList<ClosedNote>& closed) {
    out += ",\"closed\":[";
    for (const ClosedNote& note : closed) {
        if (!std::isfinite(note.closedAt))
            return false;
        out += &note == &closed.front() ? "{\"id\":" : ",{\"id\":";
        appendUuid(out, note.id);
        out += ',';
        appendVersions(out, note.versions);
        out += ",\"closedAt\":";
        appendNumber(out, note.closedAt);
        out += '}';
    }
    out += ']';
    return true;
}

} // namespace

bool Encoder::encode(const NotesDocument& document) {
    const QList<Note>& notes = document.notes;
    std::string& out = d->out;
    out.clear(); // keeps its capacity
    out += '[';
    for (qsizetype i = 0; i < notes.size(); ++i) {
        const Note& note = notes[i];
        if (!std::isfinite(note.createdAt))
            return false;
        // Resizing down keeps the capacity, so the scratch grows to the largest note once.
        d->utf8.resize(d->toUtf8.requiredSpace(note.content.size()));
        char* const begin = d->utf8.data();
        const char* const end = d->toUtf8.appendToBuffer(begin, note.content);
        if (i > 0)
            out += ',';
        out += "{\"id\":";
        appendUuid(out, note.id);
        out += ",\"content\":";
        appendString(out, begin, std::size_t(end - begin));
        out += ",\"createdAt\":";
        appendNumber(out, note.createdAt);
        if (i < document.ancestry.size())
            appendAncestry(out, document.ancestry[i]);
        if (i == 0 && !document.closed.isEmpty() && !appendClosed(out, document.closed))
            return false;
        if (i == 0 && document.savedBy)
            out += ",\"savedBy\":\"" + replicaToString(*document.savedBy).toStdString() + '"';
        out += '}';
    }
    out += ']';
    return true;
}

QByteArrayView Encoder::bytes() const {
    return QByteArrayView(d->out.data(), qsizetype(d->out.size()));
}

std::optional<QByteArray> encode(const QList<Note>& notes) {
    return encode(NotesDocument{notes, {}, {}, {}});
}

std::optional<QByteArray> encode(const NotesDocument& document) {
    Encoder encoder;
    if (!encoder.encode(document))
        return std::nullopt;
    return encoder.bytes().toByteArray();
}

} // namespace jotbox::NotesFile
