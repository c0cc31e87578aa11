#include "fileformats/biff/chart_records.h"

#include "fileformats/biff/records.h"
#include "formula/reader.h"
#include "model/workbook.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace biff {

using charts::ChartAxis;
using charts::ChartModel;
using charts::ChartSeries;
using charts::kAutomaticColour;

namespace {

// ---- reading ----

std::uint16_t fontFromFile(std::uint16_t f) { return f > 4 ? static_cast<std::uint16_t>(f - 1) : f; }

// Only the reference forms a series may hold: single-cell and block
// references, plain or on a sheet, joined by unions in brackets. Anything
// else (a function call, a constant) is not a series reference.
bool isSeriesReference(std::span<const std::uint8_t> t) {
  size_t i = 0;
  int operands = 0;
  if (t.empty())
    return false;
  while (i < t.size()) {
    const std::uint8_t ptg = t[i];
    const std::uint8_t base = ptg < 0x20 ? ptg : static_cast<std::uint8_t>((ptg & 0x1F) | 0x20);
    size_t size = 0;
    switch (base) {
    case 0x10: size = 1; break; // union
    case 0x15: size = 1; break; // brackets
    case 0x24: size = 5; break; // ref, BIFF8 size below
    case 0x25: size = 9; break;
    case 0x3A: size = 7; break;
    case 0x3B: size = 11; break;
    case 0x2A: size = 5; break;
    case 0x2B: size = 9; break;
    case 0x3C: size = 7; break;
    case 0x3D: size = 11; break;
    default: return false;
    }
    if (base >= 0x20)
      ++operands;
    i += size;
  }
  return operands > 0;
}

// The sizes above are BIFF8's; BIFF5 references are longer (2-byte row
// with flags and 1-byte column, 3-D ones with 14 bytes of sheet data).
bool isSeriesReference5(std::span<const std::uint8_t> t) {
  size_t i = 0;
  int operands = 0;
  if (t.empty())
    return false;
  while (i < t.size()) {
    const std::uint8_t ptg = t[i];
    const std::uint8_t base = ptg < 0x20 ? ptg : static_cast<std::uint8_t>((ptg & 0x1F) | 0x20);
    size_t size = 0;
    switch (base) {
    case 0x10:
    case 0x15: size = 1; break;
    case 0x24:
    case 0x2A: size = 4; break;
    case 0x25:
    case 0x2B: size = 7; break;
    case 0x3A:
    case 0x3C: size = 18; break;
    case 0x3B:
    case 0x3D: size = 21; break;
    default: return false;
    }
    if (base >= 0x20)
      ++operands;
    i += size;
  }
  return operands > 0;
}

std::uint16_t colourFromRgb(const model::Workbook* book, std::uint32_t rgb) {
  if (!book)
    return kAutomaticColour;
  for (int i = 8; i < 64; ++i)
    if ((book->palette[static_cast<size_t>(i)] & 0xFFFFFF) == (rgb & 0xFFFFFF))
      return static_cast<std::uint16_t>(i);
  return kAutomaticColour;
}

struct CachedCell {
  model::CellValue value;
};

std::u16string numberText(double x) {
  if (!std::isfinite(x))
    x = 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  std::u16string s;
  for (const char* p = buf; *p; ++p)
    s += static_cast<char16_t>(*p);
  return s;
}

// An array constant of one column holding the cached cells.
std::u16string arrayConstant(const std::map<int, model::CellValue>& cells, int count) {
  if (count <= 0 && !cells.empty())
    count = cells.rbegin()->first + 1;
  count = std::min(count, static_cast<int>(charts::kMaxSeriesPoints));
  if (count <= 0)
    return {};
  std::u16string s = u"={";
  for (int i = 0; i < count; ++i) {
    if (i)
      s += u';';
    const auto it = cells.find(i);
    if (it == cells.end() || it->second.isEmpty()) {
      s += u"\"\"";
      continue;
    }
    const model::CellValue& v = it->second;
    if (v.isNumber())
      s += numberText(v.numberValue());
    else if (v.isBoolean())
      s += v.booleanValue() ? u"TRUE" : u"FALSE";
    else if (v.isError())
      s += model::errorText(v.errorValue());
    else if (v.isString()) {
      s += u'"';
      for (char16_t c : v.stringValue().substr(0, 255)) {
        if (c == u'"')
          s += u'"';
        s += c;
      }
      s += u'"';
    }
  }
  s += u'}';
  return s;
}

class ChartReader {
public:
  explicit ChartReader(const ChartReadContext& ctx) : m_ctx(ctx), m_b8(ctx.tokens.version == 8) {
    m_chart.showLegend = 0;
    m_chart.categoryAxis.flags = 0;
    m_chart.valueAxis.flags = 0;
  }

  ChartModel run(std::span<const ChartRecord> records) {
    for (const ChartRecord& r : records)
      record(r);
    finish();
    return std::move(m_chart);
  }

private:
  struct Frame {
    std::uint16_t id = 0;
    int value = 0; // AXISPARENT: axis group; AXIS: axis type; DATAFORMAT: point
  };
  struct TextBlock {
    std::u16string text;
    bool hasText = false;
    std::uint16_t font = 0;
    bool hasFont = false;
    int link = 0;
    int series = 0;
    int defaultId = 0;
    bool inLegend = false;
  };

  bool inside(std::uint16_t id) const {
    return std::any_of(m_stack.begin(), m_stack.end(), [id](const Frame& f) { return f.id == id; });
  }
  const Frame* innermost(std::uint16_t id) const {
    for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it)
      if (it->id == id)
        return &*it;
    return nullptr;
  }
  bool inFirstAxisGroup() const {
    const Frame* f = innermost(rtAXISPARENT);
    return !f || f->value == 0;
  }
  ChartSeries* series() {
    if (!inside(rtSERIES) || m_chart.series.empty())
      return nullptr;
    return &m_chart.series.back();
  }
  ChartAxis* axis() {
    const Frame* f = innermost(rtAXIS);
    if (!f || !inFirstAxisGroup())
      return nullptr;
    if (f->value == 0)
      return &m_chart.categoryAxis;
    if (f->value == 1)
      return &m_chart.valueAxis;
    return nullptr; // the series axis of 3-D charts
  }
  std::uint16_t colour(std::uint32_t rgb, std::uint16_t icv, bool hasIcv) const {
    if (m_b8 && hasIcv)
      return charts::normaliseColourIndex(icv);
    return colourFromRgb(m_ctx.tokens.book, rgb);
  }
  bool readSeriesText(ByteCursor& c, std::u16string& out) {
    std::uint16_t id = 0;
    std::uint8_t n = 0;
    if (!(c.u16(id) && c.u8(n)))
      return false;
    return m_ctx.readChars ? m_ctx.readChars(c, n, out) : false;
  }

