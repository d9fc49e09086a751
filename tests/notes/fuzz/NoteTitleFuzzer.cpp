// Any text as a note: the caption never crashes or hangs, and always equals
// the caption worked out the slow, obvious way over the whole text.
#include "notes/Note.h"

#include <QList>

#include <unicode/ubrk.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace jotbox;

namespace {

// Every cluster boundary of the whole text, by ICU directly.
QList<qsizetype> boundaries(QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* it = ubrk_open(UBRK_CHARACTER, "", text.utf16(), int32_t(text.size()), &status);
    if (U_FAILURE(status))
        std::abort();
    QList<qsizetype> out;
    for (int32_t b = ubrk_next(it); b != UBRK_DONE; b = ubrk_next(it))
        out.append(b);
    ubrk_close(it);
    return out;
}

QString expectedTitle(const QString& content) {
    // The first line ends at the first cluster that is a lone line feed.
    qsizetype lineEnd = content.size(), start = 0;
    for (qsizetype end : boundaries(content)) {
        if (end - start == 1 && content[start] == u'\n') {
            lineEnd = start;
            break;
        }
        start = end;
    }
    QStringView line = QStringView(content).first(lineEnd);
    auto blank = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    while (!line.isEmpty() && blank(line.front()))
        line = line.sliced(1);
    while (!line.isEmpty() && blank(line.back()))
        line.chop(1);
    if (line.isEmpty())
        return QStringLiteral("New Note");
    const QList<qsizetype> cuts = boundaries(line);
    return line.first(cuts.size() > 30 ? cuts[29] : line.size()).toString();
}

// The UTF-16 code units, in hex, for the failure message.
QByteArray hex(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2).toHex(' ');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Raw UTF-16 code units, so lone surrogates and every code point occur.
    QString content(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = QChar(char16_t(data[2 * i] | data[2 * i + 1] << 8));
    const QString title = Note{QUuid(), content, 0}.title();
    const QString expected = expectedTitle(content);
    if (title != expected) {
        std::fprintf(stderr, "caption %s\nexpected %s\n", hex(title).constData(),
                     hex(expected).constData());
        std::abort();
    }
    return 0;
}
