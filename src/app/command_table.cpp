#include "app/command_table.h"

#include "app/cell_entry.h"

#include <array>

namespace app {

const CommandEntry* findCommandEntry(int id) {
  const std::array<std::span<const CommandEntry>, 9> areas = {
      kFrameCommands,     kDialogCommands, kEntryCommands,    kEditCommands,    kStructureCommands,
      kDataCommands,      kDataFormCommands, kDrawingCommands, kChartCommands};
  for (const auto& area : areas)
    for (const CommandEntry& e : area)
      if (id >= e.first && id <= e.last)
        return &e;
  return nullptr;
}

CommandHandler findCommand(int id) {
  const CommandEntry* e = findCommandEntry(id);
  return e ? e->handler : nullptr;
}

bool dispatch_command(App& app, int id, CommandSource source) {
  app.leaveEndMode();
  if (source == CommandSource::Control)
    return false;
  if (app.editMode != EditMode::None) {
    if (id == kCmdUndo) {
      cancel_entry(app);
      return true;
    }
    if (id >= kCmdCut && id <= kCmdPaste) {
      formula_bar_clipboard(app, id);
      return true;
    }
  }
  const CommandEntry* entry = findCommandEntry(id);
  if (!entry)
    return false;
  // A command (new workbook, another sheet, a dialog) must never find the
  // user's typing still open: it would land wherever the command leaves the
  // selection.
  if (entry->entry == EntryRule::Commit && !commit_if_editing(app))
    return false;
  entry->handler(app, id);
  return true;
}

} // namespace app