  void record(const ChartRecord& r) {
    if (r.id == rtBEGIN) {
      Frame f{m_lastId, m_lastValue};
      if (m_stack.size() < 64)
        m_stack.push_back(f);
      else
        ++m_overflow;
      if (f.id == rtTEXT) {
        m_texts.push_back(m_pendingText);
        m_pendingText = TextBlock{};
      }
      m_lastId = 0;
      return;
    }
    if (r.id == rtEND) {
      if (m_overflow) {
        --m_overflow;
        return;
      }
      if (m_stack.empty())
        return;
      const Frame f = m_stack.back();
      m_stack.pop_back();
      if (f.id == rtTEXT && !m_texts.empty()) {
        applyText(m_texts.back());
        m_texts.pop_back();
      }
      m_lastId = 0;
      return;
    }
    m_lastId = r.id;
    m_lastValue = 0;
    ByteCursor c(r.body);
    switch (r.id) {
    case rtSERIES: {
      if (m_stack.empty() || m_stack.back().id != rtCHART || m_chart.series.size() >= 255)
        break;
      ChartSeries s;
      std::uint16_t sdtX = 0, sdtY = 0, cx = 0, cy = 0;
      if (c.u16(sdtX) && c.u16(sdtY) && c.u16(cx) && c.u16(cy)) {
        s.categoryCount = cx;
        s.valueCount = cy;
      }
      m_chart.series.push_back(std::move(s));
      break;
    }
    case rtAI: aiRecord(c); break;
    case rtSERIESTEXT: {
      std::u16string text;
      if (!readSeriesText(c, text))
        break;
      if (text.size() > 255)
        text.resize(255);
      if (!m_texts.empty() && inside(rtTEXT)) {
        m_texts.back().text = std::move(text);
        m_texts.back().hasText = true;
      } else if (ChartSeries* s = series()) {
        s->name = std::move(text);
      }
      break;
    }
    case rtDATAFORMAT: {
      std::uint16_t xi = 0;
      if (c.u16(xi))
        m_lastValue = xi;
      break;
    }
    case rtLINEFORMAT: lineFormat(c); break;
    case rtAREAFORMAT: areaFormat(c); break;
    case rtMARKERFORMAT: markerFormat(c); break;
    case rtATTACHEDLABEL: {
      std::uint16_t grbit = 0;
      if (!c.u16(grbit) || inside(rtFRAME))
        break;
      const Frame* df = innermost(rtDATAFORMAT);
      if (!df || df->value != 0xFFFF)
        break;
      const std::uint16_t kind = grbit & charts::kLabelKindMask;
      if (ChartSeries* s = series())
        s->labelKind = kind;
      else if (inside(rtCHARTFORMAT) && inFirstAxisGroup())
        m_groupLabels = kind;
      break;
    }
    case rtDEFAULTTEXT: {
      std::uint16_t id = 0;
      if (c.u16(id))
        m_defaultTextId = id;
      break;
    }
    case rtTEXT: {
      m_pendingText = TextBlock{};
      m_pendingText.defaultId = m_defaultTextId;
      m_pendingText.inLegend = inside(rtLEGEND);
      m_defaultTextId = 0;
      break;
    }
    case rtFONTX: {
      std::uint16_t f = 0;
      if (!c.u16(f))
        break;
      f = fontFromFile(f);
      if (!m_texts.empty() && inside(rtTEXT)) {
        m_texts.back().font = f;
        m_texts.back().hasFont = true;
      } else if (ChartAxis* a = axis()) {
        a->labelFont = f;
      }
      break;
    }
    case rtOBJECTLINK: {
      std::uint16_t link = 0, var1 = 0;
      if (!m_texts.empty() && inside(rtTEXT) && c.u16(link) && c.u16(var1)) {
        m_texts.back().link = link;
        m_texts.back().series = var1;
      }
      break;
    }
    case rtAXISPARENT: {
      std::uint16_t iax = 0;
      if (c.u16(iax))
        m_lastValue = iax;
      break;
    }
    case rtBAR:
    case rtLINE:
    case rtPIE:
    case rtAREA:
    case rtSCATTER:
    case rtRADAR:
    case rtRADARAREA:
    case rtSURFACE: chartGroup(r); break;
    case rtLEGEND: {
      if (!inFirstAxisGroup())
        break;
      m_chart.showLegend = 1;
      if (r.body.size() > 16)
        m_chart.legendPlacement = r.body[16];
      break;
    }
    case rtAXIS: {
      std::uint16_t type = 0;
      if (!c.u16(type))
        type = 0xFF;
      m_lastValue = type;
      m_axisLineId = -1;
      if (inFirstAxisGroup()) {
        if (type == 0)
          m_chart.categoryAxis.flags = charts::kAxisLine;
        else if (type == 1)
          m_chart.valueAxis.flags = charts::kAxisLine;
      }
      break;
    }
    case rtAXISLINEFORMAT: {
      std::uint16_t id = 0;
      m_axisLineId = c.u16(id) ? id : -1;
      break;
    }
    case rtTICK: {
      std::uint8_t major = 0, minor = 0, label = 0;
      ChartAxis* a = axis();
      if (!a || !(c.u8(major) && c.u8(minor) && c.u8(label)))
        break;
      a->flags = static_cast<std::uint8_t>((a->flags & ~(charts::kAxisTicks | charts::kAxisLabels)) |
                                           (major != 0 ? charts::kAxisTicks : 0) |
                                           (label != 0 ? charts::kAxisLabels : 0));
      break;
    }
    case rtVALUERANGE: {
      double mn = 0, mx = 0, major = 0, minor = 0, cross = 0;
      std::uint16_t grbit = 0;
      ChartAxis* a = axis();
      if (!a || !(c.f64(mn) && c.f64(mx) && c.f64(major) && c.f64(minor) && c.f64(cross) && c.u16(grbit)))
        break;
      std::uint8_t f = a->flags & ~(charts::kAxisLogarithmic | charts::kAxisMinimumFixed |
                                    charts::kAxisMaximumFixed | charts::kAxisStepFixed);
      if (grbit & 0x20)
        f |= charts::kAxisLogarithmic;
      if (!(grbit & 1))
        f |= charts::kAxisMinimumFixed;
      if (!(grbit & 2))
        f |= charts::kAxisMaximumFixed;
      if (!(grbit & 4))
        f |= charts::kAxisStepFixed;
      a->flags = f;
      a->minimum = (grbit & 1) ? 0 : mn;
      a->maximum = (grbit & 2) ? 0 : mx;
      a->step = (grbit & 4) ? 0 : major;
      break;
    }
    case rtSIINDEX: {
      std::uint16_t n = 0;
      if (c.u16(n))
        m_cacheIndex = n;
      break;
    }
    case rtNUMBER:
    case rtLABEL:
    case rtBOOLERR:
    case rtBLANK: cachedCell(r); break;
    default: break;
    }
  }

