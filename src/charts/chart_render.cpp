#include "charts/chart_render.h"

#include "model/set_cell.h"
#include "model/sheet.h"
#include "model/workbook.h"
#include "numfmt/number_format.h"
#include "platform/text_metrics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace charts {

using platform::Brush;
using platform::Canvas;
using platform::Colour;
using platform::FontSpec;
using platform::Pen;
using platform::PenStyle;
using platform::Point;
using platform::Rect;

namespace {

constexpr int kLegendGap = 2;
constexpr int kHorizontalTitleGap = 2;
constexpr int kTitleGap = 2;
constexpr int kCategoryLabelGap = 0;
constexpr int kVerticalTitleGap = 2;
constexpr int kValueLabelGap = 2;
constexpr int kLegendSideGap = 2;
constexpr int kLegendKeyGap = 2;
constexpr int kLegendItemSpacing = 5;
constexpr int kLegendLineSpacing = 5;
constexpr int kCategoryTickLength = 4;
constexpr int kValueTickLength = 3;
constexpr int kMargin = 5;
// Tick labels and gridlines past this many are not drawn: a file may hold
// a step that is tiny beside its range.
constexpr int kMaxTicks = 1000;

bool isRound(int type) { return type == kChartPie || type == kChartDoughnut; }

// A pixel coordinate from a double, kept well inside int range.
int px(double v) {
  if (!std::isfinite(v))
    return 0;
  return static_cast<int>(std::lround(std::clamp(v, -1e6, 1e6)));
}

class ChartDraw {
public:
  ChartDraw(Canvas& canvas, const Rect& rect, ChartModel& chart, model::Workbook& book, int sheet,
            const ChartScale* scale)
      : c(canvas), m_chart(chart), m_book(book), m_sheet(sheet), m_rect(rect), m_scaled(scale != nullptr) {
    if (scale) {
      m_sx = std::isfinite(scale->x) ? std::clamp(scale->x, 0.01, 100.0) : 1.0;
      m_sy = std::isfinite(scale->y) ? std::clamp(scale->y, 0.01, 100.0) : 1.0;
      m_line = std::max(1, px(std::min(m_sx, m_sy)));
    }
  }

  void run();

private:
  FontSpec font(std::uint16_t index, bool bold = false) const {
    FontSpec f = index < m_book.fonts.size() ? model::fontSpecOf(m_book.fonts[index]) : FontSpec{};
    if (bold)
      f.weight = 700;
    if (m_scaled)
      f.heightTwips = std::max(1, px(f.heightTwips * m_sy));
    return f;
  }
  // A screen spacing on the device, across and down.
  int gapX(int screenPixels) const { return px(screenPixels * m_sx); }
  int gapY(int screenPixels) const { return px(screenPixels * m_sy); }
  int textHeight(const FontSpec& f) const { return std::max(1, platform::textMetrics().fontMetrics(f).heightPx); }
  int textWidth(const FontSpec& f, std::u16string_view t) const { return platform::textMetrics().textWidthPx(f, t); }
  Colour rgb(std::uint32_t index, int automatic) const { return chartColourRgb(m_book, index, automatic); }
  // Automatic series colours differ from series to series, as a reader of
  // the chart needs them to: interiors take the palette's chart fills
  // (24-31), lines of line, XY and radar charts its chart lines (32-39).
  // Edges of filled series stay black. Files keep "automatic".
  Colour seriesFill(size_t k) const {
    const std::uint32_t index = m_chart.series[k].fillColour;
    return normaliseColourIndex(index) == kAutomaticColour ? m_book.palette[24 + k % 8] : rgb(index, 9);
  }
  Colour seriesLine(size_t k) const {
    const std::uint32_t index = m_chart.series[k].lineColour;
    const bool filled = m_chart.type == kChartColumn || m_chart.type == kChartBar || m_chart.type == kChartArea;
    return !filled && normaliseColourIndex(index) == kAutomaticColour ? m_book.palette[32 + k % 8]
                                                                          : rgb(index, 8);
  }
  void text(std::u16string_view t, const FontSpec& f, const Rect& box, unsigned align) {
    c.drawText(t, f, platform::kBlack, box, align, m_rect);
  }
  std::u16string numberText(double x, std::uint16_t format) const {
    if (format == 0)
      return numfmt::generalText(x, 15);
    return numfmt::formatNumber(x, model::compiledNumberFormat(m_book, format)).text;
  }
  std::u16string categoryText(size_t i) const {
    if (m_data.empty() || i >= m_data[0].categories.size())
      return {};
    const model::CellValue& v = m_data[0].categories[i];
    if (v.isNumber())
      return numberText(v.numberValue(), m_data[0].categoryFormat);
    if (v.isString())
      return std::u16string(v.stringValue());
    return {};
  }
  size_t categoryCount() const {
    size_t n = 0;
    for (const SeriesData& d : m_data)
      n = std::max(n, d.values.size());
    return n;
  }
  bool barChart() const { return m_chart.type == kChartBar; }

  void title();
  void legend();
  void axisTitles();
  void valueAxisLayout(bool horizontal);
  void categoryAxisLayout(bool horizontal);
  double valuePos(double v, bool horizontal) const;
  void drawValueAxis(bool horizontal);
  void drawCategoryAxis(bool horizontal);
  void columns(bool horizontal);
  void lines();
  void scatter();
  void area();
  void pie();
  void radar();
  void styledPolyline(const std::vector<Point>& pts, std::uint16_t style, Colour colour);
  void drawValueLabel(const std::u16string& t, int x, int y, unsigned align);
  std::u16string labelFor(size_t series, size_t point) const;
  std::vector<double> ticks() const;

