#pragma once
// Cell input through the formula bar: starting an entry by typing or for
// editing, the keys inside the bar, point mode, commit with its guards and
// automatic number format, array formulas, cancel and AutoSum.

#include "app/app.h"

namespace app {

inline constexpr std::u16string_view kMessageCellProtected = u"单元格被保护，\n请先解除保护再修改。";
inline constexpr std::u16string_view kMessageArrayPart =
    u"直接修改会破坏数组公式！\n编辑后请按 Ctrl+Shift+回车！";
inline constexpr std::u16string_view kMessageArrayMerged = u"Array formulas are not valid in merged cells";
inline constexpr std::u16string_view kMessageFormulaError = u"输入的公式中有错误！";

/// The guards; each shows its message and returns false to refuse.
bool guard_protection(App& app, const model::CellRange& range);
bool guard_array_part(App& app);
bool guard_array_merged(App& app);

void begin_entry_from_grid(App& app, char16_t ch);
void begin_edit(App& app, bool caretToEnd);
bool commit_entry(App& app, bool asArray);
void cancel_entry(App& app);
void refresh_formula_bar(App& app);
void auto_sum(App& app);
/// Commits an open entry; true when none was open or the commit succeeded.
bool commit_if_editing(App& app);

/// Point mode: a click on a cell while a formula is being typed.
bool try_begin_point(App& app, std::uint16_t row, std::uint8_t column);
void extend_point(App& app, std::uint16_t row, std::uint8_t column);
void end_point(App& app);

LResult on_char(App& app, unsigned msg, WParam wParam, LParam lParam);
/// Keys, characters and clicks inside the formula bar.
LResult formula_bar_proc(App& app, unsigned msg, WParam wParam, LParam lParam);

} // namespace app
