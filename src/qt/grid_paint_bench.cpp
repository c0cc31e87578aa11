// Painting a full-screen grid (1920 x 1080) of formatted numbers and texts
// with borders and fills into an image through QPainter, as a repaint of
// the whole window does.

#include "formula/recalc.h"
#include "functions/families.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"
#include "qt/qt_canvas.h"
#include "view/grid_painter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

void BM_PaintFullHdGrid(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  qtui::QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();

  // Four formats: money with a thousands separator, percent, a bordered
  // fill, and wrapped bold text.
  model::CellFormat money = book.cellFormats[15];
  money.numberFormatIndex = 4; // #,##0.00
  model::CellFormat percent = book.cellFormats[15];
  percent.numberFormatIndex = 10;
  model::CellFormat boxed = book.cellFormats[15];
  boxed.fillPattern = 1;
  boxed.patternColour = 13;
  for (model::Border& b : boxed.borders)
    b.style = 1;
  model::CellFormat wrapped = book.cellFormats[15];
  wrapped.flags |= model::kFormatWrapText;
  const std::uint16_t formats[4] = {
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, money)),
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, percent)),
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, boxed)),
      static_cast<std::uint16_t>(model::findOrAddCellFormat(book, wrapped))};
  for (int r = 0; r < 70; ++r)
    for (int c = 0; c < 40; ++c) {
      const int kind = (r + c) % 4;
      const std::string text = kind == 3 ? "Item " + std::to_string(r * 40 + c) : std::to_string((r + 1) * 1234.5 / (c + 1));
      (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                            platform::fromUtf8(text), formats[kind], false, false);
    }
  QImage image(1920, 1080, QImage::Format_RGB32);
  const view::GridLayout layout = view::relayout(book, view::LayoutInput{{0, 0, 1920, 1080}, 0, 0, 17, 17});
  const platform::Rect all{0, 0, 1920, 1080};
  for (auto _ : state) {
    QPainter painter(&image);
    qtui::QtCanvas canvas(painter);
    view::paint(canvas, book, layout, all);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["cells"] = static_cast<double>((layout.bottomRow + 1) * (layout.rightColumn + 1));
  platform::setTextMetrics(nullptr);
}
BENCHMARK(BM_PaintFullHdGrid)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
