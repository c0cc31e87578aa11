#pragma once
// What the workbook model asks of the layers above it. The formula engine,
// macros, the file readers and writers and the clipboard install their parts
// at start; a part that is not installed is simply not done (no precedents
// are scanned, no macro runs), and the operations that cannot go on without
// one (saving, reading a file) fail. Undo is the model's own (model/undo.h).

#include "model/cell_store.h"

#include <functional>
#include <string>
#include <string_view>

namespace model {

struct Workbook;
struct StructuralUndo;

/// Who runs a macro: the cell a command macro acts from (the active cell
/// for a shortcut key), or the object whose macro it is.
struct MacroCaller {
  enum class Kind { None, Cell, Object } kind = Kind::None;
  int sheet = -1;
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  int object = -1; // Kind::Object: index in the sheet's object list
};

struct ModelServices {
  // Formula engine.
  /// Fills the cell's precedent list from its input text.
  std::function<void(Workbook&, int sheet, CellRecord&)> scanPrecedents;
  /// Brings the cell's value up to date (its stale precedents first).
  std::function<void(Workbook&, int sheet, CellRecord&)> computeCell;
  /// Marks the cells that depend on this one stale and recomputes them.
  std::function<void(Workbook&, int sheet, CellRecord&)> propagateChange;
  /// Rewrites every formula text that names the old sheet name; each text
  /// as it was goes into `journal` when given, before it changes.
  std::function<void(Workbook&, std::u16string_view oldName, std::u16string_view newName,
                     StructuralUndo* journal)>
      renameSheetInFormulas;
  /// Rescans and recomputes the formulas that mention a sheet name.
  std::function<void(Workbook&, std::u16string_view sheetName)> rescanFormulasNaming;
  /// Before a sheet goes: references through a range of sheets that ends
  /// on it end on the next sheet inside the range. Each text as it was goes
  /// into `journal` when given, before it changes.
  std::function<void(Workbook&, int sheet, StructuralUndo* journal)> sheetRemoving;
  /// Recomputes the cells whose precedents changed because a sheet went away.
  std::function<void(Workbook&)> recalcAfterSheetChange;

  // Macros: runs the named macro (a defined name's formula) for its caller
  // (no caller for Auto_Open and the sheet and workbook activation macros).
  std::function<void(Workbook&, std::u16string_view macroName, const MacroCaller& caller)> runMacro;

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
