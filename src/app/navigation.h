#pragma once
// The active cell and the selection of a worksheet or macro sheet: keyboard
// moves, End mode, scrolling, the mouse on cells, headers and tabs, and the
// context menus.

#include "app/app.h"
#include "model/cell_range.h"

#include <optional>

namespace app {

enum class Direction { Up, Down, Left, Right };

/// The selection of the active sheet and its active cell.
model::CellRange selection(const model::Sheet& sheet);
CellPos activeCell(const model::Sheet& sheet);
/// Whole rows first..last, whole columns first..last (either order).
model::CellRange wholeRows(int first, int last);
model::CellRange wholeColumns(int first, int last);

/// Repaints the visible part of a range of the active sheet.
void invalidate_cells(App& app, const model::CellRange& range);
/// Stores the selection and redraws what changed; with an active cell, also
/// moves it there, closes any entry, gives the grid the focus, refreshes the
/// formula bar and the summary, and (when asked) scrolls it into view.
void set_selection(App& app, const model::CellRange& range, std::optional<CellPos> active,
                   bool scrollIntoView);
void move_active(App& app, Direction direction);
void extend_selection(App& app, Direction direction);
void jump_to_edge(App& app, Direction direction, bool extend);
void go_to_last_cell(App& app, bool extend);
/// Enter (down/up) and Tab (right/left) inside a larger selection, or one
/// step when the selection is one cell.
void walk_selection(App& app, bool alongRow, bool backwards);
/// Scrolls so that the cell is in the scrolling pane.
void scroll_into_view(App& app, CellPos cell);
/// Follows a hyperlink target: "[" path "]" reference, or a path alone.
void follow_hyperlink(App& app, std::u16string target);
/// Activates a sheet of the active workbook (closing any entry first).
void activate_sheet(App& app, int index);

LResult on_keydown(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_lbuttondown(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_lbuttondblclk(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_lbuttonup(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_mousemove(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_rbuttondown(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_mousewheel(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_scroll(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_timer(App& app, unsigned msg, WParam wParam, LParam lParam);

} // namespace app