  void aiRecord(ByteCursor& c) {
    ChartSeries* s = series();
    std::uint8_t id = 0, rt = 0;
    std::uint16_t grbit = 0, ifmt = 0, cce = 0;
    if (!s || inside(rtTEXT) || !(c.u8(id) && c.u8(rt) && c.u16(grbit) && c.u16(ifmt) && c.u16(cce)))
      return;
    std::span<const std::uint8_t> tokens;
    if (!c.bytes(cce, tokens))
      tokens = {};
    std::optional<std::u16string> text;
    if (rt == 2 && (m_b8 ? isSeriesReference(tokens) : isSeriesReference5(tokens))) {
      std::u16string t;
      TokenContext tc = m_ctx.tokens;
      tc.sheet = -1;
      if (tokensToFormulaText(tokens, {}, 0, 0, tc, t) && t.size() > 1)
        text = std::move(t);
    }
    if (id == 1) {
      if (rt == 2) {
        s->values = std::move(text);
        s->cached &= static_cast<std::uint8_t>(~charts::kCachedValues);
      } else if (rt == 1) {
        s->cached |= charts::kCachedValues;
      }
    } else if (id == 2) {
      if (rt == 0) {
        s->categories.reset();
        s->cached &= static_cast<std::uint8_t>(~charts::kCachedCategories);
      } else if (rt == 1) {
        s->cached |= charts::kCachedCategories;
      } else if (rt == 2) {
        s->categories = std::move(text);
      }
    }
  }

  void lineFormat(ByteCursor& c) {
    std::uint32_t rgb = 0;
    std::uint16_t pattern = 0, weight = 0, flags = 0, icv = 0;
    if (!(c.u32(rgb) && c.u16(pattern) && c.u16(weight) && c.u16(flags)))
      return;
    const bool hasIcv = c.u16(icv);
    if (inside(rtFRAME))
      return;
    if (m_lastAxisLine()) {
      ChartAxis* a = axis();
      if (a && m_axisLineId == 0)
        a->flags = static_cast<std::uint8_t>(pattern == 5 ? a->flags & ~charts::kAxisLine : a->flags | charts::kAxisLine);
      else if (a && m_axisLineId == 1)
        a->flags = static_cast<std::uint8_t>(pattern == 5 ? a->flags & ~charts::kAxisGridlines
                                                          : a->flags | charts::kAxisGridlines);
      m_axisLineId = -1;
      return;
    }
    ChartSeries* s = series();
    const Frame* df = innermost(rtDATAFORMAT);
    if (!s || !df || df->value != 0xFFFF)
      return;
    s->lineStyle = std::min<std::uint16_t>(pattern, 8);
    s->lineColour = (flags & 1) ? kAutomaticColour : colour(rgb, icv, hasIcv);
  }
  bool m_lastAxisLine() const { return m_axisLineId >= 0 && inside(rtAXIS); }

  void areaFormat(ByteCursor& c) {
    std::uint32_t fore = 0, back = 0;
    std::uint16_t pattern = 0, flags = 0, icv = 0;
    if (!(c.u32(fore) && c.u32(back) && c.u16(pattern) && c.u16(flags)))
      return;
    const bool hasIcv = c.u16(icv);
    ChartSeries* s = series();
    const Frame* df = innermost(rtDATAFORMAT);
    if (!s || !df || df->value != 0xFFFF || inside(rtFRAME))
      return;
    s->fillColour = (flags & 1) ? kAutomaticColour : colour(fore, icv, hasIcv);
  }

  void markerFormat(ByteCursor& c) {
    std::uint32_t fore = 0, back = 0;
    std::uint16_t kind = 0, flags = 0, icvFore = 0, icvBack = 0;
    if (!(c.u32(fore) && c.u32(back) && c.u16(kind) && c.u16(flags)))
      return;
    const bool hasIcv = c.u16(icvFore) && c.u16(icvBack);
    ChartSeries* s = series();
    const Frame* df = innermost(rtDATAFORMAT);
    if (!s || !df || df->value != 0xFFFF)
      return;
    s->marker = kind < charts::kMarkerKindCount ? kind : static_cast<std::uint16_t>(charts::kMarkerNone);
    const bool automatic = flags & 1;
    s->markerForeground = (flags & 0x20) ? charts::kNoColour
                          : automatic    ? kAutomaticColour
                                         : colour(fore, icvFore, hasIcv);
    s->markerBackground = (flags & 0x10) ? charts::kNoColour
                          : automatic    ? kAutomaticColour
                                         : colour(back, icvBack, hasIcv);
  }

