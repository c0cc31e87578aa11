#pragma once
// The text a cell shows: its value through the cell's number format, with
// the colour to draw it in; the room a cell's text has on screen; and
// fitting column widths to the texts of their cells.

#include "model/workbook.h"
#include "platform/text_metrics.h"

#include <cstdint>
#include <string_view>

namespace model {

/// Brings the cell's value up to date (the formula engine's computeCell,
/// when the cell is stale and the engine is installed), then builds its
/// display text into cell.display and its colour into cell.displayColour and
/// returns the text, valid until the cell's display text is next built.
///
/// The colour is the font colour of the cell's format (0x7FFF automatic),
/// replaced by a section colour of the number format ("[Red]": palette 10).
/// Numbers go through the number format, strings through its text section,
/// booleans and errors show their fixed texts, empty cells no text.
///
/// `availableWidthPx` (-1 for none) is the room the grid gives the text, in
/// pixels at the sheet's zoom; only General shrinks to it and only "*" fills
/// it. A cell already at CalcState::DisplayValid returns its cached text,
/// except when its format is one of those two kinds: the record has no room
/// to remember the width its text was fitted to, so such a text is built
/// again on every call, with or without a width. A best fit therefore never
/// measures a number that a narrow column had shortened.
///
/// Bad indexes do no harm: a cell format past the table shows as General in
/// font 0, a font past the table as font 0, an unknown number format as General.
std::u16string_view cell_display_text(Workbook& book, int sheet, CellRecord& cell,
                                      int availableWidthPx);

/// The text the cell shows when no width is given, which is what files of
/// text are written with: the text cell_display_text(book, sheet, cell, -1)
/// gives, but a text not cached already is built into a buffer that the next
/// call of either function reuses, and the cell's cache is left as it was. So
/// writing out a sheet of numbers allocates nothing per cell.
std::u16string_view cell_plain_text(Workbook& book, int sheet, CellRecord& cell);

/// The text the grid draws for the cell in a room `availableWidthPx` pixels
/// wide (-1 for no limit): cell_display_text for that room, and for a number
/// whose text is still wider than the room, '#' filling the room instead.
/// The '#' form is never kept in the cell, so best fit, export and copying
/// see the whole text. Strings, booleans and errors come back whole: strings
/// may run over their neighbours. Texts are measured in `drawnIn`, the font
/// the caller draws in (a conditional format may make it bold), or when null
/// in the cell's own font at the sheet's zoom. Valid until the next call, or
/// until the cell's display text is next built.
std::u16string_view cell_fitted_text(Workbook& book, int sheet, CellRecord& cell,
                                     int availableWidthPx,
                                     const platform::FontSpec* drawnIn = nullptr);

/// The pixels a cell's text may take, at `scale`: the column's width, or the
/// whole merged range's, or, for centre across selection, the cell's column
/// and the following columns whose cells are empty and centred across
/// selection too; less 3 pixels of margin, never below 0.
int availableWidthPx(const Workbook& book, int sheet, const CellRecord& cell,
                     const PixelScale& scale);

/// Best fit: each column of first..lastColumn becomes as wide as the widest
/// text of its cells in rows firstRow..lastRow plus 3 pixels, in standard
/// characters (at most 255), with the default-size and hidden bits cleared.
/// Display texts are measured, input texts when the sheet shows formulas;
/// cells of merged ranges wider than one column are left out. A column with
/// no text keeps its width. Marks the workbook modified when a column got a
/// width.
void fitColumnWidths(Workbook& book, int sheet, std::uint8_t firstColumn, std::uint8_t lastColumn,
                     std::uint16_t firstRow, std::uint16_t lastRow);

} // namespace model
