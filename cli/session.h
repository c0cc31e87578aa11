#pragma once
// What every command that opens workbooks sets up: message boxes answered
// headlessly and echoed to stderr, the formula engine with every function,
// and a workbook list with the file services.

#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <string_view>

namespace cli {

class Session {
public:
  Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Opens `path` as the desktop program does and returns the workbook, now
  /// the active one; on failure says "cellwick-cli COMMAND: cannot read
  /// PATH" on stderr and returns null.
  model::Workbook* open(std::string_view command, std::string_view path);

  model::WorkbookList books;

private:
  platform::HeadlessUiServices m_ui{/*echoToStderr=*/true};
  platform::ScopedUiServices m_scoped{m_ui};
};

} // namespace cli
