#pragma once
// The picker buttons of the formatting dialogs (colour, pattern, line,
// border, arrow head, marker) and their drop-down lists: the value and
// option words, the combo-box messages that read and write them, the grid
// of each list with the value of every cell, where a list opens, what a
// click in it does, and the painting of both.
//
// Like the scroll control they know no window: a button reports through
// PickerHost, and a list is a plain object the host creates when the button
// is clicked and destroys after the next left click.

#include "app/messages.h"
#include "platform/canvas.h"

#include <optional>
#include <string_view>
#include <vector>

namespace model {
struct Workbook;
}

namespace view {

enum class PickerKind { Colour, Pattern, Line, Border, Arrow, Marker };

/// Colour values besides the palette indexes 8-63.
inline constexpr int kColourAutomatic = -1; // shown as "自动"
inline constexpr int kColourNoChoice = -2;  // a blank button
inline constexpr int kColourNone = -3;      // shown as "无"

/// The notification code of WM_COMMAND when a value was chosen in the list.
inline constexpr unsigned kPickerSelectionChange = 1;

/// The border line style of each cell of the border list, in cell order
/// (row x 2 + column).
inline constexpr int kBorderStyleOfCell[14] = {0, 12, 7, 13, 4, 10, 11, 8, 9, 2, 3, 5, 1, 6};

struct PickerGrid {
  int columns = 0;
  int rows = 0;
};
PickerGrid pickerGrid(PickerKind kind);

/// One choice of a list: a run of `span` grid cells from (column, row).
struct PickerCell {
  int column = 0;
  int row = 0;
  int span = 1;
  int value = 0;
};

/// Every choice of a list, in grid order. `option` is the button's option
/// word; only the colour list looks at it.
std::vector<PickerCell> pickerCells(PickerKind kind, int option);

/// The value of the choice covering a grid cell; nothing off the grid.
std::optional<int> pickerValueAt(PickerKind kind, int option, int column, int row);

/// The size of a list in dialog units, and in pixels for a dialog font with
/// these base units (average character width and height).
platform::Point pickerListDialogUnits(PickerKind kind);
platform::Point pickerListSize(PickerKind kind, int baseUnitX, int baseUnitY);

/// Where a list of `size` opens for a button (both in screen coordinates):
/// below the button, or above it when below would leave the work area.
/// When it fits on neither side it takes the side with more room. It is
/// moved left as far as needed to stay inside the work area.
platform::Rect placePickerList(const platform::Rect& button, platform::Point size,
                               const platform::Rect& workArea);

/// What painting needs from the dialog: its font, and the workbook whose
/// palette the colours come from (the default palette without one).
struct PickerLook {
  platform::FontSpec font;
  const model::Workbook* book = nullptr;
};

/// Draws one value of a kind inside `r`: a colour or pattern swatch, a line,
/// border, marker or arrow-head sample, or the text of "无", "自动" and
/// "Auto" choices. Nothing for values the kind does not have.
void paintPickerSample(platform::Canvas& canvas, PickerKind kind, int value,
                       const platform::Rect& r, const PickerLook& look);

class PickerHost {
public:
  virtual ~PickerHost() = default;
  virtual void invalidate() = 0;
  /// WM_COMMAND to the dialog with this wParam and the button's window as lParam.
  virtual void notifyParent(app::WParam wParam) = 0;
};

class PickerButton {
public:
  PickerButton(PickerHost& host, PickerKind kind, int controlId);

  PickerKind kind() const { return m_kind; }
  int controlId() const { return m_controlId; }

  int value() const { return m_value; }
  /// Stores the value and repaints.
  void setValue(int value);
  int option() const { return m_option; }
  void setOption(int option) { m_option = option; }

  /// A choice made in the list: stores the value and tells the dialog.
  void choose(int value);

  /// CB_GETCURSEL and CB_SETCURSEL read and write the value (wParam, signed),
  /// CB_GETTOPINDEX and CB_SETTOPINDEX the option word. CB_SETCURSEL returns
  /// the new value, CB_SETTOPINDEX 0, other messages 0.
  app::LResult handleMessage(unsigned msg, app::WParam wParam, app::LParam lParam);

  /// The button in `r`: a sunken box with the value inside and the
  /// drop-down arrow button at the right.
  void paint(platform::Canvas& canvas, const platform::Rect& r, const PickerLook& look) const;
  /// The part of the button that shows the value (inside the frame, left of the arrow).
  static platform::Rect valueRect(const platform::Rect& r);
  static platform::Rect arrowRect(const platform::Rect& r);

private:
  PickerHost& m_host;
  PickerKind m_kind;
  int m_controlId;
  int m_value = 0;
  int m_option = 0;
};

/// An open drop-down list. Its coordinates are its own: (0, 0) is its top
/// left corner.
class PickerList {
public:
  PickerList(PickerButton& owner, platform::Point size);

  PickerButton& owner() const { return m_owner; }
  platform::Rect bounds() const { return {0, 0, m_size.x, m_size.y}; }

  /// The rectangle of a choice inside the list's one-pixel border.
  platform::Rect cellRect(const PickerCell& cell) const;
  /// The value of the choice under a point; nothing on the border or outside.
  std::optional<int> hitTest(platform::Point p) const;

  /// A left press anywhere, inside the list or not. On a choice it sets the
  /// owner's value and notifies the dialog, and returns true; elsewhere it
  /// changes nothing. Either way the host closes the list afterwards.
  bool leftPress(platform::Point p);

  void paint(platform::Canvas& canvas, const PickerLook& look) const;

private:
  PickerButton& m_owner;
  platform::Point m_size;
};

} // namespace view
