#include "dialogs/chart_dialog.h"

#include "dialogs/prompt_dialog.h"
#include "platform/dialog.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "view/pickers.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace dialogs {
namespace {

using charts::ChartAxis;
using charts::ChartModel;
using charts::ChartSeries;
using platform::ControlKind;
using platform::DialogControl;
using platform::DialogControls;
using platform::DialogTemplate;
using platform::Notification;

constexpr int kLabel = -1;
constexpr int kPageWidth = 260;
constexpr int kPageHeight = 180;
const std::u16string kColourPicker(platform::kColourPickerClass);

const std::u16string_view kTypeNames[charts::kChartTypeCount] = {
    u"柱形图", u"条形图", u"拆线图", u"饼图", u"X Y 散点图", u"面积图", u"圆环图", u"雷达图", u"曲面图", u"气泡图"};
const std::u16string_view kLegendNames[5] = {u"靠下", u"右上角", u"靠上", u"靠右", u"靠左"};
// Line styles as the list shows them, in the series' numbering.
const std::vector<std::u16string> kLineStyleNames = {u"实线",         u"长划线", u"点线",     u"点划线",
                                                     u"双点划线",     u"无",     u"深灰线", u"中灰线",
                                                     u"浅灰线"};
const std::vector<std::u16string> kMarkerNames = {u"无",     u"方形",   u"菱形",   u"三角形", u"X 形",
                                                  u"星形",   u"短划线", u"长划线", u"圆形",   u"加号"};
// The data label choices, in radio order.
constexpr std::uint16_t kLabelKinds[6] = {charts::kLabelNone,     charts::kLabelValue,
                                          charts::kLabelPercent,  charts::kLabelCategory,
                                          charts::kLabelCategoryPercent, charts::kLabelBubbleSize};
const std::u16string_view kLabelNames[6] = {u"无",           u"显示值",           u"显示百分比",
                                            u"显示类别名称", u"显示类别和百分比", u"显示气泡尺寸"};

bool isRound(int type) { return type == charts::kChartPie || type == charts::kChartDoughnut; }
bool hasNoAxes(int type) { return isRound(type) || type == charts::kChartRadar; }
bool hasMarkers(int type) {
  return type == charts::kChartLine || type == charts::kChartScatter || type == charts::kChartRadar;
}
// Column, bar, line and area charts share one category axis among their series.
bool sharesCategories(int type) {
  return type == charts::kChartColumn || type == charts::kChartBar || type == charts::kChartLine ||
         type == charts::kChartArea;
}

std::u16string_view categoriesCaption(int type) {
  return type == charts::kChartScatter ? u"X values:" : u"X 轴 分类：";
}

// What the titles and axes pages offer depends on the chart type.
void refreshTitles(DialogControls& c, int type) {
  c.setText(kChartCategoryTitleLabel, type == charts::kChartScatter ? u"数值(X)轴" : u"分类(X)轴");
  c.setEnabled(kChartCategoryTitle, !hasNoAxes(type));
  c.setEnabled(kChartValueTitle, !hasNoAxes(type));
}

void refreshAxes(DialogControls& c, int type) {
  c.setText(kChartCategoryAxis + kAxisShow, type == charts::kChartScatter ? u"数值(X)轴" : u"分类(X)轴");
  for (int base : {kChartCategoryAxis, kChartValueAxis})
    for (int part = kAxisShow; part <= kAxisStep; ++part)
      c.setEnabled(base + part, !hasNoAxes(type) &&
                                    (base == kChartValueAxis || part < kAxisLog || type == charts::kChartScatter));
}

void warn(std::u16string_view text) {
  (void)platform::ui().messageBox(text, std::nullopt, platform::MessageButtons::Ok, platform::MessageIcon::Warning);
}

DialogTemplate page(std::u16string title, std::vector<DialogControl> controls) {
  DialogTemplate t;
  t.title = std::move(title);
  t.width = kPageWidth;
  t.height = kPageHeight;
  t.controls = std::move(controls);
  return t;
}

std::optional<std::u16string> optionalText(std::u16string text) {
  if (text.empty())
    return std::nullopt;
  return text;
}

// A chart colour (palette index, 77 automatic, -1 none) as the picker shows
// it; the first eight entries repeat colours of the picker's.
int pickerColour(std::int32_t colour) {
  if (colour == charts::kNoColour)
    return view::kColourNone;
  if (colour >= 8 && colour < 64)
    return colour;
  if (colour >= 0 && colour < 8)
    return colour + 8;
  return view::kColourAutomatic;
}

// The picker's value back as a chart colour; a blank button changes nothing.
std::int32_t chartColour(int value, std::int32_t was) {
  if (value == view::kColourNoChoice)
    return was;
  if (value == view::kColourNone)
    return charts::kNoColour;
  if (value >= 8 && value < 64)
    return value;
  return charts::kAutomaticColour;
}

// ---- the series dialog ----

struct SeriesEdit {
  model::Workbook& book;
  int sheet;
  int type;
  ChartSeries series;
};

class SeriesPage : public platform::DialogProcedure {
public:
  explicit SeriesPage(SeriesEdit& e) : m_e(e) {}

protected:
  SeriesEdit& m_e;
};

class PatternsPage final : public SeriesPage {
public:
  using SeriesPage::SeriesPage;
  void onInit(DialogControls& c) override {
    const ChartSeries& s = m_e.series;
    c.setItems(kSeriesLineStyle, kLineStyleNames);
    c.setSelection(kSeriesLineStyle, s.lineStyle < kLineStyleNames.size() ? s.lineStyle : 0);
    c.setPickerValue(kSeriesLineColour, pickerColour(s.lineColour));
    c.setPickerValue(kSeriesFill, pickerColour(s.fillColour));
    c.setItems(kSeriesMarker, kMarkerNames);
    c.setSelection(kSeriesMarker, s.marker < charts::kMarkerKindCount ? s.marker : 0);
    c.setPickerOption(kSeriesMarkerForeground, 1);
    c.setPickerOption(kSeriesMarkerBackground, 1);
    c.setPickerValue(kSeriesMarkerForeground, pickerColour(s.markerForeground));
    c.setPickerValue(kSeriesMarkerBackground, pickerColour(s.markerBackground));
  }
  bool onOk(DialogControls& c) override {
    ChartSeries& s = m_e.series;
    if (const int style = c.selection(kSeriesLineStyle); style >= 0)
      s.lineStyle = static_cast<std::uint16_t>(style);
    s.lineColour = static_cast<std::uint16_t>(chartColour(c.pickerValue(kSeriesLineColour), s.lineColour));
    if (s.lineColour == static_cast<std::uint16_t>(charts::kNoColour))
      s.lineColour = charts::kAutomaticColour;
    if (hasMarkers(m_e.type)) {
      if (const int marker = c.selection(kSeriesMarker); marker >= 0)
        s.marker = static_cast<std::uint16_t>(marker);
      s.markerForeground = chartColour(c.pickerValue(kSeriesMarkerForeground), s.markerForeground);
      s.markerBackground = chartColour(c.pickerValue(kSeriesMarkerBackground), s.markerBackground);
    } else {
      const std::int32_t fill = chartColour(c.pickerValue(kSeriesFill), s.fillColour);
      s.fillColour = static_cast<std::uint16_t>(fill == charts::kNoColour ? charts::kAutomaticColour : fill);
    }
    return true;
  }
};

class DataPage final : public SeriesPage {
public:
  using SeriesPage::SeriesPage;
  void onInit(DialogControls& c) override {
    const ChartSeries& s = m_e.series;
    c.setText(kSeriesName, s.name.value_or(u""));
    c.setText(kSeriesValues, s.values.value_or(u""));
    c.setText(kSeriesCategories, s.categories.value_or(u""));
  }
  bool onOk(DialogControls& c) override {
    const std::u16string values = c.text(kSeriesValues);
    const std::u16string categories = c.text(kSeriesCategories);
    if (!charts::validSeriesReference(values, m_e.book, m_e.sheet)) {
      warn(kMessageValuesInvalid);
      c.selectText(kSeriesValues, 0, static_cast<int>(values.size()));
      return false;
    }
    if (!categories.empty() && !charts::validSeriesReference(categories, m_e.book, m_e.sheet)) {
      warn(kMessageCategoriesInvalid);
      c.selectText(kSeriesCategories, 0, static_cast<int>(categories.size()));
      return false;
    }
    ChartSeries& s = m_e.series;
    s.name = optionalText(c.text(kSeriesName));
    if (s.name && s.name->size() > 255)
      s.name->resize(255);
    // A typed reference replaces values the file kept inside the chart.
    if (values != s.values.value_or(u""))
      s.cached &= static_cast<std::uint8_t>(~charts::kCachedValues);
    if (categories != s.categories.value_or(u""))
      s.cached &= static_cast<std::uint8_t>(~charts::kCachedCategories);
    s.values = values;
    s.categories = optionalText(categories);
    return true;
  }
};

class LabelsPage final : public SeriesPage {
public:
  using SeriesPage::SeriesPage;
  void onInit(DialogControls& c) override {
    const std::uint16_t kind = charts::effectiveLabelKind(m_e.type, m_e.series.labelKind);
    for (int i = 0; i < 6; ++i)
      c.setChecked(kSeriesLabelFirst + i, kLabelKinds[i] == kind);
    const bool round = isRound(m_e.type);
    c.setEnabled(kSeriesLabelFirst + 2, round);
    c.setEnabled(kSeriesLabelFirst + 4, round);
    c.setEnabled(kSeriesLabelFirst + 5, m_e.type == charts::kChartBubble);
  }
  bool onOk(DialogControls& c) override {
    for (int i = 0; i < 6; ++i)
      if (c.checked(kSeriesLabelFirst + i) && c.enabled(kSeriesLabelFirst + i))
        m_e.series.labelKind = kLabelKinds[i];
    return true;
  }
};

DialogTemplate patternsPage(int type) {
  std::vector<DialogControl> c = {
      {kLabel, ControlKind::GroupBox, u"边框", 7, 7, 246, 52},
      {kLabel, ControlKind::Static, u"边框：", 14, 22, 50, 10},
      {kSeriesLineStyle, ControlKind::ComboBox, u"", 70, 20, 90, 14},
      {kLabel, ControlKind::Static, u"颜色：", 14, 40, 50, 10},
      {kSeriesLineColour, ControlKind::Picker, kColourPicker, 70, 38, 90, 14},
  };
  if (hasMarkers(type)) {
    c.push_back({kLabel, ControlKind::GroupBox, u"Marker", 7, 65, 246, 70});
    c.push_back({kSeriesMarkerLabel, ControlKind::Static, u"Marker:", 14, 80, 50, 10});
    c.push_back({kSeriesMarker, ControlKind::ComboBox, u"", 70, 78, 90, 14});
    c.push_back({kLabel, ControlKind::Static, u"颜色 1：", 14, 98, 50, 10});
    c.push_back({kSeriesMarkerForeground, ControlKind::Picker, kColourPicker, 70, 96, 90, 14});
    c.push_back({kLabel, ControlKind::Static, u"颜色 2：", 14, 116, 50, 10});
    c.push_back({kSeriesMarkerBackground, ControlKind::Picker, kColourPicker, 70, 114, 90, 14});
  } else {
    c.push_back({kLabel, ControlKind::GroupBox, u"内部", 7, 65, 246, 34});
    c.push_back({kSeriesFillLabel, ControlKind::Static, u"内部：", 14, 80, 50, 10});
    c.push_back({kSeriesFill, ControlKind::Picker, kColourPicker, 70, 78, 90, 14});
  }
  return page(u"图案", std::move(c));
}

DialogTemplate dataPage(int type) {
  return page(u"数据", {
      {kLabel, ControlKind::Static, u"名称：", 7, 10, 60, 10},
      {kSeriesName, ControlKind::Edit, u"", 70, 8, 183, 14, 0, 255},
      {kLabel, ControlKind::Static, u"Y 轴 数值：", 7, 32, 60, 10},
      {kSeriesValues, ControlKind::Edit, u"", 70, 30, 183, 14, 0, 255},
      {kSeriesCategoriesLabel, ControlKind::Static, std::u16string(categoriesCaption(type)), 7, 54, 60, 10},
      {kSeriesCategories, ControlKind::Edit, u"", 70, 52, 183, 14, 0, 255},
  });
}

DialogTemplate labelsPage() {
  std::vector<DialogControl> c = {{kLabel, ControlKind::GroupBox, u"数据标志", 7, 7, 246, 100}};
  for (int i = 0; i < 6; ++i)
    c.push_back({kSeriesLabelFirst + i, ControlKind::Radio, std::u16string(kLabelNames[i]), 14, 20 + 14 * i, 200, 12,
                 i == 0 ? platform::kStyleGroupStart : 0u});
  return page(u"数据标志", std::move(c));
}

// ---- the chart settings dialog ----

struct ChartEdit {
  model::Workbook& book;
  int sheet;
  ChartModel chart;
  DialogControls* pages[5] = {};
  void typeChanged();
  // The axes page's automatic numbers follow the series as they are now.
  void showAutomaticScale();
};

class ChartPage : public platform::DialogProcedure {
public:
  ChartPage(ChartEdit& e, int index) : m_e(e), m_index(index) {}
  void onInit(DialogControls& c) override {
    m_e.pages[m_index] = &c;
    init(c);
  }

protected:
  virtual void init(DialogControls& c) = 0;
  ChartEdit& m_e;
  int m_index;
};

class TypePage final : public ChartPage {
public:
  TypePage(ChartEdit& e) : ChartPage(e, kChartTypePage) {}
  void init(DialogControls& c) override {
    for (int i = 0; i < charts::kChartTypeCount; ++i)
      c.setChecked(kChartTypeFirst + i, m_e.chart.type == i);
  }
  int onCommand(DialogControls& c, int, Notification) override {
    take(c);
    return 0;
  }
  // Arrow keys may move the choice without a click: it is read again on leaving.
  bool onLeavePage(DialogControls& c) override {
    take(c);
    return true;
  }
  bool onOk(DialogControls& c) override {
    take(c);
    return true;
  }

private:
  void take(DialogControls& c) {
    for (int i = 0; i < charts::kChartTypeCount; ++i)
      if (c.checked(kChartTypeFirst + i) && m_e.chart.type != i) {
        m_e.chart.type = i;
        m_e.typeChanged();
      }
  }
};

class SeriesListPage final : public ChartPage {
public:
  SeriesListPage(ChartEdit& e) : ChartPage(e, kChartSeriesPage) {}
  void init(DialogControls& c) override {
    fill(c, 0);
    refresh(c);
  }
  void refresh(DialogControls& c) {
    c.setText(kChartSeriesCategoriesLabel, categoriesCaption(m_e.chart.type));
    const int at = c.selection(kChartSeriesList);
    const bool any = at >= 0 && at < m_e.chart.seriesCount();
    const ChartSeries* s = any ? &m_e.chart.series[static_cast<size_t>(at)] : nullptr;
    c.setText(kChartSeriesValues, s && s->values ? *s->values : u"");
    c.setText(kChartSeriesCategories, s && s->categories ? *s->categories : u"");
    c.setEnabled(kChartSeriesEdit, any);
    c.setEnabled(kChartSeriesDelete, any);
  }
  int onCommand(DialogControls& c, int id, Notification what) override {
    const int at = c.selection(kChartSeriesList);
    if (id == kChartSeriesList && what == Notification::SelectionChanged) {
      refresh(c);
    } else if ((id == kChartSeriesEdit && what == Notification::Clicked) ||
               (id == kChartSeriesList && what == Notification::DoubleClicked)) {
      if (at >= 0 && at < m_e.chart.seriesCount()) {
        ChartSeries s = m_e.chart.series[static_cast<size_t>(at)];
        if (showSeriesDialog(m_e.book, m_e.sheet, m_e.chart, s, false))
          store(c, at, std::move(s));
      }
    } else if (id == kChartSeriesNew && what == Notification::Clicked) {
      ChartSeries s;
      s.name = charts::seriesLabel(m_e.chart, m_e.chart.seriesCount());
      s.isNew = 1;
      const int t = m_e.chart.type;
      if (m_e.chart.seriesCount() > 0 && (sharesCategories(t) || t == charts::kChartRadar))
        s.categories = m_e.chart.series[0].categories;
      if (showSeriesDialog(m_e.book, m_e.sheet, m_e.chart, s, true)) {
        s.isNew = 0;
        // Without room for it the series is dropped and the chart stays as it was.
        if (platform::withAllocation([&] { m_e.chart.series.push_back(s); }))
          store(c, m_e.chart.seriesCount() - 1, std::move(s));
      }
    } else if (id == kChartSeriesDelete && what == Notification::Clicked) {
      if (at >= 0 && at < m_e.chart.seriesCount()) {
        m_e.chart.series.erase(m_e.chart.series.begin() + at);
        fill(c, std::min(at, m_e.chart.seriesCount() - 1));
        refresh(c);
        m_e.showAutomaticScale();
      }
    }
    return 0;
  }

private:
  void fill(DialogControls& c, int select) {
    std::vector<std::u16string> names;
    for (int i = 0; i < m_e.chart.seriesCount(); ++i)
      names.push_back(charts::seriesLabel(m_e.chart, i));
    c.setItems(kChartSeriesList, names);
    c.setSelection(kChartSeriesList, select);
  }
  // A saved series; in charts with one category axis the others take its categories.
  void store(DialogControls& c, int at, ChartSeries s) {
    if (sharesCategories(m_e.chart.type))
      for (int i = 0; i < m_e.chart.seriesCount(); ++i)
        if (i != at) {
          ChartSeries& other = m_e.chart.series[static_cast<size_t>(i)];
          other.categories = s.categories;
          other.cached = static_cast<std::uint8_t>((other.cached & ~charts::kCachedCategories) |
                                                   (s.cached & charts::kCachedCategories));
        }
    m_e.chart.series[static_cast<size_t>(at)] = std::move(s);
    fill(c, at);
    refresh(c);
    m_e.showAutomaticScale();
  }
};

class TitlesPage final : public ChartPage {
public:
  TitlesPage(ChartEdit& e) : ChartPage(e, kChartTitlesPage) {}
  void init(DialogControls& c) override {
    c.setText(kChartTitle, m_e.chart.title.value_or(u""));
    c.setText(kChartCategoryTitle, m_e.chart.categoryAxis.title.value_or(u""));
    c.setText(kChartValueTitle, m_e.chart.valueAxis.title.value_or(u""));
    refreshTitles(c, m_e.chart.type);
  }
  bool onOk(DialogControls& c) override {
    m_e.chart.title = optionalText(c.text(kChartTitle));
    m_e.chart.categoryAxis.title = optionalText(c.text(kChartCategoryTitle));
    m_e.chart.valueAxis.title = optionalText(c.text(kChartValueTitle));
    return true;
  }
};

class AxesPage final : public ChartPage {
public:
  AxesPage(ChartEdit& e) : ChartPage(e, kChartAxesPage) {}
  void init(DialogControls& c) override {
    show(c, kChartCategoryAxis, m_e.chart.categoryAxis);
    show(c, kChartValueAxis, m_e.chart.valueAxis);
    refreshAxes(c, m_e.chart.type);
    m_e.showAutomaticScale();
  }
  bool onLeavePage(DialogControls& c) override { return apply(c); }
  bool onOk(DialogControls& c) override { return apply(c); }

private:
  static void showNumber(DialogControls& c, int id, double v) { c.setText(id, dialogNumberText(v)); }
  void show(DialogControls& c, int base, const ChartAxis& a) {
    c.setChecked(base + kAxisShow, a.has(charts::kAxisLine));
    c.setChecked(base + kAxisGrid, a.has(charts::kAxisGridlines));
    c.setChecked(base + kAxisTickMarks, a.has(charts::kAxisTicks));
    c.setChecked(base + kAxisTickLabels, a.has(charts::kAxisLabels));
    c.setChecked(base + kAxisLog, a.has(charts::kAxisLogarithmic));
    c.setChecked(base + kAxisMinFixed, a.has(charts::kAxisMinimumFixed));
    c.setChecked(base + kAxisMaxFixed, a.has(charts::kAxisMaximumFixed));
    c.setChecked(base + kAxisStepFixed, a.has(charts::kAxisStepFixed));
    showNumber(c, base + kAxisMin, a.minimum);
    showNumber(c, base + kAxisMax, a.maximum);
    showNumber(c, base + kAxisStep, a.step);
  }

public:
  // Unfixed boxes show the scale the series give now; an axis without a
  // scale to set (categories of any type but XY) shows none.
  static void showScale(ChartEdit& e, DialogControls& c) {
    ChartModel scaled = e.chart;
    const std::vector<charts::SeriesData> data = charts::evaluateSeries(scaled, e.book, e.sheet);
    if (!data.empty()) {
      charts::scaleAxis(scaled, true, data);
      charts::scaleAxis(scaled, false, data);
    }
    const struct {
      int base;
      const ChartAxis& axis;
    } axes[] = {{kChartCategoryAxis, scaled.categoryAxis}, {kChartValueAxis, scaled.valueAxis}};
    for (const auto& [base, axis] : axes) {
      const bool scale = base == kChartValueAxis || e.chart.type == charts::kChartScatter;
      const struct {
        int fixed, box;
        double value;
      } parts[] = {{kAxisMinFixed, kAxisMin, axis.minimum},
                   {kAxisMaxFixed, kAxisMax, axis.maximum},
                   {kAxisStepFixed, kAxisStep, axis.step}};
      for (const auto& p : parts) {
        if (!scale)
          c.setText(base + p.box, u"");
        else if (!c.checked(base + p.fixed))
          showNumber(c, base + p.box, p.value);
      }
    }
  }

private:

