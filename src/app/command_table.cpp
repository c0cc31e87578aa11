#include "app/command_table.h"

#include <array>

namespace app {

CommandHandler findCommand(int id) {
  const std::array<std::span<const CommandEntry>, 3> areas = {kFrameCommands, kDialogCommands,
                                                              kEntryCommands};
  for (const auto& area : areas)
    for (const CommandEntry& e : area)
      if (id >= e.first && id <= e.last)
        return e.handler;
  return nullptr;
}

bool dispatch_command(App& app, int id, CommandSource source) {
  app.leaveEndMode();
  if (source == CommandSource::Control)
    return false;
  const CommandHandler handler = findCommand(id);
  if (!handler)
    return false;
  handler(app, id);
  return true;
}

} // namespace app
