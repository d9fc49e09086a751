// Any three texts as a base and two sides' edits of it: merging never
// crashes or reads outside a text, gives the same whichever side is called
// whose, gives the other side's text when one side left the base alone, and
// merging for a base (overlaps kept both) always gives a text.
#include "sync/TextMerge.h"

#include <QStringList>

#include <cstdint>

using namespace jotbox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QStringList parts =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(QChar(0));
    if (parts.size() != 3)
        return 0;
    const QString &base = parts[0], &mine = parts[1], &theirs = parts[2];
    const auto fail = [](const char* what) { qFatal("text merge: %s", what); }; // aborts
    const auto merged = mergeTexts(base, mine, theirs);
    if (merged != mergeTexts(base, theirs, mine))
        fail("depends on which side is whose");
    if (mergeTexts(base, base, theirs) != theirs || (merged && mine == base && *merged != theirs))
        fail("an untouched side changes the other's text");
    if (!mergeTexts(base, mine, theirs, Overlaps::keepBoth) && base.size() + mine.size() < 10'000)
        fail("no text for a base");
    return 0;
}