  // Reads one axis back; false, after the message, when its scale is wrong.
  bool read(DialogControls& c, int base, ChartAxis& axis, bool scale) {
    std::uint8_t flags = axis.flags;
    auto bit = [&](int part, std::uint8_t b) {
      flags = static_cast<std::uint8_t>(c.checked(base + part) ? flags | b : flags & ~b);
    };
    bit(kAxisShow, charts::kAxisLine);
    bit(kAxisGrid, charts::kAxisGridlines);
    bit(kAxisTickMarks, charts::kAxisTicks);
    bit(kAxisTickLabels, charts::kAxisLabels);
    if (!scale) {
      axis.flags = flags;
      return true;
    }
    bit(kAxisLog, charts::kAxisLogarithmic);
    bit(kAxisMinFixed, charts::kAxisMinimumFixed);
    bit(kAxisMaxFixed, charts::kAxisMaximumFixed);
    bit(kAxisStepFixed, charts::kAxisStepFixed);
    // A box whose text is no number keeps the value it had.
    auto number = [&](int part, double was) {
      const std::optional<double> v = parseDialogNumber(c.text(base + part));
      return v && std::isfinite(*v) ? *v : was;
    };
    double minimum = number(kAxisMin, axis.minimum), maximum = number(kAxisMax, axis.maximum);
    const double step = number(kAxisStep, axis.step);
    const bool log = flags & charts::kAxisLogarithmic;
    const bool minFixed = flags & charts::kAxisMinimumFixed, maxFixed = flags & charts::kAxisMaximumFixed;
    if (log && minFixed) {
      minimum = minimum <= 0 ? 1 : std::pow(10.0, std::floor(std::log10(minimum)));
      showNumber(c, base + kAxisMin, minimum);
    }
    if (log && maxFixed) {
      maximum = maximum <= 0 ? 1 : std::pow(10.0, std::ceil(std::log10(maximum)));
      showNumber(c, base + kAxisMax, maximum);
    }
    if (minFixed && maxFixed && minimum >= maximum) {
      warn(kMessageMaximumNotAboveMinimum);
      return false;
    }
    if (!log && (flags & charts::kAxisStepFixed) && step <= 0) {
      warn(kMessageStepNotPositive);
      return false;
    }
    axis.flags = flags;
    axis.minimum = minimum;
    axis.maximum = maximum;
    axis.step = log ? 0 : step;
    return true;
  }
  bool apply(DialogControls& c) {
    const int type = m_e.chart.type;
    if (hasNoAxes(type))
      return true;
    return read(c, kChartCategoryAxis, m_e.chart.categoryAxis, type == charts::kChartScatter) &&
           read(c, kChartValueAxis, m_e.chart.valueAxis, true);
  }
};

class LegendPage final : public ChartPage {
public:
  LegendPage(ChartEdit& e) : ChartPage(e, kChartLegendPage) {}
  void init(DialogControls& c) override {
    c.setChecked(kChartShowLegend, m_e.chart.showLegend != 0);
    for (int i = 0; i < 5; ++i)
      c.setChecked(kChartLegendFirst + i, m_e.chart.legendPlacement == i);
    enable(c);
  }
  int onCommand(DialogControls& c, int id, Notification) override {
    if (id == kChartShowLegend)
      enable(c);
    return 0;
  }
  bool onOk(DialogControls& c) override {
    m_e.chart.showLegend = c.checked(kChartShowLegend) ? 1 : 0;
    for (int i = 0; i < 5; ++i)
      if (c.checked(kChartLegendFirst + i))
        m_e.chart.legendPlacement = i;
    return true;
  }

private:
  static void enable(DialogControls& c) {
    for (int i = 0; i < 5; ++i)
      c.setEnabled(kChartLegendFirst + i, c.checked(kChartShowLegend));
  }
};

DialogTemplate typePage() {
  std::vector<DialogControl> c = {{kLabel, ControlKind::GroupBox, u"图表类型", 7, 7, 246, 90}};
  for (int i = 0; i < charts::kChartTypeCount; ++i)
    c.push_back({kChartTypeFirst + i, ControlKind::Radio, std::u16string(kTypeNames[i]), 14 + (i / 5) * 120,
                 20 + (i % 5) * 14, 110, 12, i == 0 ? platform::kStyleGroupStart : 0u});
  return page(u"类型", std::move(c));
}

DialogTemplate seriesPage() {
  return page(u"序列", {
      {kLabel, ControlKind::Static, u"系列：", 7, 7, 100, 10},
      {kChartSeriesList, ControlKind::ListBox, u"", 7, 19, 180, 80},
      {kChartSeriesNew, ControlKind::Button, u"新建…", 196, 19, 57, 14},
      {kChartSeriesEdit, ControlKind::Button, u"编辑…", 196, 37, 57, 14},
      {kChartSeriesDelete, ControlKind::Button, u"删除", 196, 55, 57, 14},
      {kLabel, ControlKind::Static, u"Y 轴 数值：", 7, 110, 60, 10},
      {kChartSeriesValues, ControlKind::Static, u"", 70, 110, 183, 10},
      {kChartSeriesCategoriesLabel, ControlKind::Static, u"X 轴 分类：", 7, 126, 60, 10},
      {kChartSeriesCategories, ControlKind::Static, u"", 70, 126, 183, 10},
  });
}

DialogTemplate titlesPage() {
  return page(u"标题", {
      {kLabel, ControlKind::Static, u"图表标题：", 7, 10, 60, 10},
      {kChartTitle, ControlKind::Edit, u"", 70, 8, 183, 28, platform::kStyleMultiLine, 255},
      {kChartCategoryTitleLabel, ControlKind::Static, u"分类(X)轴", 7, 46, 60, 10},
      {kChartCategoryTitle, ControlKind::Edit, u"", 70, 44, 183, 14, 0, 255},
      {kLabel, ControlKind::Static, u"数值(Y)轴", 7, 66, 60, 10},
      {kChartValueTitle, ControlKind::Edit, u"", 70, 64, 183, 14, 0, 255},
  });
}

void axisControls(std::vector<DialogControl>& c, int base, int x, std::u16string_view name) {
  c.push_back({kLabel, ControlKind::GroupBox, u"", x, 7, 120, 150});
  c.push_back({base + kAxisShow, ControlKind::CheckBox, std::u16string(name), x + 6, 16, 100, 12});
  c.push_back({base + kAxisGrid, ControlKind::CheckBox, u"网络线", x + 6, 32, 100, 12});
  c.push_back({base + kAxisTickMarks, ControlKind::CheckBox, u"刻度", x + 6, 46, 100, 12});
  c.push_back({base + kAxisTickLabels, ControlKind::CheckBox, u"值", x + 6, 60, 100, 12});
  c.push_back({base + kAxisLog, ControlKind::CheckBox, u"对数刻度", x + 6, 74, 100, 12});
  c.push_back({base + kAxisMinFixed, ControlKind::CheckBox, u"最小值：", x + 6, 94, 52, 12});
  c.push_back({base + kAxisMin, ControlKind::Edit, u"", x + 60, 93, 54, 14, 0, 30});
  c.push_back({base + kAxisMaxFixed, ControlKind::CheckBox, u"最大值：", x + 6, 112, 52, 12});
  c.push_back({base + kAxisMax, ControlKind::Edit, u"", x + 60, 111, 54, 14, 0, 30});
  c.push_back({base + kAxisStepFixed, ControlKind::CheckBox, u"步长值", x + 6, 130, 52, 12});
  c.push_back({base + kAxisStep, ControlKind::Edit, u"", x + 60, 129, 54, 14, 0, 30});
}

DialogTemplate axesPage() {
  std::vector<DialogControl> c;
  axisControls(c, kChartCategoryAxis, 7, u"分类(X)轴");
  axisControls(c, kChartValueAxis, 133, u"数值(Y)轴");
  return page(u"坐标轴", std::move(c));
}

DialogTemplate legendPage() {
  std::vector<DialogControl> c = {
      {kChartShowLegend, ControlKind::CheckBox, u"显示图例", 7, 9, 120, 12},
      {kLabel, ControlKind::GroupBox, u"放置于：", 7, 27, 246, 86},
  };
  for (int i = 0; i < 5; ++i)
    c.push_back({kChartLegendFirst + i, ControlKind::Radio, std::u16string(kLegendNames[i]), 14, 40 + 14 * i, 200, 12,
                 i == 0 ? platform::kStyleGroupStart : 0u});
  return page(u"图例", std::move(c));
}

} // namespace

