#pragma once
// Making, sizing and removing drawing objects and comments in a sheet's
// object list. The grid's mouse handling and the commands record the undo
// entry first and call these; they know nothing of windows.

#include "model/drawing_objects.h"
#include "model/sheet.h"

#include <string>

namespace drawing {

/// A new object of the kind as the Insert menu makes it: black line; white
/// fill for the closed shapes and text boxes; none for lines and arcs.
model::DrawingObject newObject(int kind);

/// The rectangle a drag from `start` to `now` gives a new object of the
/// kind, and for lines the flip bits that make the line start where the
/// drag began (bit 0 across, bit 1 up and down). With `constrain` (Shift) a line snaps to the
/// nearest horizontal, vertical or 45-degree direction and other shapes
/// become squares and circles, the side the larger of the two extents.
struct DragShape {
  platform::Rect rect;
  std::uint8_t flip = 0;
};
DragShape dragShape(int kind, platform::Point start, platform::Point now, bool constrain);

/// Appends an object covering the rectangle (sheet pixels at the scale)
/// and returns its index.
int addObject(model::Sheet& sheet, model::DrawingObject object, const platform::Rect& sheetPixels,
              const model::PixelScale& scale);

/// Removes an object; the selection and the second object follow the list.
void removeObject(model::Sheet& sheet, int index);

/// Where the box of a new comment of a cell goes (sheet pixels): right of
/// the cell, a little above its top, 144 by 80 pixels at zoom 100.
platform::Rect defaultCommentBox(const model::Sheet& sheet, int row, int column, const model::PixelScale& scale);

/// Sets the text of a cell's comment, making the comment when the cell has
/// none (with the author and its box beside the cell). Returns its index.
int setComment(model::Sheet& sheet, int row, int column, std::u16string text, std::u16string author,
               const model::PixelScale& scale);

/// The next object Tab selects after `from` (-1: the first), backwards with
/// `backwards`, skipping comments and the filter's arrows; -1 when none.
int nextTabObject(const model::Sheet& sheet, int from, bool backwards);

} // namespace drawing
