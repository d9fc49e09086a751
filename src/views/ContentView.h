#pragma once

#include "store/NoteStore.h"
#include "views/TextChangeWatcher.h"

#include <QPointer>
#include <QWidget>

namespace jotbox {

class GlyphButton;
class NoteEditorView;
class TabBarView;

// Everything in the panel: the tab strip and the add button on top, a
// separator, and the editor. Re-evaluates after every change the store
// announces, and turns each change of the active note's text into one save
// request.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(NoteStore* store, QWidget* parent = nullptr);

    TabBarView* tabBar() const { return m_tabBar; }
    GlyphButton* addButton() const { return m_addButton; }
    NoteEditorView* editor() const { return m_editor; }

    void evaluate();

signals:
    // Escape: the user is done with the panel for now.
    void dismissRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab and Shift+Tab go round the active tab, its close button, the add
    // button and the editor (where Tab types a tab; Shift+Tab leaves it).
    bool focusNextPrevChild(bool next) override;

private:
    // Does what a panel key asks for; false when it is not one.
    bool handleKey(QKeyEvent* event);
    void updateStrip(bool showTabs);
    void nameEditor(const QUuid& active, bool showTabs);

    QPointer<NoteStore> m_store;
    TabBarView* m_tabBar;
    GlyphButton* m_addButton;
    NoteEditorView* m_editor;
    std::pair<QUuid, bool> m_namedFor; // the note the editor is named after, and whether tabs show
    TextChangeWatcher m_textChanges;
};

} // namespace jotbox