  Canvas& c;
  ChartModel& m_chart;
  model::Workbook& m_book;
  int m_sheet;
  Rect m_rect;
  bool m_scaled;
  double m_sx = 1, m_sy = 1;
  int m_line = 1; // pen width
  std::vector<SeriesData> m_data;
  double left = 0, top = 0, right = 0, bottom = 0;
  // the scale of the value axis and (XY) of the X axis
  double m_min = 0, m_max = 1;
  double m_xmin = 0, m_xmax = 1;
  bool m_log = false, m_xlog = false;
};

std::vector<double> ChartDraw::ticks() const {
  std::vector<double> t;
  const ChartAxis& a = m_chart.valueAxis;
  if (m_log) {
    if (!(a.minimum > 0) || !(a.maximum > a.minimum))
      return t;
    const double l0 = std::log10(a.minimum);
    for (int i = 0; i < kMaxTicks; ++i) {
      const double v = std::pow(10.0, l0 + i);
      t.push_back(v);
      if (v >= a.maximum)
        break;
    }
    return t;
  }
  if (!(a.step > 0) || !(a.maximum > a.minimum) || (a.maximum - a.minimum) / a.step > kMaxTicks)
    return {a.minimum, a.maximum};
  for (int i = 0; i < kMaxTicks; ++i) {
    const double v = a.minimum + i * a.step;
    t.push_back(v);
    if (v >= a.maximum - a.step * 1e-9)
      break;
  }
  return t;
}

void ChartDraw::title() {
  std::u16string t = m_chart.title ? *m_chart.title : std::u16string();
  if (t.empty() && m_chart.type == kChartPie && !m_chart.series.empty() && m_chart.series[0].name)
    t = *m_chart.series[0].name;
  if (t.empty())
    return;
  const FontSpec f = font(m_chart.titleFont);
  const int h = textHeight(f);
  size_t start = 0;
  while (start <= t.size()) {
    size_t end = t.find(u'\n', start);
    if (end == std::u16string::npos)
      end = t.size();
    text(std::u16string_view(t).substr(start, end - start), f, {px(left), px(top), px(right), px(top) + h},
         platform::kTextCentre);
    top += h;
    start = end + 1;
  }
  top += gapY(kTitleGap);
}

void ChartDraw::legend() {
  if (!m_chart.showLegend || m_chart.series.empty())
    return;
  std::vector<std::u16string> names;
  const bool round = isRound(m_chart.type);
  if (round) {
    const size_t n = std::min<size_t>(m_data.empty() ? 0 : m_data[0].values.size(), 256);
    for (size_t i = 0; i < n; ++i)
      names.push_back(categoryText(i));
  } else {
    for (int k = 0; k < m_chart.seriesCount(); ++k)
      names.push_back(seriesLabel(m_chart, k));
  }
  if (names.empty())
    return;
  const FontSpec f = font(m_chart.legendFont);
  const int h = textHeight(f);
  int widest = 0, rowWidth = 0;
  for (const std::u16string& n : names) {
    const int w = textWidth(f, n);
    widest = std::max(widest, w);
    rowWidth += h + gapX(kLegendKeyGap) + w + gapX(kLegendItemSpacing);
  }
  rowWidth -= gapX(kLegendItemSpacing);
  auto key = [&](size_t i, int x, int y) {
    Colour outline, fill;
    if (round) {
      outline = m_book.palette[8];
      fill = m_book.palette[24 + i % 8];
    } else {
      outline = seriesLine(i);
      const bool filled = m_chart.type == kChartColumn || m_chart.type == kChartBar || m_chart.type == kChartArea;
      fill = filled ? seriesFill(i) : seriesLine(i);
    }
    c.setPen(Pen{PenStyle::Solid, m_line, outline});
    c.setBrush(Brush::solid(fill));
    c.drawRectangle({x, y, x + h, y + h});
  };
  const int columnHeight = static_cast<int>(names.size()) * (h + gapY(kLegendLineSpacing)) - gapY(kLegendLineSpacing);
  switch (m_chart.legendPlacement) {
  case kLegendBottom:
  case kLegendTop: {
    const int y = m_chart.legendPlacement == kLegendBottom ? px(bottom) - h : px(top);
    int x = px((left + right - rowWidth) / 2);
    for (size_t i = 0; i < names.size(); ++i) {
      key(i, x, y);
      x += h + gapX(kLegendKeyGap);
      const int w = textWidth(f, names[i]);
      text(names[i], f, {x, y, x + w + 1, y + h}, platform::kTextLeft);
      x += w + gapX(kLegendItemSpacing);
    }
    if (m_chart.legendPlacement == kLegendBottom)
      bottom -= h + gapY(kLegendGap);
    else
      top += h + gapY(kLegendGap);
    break;
  }
  default: {
    const int width = h + gapX(kLegendKeyGap) + widest;
    int x = m_chart.legendPlacement == kLegendLeft ? px(left) : px(right) - width;
    int y = m_chart.legendPlacement == kLegendTopRight ? px(top) : px((top + bottom - columnHeight) / 2);
    for (size_t i = 0; i < names.size(); ++i) {
      key(i, x, y);
      text(names[i], f, {x + h + gapX(kLegendKeyGap), y, x + width + 1, y + h}, platform::kTextLeft);
      y += h + gapY(kLegendLineSpacing);
    }
    if (m_chart.legendPlacement == kLegendTopRight) {
      top += columnHeight;
      right -= width + gapX(kLegendSideGap);
    } else if (m_chart.legendPlacement == kLegendLeft) {
      left += width + gapX(kLegendSideGap);
    } else {
      right -= width + gapX(kLegendSideGap);
    }
    break;
  }
  }
}

// The vertical title reads downwards, one character under the other: the
// canvas has no rotated text.
void ChartDraw::axisTitles() {
  const ChartAxis& vertical = barChart() ? m_chart.categoryAxis : m_chart.valueAxis;
  const ChartAxis& horizontal = barChart() ? m_chart.valueAxis : m_chart.categoryAxis;
  if (vertical.title && !vertical.title->empty()) {
    const FontSpec f = font(vertical.titleFont);
    const int h = textHeight(f);
    const std::u16string& t = *vertical.title;
    const int n = static_cast<int>(std::min<size_t>(t.size(), 64));
    int y = px((top + bottom) / 2 - n * h / 2.0);
    int w = 0;
    for (int i = 0; i < n; ++i)
      w = std::max(w, textWidth(f, std::u16string_view(t).substr(static_cast<size_t>(i), 1)));
    for (int i = 0; i < n; ++i, y += h)
      text(std::u16string_view(t).substr(static_cast<size_t>(i), 1), f, {px(left), y, px(left) + w, y + h},
           platform::kTextCentre);
    left += w + gapX(kVerticalTitleGap);
  }
  if (horizontal.title && !horizontal.title->empty()) {
    const FontSpec f = font(horizontal.titleFont);
    const int h = textHeight(f);
    text(*horizontal.title, f, {px(left), px(bottom) - h, px(right), px(bottom)}, platform::kTextCentre);
    bottom -= h + gapY(kHorizontalTitleGap);
  }
}

double ChartDraw::valuePos(double v, bool horizontal) const {
  double f;
  if (m_log) {
    if (!(v > 0))
      v = m_min;
    f = (std::log10(v) - std::log10(m_min)) / (std::log10(m_max) - std::log10(m_min));
  } else {
    f = (v - m_min) / (m_max - m_min);
  }
  if (!std::isfinite(f))
    f = 0;
  f = std::clamp(f, -2.0, 3.0);
  return horizontal ? left + f * (right - left) : bottom - f * (bottom - top);
}

void ChartDraw::valueAxisLayout(bool horizontal) {
  const ChartAxis& a = m_chart.valueAxis;
  if (!a.has(kAxisLabels))
    return;
  const FontSpec f = font(a.labelFont);
  const int h = textHeight(f);
  const std::uint16_t fmt = m_data.empty() ? 0 : m_data[0].valueFormat;
  if (horizontal) {
    bottom -= h + gapY(kValueLabelGap) + (a.has(kAxisTicks) ? gapY(kValueTickLength) : 0);
    return;
  }
  int widest = 0;
  for (double v : ticks())
    widest = std::max(widest, textWidth(f, numberText(v, fmt)));
  left += widest + gapX(kValueLabelGap);
  top += h / 2.0;
  if (a.has(kAxisTicks))
    left += gapX(kValueTickLength);
}

void ChartDraw::categoryAxisLayout(bool horizontal) {
  const ChartAxis& a = m_chart.categoryAxis;
  if (!a.has(kAxisLabels) || m_chart.valueAxis.minimum < 0)
    return;
  const FontSpec f = font(a.labelFont);
  const int h = textHeight(f);
  if (horizontal) {
    int widest = 0;
    for (size_t i = 0; i < std::min<size_t>(categoryCount(), 256); ++i)
      widest = std::max(widest, textWidth(f, categoryText(i)));
    left += widest + gapX(kCategoryLabelGap) + (a.has(kAxisTicks) ? gapX(kCategoryTickLength) : 0) + gapX(2);
    return;
  }
  bottom -= h + gapY(kCategoryLabelGap) + (a.has(kAxisTicks) ? gapY(kCategoryTickLength) : 0);
}

void ChartDraw::drawValueAxis(bool horizontal) {
  const ChartAxis& a = m_chart.valueAxis;
  const FontSpec f = font(a.labelFont);
  const int h = textHeight(f);
  const std::uint16_t fmt = m_data.empty() ? 0 : m_data[0].valueFormat;
  for (double v : ticks()) {
    const int p = px(valuePos(v, horizontal));
    if (a.has(kAxisGridlines)) {
      c.setPen(Pen{PenStyle::Solid, m_line, m_book.palette[23]});
      if (horizontal)
        c.drawLine({p, px(top)}, {p, px(bottom)});
      else
        c.drawLine({px(left), p}, {px(right), p});
    }
    c.setPen(Pen{PenStyle::Solid, m_line, platform::kBlack});
    if (a.has(kAxisTicks)) {
      if (horizontal)
        c.drawLine({p, px(bottom)}, {p, px(bottom) + gapY(kValueTickLength)});
      else
        c.drawLine({px(left) - gapX(kValueTickLength), p}, {px(left), p});
    }
    if (a.has(kAxisLabels)) {
      const std::u16string t = numberText(v, fmt);
      if (horizontal) {
        const int y = px(bottom) + gapY(kValueLabelGap) + (a.has(kAxisTicks) ? gapY(kValueTickLength) : 0);
        const int w = textWidth(f, t);
        text(t, f, {p - w / 2 - 1, y, p + w / 2 + 2, y + h}, platform::kTextCentre);
      } else {
        const int x = px(left) - gapX(kValueLabelGap) - (a.has(kAxisTicks) ? gapX(kValueTickLength) : 0);
        text(t, f, {m_rect.left, p - h / 2, x, p - h / 2 + h}, platform::kTextRight);
      }
    }
  }
  if (a.has(kAxisLine)) {
    c.setPen(Pen{PenStyle::Solid, m_line, platform::kBlack});
    if (horizontal)
      c.drawLine({px(left), px(bottom)}, {px(right), px(bottom)});
    else
      c.drawLine({px(left), px(top)}, {px(left), px(bottom) + 1});
  }
}

void ChartDraw::drawCategoryAxis(bool horizontal) {
  const ChartAxis& a = m_chart.categoryAxis;
  const size_t n = categoryCount();
  const double zero = m_min <= 0 && m_max >= 0 && !m_log ? valuePos(0, horizontal) : (horizontal ? left : bottom);
  const FontSpec f = font(a.labelFont);
  const int h = textHeight(f);
  if (n > 0) {
    const double span = horizontal ? bottom - top : right - left;
    // Edges and labels past one per few pixels overlap: thin them out.
    const size_t stride = std::max<size_t>(1, n / std::max(1.0, span / 2));
    for (size_t i = 0; i <= n; i += stride) {
      const double e = horizontal ? top + span * static_cast<double>(i) / n : left + span * static_cast<double>(i) / n;
      if (a.has(kAxisGridlines)) {
        c.setPen(Pen{PenStyle::Solid, m_line, m_book.palette[23]});
        if (horizontal)
          c.drawLine({px(left), px(e)}, {px(right), px(e)});
        else
          c.drawLine({px(e), px(top)}, {px(e), px(bottom)});
      }
      if (a.has(kAxisTicks)) {
        c.setPen(Pen{PenStyle::Solid, m_line, platform::kBlack});
        if (horizontal)
          c.drawLine({px(zero) - gapX(kCategoryTickLength), px(e)}, {px(zero), px(e)});
        else
          c.drawLine({px(e), px(zero)}, {px(e), px(zero) + gapY(kCategoryTickLength)});
      }
    }
    if (a.has(kAxisLabels)) {
      const double band = span / n;
      // One label per band, or per as many bands as a label needs.
      const int need = horizontal ? h : 1;
      size_t every = std::max<size_t>(stride, band >= need ? 1 : static_cast<size_t>(std::ceil(need / std::max(band, 1e-9))));
      if (!horizontal) {
        int widest = 1;
        for (size_t i = 0; i < std::min<size_t>(n, 512); ++i)
          widest = std::max(widest, textWidth(f, categoryText(i)));
        every = std::max(every, static_cast<size_t>(std::ceil((widest + gapX(4)) / std::max(band, 1e-9))));
      }
      for (size_t i = 0; i < n; i += every) {
        const std::u16string t = categoryText(i);
        if (horizontal) {
          const int y = px(top + band * (i + 0.5));
          const int x = px(left) - gapX(kCategoryLabelGap) - (a.has(kAxisTicks) ? gapX(kCategoryTickLength) : 0) - 1;
          text(t, f, {m_rect.left, y - h / 2, x, y - h / 2 + h}, platform::kTextRight);
        } else {
          const int y = px(bottom) + gapY(kCategoryLabelGap) + (a.has(kAxisTicks) ? gapY(kCategoryTickLength) : 0);
          text(t, f, {px(left + band * i), y, px(left + band * (i + every)), y + h}, platform::kTextCentre);
        }
      }
    }
  }
  if (a.has(kAxisLine)) {
    c.setPen(Pen{PenStyle::Solid, m_line, platform::kBlack});
    if (horizontal)
      c.drawLine({px(zero), px(top)}, {px(zero), px(bottom) + 1});
    else
      c.drawLine({px(left), px(zero)}, {px(right) + 1, px(zero)});
  }
}

std::u16string ChartDraw::labelFor(size_t series, size_t point) const {
  const std::uint16_t kind = effectiveLabelKind(m_chart.type, m_chart.series[series].labelKind);
  if (kind == kLabelCategory) {
    const SeriesData& d = m_data[series];
    if (point < d.categories.size()) {
      const model::CellValue& v = d.categories[point];
      if (v.isNumber())
        return numberText(v.numberValue(), d.categoryFormat);
      if (v.isString())
        return std::u16string(v.stringValue());
    }
    return {};
  }
  return numfmt::generalText(m_data[series].values[point], 15);
}

void ChartDraw::drawValueLabel(const std::u16string& t, int x, int y, unsigned align) {
  const FontSpec f = font(2);
  const int h = textHeight(f);
  const int w = textWidth(f, t) + 2;
  Rect box{x - w / 2, y - h / 2, x - w / 2 + w, y - h / 2 + h};
  if (align & platform::kTextLeft && !(align & platform::kTextCentre))
    box = {x, y - h / 2, x + w, y - h / 2 + h};
  text(t, f, box, platform::kTextCentre | platform::kTextVCentre);
}

void ChartDraw::columns(bool horizontal) {
  const size_t n = categoryCount();
  const size_t s = m_data.size();
  if (n == 0 || s == 0)
    return;
  const double span = horizontal ? bottom - top : right - left;
  const double slots = static_cast<double>(n) * static_cast<double>(s + 1);
  const double zero = m_min <= 0 && m_max >= 0 && !m_log ? valuePos(0, horizontal) : (horizontal ? left : bottom);
  const size_t stride = std::max<size_t>(1, n / kMaxDrawnPoints);
  const FontSpec lf = font(2);
  const int lh = textHeight(lf);
  for (size_t k = 0; k < s; ++k) {
    const ChartSeries& series = m_chart.series[k];
    const SeriesData& d = m_data[k];
    const Colour fill = seriesFill(k);
    c.setBrush(Brush::solid(fill));
    const PenStyle ps = penStyleOf(series.lineStyle);
    c.setPen(Pen{ps, m_line, seriesLine(k)});
    const bool labels = effectiveLabelKind(m_chart.type, series.labelKind) != kLabelNone;
    for (size_t j = 0; j < d.values.size(); j += stride) {
      const double v = d.values[j];
      if (v == 0 || (m_log && v <= 0))
        continue;
      const double slot = static_cast<double>(j) * (s + 1) + k;
      const double a = span * (2 * slot + 1) / (2 * slots);
      const double b = span * (2 * slot + 3) / (2 * slots) - 1;
      const double end = valuePos(v, horizontal);
      Rect r;
      if (horizontal) {
        const double y0 = top + a, y1 = top + std::max(a + 1, b);
        const double x0 = v > 0 ? zero + 1 : end, x1 = v > 0 ? end + 1 : zero;
        r = {px(x0), px(y0), px(x1), px(y1)};
      } else {
        const double x0 = left + a, x1 = left + std::max(a + 1, b);
        const double y0 = v > 0 ? end : zero + 1, y1 = v > 0 ? zero : end + 1;
        r = {px(x0), px(y0), px(x1), px(y1)};
      }
      if (r.isEmpty())
        continue;
      c.fillRect(r, Brush::solid(fill));
      if (ps != PenStyle::None) {
        const Point pts[4] = {{r.left, r.bottom}, {r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}};
        c.drawPolyline(pts);
      }
      if (labels) {
        const std::u16string t = labelFor(k, j);
        if (horizontal)
          drawValueLabel(t, (v > 0 ? r.right : r.left) + (v > 0 ? 1 : -1) * (textWidth(lf, t) / 2 + gapX(4)),
                         (r.top + r.bottom) / 2, platform::kTextCentre);
        else
          drawValueLabel(t, (r.left + r.right) / 2, (v > 0 ? r.top : r.bottom) - lh, platform::kTextCentre);
      }
    }
  }
}

void ChartDraw::styledPolyline(const std::vector<Point>& pts, std::uint16_t style, Colour colour) {
  const PenStyle ps = penStyleOf(style);
  if (ps == PenStyle::None || pts.size() < 2)
    return;
  c.setPen(Pen{ps, m_line, colour});
  c.drawPolyline(pts);
}

void ChartDraw::lines() {
  const size_t n = categoryCount();
  if (n == 0)
    return;
  const double w = right - left;
  for (size_t k = 0; k < m_data.size(); ++k) {
    const ChartSeries& s = m_chart.series[k];
    const SeriesData& d = m_data[k];
    const size_t stride = std::max<size_t>(1, (d.values.size() + kMaxDrawnPoints - 1) / kMaxDrawnPoints);
    std::vector<Point> pts;
    pts.reserve(std::min(d.values.size(), kMaxDrawnPoints) + 1);
    const bool labels = effectiveLabelKind(m_chart.type, s.labelKind) != kLabelNone;
    for (size_t i = 0; i < d.values.size(); i += stride) {
      const double v = d.values[i];
      if (m_log && v <= 0)
        continue;
      const Point p{px(left + w / n / 2 + w * static_cast<double>(i) / n), px(valuePos(v, false))};
      if (labels)
        drawValueLabel(labelFor(k, i), p.x + gapX(10), p.y, platform::kTextLeft);
      pts.push_back(p);
    }
    styledPolyline(pts, s.lineStyle, seriesLine(k));
    if (s.marker != kMarkerNone)
      for (const Point& p : pts)
        drawMarker(c, m_book, s.marker, p.x, p.y, s.markerForeground, s.markerBackground, m_sy, seriesLine(k));
  }
}

void ChartDraw::scatter() {
  for (size_t k = 0; k < m_data.size(); ++k) {
    const ChartSeries& s = m_chart.series[k];
    const SeriesData& d = m_data[k];
    const size_t n = d.values.size();
    const size_t stride = std::max<size_t>(1, (n + kMaxDrawnPoints - 1) / kMaxDrawnPoints);
    std::vector<Point> pts;
    const bool labels = effectiveLabelKind(m_chart.type, s.labelKind) != kLabelNone;
    for (size_t i = 0; i < n; i += stride) {
      double x = 0;
      if (i < d.categories.size() && d.categories[i].isNumber())
        x = d.categories[i].numberValue();
      const double y = d.values[i];
      if ((m_xlog && x <= 0) || (m_log && y <= 0))
        continue;
      double f = m_xlog ? (std::log10(x) - std::log10(m_xmin)) / (std::log10(m_xmax) - std::log10(m_xmin))
                        : (x - m_xmin) / (m_xmax - m_xmin);
      if (!std::isfinite(f))
        f = 0;
      const Point p{px(left + std::clamp(f, -2.0, 3.0) * (right - left)), px(valuePos(y, false))};
      if (labels)
        drawValueLabel(labelFor(k, i), p.x + gapX(10), p.y, platform::kTextLeft);
      pts.push_back(p);
    }
    styledPolyline(pts, s.lineStyle, seriesLine(k));
    if (s.marker != kMarkerNone)
      for (const Point& p : pts)
        drawMarker(c, m_book, s.marker, p.x, p.y, s.markerForeground, s.markerBackground, m_sy, seriesLine(k));
  }
}

void ChartDraw::area() {
  const size_t n = categoryCount();
  if (n < 2)
    return;
  const double w = right - left;
  const size_t stride = std::max<size_t>(1, (n + kMaxDrawnPoints - 1) / kMaxDrawnPoints);
  std::vector<size_t> idx;
  for (size_t i = 0; i < n; i += stride)
    idx.push_back(i);
  if (idx.back() != n - 1)
    idx.push_back(n - 1);
  const double base = m_min <= 0 && m_max >= 0 && !m_log ? valuePos(0, false) : bottom;
  std::vector<double> lower(idx.size(), base), sum(idx.size(), 0.0);
  for (size_t k = 0; k < m_data.size(); ++k) {
    const ChartSeries& s = m_chart.series[k];
    const SeriesData& d = m_data[k];
    std::vector<Point> upper, poly;
    std::vector<double> upperY(idx.size());
    for (size_t q = 0; q < idx.size(); ++q) {
      const size_t i = idx[q];
      sum[q] += i < d.values.size() ? d.values[i] : 0;
      upperY[q] = valuePos(sum[q], false);
      upper.push_back({px(left + (2.0 * i + 1) * w / (2.0 * n) + 1), px(upperY[q])});
    }
    poly = upper;
    for (size_t q = idx.size(); q-- > 0;)
      poly.push_back({upper[q].x, px(lower[q])});
    c.setPen(Pen{PenStyle::None, m_line, 0});
    c.setBrush(Brush::solid(seriesFill(k)));
    c.drawPolygon(poly);
    styledPolyline(upper, s.lineStyle, seriesLine(k));
    const std::uint16_t kind = effectiveLabelKind(m_chart.type, s.labelKind);
    if (kind == kLabelCategory) {
      const size_t mid = idx.size() / 2;
      drawValueLabel(seriesLabel(m_chart, static_cast<int>(k)), px((left + right) / 2),
                     px((upperY[mid] + lower[mid]) / 2), platform::kTextCentre);
    } else if (kind != kLabelNone) {
      for (size_t q = 0; q < idx.size(); ++q)
        if (idx[q] < d.values.size())
          drawValueLabel(labelFor(k, idx[q]), upper[q].x, px((upperY[q] + lower[q]) / 2), platform::kTextCentre);
    }
    lower = upperY;
  }
}

void ChartDraw::pie() {
  double side = std::min(right - left, bottom - top);
  const bool doughnut = m_chart.type == kChartDoughnut;
  const size_t count = doughnut ? m_data.size() : std::min<size_t>(1, m_data.size());
  if (count == 0)
    return;
  const FontSpec lf = font(2);
  const int lh = textHeight(lf);
  const std::uint16_t kind0 = effectiveLabelKind(m_chart.type, m_chart.series[0].labelKind);
  double cx = (left + right) / 2, cy = (top + bottom) / 2;
  if (!doughnut && kind0 != kLabelNone) {
    const int margin = (kind0 == kLabelCategoryPercent ? 2 * lh : lh) + gapY(10);
    int widest = kind0 & kLabelPercent ? textWidth(lf, u"99%") : 0;
    for (size_t i = 0; i < std::min<size_t>(m_data[0].values.size(), 256); ++i)
      widest = std::max(widest, textWidth(lf, labelFor(0, i)));
    side = std::min(right - left - 2 * (widest + gapX(10)), bottom - top - 2 * margin);
  }
  if (side < 4)
    return;
  const double R = side / 2;
  for (size_t kk = count; kk-- > 0;) {
    const SeriesData& d = m_data[kk];
    const ChartSeries& s = m_chart.series[kk];
    const double r = doughnut ? R - (R / 2) / static_cast<double>(count) * static_cast<double>(kk) : R;
    double total = 0;
    for (double v : d.values)
      total += std::fabs(v);
    if (!(total > 0) || !std::isfinite(total))
      continue;
    double angle = 0; // from 12 o'clock, clockwise
    const size_t n = std::min(d.values.size(), kMaxDrawnPoints);
    for (size_t i = 0; i < n; ++i) {
      const double v = d.values[i];
      if (!(v > 0))
        continue;
      const double sweep = v / total * 2 * std::numbers::pi;
      std::vector<Point> poly{{px(cx), px(cy)}};
      const int steps = std::max(2, static_cast<int>(sweep / 0.0349) + 1);
      for (int t = 0; t <= steps; ++t) {
        const double a = angle + sweep * t / steps;
        poly.push_back({px(cx + r * std::sin(a)), px(cy - r * std::cos(a))});
      }
      const Colour fill = s.fillColour == kAutomaticColour ? m_book.palette[24 + i % 8] : rgb(s.fillColour, 9);
      const PenStyle ps = penStyleOf(s.lineStyle);
      c.setBrush(Brush::solid(fill));
      c.setPen(ps == PenStyle::None ? Pen{PenStyle::None, m_line, 0} : Pen{ps, m_line, rgb(s.lineColour, 8)});
      c.drawPolygon(poly);
      const std::uint16_t kind = effectiveLabelKind(m_chart.type, s.labelKind);
      if (kind != kLabelNone) {
        const double mid = angle + sweep / 2;
        std::u16string first, second;
        const std::u16string pct = numfmt::formatNumber(v / total, u"0%").text;
        if (kind == kLabelPercent)
          first = pct;
        else if (kind == kLabelCategoryPercent) {
          first = labelFor(kk, i);
          second = pct;
        } else
          first = labelFor(kk, i);
        const int w = std::max(textWidth(lf, first), textWidth(lf, second)) + 2;
        const int h = second.empty() ? lh : 2 * lh;
        double x, y;
        if (doughnut) {
          const double rr = r - (R / 2) / static_cast<double>(count) / 2;
          x = cx + rr * std::sin(mid) - w / 2.0;
          y = cy - rr * std::cos(mid) - h / 2.0;
        } else {
          const double px0 = cx + (R + gapX(10)) * std::sin(mid), py0 = cy - (R + gapY(10)) * std::cos(mid);
          x = px0 - w / 2.0 * (1 - std::sin(mid));
          y = py0 - h / 2.0 * (1 + std::cos(mid));
        }
        text(first, lf, {px(x), px(y), px(x) + w, px(y) + lh}, platform::kTextCentre);
        if (!second.empty())
          text(second, lf, {px(x), px(y) + lh, px(x) + w, px(y) + 2 * lh}, platform::kTextCentre);
      }
      angle += sweep;
    }
  }
  if (doughnut) {
    c.setPen(Pen{PenStyle::Solid, m_line, platform::kBlack});
    c.setBrush(Brush::solid(platform::kWhite));
    c.drawEllipse({px(cx - R / 2), px(cy - R / 2), px(cx + R / 2), px(cy + R / 2)});
  }
}

void ChartDraw::radar() {
  const size_t n = std::min(categoryCount(), kMaxDrawnPoints);
  if (n == 0)
    return;
  const FontSpec f = font(m_chart.categoryAxis.labelFont);
  const int h = textHeight(f);
  const double cx = (left + right) / 2, cy = (top + bottom) / 2;
  double R = std::min(right - left, bottom - top) / 2;
  // Shrink the radius until every category label fits beside its spoke.
  if (m_chart.categoryAxis.has(kAxisLabels)) {
    for (size_t i = 0; i < std::min<size_t>(n, 256); ++i) {
      const double a = 2 * std::numbers::pi * static_cast<double>(i) / n;
      const double sx = std::fabs(std::sin(a)), sy = std::fabs(std::cos(a));
      const int w = textWidth(f, categoryText(i));
      if (sx > 1e-6)
        R = std::min(R, ((right - left) / 2 - w) / sx - gapX(3));
      if (sy > 1e-6)
        R = std::min(R, ((bottom - top) / 2 - h) / sy - gapY(3));
    }
  }
  if (!(R > 2))
    return;
  auto at = [&](double v, size_t i) {
    double fr = m_log ? (std::log10(std::max(v, m_min)) - std::log10(m_min)) / (std::log10(m_max) - std::log10(m_min))
                      : (v - m_min) / (m_max - m_min);
    if (!std::isfinite(fr))
      fr = 0;
    fr = std::clamp(fr, 0.0, 1.5);
    const double a = 2 * std::numbers::pi * static_cast<double>(i) / n;
    return Point{px(cx + R * fr * std::sin(a)), px(cy - R * fr * std::cos(a))};
  };
  c.setPen(Pen{PenStyle::Solid, m_line, m_book.palette[23]});
  if (m_chart.valueAxis.has(kAxisGridlines)) {
    for (double t : ticks()) {
      std::vector<Point> ring;
      for (size_t i = 0; i <= n; ++i)
        ring.push_back(at(t, i % n));
      c.drawPolyline(ring);
    }
  }
  c.setPen(Pen{PenStyle::Solid, m_line, platform::kBlack});
  for (size_t i = 0; i < n; ++i) {
    const Point p = at(m_max, i);
    c.drawLine({px(cx), px(cy)}, p);
    if (m_chart.categoryAxis.has(kAxisLabels) && i < 256) {
      const double a = 2 * std::numbers::pi * static_cast<double>(i) / n;
      const std::u16string t = categoryText(i);
      const int w = textWidth(f, t) + 2;
      const double lx = cx + (R + gapX(3)) * std::sin(a), ly = cy - (R + gapY(3)) * std::cos(a);
      const double x = lx - w / 2.0 * (1 - std::sin(a)), y = ly - h / 2.0 * (1 + std::cos(a));
      text(t, f, {px(x), px(y), px(x) + w, px(y) + h}, platform::kTextCentre);
    }
  }
  for (size_t k = 0; k < m_data.size(); ++k) {
    const ChartSeries& s = m_chart.series[k];
    const SeriesData& d = m_data[k];
    std::vector<Point> pts;
    for (size_t i = 0; i < std::min(n, d.values.size()); ++i)
      pts.push_back(at(d.values[i], i));
    if (pts.size() > 2)
      pts.push_back(pts.front());
    styledPolyline(pts, s.lineStyle, seriesLine(k));
    if (s.marker != kMarkerNone)
      for (size_t i = 0; i + (pts.size() > 2 ? 1 : 0) < pts.size(); ++i)
        drawMarker(c, m_book, s.marker, pts[i].x, pts[i].y, s.markerForeground, s.markerBackground, m_sy, seriesLine(k));
  }
}

void ChartDraw::run() {
  c.setClip(m_rect);
  // A page or a picture is white already and has its own margins.
  const int margin = m_scaled ? 0 : kMargin;
  if (!m_scaled)
    c.fillRect(m_rect, Brush::solid(platform::kWhite));
  left = m_rect.left + margin;
  top = m_rect.top + margin;
  right = m_rect.right - margin;
  bottom = m_rect.bottom - margin;
  if (right - left < 4 || bottom - top < 4)
    return;
  m_chart.type = std::clamp<std::int32_t>(m_chart.type, 0, kChartTypeCount - 1);
  m_data = evaluateSeries(m_chart, m_book, m_sheet);
  // Series and their data match one to one from here on.
  m_data.resize(m_chart.series.size());
  const bool round = isRound(m_chart.type);
  if (!m_chart.series.empty() && !round) {
    scaleAxis(m_chart, true, m_data);
    if (m_chart.type == kChartScatter)
      scaleAxis(m_chart, false, m_data);
  }
  m_log = m_chart.valueAxis.has(kAxisLogarithmic);
  m_xlog = m_chart.categoryAxis.has(kAxisLogarithmic);
  m_min = m_chart.valueAxis.minimum;
  m_max = m_chart.valueAxis.maximum;
  m_xmin = m_chart.categoryAxis.minimum;
  m_xmax = m_chart.categoryAxis.maximum;
  title();
  legend();
  if (m_chart.series.empty() || m_chart.type == kChartSurface || m_chart.type == kChartBubble)
    return;
  if (!round && m_chart.type != kChartRadar)
    axisTitles();
  if (round) {
    pie();
    return;
  }
  if (m_chart.type == kChartRadar) {
    radar();
    return;
  }
  const bool horizontal = barChart();
  if (m_chart.type == kChartScatter) {
    // The X axis is a value axis too: its labels under the plot.
    const FontSpec f = font(m_chart.categoryAxis.labelFont);
    if (m_chart.categoryAxis.has(kAxisLabels))
      bottom -= textHeight(f) + gapY(kCategoryLabelGap) + (m_chart.categoryAxis.has(kAxisTicks) ? gapY(kCategoryTickLength) : 0);
  } else {
    categoryAxisLayout(horizontal);
  }
  valueAxisLayout(horizontal);
  if (right - left < 2 || bottom - top < 2)
    return;
  drawValueAxis(horizontal);
  if (m_chart.type == kChartScatter) {
    // X ticks with the category axis's settings on the X scale.
    std::swap(m_min, m_xmin);
    std::swap(m_max, m_xmax);
    std::swap(m_log, m_xlog);
    std::swap(m_chart.valueAxis, m_chart.categoryAxis);
    drawValueAxis(true);
    std::swap(m_chart.valueAxis, m_chart.categoryAxis);
    std::swap(m_min, m_xmin);
    std::swap(m_max, m_xmax);
    std::swap(m_log, m_xlog);
    scatter();
    return;
  }
  drawCategoryAxis(horizontal);
  switch (m_chart.type) {
  case kChartColumn:
  case kChartBar: columns(horizontal); break;
  case kChartLine: lines(); break;
  case kChartArea: area(); break;
  default: break;
  }
}

} // namespace

