#pragma once
// The "定义名称" dialog: lists the names of the active workbook, proposes
// the selection as a definition, and adds, changes and deletes names (each
// Add is stored at once, so Cancel keeps it).

#include "model/workbook.h"

#include <string>
#include <vector>

namespace dialogs {

enum DefineNamesControl : int {
  kNamesLabel = 561,
  kNamesName = 562,
  kNamesList = 563,
  kNamesDefinitionLabel = 564,
  kNamesDefinition = 565,
  kNamesAdd = 566,
  kNamesDelete = 567,
  kNamesShortcutLabel = 568,
  kNamesShortcut = 569,
};

/// The list's items: the names sorted without regard to case, each with
/// its index in the name table. Names local to a sheet show qualified by it
/// ("Sheet1!Print_Area").
struct NameListItem {
  std::u16string text;
  int index = -1;
};
std::vector<NameListItem> nameListItems(const model::Workbook& book);

/// Runs the dialog over the active workbook. True when any name changed.
bool defineNames(model::Workbook& book);

} // namespace dialogs
