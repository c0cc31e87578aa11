#pragma once
// Menu, accelerator and tool-bar commands: (identifier range, handler) rows
// searched linearly. Each area of the program keeps its rows beside its
// handlers; the table is their concatenation in a fixed order.

#include "app/app.h"

#include <cstdint>
#include <span>

namespace app {

/// Where a WM_COMMAND came from; only the first three run table commands.
enum class CommandSource { Menu, Accelerator, ToolBar, Control };

using CommandHandler = void (*)(App&, int id);

/// What a command does with an entry that is open in the formula bar.
enum class EntryRule : std::uint8_t {
  Commit, // commit it as Enter would; when the commit is refused the command does not run
  Inside, // the command works on the open entry (AutoSum, Insert function, date and time)
};

/// Identifiers first..last (inclusive) run `handler` with the identifier.
struct CommandEntry {
  int first;
  int last;
  CommandHandler handler;
  EntryRule entry = EntryRule::Commit;
};

/// The rows of each area (defined beside their handlers).
extern const std::span<const CommandEntry> kFrameCommands;  // files, windows, views, sheets
extern const std::span<const CommandEntry> kDialogCommands; // commands that open a dialog
extern const std::span<const CommandEntry> kEntryCommands;  // cell entry and navigation
extern const std::span<const CommandEntry> kEditCommands;   // undo and the clipboard
extern const std::span<const CommandEntry> kStructureCommands; // fill, clear, insert and delete
extern const std::span<const CommandEntry> kDataCommands;      // sort, find, go to, goal seek, rules
extern const std::span<const CommandEntry> kDataFormCommands;  // the data form
/// The data form over the active sheet's list, as command 223 shows it;
/// false when there is no list to show it for.
bool show_data_form(App& app);
extern const std::span<const CommandEntry> kDrawingCommands;   // drawing objects and comments
extern const std::span<const CommandEntry> kChartCommands;     // new charts

/// Plugs the data tools into the window: the check of typed entries against
/// validation rules, and conditional formats for the painter.
void install_data_tools(App& app);

/// The in-cell list of the active cell's list rule (unless the rule hides
/// its arrow): the chosen text is entered as if typed. False when the cell
/// has no such list.
bool open_list_drop_down(App& app);

/// A press on an AutoFilter arrow: opens its list and applies the entry
/// chosen. False when the object is not an arrow (App installs it as the
/// pressObject hook).
bool pressFilterArrow(App& app, int object, platform::Point p);

/// Prints the active sheet on the printer the print dialog gives (117).
void printCommand(App& app, int id);

/// The handler of a command, or null when that command is not built.
CommandHandler findCommand(int id);
/// The table row of a command, or null.
const CommandEntry* findCommandEntry(int id);

/// Undo, and the formula bar's own Cut, Copy and Paste.
inline constexpr int kCmdUndo = 130;
inline constexpr int kCmdCut = 131;
inline constexpr int kCmdCopy = 132;
inline constexpr int kCmdPaste = 133;

/// Leaves End mode, then runs the command when its source may run table
/// commands and the table has it. An open entry is closed first: Undo
/// cancels it and does nothing else; Cut, Copy and Paste act inside the
/// formula bar; the commands that work on the entry keep it; every other
/// command commits it as Enter would and does not run when the commit is
/// refused. False when nothing ran.
bool dispatch_command(App& app, int id, CommandSource source);

} // namespace app
