#pragma once
// One tab of a workbook: its cells, row and column records, view state,
// merged ranges, hyperlinks, page setup, protection and data-tool rules.

#include "model/cell_store.h"
#include "model/drawing_objects.h"
#include "model/indexed_list.h"
#include "model/line_index.h"
#include "model/range_index.h"
#include "model/sheet_rules.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace model {

/// The numbers are the sub-stream types of the workbook file format.
enum class SheetKind : std::int32_t { Worksheet = 16, Chart = 32, Macro = 64, Module = 6 };

/// Bits of Sheet::flags.
enum SheetFlag : std::uint32_t {
  kSheetGlobalColumnWidth = 1u << 0, // default column width is the global one
  kSheetGlobalRowHeight = 1u << 1,   // default row height is the global one
  kSheetShowGridlines = 1u << 2,
  kSheetShowHeaders = 1u << 3,
  kSheetProtected = 1u << 4,
  kSheetShowFormulas = 1u << 5,
  kSheetPanesFrozen = 1u << 6,
  kSheetAutoFilter = 1u << 7,
};

/// Bits of RowRecord::flags and ColumnRecord::flags.
enum LineFlag : std::uint32_t {
  kLineDefaultSize = 1u << 0, // the size field is ignored
  kLineHidden = 1u << 1,      // drawn with size 0
  kLineCustomHeight = 1u << 2, // set by the user; automatic row fitting leaves it alone
  /// Rows only: hidden by the AutoFilter (kLineHidden is set with it). A row
  /// hidden by hand lacks it and stays hidden whatever the filter does.
  kLineFilterHidden = 1u << 3,
};

inline constexpr std::uint16_t kDefaultColumnWidth = 2048; // 8 characters, in 1/256 character
inline constexpr std::uint16_t kDefaultRowHeight = 255;    // twips
inline constexpr std::uint16_t kMaxFittedRowHeight = 8180; // twips
inline constexpr int kMaxSheetNameLength = 31;

struct RowRecord {
  std::uint16_t row = 0;
  std::uint32_t flags = kLineDefaultSize;
  std::uint16_t size = kDefaultRowHeight; // twips
};

struct ColumnRecord {
  std::uint8_t column = 0;
  std::uint32_t flags = kLineDefaultSize;
  std::uint16_t size = kDefaultColumnWidth; // 1/256 of the standard character width
  std::uint16_t formatIndex = 15;           // the column's default cell format
};

struct ArrayFormulaRecord {
  CellRange range;
  std::u16string text; // empty for arrays entered in the program: the text lives in the cells
};

/// Bits of DataTable::flags, as the file format stores them.
enum DataTableFlag : std::uint8_t {
  kDataTableAlwaysCalc = 0x01,
  kDataTableRowInput = 0x04, // one input, whose values run along the top row
  kDataTableTwoInputs = 0x08,
};

/// A data table (what-if table): each result cell is the table's formula
/// computed with the input cell set to that cell's heading (a two-input table
/// sets the row input from the top row and the column input from the left
/// column). The headings are the row above and the column left of `range`.
struct DataTable {
  CellRange range;               // the result cells
  std::uint32_t input = 0;       // packed: the input cell, or a two-input table's row input
  std::uint32_t columnInput = 0; // packed: a two-input table's column input
  std::uint8_t flags = kDataTableAlwaysCalc;

  /// The range with its heading row and column.
  CellRange area() const {
    return {static_cast<std::uint16_t>(range.firstRow - 1), static_cast<std::uint8_t>(range.firstColumn - 1),
            range.lastRow, range.lastColumn};
  }
};

struct Hyperlink {
  std::uint32_t cell = 0; // packed address
  std::u16string target;  // a path, optionally "[" path "]" reference
};

struct PageSetup {
  std::u16string header;
  std::u16string footer;
  bool printHeaders = false;
  bool printGridlines = false;
  double leftMargin = 0.75; // inches
  double rightMargin = 0.75;
  double topMargin = 1.0;
  double bottomMargin = 1.0;
  std::u16string printArea;
  bool gridSet = true; // the gridline printing choice was made by the user
  bool centreHorizontally = false;
  bool centreVertically = false;
  bool fitToPage = false;
  /// The printer's device settings as a wide-character DEVMODE with its
  /// driver data; empty when none are kept.
  std::vector<std::uint8_t> printerSettings;
  /// The file's 34-byte page setup, kept as stored while hasSetup.
  bool hasSetup = false;
  std::array<std::uint8_t, 34> setup{};
};

