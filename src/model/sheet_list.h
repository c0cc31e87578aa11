#pragma once
// The operations on a workbook's list of sheets: insert, delete, hide,
// unhide, rename, move, copy, tab colour and activation.

#include "model/workbook.h"

#include <optional>
#include <string_view>

namespace model {

struct StructuralUndo;

inline constexpr std::u16string_view kMessageNoRoomForSheet = u"没空间可插入工作表";
inline constexpr std::u16string_view kMessageInvalidSheetName = u"Name contains invalid characters";
inline constexpr std::u16string_view kMessageSheetNameNotUnique = u"Name must be unique";

/// Checks a sheet name for `sheet` (-1 for a new sheet): not empty, at most 31
/// characters, none of * / : ? \, and no other sheet of that name without
/// regard to case. Returns the message to show, or an empty view when valid.
std::u16string_view checkSheetName(const Workbook& book, std::u16string_view name, int sheet);

/// Inserts a sheet of the kind at `position` (clamped to the list) and makes
/// it active. Without a name it gets the first free "Sheet%d", "Chart%d" or
/// "Macro%d". Refused with a message at 32,767 sheets or for a bad name.
[[nodiscard]] bool insert_sheet(Workbook& book, int position, std::optional<std::u16string_view> name,
                                SheetKind kind, bool recordUndo);

/// Deletes the active sheet when another sheet is visible and another is a
/// worksheet; otherwise does nothing and returns false.
bool delete_active_sheet(Workbook& book);

/// Takes the sheet at `index` out of the workbook without recording undo
/// (undoing its insertion); formulas that named it lose it as on deletion.
/// Null when it is the workbook's only sheet. The texts rewritten on the
/// way go into `journal` when given. Throws std::bad_alloc when memory runs
/// out before the sheet is taken out; the texts already rewritten are then
/// in the journal.
std::unique_ptr<Sheet> remove_sheet(Workbook& book, int index, StructuralUndo* journal = nullptr);

/// Puts a whole sheet back at `index` (undoing its deletion) and makes it
/// active; formulas that name it find it again. False when memory ran out
/// (the sheet is then freed).
[[nodiscard]] bool restore_sheet(Workbook& book, int index, std::unique_ptr<Sheet> sheet);

/// Hides a sheet (never the last visible one) and activates the next visible.
bool hide_sheet(Workbook& book, int index);
bool unhide_sheet(Workbook& book, int index);

/// Renames the active sheet; refused with the message checkSheetName gives.
[[nodiscard]] bool rename_active_sheet(Workbook& book, std::u16string_view name);
/// Renames a sheet by its index, as above.
bool rename_sheet(Workbook& book, int index, std::u16string_view name);

/// Makes a sheet active (running the deactivate and activate macros).
void activate_sheet(Workbook& book, int index);

/// The next visible sheet after `from` in `direction` (+1 or -1), or -1.
int next_visible_sheet(const Workbook& book, int from, int direction);

/// Moves the active sheet before the sheet at `before` (sheetCount for the
/// end); precedent lists follow the new order. False when nothing moved.
bool move_active_sheet(Workbook& book, int before);

/// Copies the active sheet before `before` under its kind's default name.
[[nodiscard]] bool copy_active_sheet(Workbook& book, int before);

void set_tab_colour(Workbook& book, int index, std::uint8_t paletteIndex);

/// The first "Sheet%d"/"Chart%d"/"Macro%d" name not used in the workbook.
std::u16string defaultSheetName(const Workbook& book, SheetKind kind);

} // namespace model
