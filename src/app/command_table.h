#pragma once
// Menu, accelerator and tool-bar commands: (identifier range, handler) rows
// searched linearly. Each area of the program keeps its rows beside its
// handlers; the table is their concatenation in a fixed order.

#include "app/app.h"

#include <span>

namespace app {

/// Where a WM_COMMAND came from; only the first three run table commands.
enum class CommandSource { Menu, Accelerator, ToolBar, Control };

using CommandHandler = void (*)(App&, int id);

/// Identifiers first..last (inclusive) run `handler` with the identifier.
struct CommandEntry {
  int first;
  int last;
  CommandHandler handler;
};

/// The rows of each area (defined beside their handlers).
extern const std::span<const CommandEntry> kFrameCommands;  // files, windows, views, sheets
extern const std::span<const CommandEntry> kDialogCommands; // commands that open a dialog
extern const std::span<const CommandEntry> kEntryCommands;  // cell entry and navigation

/// The handler of a command, or null when that command is not built.
CommandHandler findCommand(int id);

/// Leaves End mode, then runs the command when its source may run table
/// commands and the table has it. False when nothing ran.
bool dispatch_command(App& app, int id, CommandSource source);

} // namespace app
