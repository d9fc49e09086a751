#include "platform/QtMenu.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>

using namespace jotbox;

namespace {

MenuItem withKey(const QString& key, std::uint64_t mask = ModifierFlags::command) {
    MenuItem i;
    i.title = key;
    i.keyEquivalent = key;
    i.keyEquivalentModifierMask = ModifierFlags(mask);
    return i;
}

TEST(QtMenu, KeyEquivalentsBecomeCtrlShortcuts) {
    EXPECT_EQ(keySequence(withKey("z")), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(keySequence(withKey("Z")), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(keySequence(withKey("q")), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(keySequence(withKey("n", ModifierFlags::command | ModifierFlags::option)),
              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N));
    EXPECT_TRUE(keySequence(withKey("")).isEmpty());
}

TEST(QtMenu, RenderedMenuKeepsOrderCheckMarksAndRunsItsEquivalentWhileOpen) {
    int quits = 0;
    Menu menu;
    MenuItem first;
    first.title = "About";
    MenuItem toggle;
    toggle.title = "Switch";
    toggle.checkable = true;
    MenuItem quit = withKey("q");
    quit.title = "Quit";
    quit.action = [&] { ++quits; };
    menu.itemArray = {first, MenuItem::separator(), toggle, MenuItem::separator(), quit};

    auto rendered = renderMenu(menu);
    const auto actions = rendered->actions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_EQ(actions[0]->text(), "About");
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_TRUE(actions[2]->isCheckable());
    EXPECT_FALSE(actions[2]->isChecked());
    EXPECT_FALSE(actions[0]->isCheckable());

    rendered->popup(QPoint(0, 0));
    QTest::keyClick(rendered.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(rendered->isVisible());
}

} // namespace
