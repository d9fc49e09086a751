// Any bytes as a script of steps on the editor (EditorSteps.h's): each byte
// makes one choice, and a fault after any step stops the run.
#include "views/EditorSteps.h"

#include <cstdint>

using namespace jotbox::testing;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv); // lives as long as the process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Editor &editor = *new Editor, &fresh = *new Editor; // never torn down after Qt
    const std::uint8_t *at = data, *end = data + size;
    auto pick = [&](int n) { return at < end ? *at++ % n : 0; };
    editor.load(editorPieces(pick, 20));
    while (at < end) {
        const EditorStep step = editorStep(editor, fresh, pick);
        if (!step.fault.isEmpty()) // qFatal aborts: a finding
            qFatal("editor: %s: %s", qPrintable(step.what), qPrintable(step.fault));
    }
    return 0;
}
