#include "app/frame.h"

namespace app {

LResult on_close(App& app, unsigned, WParam, LParam) {
  while (app.books.count() > 0)
    if (app.books.close_workbook())
      return 0; // cancelled
  app.quitPosted = true;
  app.exitCode = 0;
  return 0;
}

LResult on_help(App& app, unsigned, WParam, LParam) {
  app.window.openWithDesktop(app.programDirectory + u"/CwkHelp.htm");
  return 0;
}

LResult on_size(App& app, unsigned, WParam, LParam) {
  app.relayout();
  return 0;
}

LResult on_notify(App&, unsigned, WParam, LParam) { return 0; }

void startup_open(App& app, std::u16string_view commandLine) {
  if (commandLine.size() >= 2 && commandLine.front() == u'"' && commandLine.back() == u'"')
    commandLine = commandLine.substr(1, commandLine.size() - 2);
  if (!commandLine.empty() && app.books.open_workbook(commandLine, true))
    return;
  (void)app.books.new_from_template(app.programDirectory);
}

} // namespace app
