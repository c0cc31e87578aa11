#include "dialogs/format_dialog.h"

#include "dialogs/prompt_dialog.h"
#include "platform/dialog.h"
#include "numfmt/builtin_formats.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"
#include "platform/text_metrics.h"
#include "platform/ui_services.h"
#include "view/control_paint.h"
#include "view/grid_painter.h"
#include "view/pickers.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace dialogs {
namespace {

using edit::FormatAttribute;
using edit::FormatDialogState;
using platform::ControlKind;
using platform::DialogControls;
using platform::DialogTemplate;
using platform::Notification;

constexpr int kPageWidth = 236;
constexpr int kPageHeight = 170;
constexpr int kLabel = -1;

constexpr std::u16string_view kClearFormat = u"清除格式";

constexpr std::u16string_view kCategories[] = {
    u"General", u"数值", u"货币", u"会计(易出错！)", u"日期", u"时间",
    u"百分比",  u"分数", u"科学记数", u"文本", u"自定义",
};
static_assert(std::size(kCategories) == numfmt::kCategoryCustom + 1);

constexpr std::u16string_view kHorizontal[] = {u"General", u"靠左",     u"居中",     u"靠右",
                                               u"填充",    u"两端对齐", u"跨列居中", u"分散对齐"};
constexpr std::u16string_view kVertical[] = {u"靠上", u"居中", u"靠下", u"两端对齐", u"分散对齐"};
constexpr std::u16string_view kStyles[] = {u"常规", u"倾斜", u"加粗", u"加粗 倾斜"};

std::vector<std::u16string> items(std::span<const std::u16string_view> texts) {
  return {texts.begin(), texts.end()};
}

// ---- check boxes ----

/// Two-state with the value when present; three-state, indeterminate, when not.
void showCheck(DialogControls& c, int id, const FormatAttribute<bool>& a) {
  c.setCheckState(id, !a.present ? platform::kIndeterminate : a.value ? platform::kChecked : platform::kUnchecked);
}

void readCheck(const DialogControls& c, int id, FormatAttribute<bool>& a) {
  const int state = c.checkState(id);
  if (state != platform::kIndeterminate)
    a.set(state == platform::kChecked);
}

// ---- colour pickers ----

/// A state colour as a picker shows it: indexes of 64 and above are automatic.
int pickerColour(const FormatAttribute<int>& a) {
  if (!a.present)
    return view::kColourNoChoice;
  return a.value < 0 || a.value >= 64 ? view::kColourAutomatic : a.value;
}

/// Takes a picker's colour into the state; automatic keeps an automatic
/// value the state had (64 or 65), so an untouched picker changes nothing.
void readColour(const DialogControls& c, int id, FormatAttribute<int>& a, int automatic) {
  const int v = c.pickerValue(id);
  if (v == view::kColourNoChoice || v == view::kColourNone)
    return;
  if (v == view::kColourAutomatic) {
    if (!(a.present && (a.value < 0 || a.value >= 64)))
      a.set(automatic);
    return;
  }
  a.set(v);
}

// ---- pages ----

class Page : public platform::DialogProcedure {
public:
  Page(const model::Workbook& book, FormatDialogState& state) : m_book(book), m_state(state) {}

protected:
  const model::Workbook& m_book;
  FormatDialogState& m_state;
};

class NumberPage final : public Page {
public:
  using Page::Page;

  void onInit(DialogControls& c) override {
    c.setItems(kNumCategory, items(kCategories));
    std::vector<std::u16string> codes;
    for (const model::NumberFormat& f : m_book.numberFormats)
      codes.push_back(f.displayCode);
    c.setItems(kNumCodes, codes);
    if (m_state.number.present) {
      const edit::NumberChoice& n = m_state.number.value;
      c.setSelection(kNumCategory, n.category);
      c.setText(kNumPlaces, platform::fromUtf8(std::to_string(n.places)));
      c.setText(kNumCustom, n.custom);
      enableFor(c, n.category, false);
    } else {
      enableFor(c, -1, false);
    }
  }

  int onCommand(DialogControls& c, int id, Notification what) override {
    if (id == kNumCategory && what == Notification::SelectionChanged)
      enableFor(c, c.selection(kNumCategory), true);
    else if (id == kNumCodes && what == Notification::SelectionChanged)
      c.setText(kNumCustom, c.itemText(kNumCodes, c.selection(kNumCodes)));
    return 0;
  }

