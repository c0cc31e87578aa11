#pragma once
// The one undo list of the program and its recorder. Every command that
// changes a workbook records an entry before its first change; when the
// entry cannot be recorded (memory ran out) the command must not run, so
// every recorder returns [[nodiscard]] bool. Entries name their workbook and
// sheet by stable ids, never by position, so closing workbooks or inserting,
// moving and deleting sheets cannot make an entry land on the wrong sheet.
//
// This header keeps the entries and records them; taking an entry back (the
// Undo command) is the editing layer's, which reads the same entries.

#include "model/drawing_objects.h"
#include "model/workbook.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace model {

/// The action of an entry; the number also chooses the Edit menu's label.
enum UndoAction : int {
  kUndoInput = 0,
  kUndoClear = 1,
  kUndoCut = 2,
  kUndoPaste = 3,
  kUndoDeleteRows = 4,
  kUndoDeleteColumns = 5,
  kUndoDeleteWorksheet = 6,
  kUndoDeleteChart = 7,
  kUndoInsertCells = 8,
  kUndoInsertRows = 9,
  kUndoInsertColumns = 10,
  kUndoInsertWorksheet = 11,
  kUndoInsertChart = 12,
  kUndoInsertName = 13,
  kUndoUpdateName = 14,
  kUndoDeleteName = 15,
  kUndoCellFormat = 16,
  kUndoRowHeight = 17,
  kUndoHideRows = 18,
  kUndoUnhideRows = 19,
  kUndoColumnWidth = 20,
  kUndoHideColumns = 21,
  kUndoUnhideColumns = 22,
  kUndoStandardWidth = 23,
  kUndoRenameSheet = 24,
  kUndoGridlines = 25,
  kUndoHeaders = 26,
  kUndoZoom = 27,
  kUndoProtect = 28,
  kUndoFreezePanes = 29,
  kUndoUnfreezePanes = 30,
  kUndoSort = 31,
  kUndoDeleteMacroSheet = 32,
  kUndoInsertMacroSheet = 33,
  kUndoShowFormulas = 34,
  kUndoDeleteCells = 35,
  kUndoFillDown = 36,
  kUndoFillRight = 37,
  kUndoFillUp = 38,
  kUndoFillLeft = 39,
  kUndoFillSeries = 40,
  kUndoReplace = 41,
  kUndoInsertComment = 42,
  kUndoEditComment = 43,
  kUndoHideSheet = 44,
  kUndoUnhideSheet = 45,
  kUndoValidation = 46,
  kUndoConditionalFormat = 47,
  kUndoGoalSeek = 48,
  kUndoAutoFilter = 49,
  // Drawing objects: the entry keeps the sheet's whole object list.
  kUndoInsertObject = 50,
  kUndoMoveObject = 51,
  kUndoSizeObject = 52,
  kUndoDeleteObject = 53,
  kUndoFormatObject = 54,
};
inline constexpr int kUndoActionCount = 55;

/// The Edit menu's label of an action ("输入内容" for input); empty for an
/// unknown code.
std::u16string_view undo_label(int action);

/// How a sheet was viewed before the action: its name and zoom, and for
/// worksheets and macro sheets the flag bits 0-6, the default sizes, the
/// panes, the active cell, the selection and the protection verifier.
struct SheetViewState {
  std::u16string name;
  std::uint16_t zoom = 100;
  std::uint32_t flags = 0; // bits 0-6
  std::uint16_t defaultColumnWidth = kDefaultColumnWidth;
  std::uint16_t defaultRowHeight = kDefaultRowHeight;
  std::uint16_t frozenRow = 0, scrollPaneRow = 0, topRow = 0, bottomRow = 0;
  std::uint8_t frozenColumn = 0, scrollPaneColumn = 0, leftColumn = 0, rightColumn = 0;
  std::uint16_t activeRow = 0;
  std::uint8_t activeColumn = 0;
  std::uint32_t selectionFirst = 0, selectionLast = 0;
  std::uint16_t protectionVerifier = 0;
};

/// Reads the view state the way an entry keeps it.
SheetViewState captureViewState(const Sheet& sheet);
/// Puts a kept view state back (the name included).
void restoreViewState(Sheet& sheet, const SheetViewState& state);

/// One stored cell of a snapshot.
struct SavedCell {
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  std::u16string input;
  std::uint16_t formatIndex = kDefaultCellFormat;
  /// The text the cell showed; kept only by clipboard snapshots (values
  /// paste what was shown, and the system clipboard gets it).
  std::u16string display;
};

