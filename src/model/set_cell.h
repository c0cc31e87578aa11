#pragma once
// Storing user input in a cell, and fitting row heights to their contents.

#include "model/workbook.h"
#include "platform/text_metrics.h"

#include <vector>

namespace model {

/// The single entry point for storing user input (editing, paste, fill,
/// macro commands, data tools): stores the text and format, has the formula
/// engine scan and compute the cell and, when asked, pass the change on to
/// its dependents; then fits the row's height unless the user set it.
/// Returns false when memory ran out (the cell keeps its old input).
[[nodiscard]] bool set_cell(Workbook& book, int sheet, std::uint16_t row, std::uint8_t column,
                            std::u16string_view input, std::uint16_t formatIndex, bool autofitRow,
                            bool propagate);

/// Fits the heights of rows first..last to their tallest cell (between 255
/// and 8,180 twips); rows without cells go back to the default height. Rows
/// whose height the user set are left alone only by set_cell, not here.
void fitRowHeights(Workbook& book, int sheet, std::uint16_t first, std::uint16_t last);

/// fitRowHeights over the rows of a range that hold cells, leaving alone
/// the rows whose height the user set (what a command does after changing
/// cells).
void fitRowsOfRange(Workbook& book, int sheet, const CellRange& range);

/// One line of a wrapped text: where it starts in the text and its length.
struct TextLine {
  size_t start = 0;
  size_t length = 0;
  friend bool operator==(const TextLine&, const TextLine&) = default;
};

/// Breaks a text into the lines it takes at `widthPx` in `font`: at line
/// feeds, at the last space that fits (the space itself is dropped), and
/// inside words longer than a line, never between the two halves of a
/// surrogate pair. Stops after `maxLines` lines, so a painter asks only for
/// what its cell shows. Linear in the characters it looks at.
std::vector<TextLine> wrapText(std::u16string_view text, const platform::FontSpec& font, int widthPx,
                               size_t maxLines = static_cast<size_t>(-1));

/// The number of lines wrapText gives.
int wrappedLineCount(std::u16string_view text, const platform::FontSpec& font, int widthPx);

/// The font of a workbook font record as the platform measures it.
platform::FontSpec fontSpecOf(const Font& font);

/// The font of a cell format; font 0 when the format or its font index is
/// past its table, a default font when the workbook has none.
const Font& fontOfFormat(const Workbook& book, std::uint16_t formatIndex);

/// The pixel scale at zoom 100, as the grid has it: the standard character
/// is the width of "0" in the screen's default font.
PixelScale unzoomedScale();

} // namespace model
