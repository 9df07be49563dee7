// The command table against the description of the window's controls; the
// window finds every control by its name, so no name is used twice.
#include <gtest/gtest.h>

#include <set>

#include "WindowSupport.h"

using namespace zvek;

TEST(ControlsTest, TableMatchesTheWindowsDescription) {
    EXPECT_EQ(test::TableListing(), test::ReadBytes(ZVEKLC_TEST_DATA "/app/window-controls.txt"));
    std::set<std::string> names = {StopControl().name};
    for (const Menu& menu : Menus())
        for (const MenuItem& item : menu.items) EXPECT_TRUE(!item.name || names.insert(item.name).second) << item.name;
    for (const ToolButton& b : ToolBar()) {
        EXPECT_TRUE(!b.name || names.insert(b.name).second) << b.name;
        EXPECT_TRUE(b.menu ? FindMenuNamed(b.menu) && b.mode != ButtonMenu::None : b.mode == ButtonMenu::None)
            << b.name;
    }
}