/// What a range held before an action: its cells, and the sheet's records
/// that touch it, kept whole (array formulas, merged ranges, hyperlinks,
/// validation rules and conditional-format sets that intersect the range,
/// comments anchored in it, and the column records of its columns).
struct SavedRange {
  CellRange range;
  std::vector<SavedCell> cells;
  std::vector<ArrayFormulaRecord> arrayFormulas;
  std::vector<DataTable> dataTables; // those whose results meet the range
  std::vector<CellRange> mergedRanges;
  std::vector<Hyperlink> hyperlinks;
  std::vector<ValidationRule> validations;
  std::vector<ConditionalFormat> conditionalFormats;
  std::vector<DrawingObject> comments;
  std::vector<ColumnRecord> columns;
};

/// A sheet's records as a structural edit found them, kept whole.
struct SavedSheetRecords {
  std::uint32_t sheetId = 0;
  std::vector<RowRecord> rows;
  std::vector<ColumnRecord> columns;
  std::vector<ArrayFormulaRecord> arrayFormulas;
  std::vector<DataTable> dataTables;
  AutoFilterState autoFilter;
  std::uint32_t autoFilterFlag = 0; // kSheetAutoFilter as it was
  std::vector<ValidationRule> validations;
  std::vector<CellRange> mergedRanges;
  std::vector<Hyperlink> hyperlinks;
  std::vector<ConditionalFormat> conditionalFormats;
  std::vector<DrawingObject> objects;
};

/// What undoing an insert or delete of cells, rows or columns needs beyond
/// the deleted cells (the entry's snapshot): the block that moved and by how
/// much, every formula text the edit rewrote (with the cell it stood in
/// before), the defined names, and the records of the sheets it changed.
struct StructuralUndo {
  CellRange block;
  int rowOffset = 0;
  int columnOffset = 0;
  bool cellsMoved = false; // false for a delete that reaches the sheet's edge
  struct Text {
    std::uint32_t sheetId = 0;
    std::uint16_t row = 0;
    std::uint8_t column = 0;
    std::u16string input;
  };
  std::vector<Text> texts;
  /// A reference an object keeps (a series, a control's link): the
  /// object's place in its sheet's list and the reference's among its own.
  struct ObjectText {
    std::uint32_t sheetId = 0;
    std::uint32_t object = 0;
    std::uint32_t ordinal = 0;
    std::u16string text;
  };
  std::vector<ObjectText> objectTexts;
  bool namesSaved = false; // `names` holds the defined names as they were
  std::vector<DefinedName> names;
  /// The sheets then, by id, in order: a local name's sheet is found again
  /// wherever copies and moves that keep no undo have put it since.
  std::vector<std::uint32_t> namedSheets;
  std::vector<SavedSheetRecords> sheets; // the edited sheet first
};

/// Keeps the defined names in `journal` (with the sheets they belong to) to
/// be put back by put_back_texts. Throws std::bad_alloc.
void save_names(StructuralUndo& journal, const Workbook& book);

/// A sheet's records kept whole, and put back as they were.
SavedSheetRecords save_sheet_records(const Sheet& sheet);
void put_sheet_records(Sheet& sheet, const SavedSheetRecords& records);

/// Puts back the texts a journal kept (cells, object references, and the
/// names when saved), newest change first, and the sheets' records it kept;
/// each cell put back is added to `cells` as (sheet index, packed cell) for
/// its precedents to be scanned again. Throws std::bad_alloc when memory
/// runs out.
void put_back_texts(Workbook& book, const StructuralUndo& journal,
                    std::vector<std::pair<int, std::uint32_t>>& cells);

/// The AutoFilter of a sheet as it was; its hidden rows are the entry's
/// saved row records.
struct SavedAutoFilter {
  AutoFilterState state;
  std::uint32_t flag = 0; // kSheetAutoFilter as it was
};

struct UndoEntry {
  std::uint64_t workbookId = 0; // Workbook::id
  int action = kUndoInput;
  std::uint32_t sheetId = 0; // Sheet::id
  int sheetIndex = 0;        // where the sheet stood when recorded (re-inserting a deleted one)
  SheetViewState view;
  std::vector<RowRecord> rows;       // save_row_records
  std::vector<ColumnRecord> columns; // save_column_records
  /// The lines whose records were saved: records inside it that were not
  /// saved did not exist and go again on undo.
  std::optional<CellRange> lineRange;
  std::optional<SavedRange> snapshot;
  /// A deleted sheet, whole, to be put back at sheetIndex.
  std::unique_ptr<Sheet> detachedSheet;
  /// Name actions: the name's position and its definition before the action.
  int nameIndex = -1;
  std::optional<DefinedName> savedName;
  /// Inserts and deletes of cells, rows and columns.
  std::unique_ptr<StructuralUndo> structure;
  /// Commands that turn the AutoFilter on or off, choose a criterion or
  /// sort under it; the rows it hid are in `rows`.
  std::optional<SavedAutoFilter> autoFilter;
  /// Commands on drawing objects, and row and column sizes that moved
  /// objects which keep their pixels: the object list as it was.
  std::optional<std::vector<DrawingObject>> objects;
};

