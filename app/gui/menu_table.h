#pragma once
// The two menus as tables: a row is a command (id, text) under an optional popup.

namespace vz {

struct MenuRow {
    const char* popup;  // nullptr: an item of the menu bar itself
    int id;
    const char* text;
};

// Menu 109, the full menu, in its order.
extern const MenuRow kFullMenu[];
extern const int kFullMenuSize;
// Menu 110, the reduced menu of KTS and VAR7 controllers.
extern const MenuRow kReducedMenu[];
extern const int kReducedMenuSize;

}  // namespace vz
