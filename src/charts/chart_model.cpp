#include "charts/chart_model.h"

#include "formula/reader.h"
#include "formula/reference_syntax.h"
#include "formula/value_ops.h"
#include "model/sheet.h"
#include "model/workbook.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace charts {

void ChartPayload::forEachReference(const std::function<void(std::u16string&)>& fn) {
  for (ChartSeries& s : chart.series) {
    if (s.values && !(s.cached & kCachedValues))
      fn(*s.values);
    if (s.categories && !(s.cached & kCachedCategories))
      fn(*s.categories);
  }
}

ChartModel* chartOf(model::DrawingObject& object) {
  if (object.kind != model::kObjectChart)
    return nullptr;
  auto* p = dynamic_cast<ChartPayload*>(object.payload.get());
  return p ? &p->chart : nullptr;
}

const ChartModel* chartOf(const model::DrawingObject& object) {
  return chartOf(const_cast<model::DrawingObject&>(object));
}

ChartModel* chartOfSheet(model::Sheet& sheet) {
  if (sheet.kind != model::SheetKind::Chart)
    return nullptr;
  for (model::DrawingObject& o : sheet.objects)
    if (ChartModel* c = chartOf(o))
      return c;
  return nullptr;
}

model::DrawingObject makeChartObject(ChartModel chart, const model::ObjectAnchor& anchor) {
  model::DrawingObject o;
  o.kind = model::kObjectChart;
  o.anchor = anchor;
  o.payload.reset(std::make_unique<ChartPayload>(std::move(chart)));
  return o;
}

void setSheetChart(model::Sheet& sheet, ChartModel chart) {
  if (ChartModel* c = chartOfSheet(sheet)) {
    *c = std::move(chart);
    return;
  }
  sheet.objects.push_back(makeChartObject(std::move(chart), {}));
}

std::u16string seriesLabel(const ChartModel& chart, int index) {
  if (index >= 0 && index < chart.seriesCount() && chart.series[static_cast<size_t>(index)].name)
    return *chart.series[static_cast<size_t>(index)].name;
  std::u16string s = u"系列 ";
  for (char ch : std::to_string(index + 1))
    s += static_cast<char16_t>(ch);
  return s;
}

std::uint16_t normaliseColourIndex(std::uint32_t index) {
  if (index < 64)
    return static_cast<std::uint16_t>(index);
  switch (index) {
  case 64: // window text
  case 79: // neutral line
  case 81: // tooltip text
    return 8;
  case 65: // window background
  case 78: // chart background
    return 9;
  default: return kAutomaticColour;
  }
}

std::uint32_t chartColourRgb(const model::Workbook& book, std::uint32_t index, int automaticEntry) {
  std::uint16_t i = normaliseColourIndex(index);
  if (i == kAutomaticColour)
    i = static_cast<std::uint16_t>(std::clamp(automaticEntry, 0, 63));
  return book.palette[i];
}

std::uint16_t effectiveLabelKind(std::int32_t type, std::uint16_t labelKind) {
  std::uint16_t k = labelKind & kLabelKindMask;
  const bool round = type == kChartPie || type == kChartDoughnut;
  if (!round && k == kLabelPercent)
    k = kLabelValue;
  if (!round && k == kLabelCategoryPercent)
    k = kLabelCategory;
  if (type != kChartBubble && k == kLabelBubbleSize)
    k = kLabelValue;
  if (k != kLabelNone && k != kLabelValue && k != kLabelPercent && k != kLabelCategory &&
      k != kLabelCategoryPercent && k != kLabelBubbleSize)
    k = kLabelValue;
  return k;
}

AxisScale autoScale(double a, double b) {
  AxisScale s;
  if (!std::isfinite(a) || !std::isfinite(b)) {
    s.minimum = 0;
    s.maximum = 1;
    s.step = 0.2;
    return s;
  }
  if (a > b)
    std::swap(a, b);
  const double range = b - a;
  const int k = range == 0 ? 0 : static_cast<int>(std::trunc(std::log10(range)));
  double step = std::pow(10.0, k);
  if (range / step <= 1.2)
    step *= 0.2;
  const double low = std::floor(a / step) * step;
  if (low > 0) {
    const double t = low == a ? 3 * step : 2 * step;
    s.minimum = low > t ? low - t : 0;
  } else {
    s.minimum = low;
  }
  double high = std::ceil(b / step) * step;
  if (high - b < step / 2)
    high += step;
  s.maximum = high;
  if (s.minimum > 0 && s.minimum <= s.maximum * 2 / 3)
    s.minimum = 0;
  s.step = step;
  return s;
}

