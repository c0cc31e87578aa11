#pragma once
// The dialogs of the sheet commands: rename, unhide, move or copy, and tab
// colour. They only ask; the sheet-list operations carry the choice out.

#include "model/workbook.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dialogs {

/// Control ids of the list dialogs (the rename dialog is a prompt).
inline constexpr int kSheetListLabel = 10;
inline constexpr int kSheetListBeforeLabel = 11;
inline constexpr int kSheetList = 12;
inline constexpr int kCopyCheck = 13;
inline constexpr int kTabColourList = 14;

inline constexpr std::u16string_view kMoveToEndItem = u"( 移至最后 )";
inline constexpr std::u16string_view kNoTabColourItem = u"无";
/// The tab colours offered: the 56 colours of the workbook palette.
inline constexpr int kFirstTabColour = 8;
inline constexpr int kLastTabColour = 63;

/// A new name for sheet `sheet`, checked as the sheet list checks names;
/// the dialog stays open with the message while the name is refused.
std::optional<std::u16string> askSheetName(const model::Workbook& book, int sheet);

/// The hidden sheet to show again (a sheet index); nothing when cancelled
/// or when no sheet is hidden.
std::optional<int> askUnhideSheet(const model::Workbook& book);

struct MoveOrCopy {
  int before = 0; // sheet index the active sheet goes before; sheetCount for the end
  bool copy = false;
};
std::optional<MoveOrCopy> askMoveOrCopy(const model::Workbook& book);

/// A palette index for the tab (0 for none), starting from `current`.
std::optional<std::uint8_t> askTabColour(const model::Workbook& book, std::uint8_t current);

} // namespace dialogs
