#include "notes/TextHash.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <charconv>

namespace jotbox {

TextHash hashText(QStringView text) {
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
    return qFromBigEndian<quint64>(digest.constData());
}

QString hashToString(TextHash hash) {
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0'));
}

std::optional<TextHash> hashFromString(QLatin1StringView text) {
    TextHash hash = 0;
    const char* end = text.data() + text.size();
    if (text.size() != 16)
        return std::nullopt;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return std::nullopt;
    const auto [stop, error] = std::from_chars(text.data(), end, hash, 16);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return hash;
}

} // namespace jotbox