  void chartGroup(const ChartRecord& r) {
    if (m_typeSet || !inside(rtCHARTFORMAT) || !inFirstAxisGroup())
      return;
    m_typeSet = true;
    const auto& b = r.body;
    switch (r.id) {
    case rtBAR: m_chart.type = b.size() > 4 && (b[4] & 1) ? charts::kChartBar : charts::kChartColumn; break;
    case rtLINE: m_chart.type = charts::kChartLine; break;
    case rtPIE:
      m_chart.type = b.size() >= 4 && (b[2] | b[3]) != 0 ? charts::kChartDoughnut : charts::kChartPie;
      break;
    case rtAREA: m_chart.type = charts::kChartArea; break;
    case rtSCATTER:
      m_chart.type = m_b8 && b.size() > 4 && (b[4] & 1) ? charts::kChartBubble : charts::kChartScatter;
      break;
    case rtRADAR:
    case rtRADARAREA: m_chart.type = charts::kChartRadar; break;
    case rtSURFACE: m_chart.type = charts::kChartSurface; break;
    default: break;
    }
  }

  void cachedCell(const ChartRecord& r) {
    if (!m_stack.empty())
      return;
    ByteCursor c(r.body);
    std::uint16_t row = 0, col = 0, xf = 0;
    if (!(c.u16(row) && c.u16(col) && c.u16(xf)) || col >= 255 || row >= charts::kMaxSeriesPoints)
      return;
    model::CellValue v;
    if (r.id == rtNUMBER) {
      double x = 0;
      if (!c.f64(x))
        return;
      v = model::CellValue::number(std::isfinite(x) ? x : 0);
    } else if (r.id == rtLABEL) {
      std::u16string text;
      std::uint16_t n = 0;
      if (!(c.u16(n) && m_ctx.readChars && m_ctx.readChars(c, n, text)))
        return;
      v = model::CellValue::string(text);
    } else if (r.id == rtBOOLERR) {
      std::uint8_t value = 0, isError = 0;
      if (!(c.u8(value) && c.u8(isError)))
        return;
      if (isError) {
        const int e = errorIndexOfCode(value);
        v = model::CellValue::error(static_cast<model::ErrorCode>(e < 0 ? 6 : e));
      } else {
        v = model::CellValue::boolean(value != 0);
      }
    }
    // Without SIINDEX (BIFF5) the cells are the series' values.
    const int which = m_b8 ? m_cacheIndex : 1;
    if (which != 1 && which != 2)
      return;
    m_cache[which == 1 ? 0 : 1][col][row] = std::move(v);
  }

  void applyText(const TextBlock& t) {
    if (t.inLegend) {
      if (t.hasFont)
        m_chart.legendFont = t.font;
      return;
    }
    if (t.defaultId == 2 || t.defaultId == 3) {
      if (t.hasFont)
        (t.defaultId == 2 ? m_chart.extraFont1 : m_chart.extraFont2) = t.font;
      return;
    }
    switch (t.link) {
    case 1:
      if (t.hasText)
        m_chart.title = t.text;
      if (t.hasFont)
        m_chart.titleFont = t.font;
      break;
    case 2:
    case 3: {
      ChartAxis& a = t.link == 2 ? m_chart.valueAxis : m_chart.categoryAxis;
      if (t.hasText)
        a.title = t.text;
      if (t.hasFont)
        a.titleFont = t.font;
      break;
    }
    case 4:
      if (t.series >= 0 && static_cast<size_t>(t.series) < m_chart.series.size() && t.hasFont)
        m_chart.series[static_cast<size_t>(t.series)].labelFont = t.font;
      break;
    default: break;
    }
  }

  void finish() {
    if (m_groupLabels)
      for (ChartSeries& s : m_chart.series)
        s.labelKind = m_groupLabels;
    for (size_t k = 0; k < m_chart.series.size(); ++k) {
      ChartSeries& s = m_chart.series[k];
      const int col = static_cast<int>(k);
      if (s.cached & charts::kCachedValues) {
        auto it = m_cache[0].find(col);
        s.values = it == m_cache[0].end() ? std::u16string() : arrayConstant(it->second, s.valueCount);
        if (s.values->empty())
          s.values.reset();
      }
      if (s.cached & charts::kCachedCategories) {
        auto it = m_cache[1].find(col);
        if (it != m_cache[1].end())
          s.categories = arrayConstant(it->second, s.categoryCount);
        if (s.categories && s.categories->empty())
          s.categories.reset();
      }
    }
    if (m_chart.valueAxis.flags == 0 && m_chart.categoryAxis.flags == 0) {
      // No axes at all (pie charts): the defaults of a new chart.
      m_chart.categoryAxis.flags = ChartAxis{}.flags;
      m_chart.valueAxis.flags = ChartAxis{}.flags;
    }
    charts::normaliseChart(m_chart);
  }

  const ChartReadContext& m_ctx;
  const bool m_b8;
  ChartModel m_chart;
  std::vector<Frame> m_stack;
  int m_overflow = 0;
  std::uint16_t m_lastId = 0;
  int m_lastValue = 0;
  std::vector<TextBlock> m_texts;
  TextBlock m_pendingText;
  int m_defaultTextId = 0;
  int m_axisLineId = -1;
  bool m_typeSet = false;
  std::uint16_t m_groupLabels = 0;
  int m_cacheIndex = 0;
  // [values, categories] -> series -> point -> value
  std::map<int, std::map<int, model::CellValue>> m_cache[2];
};

} // namespace

charts::ChartModel readChartRecords(std::span<const ChartRecord> records, const ChartReadContext& ctx) {
  ChartReader reader(ctx);
  return reader.run(records);
}

} // namespace biff

