#include "views/TextChangeWatcher.h"

#include "notes/Note.h"
#include "notes/TextEquivalence.h"

namespace jotbox {

bool TextChangeWatcher::changed(const QString& text, const std::optional<TextEdit>& edit) {
    // After a keystroke the editor says where the texts differ: no need to
    // scan a big note from both ends to find it.
    const bool known = m_lastSeenText && edit && sameBuffer(*m_lastSeenText, edit->before) &&
                       sameBuffer(text, edit->after);
    const bool changed =
        m_lastSeenText &&
        !(known ? canonicallyEqual(edit->before, edit->after, edit->start,
                                   edit->after.size() - edit->start - edit->inserted)
                : canonicallyEqual(*m_lastSeenText, text));
    m_lastSeenText = text;
    return changed;
}

} // namespace jotbox
