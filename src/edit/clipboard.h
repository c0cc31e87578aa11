#pragma once
// Cut, Copy, Paste and Paste Special of cell ranges. A copy keeps a full
// snapshot of the range inside the program and puts the range's text and a
// marker on the system clipboard; Paste uses the snapshot while the marker
// is still there, and the clipboard's text otherwise.

#include "edit/paste.h"
#include "model/workbook_list.h"
#include "platform/window_services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace edit {

inline constexpr std::u16string_view kMessageNoRoomToPaste = u"没空间可粘贴数据";
inline constexpr std::u16string_view kMessageDifferentSize = u"Clipboard and selection different size";
inline constexpr std::u16string_view kPasteCaption = u"粘贴";

/// The program's one internal clipboard.
struct InternalClipboard {
  bool valid = false;
  std::uint64_t sourceWorkbook = 0; // Workbook::id
  std::uint32_t sourceSheet = 0;    // Sheet::id
  model::SavedRange snapshot;
  /// The copied range is outlined on its sheet until the user lets go of it
  /// (Escape, an entry, a paste of a cut).
  bool outlined = false;
  bool cut = false; // the snapshot's cells were cut, not copied
};
InternalClipboard& internalClipboard();
void free_clipboard();

/// The destination a clip of rows x columns takes when pasted onto
/// `selection` (see the size rules), or the message that refuses it.
struct Destination {
  model::CellRange range;
  std::u16string_view refusal; // empty when the paste fits
};
Destination destinationFor(const model::CellRange& selection, int clipRows, int clipColumns);

/// The text other programs get: rows ending in CR LF, cells separated by
/// tabs up to the last non-empty cell of each row, fields holding a tab, a
/// quote or a line end quoted with doubled quotes. A cell gives its shown
/// text, or its input when its sheet shows formulas.
std::u16string clipboardTextOf(const model::SavedRange& snapshot, bool showFormulas);

/// Reads clipboard text into rows of fields: CR LF, CR and LF each end a
/// row (a last row without one counts), tabs separate fields, quoted fields
/// lose their quotes and keep tabs and line ends (as LF). Empty text gives
/// no rows.
std::vector<std::vector<std::u16string>> parseClipboardText(std::u16string_view text);

/// The selection of a sheet as a range.
model::CellRange selectionOf(const model::Sheet& sheet);

/// Copy: the snapshot of the range, with the text and the marker on the
/// system clipboard. False when the snapshot could not be taken.
bool copy_range(model::Workbook& book, int sheetIndex, const model::CellRange& range,
                platform::WindowServices& window);

/// Cut: refused by the guards; else copies, records the cut and empties
/// the range at once.
bool cut_range(model::Workbook& book, int sheetIndex, const model::CellRange& range,
               platform::WindowServices& window);

/// Paste onto the active sheet's selection of the active workbook: the
/// snapshot while the marker is on the clipboard (with `options`), else the
/// clipboard's text (Paste only). The selection grows to the pasted range
/// when `extendSelection`. False when nothing could be pasted.
bool paste(model::WorkbookList& books, platform::WindowServices& window, const PasteOptions& options,
           bool extendSelection);

/// Paste onto a sheet's selection: the internal snapshot when `source` (the
/// open workbook it was taken from) is given, else the clipboard's text.
bool paste_into(model::Workbook& book, int sheetIndex, const model::Workbook* source,
                platform::WindowServices& window, const PasteOptions& options, bool extendSelection);

/// Pastes clipboard text onto the selection, keeping the cells' formats.
bool paste_text(model::Workbook& book, int sheetIndex, std::u16string_view text, bool extendSelection);

/// Whether Paste is possible for the sheet (a worksheet without a selected
/// object, or a macro sheet): our snapshot with its marker, or text.
bool clipboard_can_paste(const model::WorkbookList& books, const model::Sheet* sheet,
                         const platform::WindowServices& window);
/// Whether Paste Special is possible: only with our own snapshot.
bool clipboard_has_snapshot(const model::WorkbookList& books, const platform::WindowServices& window);

/// The range to outline as copied on this sheet, if any.
std::optional<model::CellRange> copiedOutline(const model::Workbook& book, int sheetIndex,
                                              const platform::WindowServices& window);

/// Installs the sheet copy (Move or Copy's "建立副本") on the paste engine.
void installClipboardServices();

} // namespace edit
