#include "notes/Note.h"

#include "notes/GraphemeClusters.h"
#include "notes/TextEquivalence.h"

#include <chrono>

namespace jotbox {

namespace {

constexpr qsizetype kCaptionLength = 30;

bool isTrimmed(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// End of the first line: the first line feed that is a character of its own.
// A line feed right after a carriage return belongs to that CR LF pair.
qsizetype firstLineEnd(QStringView text) {
    qsizetype from = 0;
    for (;;) {
        const qsizetype lf = text.indexOf(u'\n', from);
        if (lf < 0)
            return text.size();
        if (lf == 0 || text[lf - 1] != u'\r')
            return lf;
        from = lf + 1;
    }
}

} // namespace

NoteTime currentNoteTime() {
    using namespace std::chrono;
    const auto sinceUnix = duration<double>(system_clock::now().time_since_epoch());
    return sinceUnix.count() - kUnixToNoteEpoch;
}

Note Note::make() {
    return Note{QUuid::createUuid(), QString(), currentNoteTime()};
}

QString Note::title() const {
    QStringView line = QStringView(content).first(firstLineEnd(content));
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isTrimmed(line[begin]))
        ++begin;
    while (end > begin && isTrimmed(line[end - 1]))
        --end;
    if (begin == end)
        return QStringLiteral("New Note");
    return firstGraphemeClusters(line.sliced(begin, end - begin), kCaptionLength).toString();
}

bool operator==(const Note& a, const Note& b) {
    return a.id == b.id && canonicallyEqual(a.content, b.content) && a.createdAt == b.createdAt;
}

} // namespace jotbox
