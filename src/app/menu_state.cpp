#include "app/menu_state.h"

#include "app/command_table.h"
#include "app/menu_table.h"

namespace app {

MenuState update_menu(App&) {
  MenuState state;
  for (const MenuEntry& e : kMainMenu)
    if (e.kind == MenuEntry::Item)
      state.items[e.id].enabled = findCommand(e.id) != nullptr;
  return state;
}

} // namespace app