/// The application-wide list: at most kCapacity entries, the oldest dropped
/// when a newer one arrives.
class UndoList {
public:
  static constexpr size_t kCapacity = 16;
  /// The snapshots of all entries together stay under this many bytes;
  /// below it the 16-entry rule holds exactly.
  static constexpr size_t kDefaultByteCap = size_t{256} << 20;

  bool empty() const { return m_entries.empty(); }
  size_t size() const { return m_entries.size(); }
  /// Oldest first.
  const UndoEntry& at(size_t i) const { return *m_entries[i]; }
  UndoEntry* newest() { return m_entries.empty() ? nullptr : m_entries.back().get(); }
  const UndoEntry* newest() const { return m_entries.empty() ? nullptr : m_entries.back().get(); }

  /// The label of the newest entry; nothing while the list is empty.
  std::optional<std::u16string> newestLabel() const;

  /// Appends an entry, dropping the oldest beyond the capacity. False when
  /// memory ran out (reported); the list is unchanged then.
  [[nodiscard]] bool push(std::unique_ptr<UndoEntry> entry);
  /// Takes the newest entry off the list (for the Undo command).
  std::unique_ptr<UndoEntry> popNewest();
  /// Drops the entries of a workbook that is being closed.
  void dropWorkbook(std::uint64_t workbookId);
  void clear() {
    m_entries.clear();
    m_bytes.clear();
  }

  /// What the entries hold now, in bytes, as the cap counts it.
  size_t bytes() const;
  size_t byteCap() const { return m_byteCap; }
  void setByteCap(size_t cap) { m_byteCap = cap; }
  /// Measures the newest entry again after it grew, dropping the oldest
  /// entries while the list is over its cap.
  void remeasureNewest();

private:
  void trimToCap();

  std::vector<std::unique_ptr<UndoEntry>> m_entries;
  std::vector<size_t> m_bytes; // per entry, as measured when it was pushed or last grew
  size_t m_byteCap = kDefaultByteCap;
};

/// The bytes an entry holds, as the cap counts them (cells, texts, records).
size_t undoEntryBytes(const UndoEntry& entry);
size_t savedRangeBytes(const SavedRange& range);

/// The program's one list.
UndoList& undoList();

/// Records an entry holding the view state of the sheet at `sheetIndex`.
/// False, with "Insufficient memory" shown and nothing recorded, when memory
/// ran out: the calling command must then not run.
[[nodiscard]] bool push_undo(Workbook& book, int sheetIndex, UndoAction action);

/// push_undo plus a snapshot of a range of that sheet. For clear, cut, cell
/// format and replace over whole columns the range's last row is first
/// lowered to the sheet's last used row, so a whole-column selection costs
/// what the sheet holds.
[[nodiscard]] bool push_undo_range(Workbook& book, int sheetIndex, UndoAction action,
                                   const CellRange& range);

/// Copies the sheet's row (column) records inside the range into the newest
/// entry, which must be of the same sheet. False when memory ran out (the
/// newest entry is then dropped, so no half entry stays behind).
[[nodiscard]] bool save_row_records(const Workbook& book, int sheetIndex, const CellRange& range);
[[nodiscard]] bool save_column_records(const Workbook& book, int sheetIndex, const CellRange& range);

/// Copies the sheet's AutoFilter and the row records of `rows` (the rows
/// the command may hide or show) into the newest entry, which must be of the
/// same sheet. False when memory ran out (the newest entry is then dropped).
[[nodiscard]] bool save_auto_filter(const Workbook& book, int sheetIndex, const CellRange& rows);

/// Copies the sheet's object list into the newest entry, which must be of
/// the same sheet. False when memory ran out (the newest entry is then
/// dropped).
[[nodiscard]] bool save_objects(const Workbook& book, int sheetIndex);

/// Hands a sheet the action took out of its workbook to the newest entry,
/// when that entry recorded its deletion; otherwise the sheet is freed.
void keep_detached_sheet(std::unique_ptr<Sheet> sheet);

/// What a range of a sheet holds now, kept whole (see SavedRange); with
/// `displayTexts` each cell also keeps the text it shows. Throws
/// std::bad_alloc when memory runs out.
SavedRange snapshot_range(Workbook& book, int sheetIndex, const CellRange& range, bool displayTexts);

/// The largest row among the stored cells, row records and merged ranges
/// of a sheet; -1 when it has none of them.
int lastUsedRow(const Sheet& sheet);

/// The position of the sheet with this id in the workbook, or -1.
int sheetIndexOfId(const Workbook& book, std::uint32_t sheetId);

} // namespace model
