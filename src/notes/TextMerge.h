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
// side it calls its own. nullopt when the changes overlap (both replaced or
// deleted the same text, or one inserted inside what the other removed),
// or the texts are too far apart to compare quickly.
std::optional<QString> mergeTexts(QStringView base, QStringView mine, QStringView theirs);

} // namespace jotbox
