#pragma once
// What the workbook model asks of the layers above it. The formula engine,
// undo, macros, the file readers and writers and the clipboard install their
// parts at start; a part that is not installed is simply not done (no
// precedents are scanned, no undo entry is kept, no macro runs), and the
// operations that cannot go on without one (saving, reading a file) fail.

#include "model/cell_store.h"

#include <functional>
#include <string>
#include <string_view>

namespace model {

struct Workbook;

/// Undo action codes of the sheet operations and sheet settings.
enum UndoAction : int {
  kUndoDeleteWorksheet = 6,
  kUndoDeleteChart = 7,
  kUndoInsertWorksheet = 11,
  kUndoInsertChart = 12,
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
  kUndoShowFormulas = 34,
  kUndoDeleteMacroSheet = 32,
  kUndoInsertMacroSheet = 33,
  kUndoHideSheet = 44,
  kUndoUnhideSheet = 45,
};

struct ModelServices {
  // Formula engine.
  /// Fills the cell's precedent list from its input text.
  std::function<void(Workbook&, int sheet, CellRecord&)> scanPrecedents;
  /// Brings the cell's value up to date (its stale precedents first).
  std::function<void(Workbook&, int sheet, CellRecord&)> computeCell;
  /// Marks the cells that depend on this one stale and recomputes them.
  std::function<void(Workbook&, int sheet, CellRecord&)> propagateChange;
  /// Rewrites every formula text that names the old sheet name.
  std::function<void(Workbook&, std::u16string_view oldName, std::u16string_view newName)>
      renameSheetInFormulas;
  /// Rescans and recomputes the formulas that mention a sheet name.
  std::function<void(Workbook&, std::u16string_view sheetName)> rescanFormulasNaming;
  /// Recomputes the cells whose precedents changed because a sheet went away.
  std::function<void(Workbook&)> recalcAfterSheetChange;

  // Undo: called before the change, with the workbook still as it was.
  std::function<void(Workbook&, UndoAction, int sheet)> recordUndo;

  // Macros: runs the named macro (a defined name's formula).
  std::function<void(Workbook&, std::u16string_view macroName)> runMacro;

  // Files.
  /// Saves the workbook under its path; false when it was not saved.
  std::function<bool(Workbook&)> saveWorkbook;
  /// Reads a file into a new, empty workbook; fileType as classified by
  /// fileTypeOf. False when the file could not be read (the reader has told
  /// the user why).
  std::function<bool(Workbook&, const std::u16string& path, int fileType)> readWorkbookFile;

  /// Adds a path to the recent-file list.
  std::function<void(const std::u16string& path)> addRecentFile;

  // Clipboard: pastes the used area of one sheet into another, with everything.
  std::function<bool(Workbook&, int fromSheet, int toSheet)> copySheetContents;
};

/// The services in force (a process-wide table, filled at start).
ModelServices& modelServices();

} // namespace model
