#pragma once
// The state of the desktop program that is not in the workbooks: the input
// mode shared by navigation and cell entry, the formula bar's text, the bar
// settings, the status-bar texts and the grid's layout. One App exists per
// main window; the window system reaches it only through main_window_proc.

#include "app/messages.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/window_services.h"
#include "view/grid_layout.h"
#include "view/paint_services.h"

#include <array>
#include <functional>
#include <optional>
#include <vector>
#include <string>

namespace app {

/// 0 = not editing; 1 = entry (started by typing: arrows end it); 2 = edit
/// (started from the formula bar or by command: arrows move the caret).
enum class EditMode : int { None = 0, Entry = 1, Edit = 2 };

/// What a held mouse button is doing.
enum class CaptureMode { None, SelectCells, ResizeColumn, ResizeRow, PointRange, MoveObject, SizeObject, NewObject };

/// The formula bar's text with its selection; the caret is at `caret`, the
/// selection runs between `anchor` and `caret`. Positions are UTF-16 indexes.
struct FormulaBarState {
  std::u16string text;
  int anchor = 0;
  int caret = 0;
  int selectionStart() const { return anchor < caret ? anchor : caret; }
  int selectionEnd() const { return anchor < caret ? caret : anchor; }
};

/// The three bars' visibility and the status bar's summary function
/// (0 none, 1 average, 2 count, 3 count numbers, 4 max, 5 min, 6 sum).
struct BarState {
  bool toolBar = true;
  bool formulaBar = true;
  bool statusBar = true;
  int summaryFunction = 0;
};

/// The range a point-mode click inserts into a formula, and where its text sits.
struct PointState {
  bool active = false;
  int textStart = 0;  // of the inserted reference in the formula bar
  int textLength = 0;
  std::uint16_t anchorRow = 0, row = 0;
  std::uint8_t anchorColumn = 0, column = 0;
};

struct CellPos {
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  friend bool operator==(const CellPos&, const CellPos&) = default;
};

class App;

/// Where later parts of the program plug in; an empty hook is simply not done.
/// (Undo has no hook: every command records through model/undo.h. Comments
/// are objects of the sheet's object list: model::commentAt finds them.)
struct AppHooks {
  /// The comment pop-up after the mouse rests on a cell with a comment.
  std::function<void(App&, CellPos)> showComment;
  /// A press on a drawing object that acts instead of selecting it (a form
  /// control, an AutoFilter arrow); true when the hook took the press.
  std::function<bool(App&, int object, platform::Point p)> pressObject;
  /// Data validation after a commit: false rejects the entry (the hook has
  /// told the user and undone or reopened it as the rule's style says).
  std::function<bool(App&, const model::CellRange&)> validateEntry;
  /// A new object dragged out with the mouse, before it joins the sheet:
  /// fills what its kind adds (a control's state, a caption).
  std::function<void(App&, model::DrawingObject&)> prepareNewObject;
};

/// A drawing object being moved (handle 0) or sized by one of its handles
/// (1-8, clockwise from the top left) with the mouse: where the press was
/// and where the mouse is now (window pixels).
struct ObjectDrag {
  int object = -1;
  int handle = 0;
  platform::Point start;
  platform::Point now;
};

/// A rectangle as a drag takes it: moved whole, or with the edges of the
/// handle moved; corners that cross stay ordered.
platform::Rect dragged_rect(const platform::Rect& r, const ObjectDrag& drag);

/// A column or row border being dragged: the line, where it starts on
/// screen and where the mouse is (window pixels along the axis).
struct SizingDrag {
  int line = -1;
  int start = 0;
  int pressed = 0; // where the button went down
  int at = 0;
};

/// Status-bar parts: 0 general, 1 the selection's summary, 2 "END".
inline constexpr int kStatusSummaryPart = 1;
inline constexpr int kStatusEndPart = 2;

class App {
public:
  App(model::WorkbookList& books, platform::WindowServices& window);

  model::WorkbookList& books;
  platform::WindowServices& window;

  /// The active workbook, or null.
  model::Workbook* book() { return books.active(); }
  /// The active sheet of the active workbook when it has a grid, else null.
  model::Sheet* gridSheet();

  EditMode editMode = EditMode::None;
  bool endMode = false;
  CaptureMode capture = CaptureMode::None;
  FormulaBarState formulaBar;
  /// Characters the formula bar already acted on at their key-down (Enter,
  /// Tab, Escape, the keypad's decimal key): the next WM_CHAR among them is
  /// not typed again, wherever the focus is.
  std::u16string_view swallowCharacters;
  PointState point;
  ObjectDrag objectDrag;
  /// The kind of object the next drag on the cells makes (0: none armed).
  int insertKind = 0;
  /// The text box whose typing the newest undo entry already covers (-1: none).
  int typingObject = -1;
  /// The cell whose comment shows as a pop-up, and the cell the mouse
  /// rests on waiting for it.
  std::optional<CellPos> commentPopup;
  std::optional<CellPos> hoverCell;
  /// Set by record_line_sizes when objects that keep their pixels lie on
  /// the sheet: their rectangles before the size change, which the repaint
  /// after the change uses to put them back.
  std::optional<std::vector<platform::Rect>> placementBefore;
  SizingDrag sizing;
  /// How far the dashes round the copied range have moved (0-7).
  int copyPhase = 0;
  /// Wheel turns of less than a notch not yet scrolled (signed, 120 a notch).
  int wheelRemainder = 0;
  BarState bars;
  AppHooks hooks;
  std::array<std::u16string, 3> statusText;
  /// The program's folder (for the New template).
  std::u16string programDirectory;

  /// Layout of the grid; refreshed by relayout() from layoutInput, which
  /// also keeps the scroll position the layout settled on in the sheet.
  view::LayoutInput layoutInput;
  view::GridLayout layout;
  void relayout();
  /// What the grid draws over the sheet now: the selection, the range a
  /// formula points at, a sizing line, a moved object's outline.
  view::PaintOverlays overlays() const;

  /// Set by the quit message: the message loop ends with this code.
  bool quitPosted = false;
  int exitCode = 0;

  /// Stores a status-bar part's text and asks for the bar to be repainted.
  void set_status_text(int part, std::u16string_view text);
  /// Leaves End mode and clears its indicator.
  void leaveEndMode();
  void setEndMode(bool on);
  /// Repaints everything the active sheet shows (after a sheet switch, a
  /// recalculation or a command that changed many cells).
  void redrawAll();
};

/// Records the undo entry of a command on the active sheet of the active
/// workbook (model/undo.h). False when it could not be recorded: the command
/// must not run then.
bool record_undo(App& app, model::UndoAction action);
/// The same for a size change of rows (actions 17-19) or of columns (20-23),
/// keeping the records of the lines the range covers.
bool record_line_sizes(App& app, model::UndoAction action, const model::CellRange& range);
/// Before rows or columns of the active sheet change size: when objects
/// there keep their pixels (move only, fixed), keeps the object list in the
/// newest undo entry and their rectangles for the repaint after the change.
/// False when memory ran out (the entry is dropped; the command must not run).
bool record_object_placement(App& app);

} // namespace app
