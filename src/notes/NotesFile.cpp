#include "notes/NotesFile.h"

// SSE2 is part of x86-64 itself: let RapidJSON scan strings 16 bytes at a
// time. That scan lets bytes 0x1A to 0x1F through, so decode refuses them
// itself beforehand, and the notes file is written without RapidJSON.
#if defined(__SSE2__)
#define RAPIDJSON_SSE2
#endif
// GCC alone warns about RapidJSON's memcpy of its own values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wclass-memaccess"
#endif
#include <rapidjson/document.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <QStringEncoder>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

namespace jotbox::NotesFile {

namespace {

constexpr char kId[] = "id";
constexpr char kContent[] = "content";
constexpr char kCreatedAt[] = "createdAt";

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A number's exact value, read by the standard library rather than by
// RapidJSON, whose reading of a zero with a large exponent is wrong (0e200
// came back as 7.8e56). A value too small for a double rounds, to zero at
// worst; one too large has no double and is refused.
std::optional<double> readNumber(const char* text, std::size_t length) {
    double value = 0;
    const auto [end, error] = std::from_chars(text, text + length, value);
    if (end != text + length)
        return std::nullopt;
    if (error == std::errc())
        return value;
    if (error != std::errc::result_out_of_range)
        return std::nullopt;
    // Rare: strtod rounds what from_chars only reports, whatever the user's locale.
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const std::string copy(text, length);
    value = ::strtod_l(copy.c_str(), nullptr, cLocale);
    return std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// Whether the bytes hold a NUL, which would end an in-place parse early, or
// any of 0x1A to 0x1F, which RapidJSON's fast scan would take inside a
// string. None of them is valid anywhere in JSON, raw.
bool hasStrayControlBytes(QByteArrayView bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto size = std::size_t(bytes.size());
    std::size_t at = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_set1_epi8(0x1A);
    const __m128i high = _mm_set1_epi8(0x1F);
    for (; at + 16 <= size; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        const __m128i inRange = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(block, low), block),
                                              _mm_cmpeq_epi8(_mm_min_epu8(block, high), block));
        if (_mm_movemask_epi8(_mm_or_si128(inRange, _mm_cmpeq_epi8(block, zero))))
            return true;
    }
#endif
    for (; at < size; ++at)
        if (data[at] == 0 || (data[at] >= 0x1A && data[at] <= 0x1F))
            return true;
    return false;
}

// Builds the document as RapidJSON's reader goes, with numbers handed over
// as text and read by readNumber.
template <typename Document> class ExactNumbers {
public:
    using Ch = char;
    using Size = rapidjson::SizeType;
    explicit ExactNumbers(Document& document) : m_document(document) {}

    bool RawNumber(const Ch* text, Size length, bool) {
        const auto value = readNumber(text, length);
        return value && m_document.Double(*value);
    }
    bool Null() { return m_document.Null(); }
    bool Bool(bool b) { return m_document.Bool(b); }
    bool Int(int i) { return m_document.Int(i); }
    bool Uint(unsigned i) { return m_document.Uint(i); }
    bool Int64(int64_t i) { return m_document.Int64(i); }
    bool Uint64(uint64_t i) { return m_document.Uint64(i); }
    bool Double(double d) { return m_document.Double(d); }
    bool String(const Ch* text, Size length, bool copy) {
        return m_document.String(text, length, copy);
    }
    bool StartObject() { return deeper() && m_document.StartObject(); }
    bool Key(const Ch* text, Size length, bool copy) { return m_document.Key(text, length, copy); }
    bool EndObject(Size members) {
        --m_depth;
        return m_document.EndObject(members);
    }
    bool StartArray() { return deeper() && m_document.StartArray(); }
    bool EndArray(Size elements) {
        --m_depth;
        return m_document.EndArray(elements);
    }

private:
    // Jotbox's own file is two levels deep. Far deeper nesting, even under a
    // key Jotbox ignores, is refused at once rather than built up level by
    // level: 100 MB of "[" would take gigabytes and seconds.
    static constexpr int kMaxDepth = 512;
    bool deeper() { return ++m_depth <= kMaxDepth; }

    Document& m_document;
    int m_depth = 0;
};

std::optional<Note> decodeNote(const rapidjson::Value& value) {
    if (!value.IsObject())
        return std::nullopt;
    const auto id = value.FindMember(kId);
    const auto content = value.FindMember(kContent);
    const auto createdAt = value.FindMember(kCreatedAt);
    const auto end = value.MemberEnd();
    if (id == end || content == end || createdAt == end)
        return std::nullopt;
    if (!id->value.IsString() || !content->value.IsString() || !createdAt->value.IsNumber())
        return std::nullopt;

    const auto uuid =
        parseCanonicalUuid(QLatin1StringView(id->value.GetString(), id->value.GetStringLength()));
    const double seconds = createdAt->value.GetDouble();
    if (!uuid || !std::isfinite(seconds))
        return std::nullopt;
    return Note{*uuid,
                QString::fromUtf8(content->value.GetString(), content->value.GetStringLength()),
                seconds};
}

} // namespace