platform::PenStyle penStyleOf(std::uint16_t lineStyle) {
  switch (lineStyle) {
  case 0: return PenStyle::Solid;
  case 1: return PenStyle::Dash;
  case 2: return PenStyle::Dot;
  case 3: return PenStyle::DashDot;
  case 4: return PenStyle::DashDotDot;
  case 5: return PenStyle::None;
  default: return PenStyle::Alternate;
  }
}

void drawMarker(Canvas& canvas, const model::Workbook& book, int kind, int x, int y, std::int32_t foreground,
                std::int32_t background, double scale, std::optional<Colour> seriesColour) {
  const bool hasFore = foreground != kNoColour, hasBack = background != kNoColour;
  auto resolve = [&](std::int32_t index, int automaticEntry) {
    const auto i = static_cast<std::uint32_t>(index);
    if (seriesColour && normaliseColourIndex(i) == kAutomaticColour)
      return *seriesColour;
    return chartColourRgb(book, i, automaticEntry);
  };
  const Colour fore = hasFore ? resolve(foreground, 0) : 0;
  const Colour back = hasBack ? resolve(background, 1) : 0;
  if (!std::isfinite(scale) || scale < 1)
    scale = 1;
  scale = std::min(scale, 100.0);
  const int width = std::max(1, px(scale));
  // Offsets from the centre in screen pixels, on the device.
  const auto d = [scale](int screen) { return px(screen * scale); };
  canvas.setPen(hasFore ? Pen{PenStyle::Solid, width, fore} : Pen{PenStyle::None, 1, 0});
  canvas.setBrush(hasBack ? Brush::solid(back) : Brush::none());
  const Rect box{x - d(3), y - d(3), x + d(5), y + d(5)};
  switch (kind) {
  case kMarkerSquare: canvas.drawRectangle(box); break;
  case kMarkerDiamond: {
    const Point p[4] = {{x, y - d(4)}, {x + d(4), y}, {x, y + d(4)}, {x - d(4), y}};
    canvas.drawPolygon(p);
    break;
  }
  case kMarkerTriangle: {
    const Point p[3] = {{x, y - d(4)}, {x + d(4), y + d(4)}, {x - d(4), y + d(4)}};
    canvas.drawPolygon(p);
    break;
  }
  case kMarkerCross:
  case kMarkerStar:
  case kMarkerPlus:
    if (hasBack)
      canvas.fillRect(box, Brush::solid(back));
    if (kind != kMarkerPlus) {
      canvas.drawLine({x - d(3), y - d(3)}, {x + d(5), y + d(5)});
      canvas.drawLine({x + d(4), y - d(3)}, {x - d(4), y + d(5)});
    }
    if (kind != kMarkerCross)
      canvas.drawLine({x, y - d(3)}, {x, y + d(5)});
    if (kind == kMarkerPlus)
      canvas.drawLine({x - d(3), y}, {x + d(5), y});
    break;
  case kMarkerShortDash:
    if (hasFore)
      canvas.fillRect({x - d(1), y, x + d(3), y + d(2)}, Brush::solid(fore));
    break;
  case kMarkerLongDash:
    if (hasFore)
      canvas.fillRect({x - d(3), y, x + d(4), y + d(2)}, Brush::solid(fore));
    break;
  case kMarkerCircle: canvas.drawEllipse(box); break;
  default: break;
  }
}