namespace {

// Evaluates one reference text into its cells, row by row, at most
// kMaxSeriesPoints of them. False when it is not a block or an array.
bool evaluateReference(const std::u16string& text, model::Workbook& book, int sheet,
                       std::vector<model::CellValue>& out, std::uint16_t& numberFormat) {
  formula::EvalContext ctx;
  ctx.book = &book;
  ctx.sheet = sheet;
  ctx.arrayMode = true;
  model::CellValue v = formula::evaluateSpan(text, 0, text.size(), ctx);
  if (v.isReference()) {
    model::SheetRange r = v.referenceValue();
    const int target = r.sheet < 0 ? sheet : r.sheet;
    if (target < 0 || target >= book.sheetCount() || !book.sheet(target).hasGrid())
      return false;
    model::CellRange cr = r.range();
    const size_t columns = static_cast<size_t>(cr.lastColumn - cr.firstColumn + 1);
    const size_t rows = static_cast<size_t>(cr.lastRow - cr.firstRow + 1);
    if (rows * columns > kMaxSeriesPoints)
      cr.lastRow = static_cast<std::uint16_t>(cr.firstRow + std::max<size_t>(1, kMaxSeriesPoints / columns) - 1);
    if (const model::CellRecord* first = model::cell_at(book.sheet(target), cr.firstRow, cr.firstColumn))
      if (first->formatIndex < book.cellFormats.size())
        numberFormat = book.cellFormats[first->formatIndex].numberFormatIndex;
    v = formula::dereference(model::CellValue::reference(model::SheetRange::of(r.sheet, cr)), ctx);
  }
  if (!v.isArray()) {
    if (v.isReference() || v.isMultiArea() || v.isError())
      return false;
    out.push_back(v);
    return true;
  }
  const int rows = v.arrayRows(), columns = v.arrayColumns();
  out.reserve(std::min<size_t>(static_cast<size_t>(rows) * columns, kMaxSeriesPoints));
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < columns && out.size() < kMaxSeriesPoints; ++j)
      out.push_back(v.arrayItem(i, j));
  return true;
}

bool present(const std::optional<std::u16string>& t) {
  if (!t)
    return false;
  for (char16_t c : *t)
    if (c != u' ' && c != u'=')
      return true;
  return false;
}

} // namespace

std::vector<SeriesData> evaluateSeries(const ChartModel& chart, model::Workbook& book, int sheet) {
  std::vector<SeriesData> result(chart.series.size());
  for (size_t k = 0; k < chart.series.size(); ++k) {
    const ChartSeries& s = chart.series[k];
    SeriesData& d = result[k];
    std::vector<model::CellValue> cells;
    if (present(s.values) && evaluateReference(*s.values, book, sheet, cells, d.valueFormat)) {
      d.hasData = true;
      d.values.reserve(cells.size());
      for (const model::CellValue& c : cells) {
        double x = 0;
        if (c.isNumber())
          x = c.numberValue();
        else if (c.isBoolean())
          x = c.booleanValue() ? 1 : 0;
        d.values.push_back(std::isfinite(x) ? x : 0);
      }
    }
    cells.clear();
    if (present(s.categories) && evaluateReference(*s.categories, book, sheet, cells, d.categoryFormat)) {
      d.categories.reserve(cells.size());
      for (model::CellValue& c : cells) {
        if (c.isBoolean())
          d.categories.push_back(model::CellValue::number(c.booleanValue() ? 1 : 0));
        else
          d.categories.push_back(std::move(c));
      }
    } else {
      d.categories.reserve(d.values.size());
      for (size_t i = 0; i < d.values.size(); ++i)
        d.categories.push_back(model::CellValue::number(static_cast<double>(i + 1)));
    }
  }
  return result;
}