std::optional<QUuid> parseCanonicalUuid(QLatin1StringView text) {
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i].toLatin1();
        if (hyphen ? c != '-' : !isHex(c))
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

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
    std::string& out = d->out;
    out.clear(); // keeps its capacity
    out += '[';
    for (const Note& note : notes) {
        if (!std::isfinite(note.createdAt))
            return false;
        // Resizing down keeps the capacity, so the scratch grows to the largest note once.
        d->utf8.resize(d->toUtf8.requiredSpace(note.content.size()));
        char* const begin = d->utf8.data();
        const char* const end = d->toUtf8.appendToBuffer(begin, note.content);
        if (&note != &notes.front())
            out += ',';
        out += "{\"id\":";
        appendUuid(out, note.id);
        out += ",\"content\":";
        appendString(out, begin, std::size_t(end - begin));
        out += ",\"createdAt\":";
        // The shortest text that reads back as exactly this double.
        char number[32];
        const auto written = std::to_chars(number, number + sizeof number, note.createdAt);
        out.append(number, written.ptr);
        out += '}';
    }
    out += ']';
    return true;
}

QByteArrayView Encoder::bytes() const {
    return QByteArrayView(d->out.data(), qsizetype(d->out.size()));
}

std::optional<QByteArray> encode(const QList<Note>& notes) {
    Encoder encoder;
    if (!encoder.encode(notes))
        return std::nullopt;
    return encoder.bytes().toByteArray();
}

std::optional<QList<Note>> decode(QByteArray bytes) {
    // Parsed in place: the strings are decoded into the buffer we already own.
    // Iterative, not recursive: a hostile file nested a million arrays deep
    // must be rejected, not overflow the stack.
    constexpr unsigned flags = rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag |
                               rapidjson::kParseNumbersAsStringsFlag;
    // UTF-8 is checked once over the whole file, faster than string by string.
    if (!bytes.isValidUtf8() || hasStrayControlBytes(bytes))
        return std::nullopt;
    // The SIMD string scan reads whole aligned 16-byte blocks: leave room past the end.
    bytes.reserve(bytes.size() + 16);
    rapidjson::Document document;
    bool parsed = false;
    auto parse = [&](rapidjson::Document& target) {
        ExactNumbers handler(target);
        rapidjson::InsituStringStream stream(bytes.data());
        rapidjson::Reader reader;
        parsed = !reader.Parse<flags>(stream, handler).IsError();
        return parsed;
    };
    document.Populate(parse);
    if (!parsed || !document.IsArray())
        return std::nullopt;

    QList<Note> notes;
    notes.reserve(document.Size());
    for (const auto& element : document.GetArray()) {
        auto note = decodeNote(element);
        if (!note)
            return std::nullopt;
        notes.append(std::move(*note));
    }
    return notes;
}

} // namespace jotbox::NotesFile