namespace biff {
namespace {

// ---- writing ----

class RecordBuilder {
public:
  void u8(std::uint8_t v) { m_body.push_back(v); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void f64(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    u32(static_cast<std::uint32_t>(bits));
    u32(static_cast<std::uint32_t>(bits >> 32));
  }
  void zeros(size_t n) { m_body.insert(m_body.end(), n, 0); }
  void bytes(std::span<const std::uint8_t> b) { m_body.insert(m_body.end(), b.begin(), b.end()); }
  void emit(std::uint16_t id) {
    // Chart records are small; a body past the format's limit is cut.
    const size_t n = std::min<size_t>(m_body.size(), 8224);
    const std::uint8_t h[4] = {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8),
                               static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)};
    m_out.insert(m_out.end(), h, h + 4);
    m_out.insert(m_out.end(), m_body.begin(), m_body.begin() + static_cast<std::ptrdiff_t>(n));
    m_body.clear();
  }
  void r16(std::uint16_t id, std::uint16_t v) {
    u16(v);
    emit(id);
  }
  void empty(std::uint16_t id) { emit(id); }
  std::vector<std::uint8_t>& out() { return m_out; }

private:
  std::vector<std::uint8_t> m_body;
  std::vector<std::uint8_t> m_out;
};

std::u16string columnLetters(int c) {
  std::u16string s;
  c += 1;
  while (c > 0) {
    const int r = (c - 1) % 26;
    s.insert(s.begin(), static_cast<char16_t>(u'A' + r));
    c = (c - 1) / 26;
  }
  return s;
}

std::u16string rowNumber(int r) {
  std::u16string s;
  for (char ch : std::to_string(r + 1))
    s += static_cast<char16_t>(ch);
  return s;
}

std::u16string quotedSheet(std::u16string_view name) {
  std::u16string s = u"'";
  for (char16_t c : name) {
    if (c == u'\'')
      s += u'\'';
    s += c;
  }
  s += u"'!";
  return s;
}

class ChartWriter {
public:
  ChartWriter(ChartModel chart, model::Workbook& book, const ChartWriteContext& ctx)
      : m_chart(std::move(chart)), m_book(book), m_ctx(ctx), m_b8(ctx.version != 7) {}

  std::vector<std::uint8_t> run();

private:
  struct SeriesPlan {
    std::vector<std::uint8_t> valueTokens, categoryTokens;
    bool valuesCached = false, categoriesCached = false;
    bool hasCategories = false;
    std::vector<model::CellValue> values, categories;
    std::uint16_t valueType = 1, categoryType = 1;
    std::uint16_t valueCount = 0, categoryCount = 0;
  };

  // Every series reference goes to the file as a 3-D reference, so that it
  // names its sheet wherever the chart is read; a text that is an array
  // constant (or anything not a block) is written as values cached in the
  // chart.
  bool planReference(const std::optional<std::u16string>& text, std::vector<std::uint8_t>& tokens,
                     std::vector<model::CellValue>& cells, bool& cached, std::uint16_t& type,
                     std::uint16_t& count) {
    cached = false;
    if (!text)
      return false;
    formula::EvalContext ec;
    ec.book = &m_book;
    ec.sheet = m_ctx.hostSheet;
    ec.arrayMode = true;
    const model::CellValue v = formula::evaluateSpan(*text, 0, text->size(), ec);
    std::vector<model::CellValue> items;
    if (v.isReference()) {
      const model::SheetRange r = v.referenceValue();
      const int sheet = r.sheet < 0 ? m_ctx.hostSheet : r.sheet;
      if (sheet < 0 || sheet >= m_book.sheetCount())
        return false;
      const model::CellRange cr = r.range();
      std::u16string ref = quotedSheet(m_book.sheet(sheet).name) + u"$" + columnLetters(cr.firstColumn) +
                           u"$" + rowNumber(cr.firstRow);
      if (cr.firstRow != cr.lastRow || cr.firstColumn != cr.lastColumn)
        ref += u":$" + columnLetters(cr.lastColumn) + u"$" + rowNumber(cr.lastRow);
      if (m_ctx.compileReference)
        tokens = m_ctx.compileReference(ref).tokens;
      const size_t n = static_cast<size_t>(cr.lastRow - cr.firstRow + 1) *
                       static_cast<size_t>(cr.lastColumn - cr.firstColumn + 1);
      count = static_cast<std::uint16_t>(std::min<size_t>(n, 0xFFFF));
      type = 1;
      const model::Sheet& s = m_book.sheet(sheet);
      s.cells.forEachIn(cr, [&](const model::CellRecord& c) {
        if (!c.value.isNumber() && !c.value.isError() && !c.value.isEmpty())
          type = 3;
      });
      return true;
    }
    // A series whose sheet is gone keeps the reference the format has for
    // that (3-D, #REF!), which other programs read as a series without data.
    if (v.isError() && m_ctx.compileReference) {
      std::vector<std::uint8_t> t = m_ctx.compileReference(*text).tokens;
      if (m_b8 ? isSeriesReference(t) : isSeriesReference5(t)) {
        tokens = std::move(t);
        count = 0;
        type = 1;
        return true;
      }
    }
    const model::CellValue d = v.isArray() ? v : model::CellValue::array(1, 1, {v});
    if (v.isError() || v.isMultiArea())
      return false;
    for (int i = 0; i < d.arrayRows(); ++i)
      for (int j = 0; j < d.arrayColumns() && cells.size() < 0xFFFF; ++j)
        cells.push_back(d.arrayItem(i, j));
    cached = true;
    count = static_cast<std::uint16_t>(cells.size());
    type = 1;
    for (const model::CellValue& c : cells)
      if (!c.isNumber() && !c.isError())
        type = 3;
    return true;
  }