  bool onOk(DialogControls& c) override {
    const int category = c.selection(kNumCategory);
    if (category < 0)
      return true;
    edit::NumberChoice n;
    n.category = category;
    if (c.enabled(kNumPlaces)) {
      if (!numfmt::checkDecimalPlaces(c.text(kNumPlaces), n.places))
        return false;
    } else if (m_state.number.present) {
      n.places = m_state.number.value.places;
    }
    if (category == numfmt::kCategoryCustom)
      n.custom = c.text(kNumCustom);
    m_state.number.set(n);
    return true;
  }

private:
  /// Places for the categories that have them, the custom boxes for Custom;
  /// choosing a category fills the places with its default.
  static void enableFor(DialogControls& c, int category, bool fillPlaces) {
    const bool places = category == numfmt::kCategoryNumber || category == numfmt::kCategoryCurrency ||
                        category == numfmt::kCategoryAccounting || category == numfmt::kCategoryPercentage ||
                        category == numfmt::kCategoryFraction || category == numfmt::kCategoryScientific;
    c.setEnabled(kNumPlaces, places);
    c.setEnabled(kNumCustom, category == numfmt::kCategoryCustom);
    c.setEnabled(kNumCodes, category == numfmt::kCategoryCustom);
    if (fillPlaces && places) {
      const bool money = category == numfmt::kCategoryCurrency || category == numfmt::kCategoryAccounting;
      c.setText(kNumPlaces, money ? platform::localeStrings().currencyDigits : std::u16string(u"2"));
    }
  }
};

class AlignmentPage final : public Page {
public:
  using Page::Page;

  void onInit(DialogControls& c) override {
    c.setItems(kAlignHorizontal, items(kHorizontal));
    c.setItems(kAlignVertical, items(kVertical));
    c.setSelection(kAlignHorizontal, m_state.horizontal.present ? m_state.horizontal.value : -1);
    c.setSelection(kAlignVertical, m_state.vertical.present ? m_state.vertical.value : -1);
    showCheck(c, kAlignWrap, m_state.wrap);
    showCheck(c, kAlignMerge, m_state.merge);
  }

  bool onOk(DialogControls& c) override {
    if (c.selection(kAlignHorizontal) >= 0)
      m_state.horizontal.set(c.selection(kAlignHorizontal));
    if (c.selection(kAlignVertical) >= 0)
      m_state.vertical.set(c.selection(kAlignVertical));
    readCheck(c, kAlignWrap, m_state.wrap);
    readCheck(c, kAlignMerge, m_state.merge);
    return true;
  }
};

class FontPage final : public Page {
public:
  using Page::Page;

  void onInit(DialogControls& c) override {
    m_faces = platform::textMetrics().fontFaces();
    if (m_state.face.present && std::find(m_faces.begin(), m_faces.end(), m_state.face.value) == m_faces.end()) {
      m_faces.push_back(m_state.face.value);
      std::sort(m_faces.begin(), m_faces.end());
    }
    c.setItems(kFontFace, m_faces);
    c.setItems(kFontStyle, items(kStyles));
    show(c);
    if (m_state.reduced) {
      c.setEnabled(kFontFace, false);
      c.setEnabled(kFontSize, false);
    }
  }

  int onCommand(DialogControls& c, int id, Notification what) override {
    if (id == kFontClear) {
      m_state.fontColour.clear();
      m_state.bold.clear();
      m_state.italic.clear();
      m_state.underline.clear();
      m_state.strikeOut.clear();
      show(c);
      return 0;
    }
    if (id == kFontStyle && what == Notification::SelectionChanged) {
      const int style = c.selection(kFontStyle);
      if (style >= 0) {
        c.setCheckState(kFontItalic, (style & 1) ? platform::kChecked : platform::kUnchecked);
        c.setCheckState(kFontBold, (style & 2) ? platform::kChecked : platform::kUnchecked);
      }
    } else if (id == kFontBold || id == kFontItalic) {
      syncStyle(c);
    }
    c.setPreviewFont(kFontPreview, previewFont(c));
    return 0;
  }

