#include "app/frame.h"

#include "app/command_table.h"
#include "app/menu_state.h"
#include "app/status_bar.h"
#include "edit/clipboard.h"
#include "model/undo.h"
#include "platform/ui_services.h"

namespace app {

std::u16string_view tool_tip_text(int commandId) {
  for (const ToolButtonEntry& b : kToolBar)
    if (b.id == commandId && commandId != 0)
      return b.tip;
  return {};
}

bool tool_button_enabled(App& app, int id) {
  const bool editing = app.editMode != EditMode::None;
  if (editing && (id == kCmdCut || id == kCmdCopy))
    return true;
  if (editing && id == kCmdPaste)
    return !app.window.clipboardText().empty();
  if (!findCommand(id))
    return false;
  switch (id) {
  case 113:
    return app.book() != nullptr;
  case kCmdUndo:
    return app.book() != nullptr && !model::undoList().empty();
  case kCmdCut:
  case kCmdCopy:
  case 185:
  case 167:
    return app.gridSheet() != nullptr;
  case kCmdPaste:
    return app.book() && edit::clipboard_can_paste(app.books, app.gridSheet(), app.window);
  default:
    return true;
  }
}

LResult on_close(App& app, unsigned, WParam, LParam) {
  while (app.books.count() > 0) {
    if (app.books.close_workbook()) {
      // Cancelled: what was closed before stays closed, and the rest shows.
      app.redrawAll();
      platform::ui().requestRepaint(platform::kRepaintTitle | platform::kRepaintMenus);
      return 0;
    }
  }
  app.quitPosted = true;
  app.exitCode = 0;
  return 0;
}

LResult on_help(App& app, unsigned, WParam, LParam) {
  app.window.openWithDesktop(app.programDirectory + u"/CwkHelp.htm");
  return 0;
}

LResult on_size(App& app, unsigned, WParam wParam, LParam) {
  if (wParam == kSizeMinimized)
    return 0;
  app.relayout();
  return 0;
}

LResult on_notify(App& app, unsigned, WParam, LParam lParam) {
  auto* header = reinterpret_cast<NotifyHeader*>(lParam);
  if (!header)
    return 0;
  if (header->idFrom == kIdStatusBar && (header->code == NM_CLICK || header->code == NM_RCLICK)) {
    status_bar_menu(app, header->point);
    return 1;
  }
  if (header->idFrom == kIdRebar && header->code == RBN_HEIGHTCHANGE) {
    app.relayout();
    return 0;
  }
  if (header->code == TTN_GETDISPINFO) {
    header->text = tool_tip_text(header->commandId);
    return 0;
  }
  return 0;
}

void startup_open(App& app, std::u16string_view commandLine) {
  if (commandLine.size() >= 2 && commandLine.front() == u'"' && commandLine.back() == u'"')
    commandLine = commandLine.substr(1, commandLine.size() - 2);
  if (!commandLine.empty() && app.books.open_workbook(commandLine, true))
    return;
  (void)app.books.new_from_template(app.programDirectory);
}

} // namespace app
