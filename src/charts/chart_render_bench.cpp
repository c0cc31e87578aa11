// Drawing charts through a canvas that only counts its calls, so the figures
// are the chart code's own (evaluation, scaling, layout, geometry).
#include "charts/chart_render.h"

#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/sheet.h"
#include "model/workbook.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

class CountingCanvas final : public platform::Canvas {
public:
  void setClip(const platform::Rect&) override {}
  void setPen(const platform::Pen&) override {}
  void setBrush(const platform::Brush&) override {}
  void drawLine(platform::Point, platform::Point) override { ++calls; }
  void drawPolyline(std::span<const platform::Point> p) override { calls += p.size(); }
  void drawPolygon(std::span<const platform::Point> p) override { calls += p.size(); }
  void drawRectangle(const platform::Rect&) override { ++calls; }
  void drawEllipse(const platform::Rect&) override { ++calls; }
  void fillRect(const platform::Rect&, const platform::Brush&) override { ++calls; }
  void invertRect(const platform::Rect&) override { ++calls; }
  void drawText(std::u16string_view, const platform::FontSpec&, platform::Colour, const platform::Rect&, unsigned,
                const platform::Rect&) override {
    ++calls;
  }
  void drawBitmap(const platform::Rect&, const platform::Bitmap&) override { ++calls; }
  size_t calls = 0;
};

std::unique_ptr<model::Workbook> bookWith(int rows, int columns) {
  formula::installFormulaEngine();
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  auto s = std::make_unique<model::Sheet>();
  model::sheet_init(*s, model::SheetKind::Worksheet);
  s->name = u"Data";
  book->sheets.push_back(std::move(s));
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const std::string v = std::to_string((r * 37 + c * 101) % 1000);
      (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                            std::u16string(v.begin(), v.end()), 15, false, true);
    }
  return book;
}

std::u16string columnRef(int c, int rows) {
  const char16_t letter = static_cast<char16_t>(u'A' + c);
  const std::string n = std::to_string(rows);
  return std::u16string(u"=") + letter + u"1:" + letter + std::u16string(n.begin(), n.end());
}

void BM_LineChart10x1000(benchmark::State& state) {
  auto book = bookWith(1000, 10);
  charts::ChartModel chart;
  chart.type = charts::kChartLine;
  for (int k = 0; k < 10; ++k) {
    charts::ChartSeries s;
    s.values = columnRef(k, 1000);
    s.marker = charts::kMarkerSquare;
    chart.series.push_back(s);
  }
  CountingCanvas canvas;
  for (auto _ : state)
    charts::drawChart(canvas, {0, 0, 1280, 800}, chart, *book, 0);
  benchmark::DoNotOptimize(canvas.calls);
}
BENCHMARK(BM_LineChart10x1000)->Unit(benchmark::kMillisecond);

void BM_ColumnChartWholeColumn(benchmark::State& state) {
  auto book = bookWith(65536, 1);
  charts::ChartModel chart;
  chart.type = static_cast<std::int32_t>(state.range(0));
  charts::ChartSeries s;
  s.values = u"=A1:A65536";
  chart.series.push_back(s);
  CountingCanvas canvas;
  for (auto _ : state)
    charts::drawChart(canvas, {0, 0, 1280, 800}, chart, *book, 0);
  benchmark::DoNotOptimize(canvas.calls);
}
BENCHMARK(BM_ColumnChartWholeColumn)->Arg(charts::kChartColumn)->Arg(charts::kChartLine)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
