// The editor under random use, from a seed: the steps and the checks after
// each are EditorSteps.h's.
#include "views/EditorSteps.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

using namespace jotbox;
using namespace jotbox::testing;

namespace {

void runEditorModel(unsigned seed, int steps) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    Editor editor, fresh;
    for (int i = 0; i < steps; ++i) {
        if (i % 50 == 0) // a note of a few lines, each break of its own kind
            editor.load(editorPieces(pick, 30));
        const EditorStep step = editorStep(editor, fresh, pick);
        ASSERT_TRUE(step.fault.isEmpty())
            << "step " << i << ": " << step.what << ": " << step.fault;
    }
}

TEST(NoteEditorModel, TheSavedTextAlwaysShowsWhatTheEditorShows) {
    const unsigned seed = qEnvironmentVariableIntValue("JOTBOX_EDITOR_SEED");
    const int steps = std::max(1, qEnvironmentVariableIntValue("JOTBOX_EDITOR_STEPS"));
    if (seed) {
        runEditorModel(seed, steps);
        return;
    }
    for (unsigned s = 1; s <= 4; ++s)
        runEditorModel(s, 1500);
}

} // namespace
