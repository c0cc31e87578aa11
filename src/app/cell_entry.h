#pragma once
// Cell input through the formula bar: starting an entry by typing or for
// editing, the keys inside the bar, point mode, commit with its guards and
// automatic number format, array formulas, cancel and AutoSum.

#include "app/app.h"

namespace app {

inline constexpr std::u16string_view kMessageFormulaError = u"输入的公式中有错误！";

/// The guards an entry runs before it starts: protection over the
/// selection and the array formula around the active cell. Each shows its
/// message and returns false to refuse.
bool guard_entry(App& app);

void begin_entry_from_grid(App& app, char16_t ch);
void begin_edit(App& app, bool caretToEnd);
/// Commits the open entry into the active cell, or with `asArray` into
/// every cell of the selection as one array formula. Runs the guards,
/// records the undo entry (a failure to record refuses the commit) and stores
/// the cells; false leaves the entry open.
bool commit_entry(App& app, bool asArray);
void cancel_entry(App& app);
/// Stores text into one cell of any sheet as a typed entry would: the
/// guards (protection, array formulas), the undo entry, recalculation of
/// its dependents and the modified flag. What form controls write into
/// their linked cells. False when refused or not stored.
bool enter_cell_text(App& app, int sheet, std::uint16_t row, std::uint8_t column, std::u16string_view text);
/// Opens the editor on the active cell holding `text`, all of it selected:
/// an entry a validation rule refused, offered again to be corrected.
void reopen_entry(App& app, std::u16string_view text);
void refresh_formula_bar(App& app);
void auto_sum(App& app);
/// Commits an open entry as Enter does, without moving: refused when the
/// selection is exactly a multi-cell array formula or the commit fails.
/// True when no entry was open or the commit succeeded.
bool commit_if_editing(App& app);
/// The numeric keypad's decimal key: types the regional decimal separator,
/// starting an entry when none is open (so keypad ".5" enters 0.5). The
/// character the key sends after its key-down is not typed again.
void type_decimal_key(App& app);
/// The formula bar's own Cut (131), Copy (132) and Paste (133) while an
/// entry is open: they work on the bar's text and the clipboard's text.
void formula_bar_clipboard(App& app, int id);

/// Point mode: a click on a cell while a formula is being typed.
bool try_begin_point(App& app, std::uint16_t row, std::uint8_t column);
void extend_point(App& app, std::uint16_t row, std::uint8_t column);
void end_point(App& app);

LResult on_char(App& app, unsigned msg, WParam wParam, LParam lParam);
/// Keys, characters and clicks inside the formula bar.
LResult formula_bar_proc(App& app, unsigned msg, WParam wParam, LParam lParam);

} // namespace app
