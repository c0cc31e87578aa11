#pragma once
// The state of the desktop program that is not in the workbooks: the input
// mode shared by navigation and cell entry, the formula bar's text, the bar
// settings, the status-bar texts and the grid's layout. One App exists per
// main window; the window system reaches it only through main_window_proc.

#include "app/messages.h"
#include "model/workbook_list.h"
#include "platform/window_services.h"
#include "view/grid_layout.h"

#include <array>
#include <functional>
#include <string>

namespace app {

/// 0 = not editing; 1 = entry (started by typing: arrows end it); 2 = edit
/// (started from the formula bar or by command: arrows move the caret).
enum class EditMode : int { None = 0, Entry = 1, Edit = 2 };

/// What a held mouse button is doing.
enum class CaptureMode { None, SelectCells, ResizeColumn, ResizeRow, PointRange, MoveObject };

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
struct AppHooks {
  /// Comments: whether a cell has one, and the pop-up after the mouse rests on it.
  std::function<bool(const model::Sheet&, CellPos)> hasComment;
  std::function<void(App&, CellPos)> showComment;
  /// Undo: one entry of the input kind covering the range, before it changes.
  std::function<void(App&, const model::CellRange&)> recordInputUndo;
  /// Data validation after a commit: false rejects the entry (the hook has
  /// told the user and undone or reopened it as the rule's style says).
  std::function<bool(App&, const model::CellRange&)> validateEntry;
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
  PointState point;
  BarState bars;
  AppHooks hooks;
  std::array<std::u16string, 3> statusText;
  /// The program's folder (for the New template).
  std::u16string programDirectory;

  /// Layout of the grid; refreshed by relayout() from layoutInput.
  view::LayoutInput layoutInput;
  view::GridLayout layout;
  void relayout();

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

} // namespace app
