#pragma once
// Form controls on a sheet: labels, group boxes, buttons, check boxes,
// option buttons, list boxes, combo boxes, scroll bars and spinners. A
// control is a drawing object whose payload holds its state; it may be
// linked to a cell, which it writes when the user operates it and follows
// when the cell changes. Every number a control holds is kept inside the
// range the control page allows, whatever a file or a cell hands it.

#include "model/cell_range.h"
#include "model/cell_value.h"
#include "model/drawing_objects.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace model {
struct Workbook;
struct Sheet;
} // namespace model

namespace drawing {

/// The largest number a control's value, limits and steps may take.
inline constexpr int kControlNumberLimit = 30000;

/// Check box states.
inline constexpr std::uint16_t kUnchecked = 0;
inline constexpr std::uint16_t kChecked = 1;
inline constexpr std::uint16_t kMixed = 2;

/// How a list box lets the user choose.
enum class ListSelection : std::uint8_t { Single = 0, Multi = 1, Extend = 2 };

class ControlPayload final : public model::ObjectPayload {
public:
  /// Check box: kUnchecked, kChecked or kMixed; option button: 0 or 1;
  /// scroll bar and spinner: the current value.
  std::uint16_t value = 0;
  std::uint16_t minimum = 0;
  std::uint16_t maximum = 100;
  std::uint16_t increment = 1;
  std::uint16_t pageChange = 10;
  /// Scroll bars drawn across rather than up and down.
  bool horizontal = false;
  /// A reference ("$A$1", "Sheet2!$B$3"); empty for none.
  std::u16string linkedCell;
  std::u16string inputRange;
  ListSelection selectionType = ListSelection::Single;
  /// List and combo boxes: the 1-based entry chosen, 0 for none.
  std::uint16_t selection = 0;
  /// Multi-select list boxes: one flag per entry.
  std::vector<std::uint8_t> selectedItems;
  std::uint16_t dropDownLines = 8;
  /// Entries the list held when last built (kept for files).
  std::uint16_t itemCount = 0;
  /// Flat look instead of the 3-D shading.
  bool flat = false;
  /// Option buttons: the file's group chain, kept to be written back; groups
  /// themselves come from the group boxes (optionGroup).
  bool firstInGroup = false;
  std::uint16_t nextInGroup = 0;

  std::unique_ptr<model::ObjectPayload> clone() const override {
    return std::make_unique<ControlPayload>(*this);
  }
  void forEachReference(const std::function<void(std::u16string&)>& fn) override {
    if (!linkedCell.empty())
      fn(linkedCell);
    if (!inputRange.empty())
      fn(inputRange);
  }
};

/// True for the kinds this module draws and operates (AutoFilter arrows,
/// though combo boxes, are the filter's own).
bool isControl(const model::DrawingObject& object);
bool isControlKind(std::uint16_t kind);

/// The control's payload, or null when the object is no control or has none.
ControlPayload* controlOf(model::DrawingObject& object);
const ControlPayload* controlOf(const model::DrawingObject& object);

/// A new control of the kind with its usual starting state and caption
/// ("复选框 3" for the third check box of the sheet), anchored at `anchor`.
model::DrawingObject makeControl(const model::Sheet& sheet, std::uint16_t kind, const model::ObjectAnchor& anchor);

/// Brings every number into the range the kind allows: limits and steps
/// into 0-30000 (steps at least 1), a maximum below the minimum up to it,
/// the value into [minimum, maximum] or the kind's states (a check box's
/// unknown state is checked), the selection
/// into the entries. Files and cells hand over anything; this is the gate.
void clampControl(ControlPayload& control, std::uint16_t kind);

/// A number from outside (a cell, a file, the page) as a control number:
/// truncated and kept within 0-30000; NaN gives 0.
std::uint16_t clampNumber(double n);

/// A cell or range a control names, resolved against the workbook.
struct ControlReference {
  int sheet = -1;
  model::CellRange range;
};
/// Reads a reference typed on the control page or kept in a control: an
/// A1 cell or area, optionally sheet-qualified, with or without a leading
/// "=". Nothing when the text is not a whole reference.
std::optional<ControlReference> resolveReference(const model::Workbook& book, int ownSheet,
                                                 std::u16string_view text);

/// The value of the linked cell as the control sees it (computed when stale);
/// nothing for no link or a reference that no longer resolves.
std::optional<model::CellValue> linkedValue(model::Workbook& book, int sheet, std::u16string_view reference);

/// The cell-to-control rule for one control that is not an option button:
/// what its value (or selection) becomes for the cell value. True when it
/// changed.
bool applyCellValue(ControlPayload& control, std::uint16_t kind, const model::CellValue& v);

/// The option buttons that form one group with `object`, in object-list
/// order: those lying in the same group box (the topmost one holding the
/// button's top-left corner), or those in no group box at all.
std::vector<int> optionGroup(const model::Sheet& sheet, int object);
/// The linked cell of an option group: the first member's that has one.
std::u16string groupLinkedCell(const model::Sheet& sheet, const std::vector<int>& group);
/// Selects the n-th option (1-based) of the group and clears the others;
/// n out of range clears them all. True when any changed.
bool selectOption(model::Sheet& sheet, const std::vector<int>& group, int n);

/// Brings one control (an option button: its group) in line with its linked
/// cell; the indexes of the controls that changed.
std::vector<int> refreshControl(model::Workbook& book, int sheet, int object);
/// Brings the controls of a sheet in line with their linked cells (the
/// cell-to-control rules); the indexes of those that changed.
std::vector<int> refreshLinkedControls(model::Workbook& book, int sheet);

/// What the linked cell receives when the user operates the control:
/// "TRUE", "FALSE" or "#N/A" for a check box, the number otherwise. For
/// option buttons pass the 1-based option number as the value.
std::u16string linkedCellText(std::uint16_t kind, const ControlPayload& control);

/// The entries of a list or combo box: the display texts of the input
/// range's cells, row by row (at most 30000).
std::vector<std::u16string> listEntries(model::Workbook& book, int sheet, const ControlPayload& control);

} // namespace drawing