  void ai(std::uint8_t id, std::uint8_t rt, std::span<const std::uint8_t> tokens) {
    b.u8(id);
    b.u8(rt);
    b.u16(0);
    b.u16(0);
    b.u16(static_cast<std::uint16_t>(tokens.size()));
    b.bytes(tokens);
    b.emit(rtAI);
  }
  void seriesText(std::u16string_view text) {
    text = text.substr(0, std::min<size_t>(text.size(), 255));
    b.u16(0);
    if (m_b8) {
      b.u8(static_cast<std::uint8_t>(text.size()));
      const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
      b.u8(wide ? 1 : 0);
      for (char16_t c : text) {
        if (wide)
          b.u16(c);
        else
          b.u8(static_cast<std::uint8_t>(c));
      }
    } else {
      std::string n = m_ctx.narrow ? m_ctx.narrow(text) : std::string();
      if (n.size() > 255)
        n.resize(255);
      b.u8(static_cast<std::uint8_t>(n.size()));
      b.bytes({reinterpret_cast<const std::uint8_t*>(n.data()), n.size()});
    }
    b.emit(rtSERIESTEXT);
  }
  std::uint32_t rgb(std::uint16_t index, int automatic) const {
    return charts::chartColourRgb(m_book, index, automatic) & 0xFFFFFF;
  }
  std::uint16_t fileFont(std::uint16_t f) const { return f >= 4 ? static_cast<std::uint16_t>(f + 1) : f; }
  void lineFormat(std::uint32_t colour, std::uint16_t pattern, std::uint16_t weight, std::uint16_t flags,
                  std::uint16_t icv) {
    b.u32(colour);
    b.u16(pattern);
    b.u16(weight);
    b.u16(flags);
    if (m_b8)
      b.u16(icv);
    b.emit(rtLINEFORMAT);
  }
  void areaFormat(std::uint32_t fore, std::uint32_t back, std::uint16_t flags, std::uint16_t icvFore,
                  std::uint16_t icvBack) {
    b.u32(fore);
    b.u32(back);
    b.u16(1);
    b.u16(flags);
    if (m_b8) {
      b.u16(icvFore);
      b.u16(icvBack);
    }
    b.emit(rtAREAFORMAT);
  }
  void begin() { b.empty(rtBEGIN); }
  void end() { b.empty(rtEND); }
  // A text block: TEXT, BEGIN, FONTX, AI, SERIESTEXT, OBJECTLINK, END.
  void textBlock(std::u16string_view text, std::uint16_t font, int link, int series, std::uint16_t flags,
                 int x, int y) {
    b.u8(2); // centred
    b.u8(2);
    b.u16(1); // transparent
    b.u32(0);
    b.u32(static_cast<std::uint32_t>(x));
    b.u32(static_cast<std::uint32_t>(y));
    b.u32(0);
    b.u32(0);
    b.u16(flags);
    if (m_b8) {
      b.u16(77);
      b.u16(0);
      b.u16(0);
    }
    b.emit(rtTEXT);
    begin();
    b.r16(rtFONTX, fileFont(font));
    ai(0, 1, {});
    if (!text.empty())
      seriesText(text);
    if (link) {
      b.u16(static_cast<std::uint16_t>(link));
      b.u16(static_cast<std::uint16_t>(series));
      b.u16(link == 4 ? 0xFFFF : 0);
      b.emit(rtOBJECTLINK);
    }
    end();
  }
  void axis(bool value);

