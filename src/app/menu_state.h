#pragma once
// The state of the menu items when a menu opens: enabled, checked and the
// texts made at run time, plus the recent-file and Window submenus.

#include "app/app.h"

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace app {

struct MenuItemState {
  bool enabled = false;
  bool checked = false;
  std::u16string text; // empty: keep the table's text
};

struct MenuState {
  /// By command identifier: every item of the main menu, and the items of
  /// the two submenus below.
  std::map<int, MenuItemState> items;
  std::vector<std::pair<int, std::u16string>> recentFiles; // id 118 + slot, file name
  std::vector<std::pair<int, std::u16string>> windows;     // id 230 + n, workbook name
  int checkedWindow = -1;                                  // id of the active workbook's item
};

/// What the menu rules ask of parts that live elsewhere (charts; the undo
/// list, the clipboard and the comments answer for themselves). A query
/// that is not installed answers "no": no chart object.
struct MenuQueries {
  /// The sheet's selected drawing object is a chart.
  std::function<bool(const model::Sheet&)> selectedObjectIsChart;
};
MenuQueries& menuQueries();

/// The Undo item's text: "撤消" alone, or with a blank, the label and the
/// shortcut.
std::u16string undo_menu_text(const std::optional<std::u16string>& label);

/// Computes the state of every item of the main menu. An item is enabled
/// only when its rule allows it and its command is built.
MenuState update_menu(App& app);

} // namespace app
