#include "session.h"

#include "datatools/conditional_format.h"
#include "fileformats/open_save.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "platform/unicode.h"
#include "view/chart_painting.h"
#include "view/control_painting.h"
#include "view/object_painting.h"
#include "view/paint_services.h"

#include <cstdio>
#include <string>

namespace cli {

Session::Session() {
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  fileformats::installFileServices(books, nullptr);
  // Rendered sheets show their conditional formats as the window does.
  view::paintServices().activeCondition = [](model::Workbook& book, int sheet, int row, int column) {
    return datatools::activeCondition(book, sheet, row, column);
  };
  // Objects, charts and form controls, as the window draws them.
  view::installObjectPainting();
  view::installChartPainting();
  view::installControlPainting();
}

model::Workbook* Session::open(std::string_view command, std::string_view path) {
  if (!fileformats::openWorkbookFile(books, platform::fromUtf8(path), false)) {
    std::fprintf(stderr, "cellwick-cli %s: cannot read %s\n", std::string(command).c_str(),
                 std::string(path).c_str());
    return nullptr;
  }
  return books.active();
}

} // namespace cli
