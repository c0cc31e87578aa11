#pragma once
// The frame's own messages: closing, help, size changes and the status
// bar's notifications.

#include "app/app.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"

#include <optional>

namespace app {

/// WM_SIZE's wParam while the window is minimised.
inline constexpr WParam kSizeMinimized = 1;

/// Notification codes, numbered as the common controls number them.
enum NotifyCode : int {
  NM_CLICK = -2,
  NM_RCLICK = -5,
  TTN_GETDISPINFO = -530,
  RBN_HEIGHTCHANGE = -831,
};

/// What WM_NOTIFY's lParam points at: the control, the code, the mouse
/// position in window coordinates (clicks) and, for tool-tip requests, the
/// command whose tip is wanted and the text given back.
struct NotifyHeader {
  int idFrom = 0;
  int code = 0;
  platform::Point point;
  int commandId = 0;
  std::u16string_view text;
};

/// The tool bar in order: command identifiers (0 = separator) with their tool tips.
struct ToolButtonEntry {
  int id;
  std::u16string_view tip;
};
// clang-format off
inline constexpr ToolButtonEntry kToolBar[] = {
  {110, u"新建"}, {111, u"打开"}, {113, u"保存"},
  {0, {}},
  {131, u"剪切"}, {132, u"复制"}, {133, u"粘贴"},
  {0, {}},
  {130, u"撤消"},
  {0, {}},
  {185, u"自动求和"}, {167, u"粘贴函数"},
  {0, {}},
};
// clang-format on

/// The tool-tip text of a tool-bar command, or empty.
std::u16string_view tool_tip_text(int commandId);

/// Whether a tool button is enabled now: its command is built and its rule
/// holds (Save while a workbook is open, Undo while there is something to
/// undo, the cell commands on worksheets and macro sheets; Cut, Copy and
/// Paste act on the formula bar while an entry is open). Cheap enough to
/// ask after every message, so the buttons follow the state without the
/// menus being built.
bool tool_button_enabled(App& app, int commandId);

/// After a command that may have changed which workbook or sheet is shown.
/// The formula bar shows the new active cell; an open entry keeps its text.
void refreshAfterSwitch(App& app);

/// Exit: closes the workbooks one by one (each may ask to save); a Cancel
/// stops and the program goes on. When all are closed the quit is posted.
LResult on_close(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_help(App& app, unsigned msg, WParam wParam, LParam lParam);
/// Relayout, except while minimised.
LResult on_size(App& app, unsigned msg, WParam wParam, LParam lParam);
/// Status-bar clicks open the summary menu; a rebar height change lays the
/// window out again; tool tips get their texts. lParam is a NotifyHeader*.
LResult on_notify(App& app, unsigned msg, WParam wParam, LParam lParam);

/// The active chart sheet of `book` as the window shows it, for a .bmp
/// save: a picture of the chart's area. nullopt when the active sheet is no
/// chart sheet, the area is empty or nothing can draw pictures.
std::optional<platform::Bitmap> chart_sheet_picture(App& app, model::Workbook& book);
/// An embedded chart drawn at its size on the sheet (unzoomed), for the
/// clipboard; nullopt when the object is no chart or cannot be drawn.
std::optional<platform::Bitmap> chart_object_picture(const model::Workbook& book, const model::Sheet& sheet, int object);
/// Copy on a chart: the picture on the clipboard as the 64-colour bitmap
/// the chart's .bmp is, with `text` beside it. False when there is none.
bool copy_chart_picture(App& app, const std::optional<platform::Bitmap>& picture, std::u16string_view text);

/// Runs New as the program does when no file opens at start.
void startup_open(App& app, std::u16string_view commandLine);

/// A start of the program handed over to this one while it runs (a file
/// opened from the file manager): opens `path` into the workbook list as Open
/// does, or runs New when it is empty, and shows the result. A file that
/// cannot be opened leaves the open workbooks as they were; its message has
/// been shown. False when nothing opened.
bool open_handed_file(App& app, std::u16string_view path);

} // namespace app
