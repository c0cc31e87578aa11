#pragma once
// Which cells a printed sheet puts on which page. Pages follow each other
// down, then across: all the row bands of the first column band, then those
// of the next. A page takes whole rows and whole columns while they fit;
// a row taller (a column wider) than the page takes a page of its own and
// is cut at the page's edge, so every page moves on. Hidden rows and
// columns, those the AutoFilter hides included, take no room and are not
// printed. Pure functions of the sheet and the printer's sizes.

#include "model/sheet.h"
#include "platform/printer.h"

#include <cstddef>
#include <vector>

namespace printing {

/// Where a page may draw, in printer pixels from the printable part's
/// corner: the printable part, kept off the paper's edges, less two screen
/// pixels at the left and the top (in printer pixels).
platform::Rect printableRect(const platform::PrinterCaps& caps, int screenDpiX, int screenDpiY);

/// What the print command prints of a sheet.
enum class PrintRange { All, Selection };

/// The block a sheet prints: with All, its used range from A1, reaching the
/// drawing objects that lie beyond it (not comments or filter buttons); with
/// Selection, the selection. False when the sheet has no cell at all or no
/// grid, which prints no pages.
bool printBlock(const model::Sheet& sheet, PrintRange range, model::CellRange& out);

/// A run of rows or columns that share their pages: first and last, both
/// printed unless hidden.
struct Band {
  int first = 0;
  int last = 0;
  friend bool operator==(const Band&, const Band&) = default;
};

struct PageBreaks {
  std::vector<Band> rows;    // top to bottom
  std::vector<Band> columns; // left to right
  std::size_t pageCount() const { return rows.size() * columns.size(); }
  /// Page `index` in print order (down, then across).
  model::CellRange page(std::size_t index) const;
};

/// Breaks the block into pages of at most `width` x `height` printer pixels,
/// the rows and columns measured at `scale` (the printer's pixels per inch
/// and the width of "0" on it). With `columnsToSheetEnd` a page's columns may
/// run past the block's last column, up to the sheet's last, while they fit
/// (bands still start only inside the block). Empty when the block shows no
/// row or no column.
PageBreaks breakPages(const model::Sheet& sheet, const model::CellRange& block, bool columnsToSheetEnd,
                      const model::PixelScale& scale, int width, int height);

} // namespace printing
