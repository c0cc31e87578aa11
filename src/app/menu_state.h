#pragma once
// The state of the menu items when a menu opens: enabled, checked and the
// texts made at run time, plus the recent-file and Window submenus.

#include "app/app.h"

#include <map>
#include <vector>

namespace app {

struct MenuItemState {
  bool enabled = false;
  bool checked = false;
  std::u16string text; // empty: keep the table's text
};

struct MenuState {
  std::map<int, MenuItemState> items; // by command identifier
  std::vector<std::pair<int, std::u16string>> recentFiles; // id 118 + slot, file name
  std::vector<std::pair<int, std::u16string>> windows;     // id 230 + n, workbook name
  int checkedWindow = -1;                                  // id of the active workbook's item
};

/// Computes the state of every item of the main menu.
MenuState update_menu(App& app);

} // namespace app
