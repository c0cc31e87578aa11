#pragma once
// Formatting the cells of a selection: what the format dialog edits (one
// record shared by its pages), gathering it from the selection, and
// applying it with one undo entry. The conditional-format dialog edits the
// same record in its reduced form (font, border and pattern only).

#include "model/workbook.h"

#include <array>
#include <cstdint>
#include <string>

namespace edit {

/// One attribute of the dialog: present when the whole selection agrees on
/// one value (the control shows it), changed when the user set it.
template <class T> struct FormatAttribute {
  bool present = false;
  bool changed = false;
  T value{};

  /// What a page does when its control holds a definite value.
  void set(const T& v) {
    if (!present || !(value == v))
      changed = true;
    present = true;
    value = v;
  }
  /// Not present and not changed ("清除格式").
  void clear() {
    present = changed = false;
    value = T{};
  }
};

/// The number page's choice: a category of the number page (0 General ...
/// 10 Custom), decimal places and the custom code text.
struct NumberChoice {
  int category = 0;
  int places = 2;
  std::u16string custom;
  friend bool operator==(const NumberChoice&, const NumberChoice&) = default;
};

/// The dialog's six border sides, in the order the border page lists them.
enum BorderSide : int {
  kSideTop = 0,
  kSideLeft = 1,
  kSideBottom = 2,
  kSideRight = 3,
  kSideInsideVertical = 4,   // between columns
  kSideInsideHorizontal = 5, // between rows
};
inline constexpr int kBorderSideCount = 6;

/// Font colour and picker value for automatic.
inline constexpr int kAutomaticColour = -1;
/// The largest font size the font page takes, in points.
inline constexpr int kMaxFontPoints = 409;

struct FormatDialogState {
  bool reduced = false; // the conditional-format use: font, border and pattern only

  FormatAttribute<NumberChoice> number;
  FormatAttribute<int> horizontal; // 0 General ... 7 distributed
  FormatAttribute<int> vertical;   // 0 top ... 4 distributed
  FormatAttribute<bool> wrap;
  FormatAttribute<bool> merge;

  FormatAttribute<std::u16string> face;
  FormatAttribute<int> sizeTwips;
  FormatAttribute<int> fontColour; // palette index, or kAutomaticColour
  FormatAttribute<bool> bold, italic, underline, strikeOut;

  std::array<FormatAttribute<model::Border>, kBorderSideCount> borders{};

  FormatAttribute<int> pattern; // 0 none, 1 solid, 2-18 the patterns
  FormatAttribute<int> colour1; // the pattern (foreground) colour: what a solid fill shows
  FormatAttribute<int> colour2; // the background behind a pattern of 2 or more

  FormatAttribute<bool> locked, formulaHidden;

  bool anyFontChanged() const {
    return face.changed || sizeTwips.changed || fontColour.changed || bold.changed ||
           italic.changed || underline.changed || strikeOut.changed;
  }
  bool anyBorderChanged() const;
  bool anyChanged() const;
};

/// Where a position lies in the selection, for the border rule: bits of
/// kEdgeFirstRow ... kEdgeLastColumn.
enum SelectionEdge : unsigned {
  kEdgeFirstRow = 1u << 0,
  kEdgeLastRow = 1u << 1,
  kEdgeFirstColumn = 1u << 2,
  kEdgeLastColumn = 1u << 3,
};
unsigned selectionEdges(const model::CellRange& selection, int row, int column);

/// The font page's part of the state for one font: every font attribute
/// present, none changed. Other sheets that format a text's font (the
/// drawing objects') run the font page over it.
FormatDialogState fontState(const model::Font& font);
/// The font with the changed font attributes of the state put in.
model::Font changedFont(model::Font font, const FormatDialogState& state);

/// The number page's choice that shows a format index: General for 0, Text
/// for "@", else Custom with the code.
NumberChoice numberChoiceOf(const model::Workbook& book, std::uint16_t formatIndex);

/// The state a selection starts the dialog with: every attribute present
/// exactly when all its positions agree (stored cells, and for positions
/// without a cell their column's default format). Costs the stored cells of
/// the selection plus its columns, never its area.
FormatDialogState gatherFormats(const model::Workbook& book, const model::Sheet& sheet,
                                const model::CellRange& selection);

/// The format a cell of `formatIndex` at (row, column) of `selection` takes:
/// its old format with the changed attributes put in, looked up among the
/// workbook's formats and appended when absent (fonts and number formats
/// likewise). The old index when memory ran out or the table is full.
std::uint16_t applyFormatToCell(model::Workbook& book, std::uint16_t formatIndex,
                                const FormatDialogState& state, int row, int column,
                                const model::CellRange& selection);

/// The OK of the dialog over a selection: the range guard (protection, and
/// for a merge array parts and merged ranges that stick out of the
/// selection), one undo entry "单元格格式" covering the selection and every
/// neighbour whose shared edge changes, the merge, the formats (whole
/// columns through their column records, creating no cells), the shared
/// edges, text-format restatement, row fitting and one pass over the
/// dependents. False when refused or nothing could be recorded.
bool apply_cell_format(model::Workbook& book, int sheetIndex, const model::CellRange& selection,
                       const FormatDialogState& state);

} // namespace edit
