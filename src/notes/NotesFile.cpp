#include "notes/NotesFile.h"

// SSE2 is part of x86-64 itself: let RapidJSON scan strings 16 bytes at a
// time. That scan lets bytes 0x1A to 0x1F through, so decode refuses them
// itself beforehand (and NotesFileEncoder.cpp writes without RapidJSON).
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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string>

namespace jotbox::NotesFile {

namespace {

constexpr char kId[] = "id";
constexpr char kContent[] = "content";
constexpr char kCreatedAt[] = "createdAt";
constexpr char kVersions[] = "versions";
constexpr char kHistory[] = "history";
constexpr char kClosed[] = "closed";
constexpr char kClosedAt[] = "closedAt";
constexpr char kSavedBy[] = "savedBy";
constexpr rapidjson::SizeType kMaxReplicas = 10'000;

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

QLatin1StringView latin1(const rapidjson::Value& string) {
    return QLatin1StringView(string.GetString(), string.GetStringLength());
}

std::optional<QUuid> uuidOf(const rapidjson::Value& value) {
    return value.IsString() ? parseCanonicalUuid(latin1(value)) : std::nullopt;
}

// Jotbox's extra keys are read leniently: what another program made of them
// counts as absent, never as a reason to refuse the notes.
std::optional<VersionVector> versionsOf(const rapidjson::Value& object) {
    const auto member = object.FindMember(kVersions);
    if (member == object.MemberEnd())
        return VersionVector();
    // One count per installation that ever edited the note (or per text an
    // outside program wrote): far more is not Jotbox's, and would only cost.
    if (!member->value.IsObject() || member->value.MemberCount() > kMaxReplicas)
        return std::nullopt;
    std::vector<std::pair<ReplicaId, quint64>> counts;
    counts.reserve(member->value.MemberCount());
    for (const auto& entry : member->value.GetObject()) {
        const auto replica = replicaFromString(latin1(entry.name));
        // Every number is read as a double: a count is a whole one within its exact range.
        const double count = entry.value.IsNumber() ? entry.value.GetDouble() : -1;
        if (!replica || !(count >= 0 && count <= 9007199254740992.0) || count != std::floor(count))
            return std::nullopt;
        counts.emplace_back(*replica, quint64(count));
    }
    return VersionVector::fromCounts(std::move(counts));
}

NoteAncestry ancestryOf(const rapidjson::Value& object) {
    NoteAncestry ancestry;
    const auto history = object.FindMember(kHistory);
    if (history == object.MemberEnd() || !history->value.IsArray() ||
        history->value.Size() > NoteAncestry::kHistoryLength)
        return {}; // no text it describes (or not Jotbox's): the versions mean nothing
    // "<hash>:<depth>", then ":<back>,<back>" for the parents this many entries back.
    for (const auto& entry : history->value.GetArray()) {
        const QLatin1StringView text = entry.IsString() ? latin1(entry) : QLatin1StringView();
        const auto hash = text.size() > 17 && text[16] == QLatin1Char(':')
                              ? hashFromString(text.first(16))
                              : std::nullopt;
        if (!hash)
            return {};
        const char* end = text.data() + text.size();
        NoteAncestry::Version version{{*hash, 0}, {}};
        auto read = std::from_chars(text.data() + 17, end, version.id.depth);
        for (char separator = ':';
             read.ec == std::errc() && read.ptr != end && *read.ptr == separator; separator = ',') {
            qsizetype back = 0;
            read = std::from_chars(read.ptr + 1, end, back);
            if (back < 1 || back > ancestry.history.size())
                return {};
            version.parents.append(ancestry.history[ancestry.history.size() - back].id);
        }
        if (read.ec != std::errc() || read.ptr != end || ancestry.has(version.id))
            return {};
        ancestry.history.append(version);
    }
    const auto versions = versionsOf(object);
    if (!versions)
        return {};
    ancestry.versions = *versions;
    return ancestry;
}

QList<ClosedNote> closedOf(const rapidjson::Value& object) {
    const auto closed = object.FindMember(kClosed);
    if (closed == object.MemberEnd() || !closed->value.IsArray())
        return {};
    // Oldest first: of a longer list than Jotbox keeps, the latest.
    const auto all = closed->value.GetArray();
    const rapidjson::SizeType skip =
        all.Size() > ClosedNote::kKept ? all.Size() - rapidjson::SizeType(ClosedNote::kKept) : 0;
    QList<ClosedNote> notes;
    for (const auto& entry : std::span(all.Begin() + skip, all.End())) {
        if (!entry.IsObject())
            return {};
        const auto id = entry.FindMember(kId);
        const auto at = entry.FindMember(kClosedAt);
        const auto uuid = id != entry.MemberEnd() ? uuidOf(id->value) : std::nullopt;
        const auto versions = versionsOf(entry);
        if (!uuid || !versions || at == entry.MemberEnd() || !at->value.IsNumber() ||
            !std::isfinite(at->value.GetDouble()))
            return {};
        notes.append(ClosedNote{*uuid, *versions, at->value.GetDouble()});
    }
    return notes;
}

std::optional<Note> decodeNote(const rapidjson::Value& value) {
    if (!value.IsObject())
        return std::nullopt;
    const auto id = value.FindMember(kId);
    const auto content = value.FindMember(kContent);
    const auto createdAt = value.FindMember(kCreatedAt);
    const auto end = value.MemberEnd();
    if (id == end || content == end || createdAt == end)
        return std::nullopt;
    if (!content->value.IsString() || !createdAt->value.IsNumber())
        return std::nullopt;

    const auto uuid = uuidOf(id->value);
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

std::optional<QList<Note>> decode(QByteArray bytes) {
    auto document = decodeDocument(std::move(bytes));
    return document ? std::optional(std::move(document->notes)) : std::nullopt;
}

std::optional<NotesDocument> decodeDocument(QByteArray bytes) {
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

    NotesDocument out;
    out.notes.reserve(document.Size());
    out.ancestry.reserve(document.Size());
    for (const auto& element : document.GetArray()) {
        auto note = decodeNote(element);
        if (!note)
            return std::nullopt;
        out.notes.append(std::move(*note));
        out.ancestry.append(ancestryOf(element));
        if (out.notes.size() == 1) {
            out.closed = closedOf(element);
            const auto by = element.FindMember(kSavedBy);
            if (by != element.MemberEnd() && by->value.IsString())
                out.savedBy = replicaFromString(
                    QLatin1StringView(by->value.GetString(), by->value.GetStringLength()));
        }
    }
    return out;
}

} // namespace jotbox::NotesFile