  bool onOk(DialogControls& c) override {
    if (!m_state.reduced) {
      const std::u16string size = c.text(kFontSize);
      if (!size.empty() || m_state.sizeTwips.present) {
        const std::optional<double> points = parseDialogNumber(size);
        if (!points || !(*points >= 1 && *points <= edit::kMaxFontPoints)) {
          platform::ui().messageBox(kMessageFontSize, std::nullopt, platform::MessageButtons::Ok,
                                    platform::MessageIcon::None);
          return false;
        }
        const int twips = static_cast<int>(std::lround(*points * 20));
        // The box shows whole points: an untouched box keeps the exact size.
        if (!(m_state.sizeTwips.present && (m_state.sizeTwips.value + 10) / 20 * 20 == twips))
          m_state.sizeTwips.set(twips);
      }
      const int face = c.selection(kFontFace);
      if (face >= 0)
        m_state.face.set(m_faces[static_cast<size_t>(face)]);
    }
    readColour(c, kFontColour, m_state.fontColour, edit::kAutomaticColour);
    readCheck(c, kFontBold, m_state.bold);
    readCheck(c, kFontItalic, m_state.italic);
    readCheck(c, kFontUnderline, m_state.underline);
    readCheck(c, kFontStrikeOut, m_state.strikeOut);
    return true;
  }

private:
  void show(DialogControls& c) {
    int face = -1;
    if (m_state.face.present)
      for (size_t i = 0; i < m_faces.size(); ++i)
        if (m_faces[i] == m_state.face.value)
          face = static_cast<int>(i);
    c.setSelection(kFontFace, face);
    c.setText(kFontSize, m_state.sizeTwips.present
                             ? platform::fromUtf8(std::to_string((m_state.sizeTwips.value + 10) / 20))
                             : std::u16string());
    c.setPickerValue(kFontColour, m_state.fontColour.present
                                      ? (m_state.fontColour.value < 0 ? view::kColourAutomatic : m_state.fontColour.value)
                                      : view::kColourNoChoice);
    showCheck(c, kFontBold, m_state.bold);
    showCheck(c, kFontItalic, m_state.italic);
    showCheck(c, kFontUnderline, m_state.underline);
    showCheck(c, kFontStrikeOut, m_state.strikeOut);
    syncStyle(c);
    c.setPreviewFont(kFontPreview, previewFont(c));
  }

  static void syncStyle(DialogControls& c) {
    const int bold = c.checkState(kFontBold), italic = c.checkState(kFontItalic);
    if (bold == platform::kIndeterminate || italic == platform::kIndeterminate)
      c.setSelection(kFontStyle, -1);
    else
      c.setSelection(kFontStyle, (bold == platform::kChecked ? 2 : 0) + (italic == platform::kChecked ? 1 : 0));
  }

  platform::FontSpec previewFont(const DialogControls& c) const {
    platform::FontSpec f;
    const int face = c.selection(kFontFace);
    if (face >= 0)
      f.face = m_faces[static_cast<size_t>(face)];
    const std::optional<double> points = parseDialogNumber(c.text(kFontSize));
    if (points && *points >= 1 && *points <= edit::kMaxFontPoints)
      f.heightTwips = static_cast<int>(std::lround(*points * 20));
    f.weight = c.checkState(kFontBold) == platform::kChecked ? 700 : 400;
    f.italic = c.checkState(kFontItalic) == platform::kChecked;
    f.underline = c.checkState(kFontUnderline) == platform::kChecked;
    f.strikeOut = c.checkState(kFontStrikeOut) == platform::kChecked;
    return f;
  }

  std::vector<std::u16string> m_faces;
};

class BorderPage final : public Page {
public:
  using Page::Page;

  void onInit(DialogControls& c) override {
    c.setPickerValue(kBorderStyle, 1); // the thin line
    c.setPickerValue(kBorderColour, view::kColourNoChoice);
  }

  int onCommand(DialogControls& c, int id, Notification) override {
    if (id == kBorderClear) {
      for (auto& side : m_state.borders)
        side.clear();
      c.invalidate(kBorderSample);
    }
    return 0;
  }

  int onClickAt(DialogControls& c, int id, platform::Point p, const platform::Rect& r) override {
    if (id != kBorderSample)
      return 0;
    const int side = view::borderSampleSideAt(r, p);
    if (side < 0)
      return 0;
    auto& a = m_state.borders[static_cast<size_t>(side)];
    const model::Border b = clickedBorder(a, c.pickerValue(kBorderStyle), c.pickerValue(kBorderColour));
    a.present = a.changed = true;
    a.value = b;
    c.invalidate(kBorderSample);
    return 0;
  }

