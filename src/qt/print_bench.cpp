// Printing 100 pages of formatted cells (numbers and texts, fills, borders,
// a conditional format) into a PDF file through the Qt printer device.

#include "datatools/conditional_format.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"
#include "printing/print_job.h"
#include "qt/qt_canvas.h"
#include "qt/qt_print_device.h"
#include "view/paint_services.h"

#include <QDir>
#include <QFile>
#include <QPdfWriter>

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_PrintHundredPagesToPdf(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  qtui::QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();
  model::CellFormat boxed = book.cellFormats[15];
  boxed.fillPattern = 1;
  boxed.patternColour = 13;
  for (model::Border& b : boxed.borders)
    b.style = 1;
  const auto boxedIndex = static_cast<std::uint16_t>(model::findOrAddCellFormat(book, boxed));
  // A4 at 600 dpi less 10 mm margins holds 61 rows by 12 columns a page:
  // 1,200 rows by 50 columns make 20 x 5 = 100 pages.
  const int rows = 1200, columns = 50;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const std::u16string text = c % 3 == 0 ? u"Item " + std::u16string(1, static_cast<char16_t>(u'A' + r % 26))
                                             : platform::fromUtf8(std::to_string(r * 7 + c));
      (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), text,
                            (r + c) % 5 == 0 ? boxedIndex : 15, false, false);
    }
  view::paintServices().activeCondition = [](model::Workbook& b, int sheet, int row, int column) {
    return datatools::activeCondition(b, sheet, row, column);
  };
  const QString path = QDir::temp().filePath(QStringLiteral("cellwick_print_bench.pdf"));
  int pages = 0;
  for (auto _ : state) {
    QPdfWriter writer(path);
    qtui::setUpPdfWriter(writer);
    qtui::QtPrintDevice device(writer);
    pages = printing::printSheet(device, book, 0, printing::PrintRange::All, 96, 96).pages;
  }
  state.counters["pages"] = pages;
  state.counters["bytes"] = static_cast<double>(QFile(path).size());
  QFile::remove(path);
  view::paintServices() = {};
  platform::setTextMetrics(nullptr);
}
BENCHMARK(BM_PrintHundredPagesToPdf)->Unit(benchmark::kMillisecond);

} // namespace
