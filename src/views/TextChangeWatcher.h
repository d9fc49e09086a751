#pragma once

#include "views/NoteEditorView.h"

#include <QString>

#include <optional>

namespace jotbox {

// Whether the active note's text changed since the last look, as a save
// request counts it: canonically equal texts are no change, and the first
// look only remembers.
class TextChangeWatcher {
public:
    // `edit` is the editor's last keystroke; where it led from the text seen
    // last to `text`, only the part it touched is compared.
    bool changed(const QString& text, const std::optional<TextEdit>& edit);

private:
    std::optional<QString> m_lastSeenText;
};

} // namespace jotbox