  void paintControl(int id, platform::Canvas& canvas, const platform::Rect& r) override {
    if (id != kBorderSample)
      return;
    view::SampleSide sides[6];
    for (size_t i = 0; i < 6; ++i) {
      const auto& a = m_state.borders[i];
      // A side the selection does not share shows grey.
      sides[i].style = a.present ? a.value.style : 1;
      sides[i].colour = !a.present ? view::kShadowGrey : view::paletteColour(m_book, a.value.colour, platform::kBlack);
    }
    view::paintBorderSample(canvas, r, sides);
  }
};

class PatternPage final : public Page {
public:
  using Page::Page;

  void onInit(DialogControls& c) override {
    c.setPickerValue(kPatternPicker, m_state.pattern.present ? m_state.pattern.value : -1);
    const int pattern = c.pickerValue(kPatternPicker);
    c.setPickerValue(kPatternColour1, pattern > 0 ? pickerColour(m_state.colour1) : view::kColourNoChoice);
    c.setPickerValue(kPatternColour2, pattern >= 2 ? pickerColour(m_state.colour2) : view::kColourNoChoice);
    c.setEnabled(kPatternColour2, pattern >= 2);
    showSample(c);
  }

  int onCommand(DialogControls& c, int id, Notification) override {
    if (id == kPatternClear) {
      m_state.pattern.clear();
      m_state.colour1.clear();
      m_state.colour2.clear();
      c.setPickerValue(kPatternPicker, -1);
      c.setPickerValue(kPatternColour1, view::kColourNoChoice);
      c.setPickerValue(kPatternColour2, view::kColourNoChoice);
    } else if (id == kPatternColour1 && c.pickerValue(kPatternPicker) == 0) {
      // A colour without a pattern means a solid fill.
      c.setPickerValue(kPatternPicker, 1);
    } else if (id == kPatternPicker) {
      // Colour 1 shows only for a pattern known to be other than none,
      // colour 2 only for patterns of 2 and above.
      const int pattern = c.pickerValue(kPatternPicker);
      if (pattern <= 0)
        c.setPickerValue(kPatternColour1, view::kColourNoChoice);
      if (pattern < 2)
        c.setPickerValue(kPatternColour2, view::kColourNoChoice);
    }
    c.setEnabled(kPatternColour2, c.pickerValue(kPatternPicker) >= 2);
    showSample(c);
    return 0;
  }

  // The sample: the chosen pattern in colour 1 over colour 2, white for none.
  void paintControl(int id, platform::Canvas& canvas, const platform::Rect& r) override {
    if (id != kPatternSample)
      return;
    const platform::Colour fg = view::paletteColour(m_book, m_colour1 < 0 ? 64 : m_colour1, platform::kBlack);
    const platform::Colour bg = view::paletteColour(m_book, m_colour2 < 0 ? 64 : m_colour2, platform::kWhite);
    if (m_pattern <= 0 || m_pattern > 18)
      canvas.fillRect(r, platform::Brush::solid(platform::kWhite));
    else if (m_pattern == 1)
      canvas.fillRect(r, platform::Brush::solid(fg));
    else
      canvas.fillRect(r, platform::Brush::patterned(view::fillPatternBits(m_pattern), fg, bg));
    canvas.setPen(platform::Pen{platform::PenStyle::Solid, 1, platform::kBlack});
    canvas.setBrush(platform::Brush::none());
    canvas.drawRectangle(r);
  }

private:
  // A colour left without a choice keeps what the cells have: the sample
  // shows that when the cells agree on it.
  void showSample(DialogControls& c) {
    const auto colour = [&](int id, const edit::FormatAttribute<int>& kept) {
      const int v = c.pickerValue(id);
      return v == view::kColourNoChoice && kept.present ? kept.value : v;
    };
    m_pattern = c.pickerValue(kPatternPicker);
    m_colour1 = colour(kPatternColour1, m_state.colour1);
    m_colour2 = colour(kPatternColour2, m_state.colour2);
    c.invalidate(kPatternSample);
  }
  int m_pattern = -1, m_colour1 = view::kColourNoChoice, m_colour2 = view::kColourNoChoice;