  ChartModel m_chart;
  model::Workbook& m_book;
  const ChartWriteContext& m_ctx;
  const bool m_b8;
  RecordBuilder b;
};

void ChartWriter::axis(bool value) {
  const ChartAxis& a = value ? m_chart.valueAxis : m_chart.categoryAxis;
  b.u16(value ? 1 : 0);
  b.zeros(16);
  b.emit(rtAXIS);
  begin();
  if (value || m_chart.type == charts::kChartScatter || m_chart.type == charts::kChartBubble) {
    const bool minFixed = a.has(charts::kAxisMinimumFixed), maxFixed = a.has(charts::kAxisMaximumFixed),
               stepFixed = a.has(charts::kAxisStepFixed) && !a.has(charts::kAxisLogarithmic);
    b.f64(minFixed ? a.minimum : 0);
    b.f64(maxFixed ? a.maximum : 0);
    b.f64(stepFixed ? a.step : 0);
    b.f64(0);
    b.f64(0);
    std::uint16_t options = 0x011F;
    if (minFixed)
      options &= ~1u;
    if (maxFixed)
      options &= ~2u;
    if (stepFixed)
      options &= ~4u;
    if (a.has(charts::kAxisLogarithmic))
      options |= 0x20;
    b.u16(options);
    b.emit(rtVALUERANGE);
  } else {
    b.u16(1);
    b.u16(1);
    b.u16(1);
    b.u16(1);
    b.emit(rtCATSERRANGE);
    if (m_b8) {
      b.u16(0);
      b.u16(0);
      b.u16(1);
      b.u16(0);
      b.u16(1);
      b.u16(0);
      b.u16(0);
      b.u16(0);
      b.u16(0xEF);
      b.emit(rtAXCEXT);
    }
  }
  b.u8(a.has(charts::kAxisTicks) ? 2 : 0);
  b.u8(0);
  b.u8(a.has(charts::kAxisLabels) ? 3 : 0);
  b.u8(1);
  b.zeros(20);
  b.u16(0x23);
  if (m_b8) {
    b.u16(77);
    b.u16(0);
  }
  b.emit(rtTICK);
  b.r16(rtFONTX, fileFont(a.labelFont));
  if (!a.has(charts::kAxisLine)) {
    b.r16(rtAXISLINEFORMAT, 0);
    lineFormat(0, 5, 0xFFFF, 0, 77);
  }
  if (a.has(charts::kAxisGridlines)) {
    b.r16(rtAXISLINEFORMAT, 1);
    lineFormat(0, 0, 0xFFFF, 0, 77);
  }
  end();
}

std::vector<std::uint8_t> ChartWriter::run() {
  charts::normaliseChart(m_chart);
  const bool round = m_chart.type == charts::kChartPie || m_chart.type == charts::kChartDoughnut;
  // 1. Page settings.
  b.empty(rtHEADER);
  b.empty(rtFOOTER);
  b.r16(rtHCENTER, 0);
  b.r16(rtVCENTER, 0);
  b.u16(0);
  b.u16(255);
  b.u16(1);
  b.u16(1);
  b.u16(1);
  b.u16(6);
  b.u16(47650);
  b.u16(98);
  b.f64(1.0);
  b.f64(1.0);
  b.u16(27630);
  b.emit(rtSETUP);
  b.r16(0x0033, 3);
  // 2. Font basis.
  const int widthTw = std::clamp(m_ctx.widthPx, 1, 4000) * 15, heightTw = std::clamp(m_ctx.heightPx, 1, 4000) * 15;
  if (m_b8) {
    for (std::uint16_t f : {m_chart.legendFont, m_chart.categoryAxis.labelFont, m_chart.titleFont,
                            m_chart.valueAxis.titleFont}) {
      const std::uint16_t height = f < m_book.fonts.size() ? m_book.fonts[f].heightTwips : 200;
      b.u16(static_cast<std::uint16_t>(widthTw));
      b.u16(static_cast<std::uint16_t>(heightTw));
      b.u16(height);
      b.u16(0);
      b.u16(fileFont(f));
      b.emit(rtFBI);
    }
  }
  // 3. The chart.
  b.r16(rtCHART_UNITS, 0);
  b.u32(0);
  b.u32(0);
  b.u32(0x02F1C000);
  b.u32(0x01BB4000);
  b.emit(rtCHART);
  begin();
  b.u16(1);
  b.u16(1);
  b.emit(rtSCL);
  if (m_b8) {
    b.u32(0x10000);
    b.u32(0x10000);
    b.emit(rtPLOTGROWTH);
  }
  // 4. Series.
  std::vector<SeriesPlan> plans(m_chart.series.size());
  for (size_t k = 0; k < m_chart.series.size(); ++k) {
    const ChartSeries& s = m_chart.series[k];
    SeriesPlan& p = plans[k];
    (void)planReference(s.values, p.valueTokens, p.values, p.valuesCached, p.valueType, p.valueCount);
    p.hasCategories = planReference(s.categories, p.categoryTokens, p.categories, p.categoriesCached,
                                    p.categoryType, p.categoryCount);
    b.u16(p.categoryType);
    b.u16(p.valueType);
    b.u16(p.categoryCount);
    b.u16(p.valueCount);
    b.u16(1);
    b.u16(0);
    b.emit(rtSERIES);
    begin();
    ai(0, 1, {});
    if (s.name)
      seriesText(*s.name);
    if (p.valuesCached || p.valueTokens.empty())
      ai(1, 1, {});
    else
      ai(1, 2, p.valueTokens);
    if (!p.hasCategories)
      ai(2, 0, {});
    else if (p.categoriesCached || p.categoryTokens.empty())
      ai(2, 1, {});
    else
      ai(2, 2, p.categoryTokens);
    if (m_b8)
      ai(3, 1, {});
    b.u16(0xFFFF);
    b.u16(static_cast<std::uint16_t>(k));
    b.u16(static_cast<std::uint16_t>(k));
    b.u16(0);
    b.emit(rtDATAFORMAT);
    begin();
    if (m_b8)
      b.r16(0x105F, 0);
    // The automatic bit is set exactly when the colour is automatic: other
    // readers take the colour only when the bit is clear.
    const bool lineAuto = s.lineColour == kAutomaticColour;
    lineFormat(rgb(s.lineColour, 8), std::min<std::uint16_t>(s.lineStyle, 8), 0, lineAuto ? 1 : 0,
               lineAuto ? 77 : s.lineColour);
    const bool fillAuto = s.fillColour == kAutomaticColour;
    areaFormat(fillAuto ? 0xFFFFFF : rgb(s.fillColour, 9), 0, fillAuto ? 1 : 0, fillAuto ? 77 : s.fillColour,
               77);
    b.r16(rtPIEFORMAT, 0);
    {
      const bool noFore = s.markerForeground == charts::kNoColour;
      const bool noBack = s.markerBackground == charts::kNoColour;
      const bool foreAuto = s.markerForeground == kAutomaticColour;
      const bool backAuto = s.markerBackground == kAutomaticColour;
      const bool automatic = (foreAuto || noFore) && (backAuto || noBack) && !(noFore && noBack);
      b.u32(noFore ? 0 : rgb(static_cast<std::uint16_t>(s.markerForeground), 0));
      b.u32(noBack ? 0 : rgb(static_cast<std::uint16_t>(s.markerBackground), 1));
      b.u16(s.marker);
      b.u16(static_cast<std::uint16_t>((automatic && foreAuto && backAuto ? 1 : 0) | (noFore ? 0x20 : 0) |
                                       (noBack ? 0x10 : 0)));
      if (m_b8) {
        b.u16(noFore || foreAuto ? 77 : static_cast<std::uint16_t>(s.markerForeground));
        b.u16(noBack || backAuto ? 77 : static_cast<std::uint16_t>(s.markerBackground));
        b.u32(100);
      }
      b.emit(rtMARKERFORMAT);
    }
    if (s.labelKind & charts::kLabelKindMask)
      b.r16(rtATTACHEDLABEL, s.labelKind & charts::kLabelKindMask);
    end();
    b.r16(rtSERTOCRT, 0);
    end();
  }
  // 5. Sheet properties and default texts.
  b.u16(14);
  b.u16(0);
  b.emit(rtSHTPROPS);
  if (m_b8) {
    for (std::uint16_t id : {std::uint16_t{2}, std::uint16_t{3}}) {
      b.r16(rtDEFAULTTEXT, id);
      textBlock({}, id == 2 ? m_chart.extraFont1 : m_chart.extraFont2, 0, 0, 0x00B1, 0, 0);
    }
  }
  b.r16(rtAXESUSED, 1);
  // 6. The axis group.
  b.u16(0);
  b.u32(163);
  b.u32(500);
  b.u32(3439);
  b.u32(3232);
  b.emit(rtAXISPARENT);
  begin();
  b.u16(2);
  b.u16(2);
  static constexpr int kPlot8[4] = {44, 429, 3559, 172}, kPlot5[4] = {42, 69, 3916, 3862};
  for (int v : m_b8 ? kPlot8 : kPlot5) {
    b.u16(static_cast<std::uint16_t>(v));
    b.u16(0);
  }
  b.emit(rtPOS);
  // 7. Axes.
  if (!round) {
    axis(false);
    axis(true);
  }
  // 8. Axis titles, plot area, chart group, legend.
  if (!round) {
    if (m_chart.categoryAxis.title)
      textBlock(*m_chart.categoryAxis.title, m_chart.categoryAxis.titleFont, 3, 0, 0x00B0, 1800, 3700);
    if (m_chart.valueAxis.title)
      textBlock(*m_chart.valueAxis.title, m_chart.valueAxis.titleFont, 2, 0, 0x00B0, 40, 1800);
  }
  b.empty(rtPLOTAREA);
  b.u16(0);
  b.u16(3);
  b.emit(rtFRAME);
  begin();
  lineFormat(0x808080, 0, 0, 0, 23);
  areaFormat(0xC0C0C0, 0, 0, 22, 79);
  end();
  b.zeros(16);
  b.u16(round ? 1 : 0);
  b.u16(0);
  b.emit(rtCHARTFORMAT);
  begin();
  switch (m_chart.type) {
  case charts::kChartLine: b.r16(rtLINE, 0); break;
  case charts::kChartPie:
  case charts::kChartDoughnut:
    b.u16(0);
    b.u16(m_chart.type == charts::kChartDoughnut ? 50 : 0);
    if (m_b8)
      b.u16(0);
    b.emit(rtPIE);
    break;
  case charts::kChartScatter:
  case charts::kChartBubble:
    if (m_b8) {
      b.u16(100);
      b.u16(1);
      b.u16(m_chart.type == charts::kChartBubble ? 1 : 0);
    }
    b.emit(rtSCATTER);
    break;
  case charts::kChartArea: b.r16(rtAREA, 0); break;
  case charts::kChartRadar:
    b.u16(0);
    if (m_b8)
      b.u16(0);
    b.emit(rtRADAR);
    break;
  case charts::kChartSurface: b.r16(rtSURFACE, 0); break;
  default:
    b.u16(0);
    b.u16(50);
    b.u16(m_chart.type == charts::kChartBar ? 1 : 0);
    b.emit(rtBAR);
    break;
  }
  b.zeros(10);
  b.emit(rtCHARTFORMATLINK);
  if (m_chart.showLegend) {
    b.u32(3646);
    b.u32(2045);
    b.u32(332);
    b.u32(143);
    b.u8(static_cast<std::uint8_t>(m_chart.legendPlacement));
    b.u8(1);
    b.u16(31);
    b.emit(rtLEGEND);
    begin();
    b.u16(m_chart.legendPlacement == charts::kLegendRight || m_chart.legendPlacement == charts::kLegendLeft ? 5 : 2);
    b.u16(2);
    b.zeros(16);
    b.emit(rtPOS);
    textBlock({}, m_chart.legendFont, 0, 0, 0x00B1, 0, 0);
    end();
  }
  end(); // chart format
  end(); // axis group
  // 9. Chart title and data label texts.
  if (m_chart.title)
    textBlock(*m_chart.title, m_chart.titleFont, 1, 0, 0x00B0, 1800, 100);
  for (size_t k = 0; k < m_chart.series.size(); ++k) {
    const ChartSeries& s = m_chart.series[k];
    const std::uint16_t kind = s.labelKind & charts::kLabelKindMask;
    if (!kind)
      continue;
    std::uint16_t flags = 0x0011; // automatic colour and text
    if (kind & 1)
      flags |= 0x0004;
    if (kind & 2)
      flags |= 0x1000;
    if (kind & 4)
      flags |= 0x0800;
    if (kind & 16)
      flags |= 0x4000;
    if (kind & 32)
      flags |= 0x2000;
    textBlock({}, s.labelFont, 4, static_cast<int>(k), flags, 0, 0);
  }
  end(); // chart
  // 10. Dimensions and the cached values.
  int lastRow = 0;
  for (const SeriesPlan& p : plans) {
    if (p.valuesCached)
      lastRow = std::max(lastRow, static_cast<int>(p.values.size()));
    if (p.categoriesCached)
      lastRow = std::max(lastRow, static_cast<int>(p.categories.size()));
  }
  if (m_b8) {
    b.u32(0);
    b.u32(static_cast<std::uint32_t>(lastRow));
  } else {
    b.u16(0);
    b.u16(static_cast<std::uint16_t>(lastRow));
  }
  b.u16(0);
  b.u16(static_cast<std::uint16_t>(std::min<size_t>(m_chart.series.size(), 255)));
  b.u16(0);
  b.emit(0x0200);
  auto cells = [&](bool values) {
    for (size_t k = 0; k < plans.size() && k < 255; ++k) {
      const SeriesPlan& p = plans[k];
      if (values ? !p.valuesCached : !p.categoriesCached)
        continue;
      const std::vector<model::CellValue>& list = values ? p.values : p.categories;
      for (size_t i = 0; i < list.size(); ++i) {
        const model::CellValue& v = list[i];
        b.u16(static_cast<std::uint16_t>(i));
        b.u16(static_cast<std::uint16_t>(k));
        b.u16(0);
        if (v.isNumber()) {
          b.f64(v.numberValue());
          b.emit(rtNUMBER);
        } else if (v.isBoolean() || v.isError()) {
          b.u8(v.isBoolean() ? (v.booleanValue() ? 1 : 0) : codeOfErrorIndex(static_cast<int>(v.errorValue())));
          b.u8(v.isError() ? 1 : 0);
          b.emit(rtBOOLERR);
        } else if (v.isString()) {
          const std::u16string_view t = v.stringValue().substr(0, 255);
          if (m_b8) {
            b.u16(static_cast<std::uint16_t>(t.size()));
            b.u8(1);
            for (char16_t c : t)
              b.u16(c);
          } else {
            std::string n = m_ctx.narrow ? m_ctx.narrow(t) : std::string();
            n.resize(std::min<size_t>(n.size(), 255));
            b.u16(static_cast<std::uint16_t>(n.size()));
            b.bytes({reinterpret_cast<const std::uint8_t*>(n.data()), n.size()});
          }
          b.emit(rtLABEL);
        } else {
          b.emit(rtBLANK);
        }
      }
    }
  };
  // SIINDEX 1 announces the series values, 2 the categories.
  if (m_b8)
    b.r16(rtSIINDEX, 1);
  cells(true);
  if (m_b8) {
    b.r16(rtSIINDEX, 2);
    cells(false);
  }
  return std::move(b.out());
}

} // namespace

std::vector<std::uint8_t> writeChartRecords(charts::ChartModel chart, model::Workbook& book,
                                            const ChartWriteContext& ctx) {
  ChartWriter w(std::move(chart), book, ctx);
  return w.run();
}

} // namespace biff