void ChartEdit::typeChanged() {
  if (pages[kChartSeriesPage])
    pages[kChartSeriesPage]->setText(kChartSeriesCategoriesLabel, categoriesCaption(chart.type));
  if (pages[kChartTitlesPage])
    refreshTitles(*pages[kChartTitlesPage], chart.type);
  if (pages[kChartAxesPage])
    refreshAxes(*pages[kChartAxesPage], chart.type);
  showAutomaticScale();
}

void ChartEdit::showAutomaticScale() {
  if (pages[kChartAxesPage])
    AxesPage::showScale(*this, *pages[kChartAxesPage]);
}

bool showSeriesDialog(model::Workbook& book, int sheet, ChartModel& chart, ChartSeries& series, bool isNew) {
  SeriesEdit e{book, sheet, chart.type, series};
  platform::PropertySheetTemplate t;
  t.title = std::u16string(isNew ? kNewSeriesTitle : kEditSeriesTitle);
  t.pages = {patternsPage(e.type), dataPage(e.type), labelsPage()};
  PatternsPage patterns(e);
  DataPage data(e);
  LabelsPage labels(e);
  platform::DialogProcedure* pages[] = {&patterns, &data, &labels};
  static int last = 0;
  t.startPage = std::clamp(last, 0, 2);
  t.shownPage = &last;
  if (platform::dialogHost().runSheet(t, pages) != platform::kIdOk)
    return false;
  ChartSeries& s = e.series;
  // What the patterns page does not show for the type goes back to automatic.
  if (hasMarkers(e.type)) {
    s.fillColour = charts::kAutomaticColour;
  } else {
    s.marker = charts::kMarkerNone;
    s.markerForeground = s.markerBackground = charts::kAutomaticColour;
  }
  if (e.type == charts::kChartSurface)
    s.fillColour = charts::kAutomaticColour;
  if (s.labelKind != charts::kLabelNone && s.labelFont == 0)
    if (const std::optional<std::uint16_t> font = charts::dataLabelFont(book, chart))
      s.labelFont = *font;
  series = std::move(s);
  return true;
}

bool showChartDialog(model::Workbook& book, int sheet, ChartModel& chart, int startPage) {
  // Without memory for the copy the edit is abandoned and the chart kept.
  ChartModel copy;
  if (!platform::withAllocation([&] { copy = chart; }))
    return false;
  ChartEdit e{book, sheet, std::move(copy)};
  static int last = kChartTypePage;
  platform::PropertySheetTemplate t;
  t.title = std::u16string(kChartDialogTitle);
  t.pages = {typePage(), seriesPage(), titlesPage(), axesPage(), legendPage()};
  t.startPage = std::clamp(startPage >= 0 ? startPage : last, 0, 4);
  t.shownPage = &last;
  TypePage type(e);
  SeriesListPage series(e);
  TitlesPage titles(e);
  AxesPage axes(e);
  LegendPage legend(e);
  platform::DialogProcedure* pages[] = {&type, &series, &titles, &axes, &legend};
  if (platform::dialogHost().runSheet(t, pages) != platform::kIdOk)
    return false;
  chart = std::move(e.chart);
  return true;
}

} // namespace dialogs
