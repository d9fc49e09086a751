#pragma once

#include <QStringView>

namespace jotbox {

// The first `count` user-perceived characters (Unicode extended grapheme
// clusters) of `text`, or all of it when it has fewer. Costs about as much
// as those characters, however long the text.
QStringView firstGraphemeClusters(QStringView text, qsizetype count);

} // namespace jotbox