void drawChart(Canvas& canvas, const Rect& rect, ChartModel& chart, model::Workbook& book, int sheet) {
  if (rect.isEmpty())
    return;
  ChartDraw d(canvas, rect, chart, book, sheet, nullptr);
  d.run();
}

void drawChartScaled(Canvas& canvas, const Rect& rect, ChartModel& chart, model::Workbook& book, int sheet,
                     const ChartScale& scale) {
  if (rect.isEmpty())
    return;
  ChartDraw d(canvas, rect, chart, book, sheet, &scale);
  d.run();
}

bool drawChartObject(Canvas& canvas, const model::Workbook& book, const model::Sheet& sheet, int object,
                     const Rect& rect, int zoom) {
  if (object < 0 || static_cast<size_t>(object) >= sheet.objects.size())
    return false;
  auto& o = const_cast<model::DrawingObject&>(sheet.objects[static_cast<size_t>(object)]);
  ChartModel* chart = chartOf(o);
  if (!chart)
    return false;
  auto& b = const_cast<model::Workbook&>(book);
  int index = 0;
  for (int i = 0; i < b.sheetCount(); ++i)
    if (&b.sheet(i) == &sheet)
      index = i;
  const double ratio = std::clamp(zoom, 1, 10000) / 100.0;
  if (zoom == 100) {
    drawChart(canvas, rect, *chart, b, index);
  } else {
    // The chart keeps its white ground and margin over the cells, at the
    // zoom's size.
    canvas.setClip(rect);
    canvas.fillRect(rect, Brush::solid(platform::kWhite));
    const int mx = px(kMargin * ratio), my = px(kMargin * ratio);
    drawChartScaled(canvas, {rect.left + mx, rect.top + my, rect.right - mx, rect.bottom - my}, *chart, b, index,
                    {ratio, ratio});
  }
  canvas.setClip(rect);
  canvas.setPen(Pen{PenStyle::Solid, std::max(1, px(ratio)), platform::kBlack});
  canvas.setBrush(Brush::none());
  canvas.drawRectangle(rect);
  return true;
}

void drawChartSheet(Canvas& canvas, const model::Workbook& book, int sheet, const Rect& area,
                    const ChartScale* scale) {
  auto& b = const_cast<model::Workbook&>(book);
  if (sheet < 0 || sheet >= b.sheetCount())
    return;
  ChartModel* chart = chartOfSheet(b.sheet(sheet));
  if (!chart)
    return;
  // References without a sheet name mean the first worksheet.
  int host = 0;
  for (int i = 0; i < b.sheetCount(); ++i)
    if (b.sheet(i).hasGrid()) {
      host = i;
      break;
    }
  if (scale)
    drawChartScaled(canvas, area, *chart, b, host, *scale);
  else
    drawChart(canvas, area, *chart, b, host);
}

} // namespace charts
