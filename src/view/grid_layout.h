#pragma once
// Where the parts of the main window's client area go for the active sheet:
// the header band and row-header column, the cell panes, the sheet-tab bar,
// the scroll controls and the corner box, with the sheet's pixel scale at its
// zoom and the ranges of both scroll controls.

#include "model/workbook.h"
#include "platform/canvas.h"

#include <array>
#include <string>
#include <vector>

namespace view {

/// What the window around the grid tells the layout.
struct LayoutInput {
  platform::Rect client;    // the main window's client area
  int rebarBottom = 0;      // the grid starts here
  int statusBarHeight = 0;  // 0 while the status bar is hidden
  int scrollBarWidth = 17;  // of the vertical scroll control
  int scrollBarHeight = 17; // of the horizontal one; the tab bar is as high
};

struct ScrollRange {
  int minimum = 0;
  int maximum = 0;
  int page = 1;
  int position = 0;
  friend bool operator==(const ScrollRange&, const ScrollRange&) = default;
};

/// Tab arrows to the left of the tabs: two buttons this wide.
inline constexpr int kTabArrowWidth = 16;

struct GridLayout {
  bool hasGrid = false; // worksheet or macro sheet; else the area is the chart's
  int sheet = -1;       // the sheet laid out; -1 when the workbook has none
  int zoom = 100;
  model::PixelScale scale;       // standard character width and pixels per inch, zoomed
  platform::FontSpec uiFont;     // header labels, at the zoom
  platform::FontSpec uiBoldFont; // the active row's and column's labels
  platform::FontSpec tabFont;    // sheet names (not zoomed)
  int headerHeight = 0;          // 0 when the sheet hides its headers
  int rowHeaderWidth = 0;

  platform::Rect client;
  platform::Rect grid;       // headers and cells
  platform::Rect cells;      // the cell panes, right of and below the headers
  int frozenWidth = 0;       // pixels of the frozen columns at the left of `cells`
  int frozenHeight = 0;      // and of the frozen rows at its top
  int frozenColumnCount = 0; // visible columns in the frozen pane
  int frozenRowCount = 0;
  platform::Rect tabBar;     // empty when the tabs are hidden
  platform::Rect horizontalScroll;
  platform::Rect verticalScroll;
  platform::Rect cornerBox;  // the square between the two scroll controls

  /// The first row and column of the scrolling pane and the last ones at
  /// least partly visible (also stored in the sheet as bottomRow and rightColumn).
  int firstScrollRow = 0, firstScrollColumn = 0;
  int topRow = 0, leftColumn = 0, bottomRow = 0, rightColumn = 0;
  ScrollRange vertical;
  ScrollRange horizontal;

  /// A printed page: one pane from topRow and leftColumn, whatever panes the
  /// sheet has frozen; no comment marks, comments or filter arrows; `grid`
  /// is the margin around `cells` that the page's outer edges may use.
  bool page = false;
  /// Device pixels per screen pixel, for the widths of lines and the text
  /// margin (1 on the screen; the printer's resolution over the screen's).
  int pixelRatio = 1;
};

/// The column's letters: A-Z for 0-25, then two letters (AA for 26, IV for 255).
std::u16string columnLabel(int column);

/// Computes the layout of a sheet of the workbook: a pure function of the
/// sheet, the area and the text metrics, which changes nothing (the window
/// stores the scroll position back with storeViewState; printing and the
/// headless render never do). A sheet index past the workbook's sheets
/// gives a layout with `sheet` -1 and nothing but the client area.
GridLayout relayout(const model::Workbook& book, int sheet, const LayoutInput& in);
/// The same for the active sheet.
GridLayout relayout(const model::Workbook& book, const LayoutInput& in);

/// The layout of a printed page: the rows and columns of `block` laid out
/// from the top left corner of `area` at the scale given, cut at the area's
/// edges, with fonts at `fontZoom` percent of their size; `margin` pixels
/// around the area take the page's outer borders.
GridLayout pageLayout(const model::Workbook& book, int sheet, const model::CellRange& block,
                      const model::PixelScale& scale, int fontZoom, int pixelRatio,
                      const platform::Rect& area, int margin);

/// What the window keeps of a layout in the sheet: the scroll position as
/// the layout clamped it, and the last rows and columns it shows.
void storeViewState(model::Sheet& sheet, const GridLayout& layout);

} // namespace view

namespace view {

/// What a point of the grid window lies on.
enum class HitRegion { None, Corner, ColumnHeader, RowHeader, Cell, TabArrows, Tab, TabBar, Object };

struct HitTest {
  HitRegion region = HitRegion::None;
  int row = -1;    // cell and row header: the row under the point
  int column = -1; // cell and column header: the column under the point
  /// Headers: the column (row) whose right (bottom) border is within a few
  /// pixels of the point, or -1.
  int sizingLine = -1;
  int tab = -1;       // Tab: the sheet index; TabArrows: 0 left, 1 right
  int object = -1;    // Object: the index in the sheet's object list
  /// Object: 0 on the body, 1-8 on a sizing handle of the selected object
  /// (clockwise from the top left corner).
  int handle = 0;
};

/// Pixels a sizing handle of the selected object reaches either side of its point.
inline constexpr int kHandleHalf = 3;

/// Pixels either side of a header border that grab it for resizing.
inline constexpr int kSizingTolerance = 3;

/// The point's region; rows and columns follow the panes (frozen and
/// scrolling). Points right of or below the last line of a pane give the
/// line under them as far as the sheet goes. Drawing objects lie over the
/// cells: the topmost object under the point wins (the selected one's
/// handles first), and the row and column under it are still given.
HitTest hitTest(const model::Workbook& book, const GridLayout& layout, platform::Point p);

/// Where a drawing object of the laid-out sheet shows in the window: its
/// anchor placed in the pane that holds its top left corner. Empty when the
/// index is out of range.
platform::Rect objectRect(const model::Sheet& sheet, const GridLayout& layout, int index);
/// The eight sizing-handle points of a rectangle, clockwise from the top left.
std::array<platform::Point, 8> handlePoints(const platform::Rect& r);

/// The cell's rectangle in the window when its row and column are visible in
/// one of the panes; empty otherwise.
platform::Rect cellRect(const model::Sheet& sheet, const GridLayout& layout, int row, int column);

/// The rectangle of a range's outline on the window: the corners' cells
/// clamped to the visible ones, an edge off screen pushed past the cells so
/// that clipping takes it away. Empty when the range is not in view.
platform::Rect copyOutlineRect(const model::Sheet& sheet, const GridLayout& layout, const model::CellRange& range);
/// The pixels a column (row) covers in the window, whatever the rows
/// (columns) around it; false when it is not shown.
bool columnSpan(const model::Sheet& sheet, const GridLayout& layout, int column, int& left, int& right);
bool rowSpan(const model::Sheet& sheet, const GridLayout& layout, int row, int& top, int& bottom);

/// Where each visible sheet tab sits, left to right.
struct TabPlace {
  int sheet = 0;
  int left = 0;
  int width = 0;
};
std::vector<TabPlace> tabPlaces(const model::Workbook& book, const GridLayout& layout);

} // namespace view
