#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace jotbox {

// Three-way merge of two texts that both changed `base`: each side's changes
// are applied to it, word by word (a word, a run of spaces, a line break or
// a sign at a time, never splitting a character). Insertions both sides made
// at the same place are both kept, the one that sorts first first (with a
// space or line break between them where they would run together), so that
// every machine merging the same three texts gets the same one, whichever
// side it calls its own. Deletions that overlap delete what either deleted.
// nullopt when other changes overlap (both replaced the same text, or one
// inserted inside what the other removed), or the texts are too far apart
// to compare quickly. Where neither side deleted a word, only moved or
// added, overlaps are merged as by mergeWithoutBase.
// With `keepBoth`, overlapping changes do not fail: the stretch they
// changed appears as each side has it, one after the other; fit for a text
// that is only compared against, never shown.
enum class Overlaps { fail, keepBoth };

std::optional<QString> mergeTexts(QStringView base, QStringView mine, QStringView theirs,
                                  Overlaps overlaps = Overlaps::fail);

// The same, for two texts whose common version is lost: against what both
// hold, in order. A text both inserted in different places was moved, not
// typed twice, and stays once, where it comes first; a word one side
// deleted may come back.
std::optional<QString> mergeWithoutBase(QStringView mine, QStringView theirs);

// Whether `text` still holds every word and sign of `base`, as often: made
// from it by adding and moving only.
bool holdsEveryWord(QStringView base, QStringView text);

} // namespace jotbox