  bool onOk(DialogControls& c) override {
    const int pattern = c.pickerValue(kPatternPicker);
    if (pattern >= 0)
      m_state.pattern.set(pattern);
    readColour(c, kPatternColour1, m_state.colour1, 64);
    readColour(c, kPatternColour2, m_state.colour2, 64);
    return true;
  }
};

class ProtectionPage final : public Page {
public:
  using Page::Page;
  void onInit(DialogControls& c) override {
    showCheck(c, kProtectLocked, m_state.locked);
    showCheck(c, kProtectHidden, m_state.formulaHidden);
  }
  bool onOk(DialogControls& c) override {
    readCheck(c, kProtectLocked, m_state.locked);
    readCheck(c, kProtectHidden, m_state.formulaHidden);
    return true;
  }
};

// ---- templates ----

DialogTemplate page(std::u16string title, std::vector<platform::DialogControl> controls) {
  DialogTemplate t;
  t.title = std::move(title);
  t.width = kPageWidth;
  t.height = kPageHeight;
  t.controls = std::move(controls);
  return t;
}

DialogTemplate numberPage() {
  return page(u"数字", {
      {kLabel, ControlKind::Static, u"分类：", 7, 7, 80, 10},
      {kNumCategory, ControlKind::ListBox, {}, 7, 19, 80, 140},
      {kLabel, ControlKind::Static, u"小数位数：", 95, 9, 50, 10},
      {kNumPlaces, ControlKind::Edit, u"2", 150, 7, 30, 13, platform::kStyleUpDown, 2, 0, 30},
      {kLabel, ControlKind::Static, u"类型：", 95, 27, 60, 10},
      {kNumCustom, ControlKind::Edit, {}, 95, 39, 134, 13},
      {kNumCodes, ControlKind::ListBox, {}, 95, 56, 134, 103},
  });
}

DialogTemplate alignmentPage() {
  return page(u"对齐", {
      {kLabel, ControlKind::Static, u"水平对齐：", 7, 9, 60, 10},
      {kAlignHorizontal, ControlKind::ComboBox, {}, 70, 7, 100, 14},
      {kLabel, ControlKind::Static, u"垂直对齐：", 7, 29, 60, 10},
      {kAlignVertical, ControlKind::ComboBox, {}, 70, 27, 100, 14},
      {kAlignWrap, ControlKind::CheckBox, u"根据列宽自动换行", 7, 52, 160, 12},
      {kAlignMerge, ControlKind::CheckBox, u"合并(保留第一格内容)", 7, 68, 160, 12},
  });
}

DialogTemplate fontPage(bool reduced) {
  DialogTemplate t = page(u"字体", {
      {kLabel, ControlKind::Static, u"名称：", 7, 7, 100, 10},
      {kFontFace, ControlKind::ListBox, {}, 7, 19, 110, 70},
      {kLabel, ControlKind::Static, u"样式：", 124, 7, 60, 10},
      {kFontStyle, ControlKind::ComboBox, {}, 124, 19, 60, 14},
      {kLabel, ControlKind::Static, u"字号：", 190, 7, 40, 10},
      {kFontSize, ControlKind::Edit, {}, 190, 19, 38, 13, 0, 6},
      {kLabel, ControlKind::Static, u"颜色：", 124, 40, 40, 10},
      {kFontColour, ControlKind::Picker, std::u16string(platform::kColourPickerClass), 124, 52, 60, 14},
      {kFontBold, ControlKind::CheckBox, u"加粗", 7, 95, 50, 12},
      {kFontItalic, ControlKind::CheckBox, u"倾斜", 60, 95, 50, 12},
      {kFontUnderline, ControlKind::CheckBox, u"下划线", 7, 110, 50, 12},
      {kFontStrikeOut, ControlKind::CheckBox, u"删除线", 60, 110, 50, 12},
      {kLabel, ControlKind::Static, u"预览：", 124, 75, 60, 10},
      {kFontPreview, ControlKind::Picker, std::u16string(platform::kFontPreviewClass), 124, 87, 105, 50},
  });
  if (reduced)
    t.controls.push_back({kFontClear, ControlKind::Button, std::u16string(kClearFormat), 7, 145, 60, 14});
  return t;
}

DialogTemplate borderPage(bool reduced) {
  DialogTemplate t = page(u"边框", {
      {kBorderSample, ControlKind::Picker, u"BorderSample", 7, 7, 130, 110},
      {kLabel, ControlKind::Static, u"样式：", 145, 9, 40, 10},
      {kBorderStyle, ControlKind::Picker, std::u16string(platform::kBorderPickerClass), 145, 21, 84, 14},
      {kLabel, ControlKind::Static, u"颜色：", 145, 43, 40, 10},
      {kBorderColour, ControlKind::Picker, std::u16string(platform::kColourPickerClass), 145, 55, 84, 14},
      {kLabel, ControlKind::Static, u"单击预览图中的边线可设置或取消该边框。", 7, 124, 222, 20},
  });
  if (reduced)
    t.controls.push_back({kBorderClear, ControlKind::Button, std::u16string(kClearFormat), 7, 148, 60, 14});
  return t;
}

DialogTemplate patternPage(bool reduced) {
  DialogTemplate t = page(u"图案", {
      {kLabel, ControlKind::GroupBox, u"单元格底纹", 7, 4, 222, 100},
      {kLabel, ControlKind::Static, u"图案：", 15, 20, 50, 10},
      {kPatternPicker, ControlKind::Picker, std::u16string(platform::kPatternPickerClass), 70, 18, 80, 14},
      {kLabel, ControlKind::Static, u"颜色 1：", 15, 44, 50, 10},
      {kPatternColour1, ControlKind::Picker, std::u16string(platform::kColourPickerClass), 70, 42, 80, 14},
      {kLabel, ControlKind::Static, u"颜色 2：", 15, 68, 50, 10},
      {kPatternColour2, ControlKind::Picker, std::u16string(platform::kColourPickerClass), 70, 66, 80, 14},
      {kLabel, ControlKind::Static, u"示例", 162, 9, 56, 10},
      {kPatternSample, ControlKind::Picker, u"PatternSample", 162, 20, 56, 74},
  });
  if (reduced)
    t.controls.push_back({kPatternClear, ControlKind::Button, std::u16string(kClearFormat), 7, 112, 60, 14});
  return t;
}

DialogTemplate protectionPage() {
  return page(u"保护", {
      {kProtectLocked, ControlKind::CheckBox, u"锁定单元格", 7, 9, 150, 12},
      {kProtectHidden, ControlKind::CheckBox, u"隐藏公式", 7, 25, 150, 12},
      {kLabel, ControlKind::Static, u"只有在工作表被保护时，锁定单元格或隐藏公式才有效。", 7, 48, 222, 24},
  });
}

// The page each form was last closed on, for this run of the program.
int g_lastPage[2] = {0, 0};

} // namespace