void scaleAxis(ChartModel& chart, bool valueAxis, const std::vector<SeriesData>& data) {
  ChartAxis& axis = valueAxis ? chart.valueAxis : chart.categoryAxis;
  const bool log = axis.has(kAxisLogarithmic);
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  auto take = [&](double x) {
    if (!std::isfinite(x) || (log && x <= 0))
      return;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  };
  size_t points = 0;
  for (const SeriesData& d : data)
    points = std::max(points, d.values.size());
  if (valueAxis && chart.type == kChartArea) {
    std::vector<double> sum(points, 0.0);
    for (const SeriesData& d : data)
      for (size_t i = 0; i < d.values.size(); ++i) {
        sum[i] += d.values[i];
        take(sum[i]);
      }
  } else {
    for (const SeriesData& d : data) {
      if (!d.hasData) {
        take(0);
        continue;
      }
      if (valueAxis) {
        for (double x : d.values)
          take(x);
      } else {
        for (const model::CellValue& c : d.categories)
          take(c.isNumber() ? c.numberValue() : 0);
      }
    }
  }
  if (lo > hi)
    lo = hi = 0;
  const bool minFixed = axis.has(kAxisMinimumFixed) && std::isfinite(axis.minimum);
  const bool maxFixed = axis.has(kAxisMaximumFixed) && std::isfinite(axis.maximum);
  const bool stepFixed = axis.has(kAxisStepFixed) && std::isfinite(axis.step);
  AxisScale s;
  if (log) {
    if (hi > 0) {
      s.minimum = std::pow(10.0, std::ceil(std::log10(lo)) - 1);
      s.maximum = std::pow(10.0, std::floor(std::log10(hi)) + 1);
    } else {
      s.minimum = 1;
      s.maximum = 10;
    }
    s.step = 0;
    if (minFixed && axis.minimum > 0)
      s.minimum = axis.minimum;
    if (maxFixed && axis.maximum > 0)
      s.maximum = axis.maximum;
    if (maxFixed && !minFixed && s.maximum <= s.minimum)
      s.minimum = s.maximum * 0.1;
    if (minFixed && !maxFixed && s.maximum <= s.minimum)
      s.maximum = s.minimum * 10;
  } else {
    s = autoScale(minFixed ? axis.minimum : lo, maxFixed ? axis.maximum : hi);
    if (minFixed)
      s.minimum = axis.minimum;
    if (maxFixed)
      s.maximum = axis.maximum;
    if (stepFixed && axis.step > 0)
      s.step = axis.step;
    if (maxFixed && !minFixed && s.maximum <= s.minimum)
      s.minimum = s.maximum - s.step;
    if (!maxFixed && (minFixed || stepFixed) && s.step > s.maximum - s.minimum)
      s.maximum = s.minimum + s.step;
  }
  axis.minimum = s.minimum;
  axis.maximum = s.maximum;
  axis.step = s.step;
}

std::u16string blockReference(std::u16string_view sheetName, const model::CellRange& block) {
  std::u16string out = u"=";
  formula::appendSheetQualifier(out, sheetName, false);
  formula::appendCellAddress(out, {block.firstRow, block.firstColumn, true, true});
  out += u':';
  formula::appendCellAddress(out, {block.lastRow, block.lastColumn, true, true});
  return out;
}

std::optional<ChartSeries> guessSeries(std::u16string_view sheetName, const model::CellRange& block) {
  const int m = block.lastColumn - block.firstColumn + 1;
  const int r = block.lastRow - block.firstRow + 1;
  if (m < 1 || r < 1 || !((m == 1 && r > 1) || m == 2 || (m > 2 && r <= 2)))
    return std::nullopt;
  ChartSeries s;
  s.labelFont = 0; // set by the caller to the chart's tick-label font
  if (m > 1 && r > 1) {
    model::CellRange categories = block, values = block;
    if (m == 2) {
      categories.lastColumn = block.firstColumn;
      values.firstColumn = values.lastColumn = static_cast<std::uint8_t>(block.firstColumn + 1);
    } else {
      categories.lastRow = block.firstRow;
      values.firstRow = values.lastRow = static_cast<std::uint16_t>(block.firstRow + 1);
    }
    s.categories = blockReference(sheetName, categories);
    s.values = blockReference(sheetName, values);
  } else {
    s.values = blockReference(sheetName, block);
  }
  return s;
}

namespace {

model::Font chartFont(const model::Workbook& book, std::uint16_t height, std::uint16_t weight) {
  model::Font f = book.fonts.empty() ? model::Font{} : book.fonts[0];
  f.heightTwips = height;
  f.weight = weight;
  return f;
}

// Appends a font to the workbook table; -1 when it is full.
int appendFont(model::Workbook& book, const model::Font& font) {
  if (book.fonts.size() >= 0x7FFF)
    return -1;
  book.fonts.push_back(font);
  return static_cast<int>(book.fonts.size() - 1);
}

} // namespace

