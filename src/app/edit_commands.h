#pragma once
// The Edit menu's Undo, Cut, Copy, Paste and Paste Special on the grid,
// and the moving outline of the copied range.

#include "app/command_table.h"

namespace app {

/// The timer that moves the copied range's dashes.
inline constexpr int kTimerCopyOutline = 3;
inline constexpr int kCopyOutlineMs = 250;

/// A tick of that timer: the dashes move on, or the timer stops once the
/// outline has gone (another program took the clipboard).
void tick_copy_outline(App& app);
/// Escape on the grid: the copied range is no longer outlined.
void drop_copy_outline(App& app);

} // namespace app
