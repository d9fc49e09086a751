#include "notes/TextEquivalence.h"

#include <QString>

#include <algorithm>

namespace jotbox {

namespace {

// A safe place to split a text for normalisation: the character there starts
// with a starter, so decomposing each side apart gives the same result as
// decomposing the whole.
bool isStableSplit(QStringView s, qsizetype i) {
    if (i == 0 || i >= s.size())
        return true;
    const QChar c = s[i];
    if (c.isLowSurrogate())
        return false;
    char32_t code = c.unicode();
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
        code = QChar::surrogateToUcs4(c, s[i + 1]);
    if (QChar::combiningClass(code) != 0)
        return false;
    const QString decomposition = QChar::decomposition(code);
    return decomposition.isEmpty() || decomposition.front().combiningClass() == 0;
}

qsizetype commonPrefix(QStringView a, QStringView b) {
    const auto n = std::min(a.size(), b.size());
    const auto mismatch = std::mismatch(a.begin(), a.begin() + n, b.begin());
    return mismatch.first - a.begin();
}

qsizetype commonSuffix(QStringView a, QStringView b, qsizetype limit) {
    const auto n = std::min(a.size(), b.size()) - limit;
    const auto mismatch = std::mismatch(a.rbegin(), a.rbegin() + n, b.rbegin());
    return mismatch.first - a.rbegin();
}

} // namespace

bool canonicallyEqual(QStringView a, QStringView b) {
    if (a.data() == b.data() && a.size() == b.size())
        return true; // one buffer: a big note compared with itself costs nothing
    const qsizetype prefix = commonPrefix(a, b);
    if (prefix == a.size() && prefix == b.size())
        return true;
    return canonicallyEqual(a, b, prefix, commonSuffix(a, b, prefix));
}

bool canonicallyEqual(QStringView a, QStringView b, qsizetype prefix, qsizetype suffix) {
    qsizetype start = std::clamp<qsizetype>(prefix, 0, std::min(a.size(), b.size()));
    suffix = std::clamp<qsizetype>(suffix, 0, std::min(a.size(), b.size()) - start);
    // Widen to where normalising each part apart gives what normalising the whole would.
    while (start > 0 && !(isStableSplit(a, start) && isStableSplit(b, start)))
        --start;
    while (suffix > 0 &&
           !(isStableSplit(a, a.size() - suffix) && isStableSplit(b, b.size() - suffix)))
        --suffix;
    const auto middle = [&](QStringView s) {
        return s.sliced(start, s.size() - suffix - start)
            .toString()
            .normalized(QString::NormalizationForm_D);
    };
    return middle(a) == middle(b);
}

} // namespace jotbox
