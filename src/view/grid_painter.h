#pragma once
// Painting a sheet of a workbook onto a canvas: headers, cells with fills,
// gridlines, borders and texts (with their conditional formats), comment
// marks, the drawing objects, the selection, the frozen-pane dividers, the
// "CIR" mark and the sheet tabs; chart sheets through the chart renderer.

#include "view/grid_layout.h"
#include "view/paint_services.h"

namespace view {

/// The 8x8 bitmap of a cell fill pattern 2-18 (1 is solid); all clear for
/// any other number.
const platform::PatternBits& fillPatternBits(int pattern);

/// How one border style is drawn: a pen, and for thick and double borders a
/// second 1-pixel line beside the first (`extraOffset` pixels away, inwards
/// for positive values).
struct BorderStroke {
  platform::PenStyle style = platform::PenStyle::None;
  int width = 0;
  int mainOffset = 0;  // the first line's distance from the edge pixel
  int extraOffset = 0; // 0 = no second line
};
/// The file format's border styles 0-13; none for 0 and unknown values.
BorderStroke borderStroke(int style);

/// A palette colour, or `automatic` for indexes 64 and above.
platform::Colour paletteColour(const model::Workbook& book, int index, platform::Colour automatic);

/// Paints what of the layout lies in `invalid`, with the overlays on top.
/// Clears the workbook's circular flag first, so the "CIR" mark shows only
/// when a loop was met while computing the cells this paint showed. The
/// layout must come from relayout of the same workbook. Painting computes
/// stale cells but changes no view state, so printing and the headless
/// render use it as the window does.
void paint(platform::Canvas& canvas, model::Workbook& book, const GridLayout& layout,
           const platform::Rect& invalid, const PaintOverlays& overlays = {});

/// A sheet as the window shows it at its scroll position, in a picture of
/// the size: the grid and the tabs, the scroll controls' strips as the
/// window's empty face, no selection. The headless render paints through
/// it; like paint, it changes no view state. A sheet index out of range
/// gives the empty workspace, as the window without a workbook.
void paintSheetPicture(platform::Canvas& canvas, model::Workbook& book, int sheet, int width, int height);

/// The colour of the comment mark and the size of its triangle.
inline constexpr platform::Colour kCommentMarkColour = 0x0000FF;
inline constexpr int kCommentMarkSize = 5;

} // namespace view