/// The filtered block of a sheet; valid while kSheetAutoFilter is set. The
/// per-column criteria belong to the filter tool, which keeps them here.
struct AutoFilterState {
  std::uint16_t firstRow = 0; // the header row
  std::uint8_t firstColumn = 0;
  std::uint16_t lastRow = 0;
  std::uint8_t lastColumn = 0;
  std::vector<FilterCriterion> criteria; // one per column of the range
};

/// Pixel scale of a sheet at its zoom: the standard character width and the
/// screen's logical pixels per inch, both already zoomed.
struct PixelScale {
  int standardCharWidthPx = 7;
  int logicalPixelsPerInch = 96;
};

/// A number for a new sheet, never given twice while the program runs.
std::uint32_t newSheetId();

struct Sheet {
  /// Names this sheet for its whole life, whatever its position: undo
  /// entries and other long-lived references keep it instead of an index.
  std::uint32_t id = newSheetId();
  std::u16string name; // at most 31 characters
  std::uint16_t versionWord = 0; // of the BOF a pocket file gave the sheet; 0: the workbook's
  std::uint16_t zoom = 100;
  SheetKind kind = SheetKind::Worksheet;
  std::int32_t hidden = 0;
  std::uint8_t tabColour = 0; // palette index, 0 = none
  std::optional<std::u16string> activateMacro;
  std::optional<std::u16string> deactivateMacro;
  std::uint32_t flags = 0;
  std::uint16_t defaultColumnWidth = kDefaultColumnWidth;
  std::uint16_t defaultRowHeight = kDefaultRowHeight;

  CellTable cells;
  IndexedList<ColumnRecord, LineIndex> columns; // sorted by column
  IndexedList<RowRecord, LineIndex> rows;       // sorted by row

  std::uint16_t frozenRow = 0, scrollPaneRow = 0, topRow = 0, bottomRow = 0;
  std::uint8_t frozenColumn = 0, scrollPaneColumn = 0, leftColumn = 0, rightColumn = 0;
  std::uint16_t activeRow = 0;
  std::uint8_t activeColumn = 0;
  std::uint32_t selectionFirst = 0, selectionLast = 0; // packed addresses

  std::vector<ArrayFormulaRecord> arrayFormulas;
  /// Never overlapping; each range starts at row 1 and column 1 or later.
  std::vector<DataTable> dataTables;
  AutoFilterState autoFilter;
  IndexedList<ValidationRule, RuleIndex> validations;
  ValidationBox validationBox;
  IndexedList<CellRange, RangeIndex> mergedRanges;
  std::vector<Hyperlink> hyperlinks;
  PageSetup pageSetup;
  IndexedList<ConditionalFormat, RuleIndex> conditionalFormats;
  /// Outline gutters: row and column gutter widths, row and column levels.
  std::array<std::uint16_t, 4> guts{};
  std::uint16_t protectionVerifier = 0; // 0 = no password
  /// Drawing objects in drawing order (later ones on top).
  std::vector<DrawingObject> objects;
  int selectedObject = -1; // index into objects, or -1
  int secondObject = -1;

  bool hasGrid() const { return kind != SheetKind::Chart; }
};

/// Resets a sheet's view state for its kind: zoom 100, visible, no tab
/// colour; a sheet with a grid loses its grid part and gets flags 0x0F
/// (0x2F for macro and module sheets, which show formulas).
void sheet_init(Sheet& sheet, SheetKind kind);

/// Binary search of the cell table; when absent, the insertion position.
CellTable::Search find_cell(const CellTable& table, std::uint16_t row, std::uint8_t column);
CellRecord* cell_at(const Sheet& sheet, std::uint16_t row, std::uint8_t column);

/// Stores a cell's input while loading; cells must arrive in ascending order
/// (see CellTable::append). Computes the volatility class; the value and
/// calculation state are the loader's to set.
CellRecord* append_cell(CellTable& table, std::uint16_t row, std::uint8_t column,
                        std::u16string_view input, std::uint16_t formatIndex);
