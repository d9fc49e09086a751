#pragma once

#include <QStringView>

namespace jotbox {

// True when both texts are the same under Unicode canonical equivalence
// (a precomposed letter equals the letter followed by its combining mark).
// Costs a plain comparison when the texts are identical or differ only near
// one spot, so it is cheap enough for every keystroke on a large note.
bool canonicallyEqual(QStringView a, QStringView b);
// The same, for texts known to share their first `prefix` and last `suffix`
// characters (an edit between them): only the middle is looked at.
bool canonicallyEqual(QStringView a, QStringView b, qsizetype prefix, qsizetype suffix);

} // namespace jotbox
