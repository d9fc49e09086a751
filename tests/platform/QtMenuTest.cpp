#include "platform/QtMenu.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>

using namespace jotbox;

namespace {

MenuItem item(const QString& title, const QString& key = {},
              std::uint64_t mask = ModifierFlags::command) {
    MenuItem i;
    i.title = title;
    i.keyEquivalent = key;
    i.keyEquivalentModifierMask = ModifierFlags(mask);
    return i;
}

TEST(QtMenu, EquivalentsAreCtrlShortcutsAndTheMenuKeepsOrderMarksAndItsOwnKeys) {
    EXPECT_EQ(keySequence(item("", "z")), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(keySequence(item("", "Z")), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(keySequence(item("", "n", ModifierFlags::command | ModifierFlags::option)),
              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N));
    EXPECT_TRUE(keySequence(item("")).isEmpty());
    int quits = 0;
    MenuItem toggle = item("Switch"), quit = item("Quit", "q");
    toggle.checkable = true;
    quit.action = [&] { ++quits; };
    auto rendered = renderMenu(Menu{{}, {item("About"), MenuItem::separator(), toggle, quit}});
    const auto actions = rendered->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), "About");
    EXPECT_FALSE(actions[0]->isCheckable());
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_TRUE(actions[2]->isCheckable());
    EXPECT_FALSE(actions[2]->isChecked());
    // A pop-up menu takes part in no window's shortcuts: it matches its own.
    rendered->popup(QPoint(0, 0));
    QTest::keyClick(rendered.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(rendered->isVisible());
}

} // namespace
