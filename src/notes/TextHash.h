#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace jotbox {

// Names one text of a note the same way on every machine: the first 64 bits
// of the SHA-256 of its UTF-8 form.
using TextHash = quint64;

TextHash hashText(QStringView text);

// Sixteen lower-case hexadecimal digits, as the notes file writes it.
QString hashToString(TextHash hash);
std::optional<TextHash> hashFromString(QLatin1StringView text);

} // namespace jotbox
