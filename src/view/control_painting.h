#pragma once
// How form controls look on the sheet and what a click on them does. The
// parts a click finds (a scroll bar's arrows, track and thumb, a list's rows)
// are the parts the painter draws, computed in one place.

#include "drawing/controls.h"
#include "platform/canvas.h"

#include <optional>

namespace view {

/// Pixels of a list box row at zoom 100.
inline constexpr int kListRowHeight = 16;

// Controls are drawn at `zoom` percent of their screen size, as the cells
// around them are: the sheet's zoom on the screen, the printer's on a page.
// Boxes, arrows, rows, lines and text all grow with it, and a click finds
// the part drawn at the same zoom.

/// Pixels of a list box row at the zoom.
int listRowHeight(int zoom);

/// A scroll bar's parts within its rectangle.
struct ScrollParts {
  platform::Rect less, more;   // the arrow buttons (up or left, down or right)
  platform::Rect track;        // between them
  platform::Rect thumb;        // empty when the track is too short for one
};
/// Scroll bars run across when wider than tall.
bool runsAcross(const platform::Rect& r);
ScrollParts scrollParts(const platform::Rect& r, const drawing::ControlPayload& control, int zoom);

/// The first entry a list box shows: the top, or far enough down to show
/// the selected entry.
int firstShownEntry(const platform::Rect& r, const drawing::ControlPayload& control, int entryCount, int zoom);

/// Draws one control into its window rectangle.
void drawControl(platform::Canvas& canvas, model::Workbook& book, int sheet, const model::DrawingObject& object,
                 const platform::Rect& r, int zoom);

/// Has the sheet painter draw form controls (once; later calls do nothing).
void installControlPainting();

/// What a click at `p` (window pixels) on a control does to it.
struct PressOutcome {
  /// The control's state changed: its linked cell is to receive `cellText`.
  bool changed = false;
  std::u16string linkedCell;
  std::u16string cellText;
  /// A combo box: the caller drops its list down and calls chooseEntry.
  bool dropDown = false;
};
/// Operates the control as a click at `p` would: check boxes toggle (mixed
/// becomes checked), an option button is chosen within its group, scroll
/// bars and spinners step by the increment (page change in a scroll bar's
/// track) within their limits, a list box selects the row clicked. Labels,
/// group boxes and buttons do nothing here.
PressOutcome pressControl(model::Workbook& book, int sheet, int object, const platform::Rect& r, platform::Point p,
                          int zoom);
/// A combo box's entry (0-based) was chosen from its drop-down.
PressOutcome chooseEntry(model::Workbook& book, int sheet, int object, int entry);

} // namespace view
