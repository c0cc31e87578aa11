#include "app/message_map.h"

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/frame.h"
#include "app/navigation.h"

namespace app {
namespace {

LResult on_command(App& app, unsigned, WParam wParam, LParam lParam) {
  const int id = static_cast<int>(loWord(wParam));
  CommandSource source = hiWord(wParam) == 1 ? CommandSource::Accelerator : CommandSource::Menu;
  if (lParam == kIdToolBarBand)
    source = CommandSource::ToolBar;
  else if (lParam != 0)
    source = CommandSource::Control;
  dispatch_command(app, id, source);
  return 0;
}

LResult on_setfocus(App& app, unsigned, WParam, LParam) {
  if (app.editMode != EditMode::None)
    app.window.setFocus(platform::FocusTarget::FormulaBar);
  return 0;
}

// clang-format off
const MessageMapEntry kMessageMap[] = {
  {WM_CHAR,          on_char},
  {WM_CLOSE,         on_close},
  {WM_COMMAND,       on_command},
  {WM_HELP,          on_help},
  {WM_HSCROLL,       on_scroll},
  {WM_KEYDOWN,       on_keydown},
  {WM_LBUTTONDBLCLK, on_lbuttondblclk},
  {WM_LBUTTONDOWN,   on_lbuttondown},
  {WM_LBUTTONUP,     on_lbuttonup},
  {WM_MOUSEMOVE,     on_mousemove},
  {WM_MOUSEWHEEL,    on_mousewheel},
  {WM_NOTIFY,        on_notify},
  {WM_RBUTTONDOWN,   on_rbuttondown},
  {WM_SETFOCUS,      on_setfocus},
  {WM_SIZE,          on_size},
  {WM_TIMER,         on_timer},
  {WM_VSCROLL,       on_scroll},
};
// clang-format on

} // namespace

LResult main_window_proc(App& app, unsigned msg, WParam wParam, LParam lParam) {
  for (const MessageMapEntry& e : kMessageMap)
    if (e.message == msg)
      return e.handler(app, msg, wParam, lParam);
  return 0;
}

} // namespace app
