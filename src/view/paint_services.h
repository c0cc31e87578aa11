#pragma once
// What the one grid painter asks of the parts that draw or decide for it,
// and what the window lays over a paint. The window, printing and the
// headless render share the painter; the services are installed once at
// start (a service that is not installed is simply not drawn), the overlays
// come with each paint.

#include "model/workbook.h"
#include "platform/canvas.h"

#include <functional>
#include <optional>

namespace view {

struct GridLayout;

struct PaintServices {
  /// Conditional formats: the condition that holds for a cell, or null. The
  /// painter lays the font, border and pattern parts that the condition sets
  /// over the cell's own format. Asked only on sheets with conditional formats.
  std::function<const model::FormatCondition*(model::Workbook&, int sheet, int row, int column)>
      activeCondition;
  /// Draws one drawing object (shape, picture, control, chart, filter arrow)
  /// into its window rectangle; the painter calls it for every object that
  /// meets the damaged area, in drawing order, clipped to the cell area.
  /// `zoom` (percent) sizes its text and lines as the cells' are: the
  /// sheet's zoom on the screen, the printer's size over the screen's on a
  /// printed page.
  std::function<void(platform::Canvas&, const model::Workbook&, const model::Sheet&, int object,
                     const platform::Rect& rect, int zoom)>
      drawObject;
  /// Draws a chart sheet into the area the grid would take.
  std::function<void(platform::Canvas&, const model::Workbook&, int sheet, const platform::Rect& area)>
      drawChartSheet;
};

/// The services in force (a process-wide table, filled at start).
PaintServices& paintServices();

/// What the window draws over the sheet for the user's current gesture.
struct PaintOverlays {
  /// The selection (inverted, with the active cell framed). Printing and the
  /// headless render leave it out.
  bool selection = true;
  /// The range pointed at while a formula is typed.
  std::optional<model::CellRange> pointRange;
  /// While a column (row) border is dragged: the window x (y) of the line.
  std::optional<int> columnSizingLine;
  std::optional<int> rowSizingLine;
  /// While an object is moved: its outline at the new place.
  std::optional<platform::Rect> objectOutline;
  /// While a new object is dragged out: its kind, its rectangle (window
  /// pixels) and, for a line, its flip bits (drawing::lineEnds).
  struct NewObject {
    int kind = 0;
    platform::Rect rect;
    int flip = 0;
  };
  std::optional<NewObject> newObject;
  /// The comment shown over its cell while the mouse rests there (an
  /// index into the sheet's objects).
  std::optional<int> commentPopup;
  /// The range copied or cut to the clipboard, outlined with moving dashes;
  /// `copyPhase` (0-7) says how far they have moved.
  std::optional<model::CellRange> copyOutline;
  int copyPhase = 0;
  /// The input message of the validation rule of the active cell, shown in
  /// a pale box below and right of the cell while it is selected.
  struct InputMessage {
    std::uint16_t row = 0;
    std::uint8_t column = 0;
    std::u16string title, text;
  };
  std::optional<InputMessage> inputMessage;
  /// The in-cell list's button beside the active cell, when its validation
  /// rule is a list offering its drop-down.
  struct ListArrow {
    std::uint16_t row = 0;
    std::uint8_t column = 0;
  };
  std::optional<ListArrow> listArrow;
};

/// The in-cell list's button: a square just right of the cell, level with
/// its bottom, as tall as the cell and at most 16 pixels; empty when the
/// cell is not on screen.
platform::Rect listArrowRect(const model::Sheet& sheet, const GridLayout& layout, int row, int column);

/// Where the input message box of a cell is drawn (window pixels); empty
/// when the cell is not on screen.
platform::Rect inputMessageRect(const model::Sheet& sheet, const GridLayout& layout,
                                const PaintOverlays::InputMessage& message);

} // namespace view
