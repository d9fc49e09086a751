#include "desktop/Menu.h"

namespace jotbox::MainMenu {

namespace {
std::shared_ptr<Menu>& installed() {
    static std::shared_ptr<Menu> menu;
    return menu;
}
} // namespace

void set(std::shared_ptr<Menu> menu) {
    installed() = std::move(menu);
}

std::shared_ptr<Menu> get() {
    return installed();
}

} // namespace jotbox::MainMenu