/// The same for a string cell whose input is exactly its value's text (a
/// string `value`): input and value share one text, and the value is set.
CellRecord* append_string_cell(CellTable& table, std::uint16_t row, std::uint8_t column,
                               const CellValue& value, std::uint16_t formatIndex);

/// The store's part of storing user input: finds or inserts the record,
/// drops its hyperlink and stale value, stores the text and format and
/// computes the volatility class. Throws std::bad_alloc when memory runs out;
/// the cell then keeps its old input.
CellRecord& storeCellInput(Sheet& sheet, std::uint16_t row, std::uint8_t column,
                           std::u16string_view input, std::uint16_t formatIndex);

/// Copies of the records, or defaults (flags = default size) when absent.
RowRecord row_record(const Sheet& sheet, std::uint16_t row);
ColumnRecord column_record(const Sheet& sheet, std::uint8_t column);
/// Inserts the record at its sorted place when absent, then stores flags and size.
void set_row_record(Sheet& sheet, std::uint16_t row, std::uint32_t flags, std::uint16_t size);
void set_column_record(Sheet& sheet, std::uint8_t column, std::uint32_t flags, std::uint16_t size);
void set_column_format(Sheet& sheet, std::uint8_t column, std::uint16_t formatIndex);

/// Width in 1/256 character and height in twips: 0 when hidden, the sheet
/// default when the record is absent or says default.
std::uint16_t column_width(const Sheet& sheet, std::uint8_t column);
std::uint16_t row_height(const Sheet& sheet, std::uint16_t row);

int column_px(const Sheet& sheet, std::uint8_t column, const PixelScale& scale);
int row_px(const Sheet& sheet, std::uint16_t row, const PixelScale& scale);
/// Pixels from the left of column 0 to `column` plus fraction/1024 of it
/// (from the top of row 0 to `row` plus fraction/256 of it). Columns and rows
/// up to 256 and 65536 are accepted so that the far edge can be measured.
int column_offset_px(const Sheet& sheet, int column, int fraction, const PixelScale& scale);
int row_offset_px(const Sheet& sheet, int row, int fraction, const PixelScale& scale);

/// The first row (column) at or after the one given that is not hidden;
/// the row (column) count when all from there on are.
int nextShownRow(const Sheet& sheet, int row);
int nextShownColumn(const Sheet& sheet, int column);

/// Where Ctrl+arrow goes along a row (or a column with `rows` false) from
/// line `start` in direction `delta` (+1 or -1), skipping hidden lines: the
/// last cell with input of the block it stands in, or the first cell with
/// input beyond, or the sheet's edge. -1 when already at the edge.
int blockEdge(const Sheet& sheet, bool rows, int fixed, int start, int delta);

/// Explicit widths in characters (0-255; 0 hides) and heights in points
/// (0-409; 0 hides) for a run of columns or rows. Heights for all 65,536 rows
/// change the sheet's default height instead.
void setColumnWidthChars(Sheet& sheet, std::uint8_t first, std::uint8_t last, double characters);
void setRowHeightPoints(Sheet& sheet, std::uint16_t first, std::uint16_t last, double points);

/// Shows the hidden rows (columns) of a run; a line hidden by a size of 0
/// comes back at the default size.
void unhideRows(Sheet& sheet, std::uint16_t first, std::uint16_t last);
void unhideColumns(Sheet& sheet, std::uint8_t first, std::uint8_t last);

/// Index of the merged range holding the cell, or -1.
int merged_range_at(const Sheet& sheet, std::uint16_t row, std::uint8_t column);
/// Adds a merged range; a range overlapping an existing one is refused.
[[nodiscard]] bool addMergedRange(Sheet& sheet, const CellRange& range);

/// Removes the hyperlinks that lie in the cell.
void removeHyperlinksAt(Sheet& sheet, std::uint16_t row, std::uint8_t column);
const Hyperlink* hyperlinkAt(const Sheet& sheet, std::uint16_t row, std::uint8_t column);

/// The legacy 16-bit verifier of a sheet password (0 for an empty one).
std::uint16_t passwordVerifier(std::u16string_view password);

/// Last used row and column (the extent of stored cells); false when empty.
bool usedRange(const Sheet& sheet, CellRange& out);

} // namespace model