std::optional<ChartModel> newChart(model::Workbook& book) {
  if (book.fonts.size() + 4 > 0x7FFF)
    return std::nullopt;
  std::uint16_t index[4];
  const model::Font kinds[4] = {chartFont(book, 200, 400), chartFont(book, 200, 400), chartFont(book, 240, 700),
                                chartFont(book, 200, 700)};
  for (int i = 0; i < 4; ++i)
    index[i] = static_cast<std::uint16_t>(appendFont(book, kinds[i]));
  ChartModel c;
  for (std::uint16_t f : index)
    c.fonts.push_back({0, f});
  c.legendFont = c.extraFont1 = index[0];
  c.categoryAxis.labelFont = c.valueAxis.labelFont = c.extraFont2 = index[1];
  c.titleFont = index[2];
  c.categoryAxis.titleFont = c.valueAxis.titleFont = index[3];
  c.valueAxis.flags |= kAxisGridlines;
  return c;
}

std::optional<std::uint16_t> dataLabelFont(model::Workbook& book, ChartModel& chart) {
  const model::Font wanted = chartFont(book, 200, 400);
  for (const ChartFont& f : chart.fonts)
    if (f.fontIndex < book.fonts.size() && book.fonts[f.fontIndex] == wanted)
      return f.fontIndex;
  const int index = appendFont(book, wanted);
  if (index < 0)
    return std::nullopt;
  chart.fonts.push_back({0, static_cast<std::uint16_t>(index)});
  return static_cast<std::uint16_t>(index);
}

bool validSeriesReference(std::u16string_view text, model::Workbook& book, int sheet) {
  std::u16string t(text);
  if (!present(t))
    return false;
  formula::EvalContext ctx;
  ctx.book = &book;
  ctx.sheet = sheet;
  ctx.arrayMode = true;
  const model::CellValue v = formula::evaluateSpan(t, 0, t.size(), ctx);
  if (v.isArray())
    return true;
  if (!v.isReference())
    return false;
  const int target = v.referenceValue().sheet < 0 ? sheet : v.referenceValue().sheet;
  return target >= 0 && target < book.sheetCount() && book.sheet(target).hasGrid();
}

void normaliseChart(ChartModel& chart) {
  if (chart.type < 0 || chart.type >= kChartTypeCount)
    chart.type = kChartColumn;
  if (chart.legendPlacement < 0 || chart.legendPlacement > kLegendLeft)
    chart.legendPlacement = kLegendRight;
  chart.showLegend = chart.showLegend ? 1 : 0;
  for (ChartAxis* a : {&chart.categoryAxis, &chart.valueAxis}) {
    auto finite = [](double& x) {
      if (!std::isfinite(x))
        x = 0;
    };
    finite(a->minimum);
    finite(a->maximum);
    finite(a->step);
    const bool log = a->has(kAxisLogarithmic);
    if (log) {
      if (a->has(kAxisMinimumFixed))
        a->minimum = a->minimum <= 0 ? 1 : std::pow(10.0, std::floor(std::log10(a->minimum)));
      if (a->has(kAxisMaximumFixed))
        a->maximum = a->maximum <= 0 ? 1 : std::pow(10.0, std::ceil(std::log10(a->maximum)));
      a->step = 0;
      a->flags &= static_cast<std::uint8_t>(~kAxisStepFixed);
    } else if (a->has(kAxisStepFixed) && a->step <= 0) {
      a->flags &= static_cast<std::uint8_t>(~kAxisStepFixed);
    }
    if (a->has(kAxisMinimumFixed) && a->has(kAxisMaximumFixed) && a->minimum >= a->maximum)
      a->flags &= static_cast<std::uint8_t>(~kAxisMaximumFixed);
  }
  for (ChartSeries& s : chart.series) {
    s.lineColour = normaliseColourIndex(s.lineColour);
    s.fillColour = normaliseColourIndex(s.fillColour);
    if (s.markerForeground != kNoColour)
      s.markerForeground = normaliseColourIndex(static_cast<std::uint32_t>(s.markerForeground));
    if (s.markerBackground != kNoColour)
      s.markerBackground = normaliseColourIndex(static_cast<std::uint32_t>(s.markerBackground));
    if (s.marker >= kMarkerKindCount)
      s.marker = kMarkerNone;
    s.labelKind &= kLabelKindMask;
    if (s.name && s.name->size() > 255)
      s.name->resize(255);
  }
}

} // namespace charts