model::Border clickedBorder(const FormatAttribute<model::Border>& side, int style, int pickerColour) {
  int colour = pickerColour == view::kColourNoChoice || pickerColour == view::kColourAutomatic ? 64 : pickerColour;
  if (style == 0)
    colour = 0;
  const model::Border chosen{static_cast<std::uint8_t>(std::clamp(style, 0, 13)), static_cast<std::uint8_t>(colour)};
  if (side.present && side.value == chosen)
    return model::Border{0, 0};
  return chosen;
}

platform::DialogTemplate fontPageTemplate() { return fontPage(false); }

std::unique_ptr<platform::DialogProcedure> makeFontPage(const model::Workbook& book, FormatDialogState& state) {
  return std::make_unique<FontPage>(book, state);
}

bool showFormatDialog(const model::Workbook& book, FormatDialogState& state, int startPage) {
  const bool reduced = state.reduced;
  platform::PropertySheetTemplate sheet;
  sheet.title = std::u16string(kFormatDialogTitle);
  std::vector<std::unique_ptr<platform::DialogProcedure>> procedures;
  if (!reduced) {
    sheet.pages.push_back(numberPage());
    procedures.push_back(std::make_unique<NumberPage>(book, state));
    sheet.pages.push_back(alignmentPage());
    procedures.push_back(std::make_unique<AlignmentPage>(book, state));
  }
  sheet.pages.push_back(fontPage(reduced));
  procedures.push_back(std::make_unique<FontPage>(book, state));
  sheet.pages.push_back(borderPage(reduced));
  procedures.push_back(std::make_unique<BorderPage>(book, state));
  sheet.pages.push_back(patternPage(reduced));
  procedures.push_back(std::make_unique<PatternPage>(book, state));
  if (!reduced) {
    sheet.pages.push_back(protectionPage());
    procedures.push_back(std::make_unique<ProtectionPage>(book, state));
  }
  int& last = g_lastPage[reduced ? 1 : 0];
  sheet.startPage = std::clamp(startPage >= 0 ? startPage : last, 0, static_cast<int>(sheet.pages.size()) - 1);
  sheet.shownPage = &last;
  std::vector<platform::DialogProcedure*> pages;
  for (auto& p : procedures)
    pages.push_back(p.get());
  return platform::dialogHost().runSheet(sheet, pages) == platform::kIdOk;
}

} // namespace dialogs
