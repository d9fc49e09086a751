#include "notes/NotesFile.h"

// SSE2 is part of x86-64 itself: let RapidJSON scan strings 16 bytes at a time.
#if defined(__SSE2__)
#define RAPIDJSON_SSE2
#endif
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wclass-memaccess"
#endif
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <QStringEncoder>

#include <cmath>

namespace jotbox::NotesFile {

namespace {

constexpr char kId[] = "id";
constexpr char kContent[] = "content";
constexpr char kCreatedAt[] = "createdAt";

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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

struct Encoder::Buffers {
    rapidjson::StringBuffer out;
    QByteArray utf8; // one note's text at a time
    QStringEncoder toUtf8{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};

Encoder::Encoder() : d(std::make_unique<Buffers>()) {}
Encoder::~Encoder() = default;

bool Encoder::encode(const QList<Note>& notes) {
    d->out.Clear(); // keeps its capacity
    rapidjson::Writer<rapidjson::StringBuffer> writer(d->out);
    writer.StartArray();
    for (const Note& note : notes) {
        const QByteArray id = note.id.toByteArray(QUuid::WithoutBraces).toUpper();
        // Resizing down keeps the capacity, so the scratch grows to the largest note once.
        d->utf8.resize(d->toUtf8.requiredSpace(note.content.size()));
        char* const begin = d->utf8.data();
        const char* const end = d->toUtf8.appendToBuffer(begin, note.content);
        writer.StartObject();
        writer.Key(kId);
        writer.String(id.constData(), static_cast<rapidjson::SizeType>(id.size()));
        writer.Key(kContent);
        writer.String(begin, static_cast<rapidjson::SizeType>(end - begin));
        writer.Key(kCreatedAt);
        if (!writer.Double(note.createdAt))
            return false;
        writer.EndObject();
    }
    writer.EndArray();
    return true;
}

QByteArrayView Encoder::bytes() const {
    return QByteArrayView(d->out.GetString(), static_cast<qsizetype>(d->out.GetSize()));
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
    constexpr unsigned flags = rapidjson::kParseInsituFlag | rapidjson::kParseFullPrecisionFlag |
                               rapidjson::kParseIterativeFlag;
    // UTF-8 is checked once over the whole file, faster than string by string.
    // A raw NUL byte is never valid JSON, and would end an in-place parse early.
    if (!bytes.isValidUtf8() || bytes.contains('\0'))
        return std::nullopt;
    // The SIMD string scan reads whole aligned 16-byte blocks: leave room past the end.
    bytes.reserve(bytes.size() + 16);
    rapidjson::Document document;
    document.ParseInsitu<flags>(bytes.data());
    if (document.HasParseError() || !document.IsArray())
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
