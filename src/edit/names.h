#pragma once
// Defining, changing and deleting the names of a workbook as the user
// does: one undo entry per change, then every formula that mentions the
// name scanned again and brought up to date with its dependents.

#include "model/undo.h"
#include "model/workbook.h"

#include <optional>
#include <string>
#include <string_view>

namespace edit {

inline constexpr std::u16string_view kMessageBadName = u"名称无效。";

/// Whether a typed name may be defined: not empty, not starting with a
/// digit, without spaces, "!" or characters that end an identifier in a
/// formula, not reading as a cell reference (A1, $B$2, IV65536) and not TRUE
/// or FALSE. Such names would silently change what formulas read. Names read
/// from files are never checked.
bool isValidTypedName(std::u16string_view name);

/// The definition as stored: text that reads whole as a reference becomes
/// its absolute, sheet-qualified form ("=Sheet1!$A$1:$A$3"; a reference
/// without a sheet takes `sheetIndex`); anything else is kept as typed, with
/// a "=" put before it when it has none.
std::u16string canonicalDefinition(const model::Workbook& book, int sheetIndex, std::u16string_view text);

/// The absolute, sheet-qualified reference of a range of a sheet, as the
/// dialog proposes a selection.
std::u16string absoluteReference(const model::Workbook& book, int sheetIndex, const model::CellRange& range);

/// Adds, changes or removes the global name `name` (found without regard to
/// case; local names of the same text are never touched): with a definition
/// it is added (undo "插入名称") or changed ("更新名称"), without one it is
/// removed ("删除名称"). A definition that reads as a reference to a cell of
/// a macro sheet makes the name a command macro with `shortcut`. Then every
/// formula mentioning the name is scanned again, marked stale with its
/// dependents and recomputed. `sheetIndex` is the sheet whose undo entry
/// records it. False when nothing changed (memory, or removing a name that
/// does not exist).
bool storeName(model::Workbook& book, int sheetIndex, std::u16string_view name,
               std::optional<std::u16string_view> definition, char16_t shortcut);

/// Scans again and recomputes, with their dependents, the formula cells of
/// every worksheet and macro sheet whose text mentions `name` (without
/// regard to case).
void refreshNameUsers(model::Workbook& book, std::u16string_view name);

/// Undoes a name entry (actions 13-15): the name comes back as it was, and
/// the formulas using it follow.
void undoNameEntry(model::Workbook& book, const model::UndoEntry& entry);

} // namespace edit
