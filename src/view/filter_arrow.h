#pragma once
// The AutoFilter's arrows: a drop-down button at the right end of each
// header cell of the filter, drawn by the grid's object pass and hit-tested
// by the grid on the button only, so the rest of the cell selects as usual.

#include "model/sheet.h"
#include "platform/canvas.h"

namespace view {

/// The button inside an arrow object's rectangle (the header cell): a
/// square at its bottom right, as tall as the cell and at most 16 pixels.
platform::Rect filterArrowButton(const platform::Rect& cell);

/// Whether the column an arrow belongs to has a criterion in force.
bool filterArrowActive(const model::Sheet& sheet, const model::DrawingObject& arrow);

/// Draws the button; its arrow is blue while the column filters.
void drawFilterArrow(platform::Canvas& canvas, const platform::Rect& cell, bool active);

} // namespace view
