#include "dialogs/object_dialog.h"

#include "dialogs/format_dialog.h"
#include "drawing/picture_fill.h"
#include "edit/cell_format.h"
#include "platform/dialog.h"
#include "platform/ui_services.h"
#include "view/pickers.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;
using platform::DialogTemplate;
using platform::Notification;

constexpr int kLabel = -1;
constexpr int kPageWidth = 236;
constexpr int kPageHeight = 170;

// The arrow heads as the list shows them, in the format's numbering.
const std::vector<std::u16string> kArrowNames = {u"无",       u"三角箭头", u"燕尾箭头",
                                                 u"菱形箭头", u"圆形箭头", u"开放型箭头"};

bool isLine(const model::DrawingObject& o) {
  return o.kind == model::kObjectLine ||
         (o.kind == model::kObjectOfficeShape && (o.shapeType == 20 || o.shapeType == 32 ||
                                                  (o.shapeType >= 33 && o.shapeType <= 40)));
}

bool hasFillChoice(const model::DrawingObject& o) { return !isLine(o); }

// A colour as the picker shows it: the palette entry (8-63) that holds it,
// "无" when the part is off, a blank button for a colour the palette lacks.
int pickerColour(const model::Workbook& book, bool present, platform::Colour colour) {
  if (!present)
    return view::kColourNone;
  for (int i = 8; i < 64; ++i)
    if (book.palette[static_cast<size_t>(i)] == colour)
      return i;
  return view::kColourNoChoice;
}

// The picker's value back onto the part: a blank button changes nothing.
void readColour(const model::Workbook& book, int value, platform::Colour automatic, bool& present,
                platform::Colour& colour) {
  if (value == view::kColourNoChoice)
    return;
  present = value != view::kColourNone;
  if (value == view::kColourAutomatic)
    colour = automatic;
  else if (value >= 8 && value < 64)
    colour = book.palette[static_cast<size_t>(value)];
}

class ObjectPage : public platform::DialogProcedure {
public:
  ObjectPage(const model::Workbook& book, model::DrawingObject& object) : m_book(book), m_object(object) {}

protected:
  const model::Workbook& m_book;
  model::DrawingObject& m_object;
};

class ColoursPage final : public ObjectPage {
public:
  using ObjectPage::ObjectPage;
  void onInit(DialogControls& c) override {
    c.setPickerOption(kObjectFill, 1);
    c.setPickerOption(kObjectLine, 1);
    // A picture fill has no colour to show: the button stays blank unless a colour is chosen.
    c.setPickerValue(kObjectFill, m_object.hasFill && drawing::fillPictureOf(m_object)
                                      ? view::kColourNoChoice
                                      : pickerColour(m_book, m_object.hasFill, m_object.fillColour));
    c.setPickerValue(kObjectLine, pickerColour(m_book, m_object.hasLine, m_object.lineColour));
    c.setItems(kObjectStartArrow, kArrowNames);
    c.setItems(kObjectEndArrow, kArrowNames);
    c.setSelection(kObjectStartArrow, std::min<int>(m_object.startArrow, 5));
    c.setSelection(kObjectEndArrow, std::min<int>(m_object.endArrow, 5));
  }
  bool onOk(DialogControls& c) override {
    if (hasFillChoice(m_object)) {
      const int fill = c.pickerValue(kObjectFill);
      if (fill != view::kColourNoChoice)
        drawing::clearFillPicture(m_object); // a colour or "无" replaces the picture
      readColour(m_book, fill, platform::kWhite, m_object.hasFill, m_object.fillColour);
    }
    readColour(m_book, c.pickerValue(kObjectLine), platform::kBlack, m_object.hasLine, m_object.lineColour);
    if (isLine(m_object)) {
      m_object.startArrow = static_cast<std::uint8_t>(std::max(0, c.selection(kObjectStartArrow)));
      m_object.endArrow = static_cast<std::uint8_t>(std::max(0, c.selection(kObjectEndArrow)));
    }
    return true;
  }
};

// The text's place in the box, as the lists show it, in the TXO numbering.
const std::vector<std::u16string> kAcrossNames = {u"靠左", u"居中", u"靠右", u"两端对齐", u"分散对齐"};
const std::vector<std::u16string> kDownNames = {u"靠上", u"居中", u"靠下", u"两端对齐", u"分散对齐"};
constexpr std::uint8_t kPlacements[] = {1, 2, 3, 4, 7};

int placementItem(std::uint8_t value) {
  for (int i = 0; i < 5; ++i)
    if (kPlacements[i] == value)
      return i;
  return 0;
}

class TextPage final : public ObjectPage {
public:
  using ObjectPage::ObjectPage;
  void onInit(DialogControls& c) override {
    c.setItems(kObjectTextAlign, kAcrossNames);
    c.setItems(kObjectTextVerticalAlign, kDownNames);
    c.setSelection(kObjectTextAlign, placementItem(m_object.textAlign));
    c.setSelection(kObjectTextVerticalAlign, placementItem(m_object.textVerticalAlign));
  }
  bool onOk(DialogControls& c) override {
    const int across = c.selection(kObjectTextAlign), down = c.selection(kObjectTextVerticalAlign);
    if (across >= 0 && across < 5)
      m_object.textAlign = kPlacements[across];
    if (down >= 0 && down < 5)
      m_object.textVerticalAlign = kPlacements[down];
    return true;
  }
};

class PropertiesPage final : public ObjectPage {
public:
  using ObjectPage::ObjectPage;
  void onInit(DialogControls& c) override {
    c.setChecked(kObjectMoveAndSize, m_object.placement == model::ObjectPlacement::MoveAndSize);
    c.setChecked(kObjectMoveOnly, m_object.placement == model::ObjectPlacement::MoveOnly);
    c.setChecked(kObjectFixed, m_object.placement == model::ObjectPlacement::Fixed);
  }
  bool onOk(DialogControls& c) override {
    if (c.checked(kObjectMoveAndSize))
      m_object.placement = model::ObjectPlacement::MoveAndSize;
    else if (c.checked(kObjectMoveOnly))
      m_object.placement = model::ObjectPlacement::MoveOnly;
    else if (c.checked(kObjectFixed))
      m_object.placement = model::ObjectPlacement::Fixed;
    return true;
  }
};

class MacroPage final : public ObjectPage {
public:
  MacroPage(const model::Workbook& book, model::DrawingObject& object,
            const std::function<bool(std::u16string_view)>& valid)
      : ObjectPage(book, object), m_valid(valid) {}
  void onInit(DialogControls& c) override { c.setText(kObjectMacro, m_object.macro); }
  bool onOk(DialogControls& c) override {
    const std::u16string text = c.text(kObjectMacro);
    if (!text.empty() && !(m_valid && m_valid(text))) {
      (void)platform::ui().messageBox(kMessageMacroInvalid, std::nullopt, platform::MessageButtons::Ok,
                                      platform::MessageIcon::Warning);
      c.selectText(kObjectMacro, 0, static_cast<int>(text.size()));
      return false;
    }
    m_object.macro = text;
    return true;
  }

private:
  const std::function<bool(std::u16string_view)>& m_valid;
};

DialogTemplate page(std::u16string title, std::vector<platform::DialogControl> controls) {
  DialogTemplate t;
  t.title = std::move(title);
  t.width = kPageWidth;
  t.height = kPageHeight;
  t.controls = std::move(controls);
  return t;
}

DialogTemplate coloursPage(const model::DrawingObject& o) {
  std::vector<platform::DialogControl> controls;
  if (hasFillChoice(o)) {
    controls.push_back({kLabel, ControlKind::GroupBox, u"填充", 7, 7, 222, 34});
    controls.push_back({kLabel, ControlKind::Static, u"填充颜色：", 14, 21, 60, 10});
    controls.push_back({kObjectFill, ControlKind::Picker, std::u16string(platform::kColourPickerClass), 80, 19, 80, 14});
  }
  controls.push_back({kLabel, ControlKind::GroupBox, u"线条", 7, 47, 222, 34});
  controls.push_back({kLabel, ControlKind::Static, u"线条颜色：", 14, 61, 60, 10});
  controls.push_back({kObjectLine, ControlKind::Picker, std::u16string(platform::kColourPickerClass), 80, 59, 80, 14});
  if (isLine(o)) {
    controls.push_back({kLabel, ControlKind::GroupBox, u"箭头", 7, 87, 222, 50});
    controls.push_back({kLabel, ControlKind::Static, u"始端样式：", 14, 101, 60, 10});
    controls.push_back({kObjectStartArrow, ControlKind::ComboBox, u"", 80, 99, 90, 14});
    controls.push_back({kLabel, ControlKind::Static, u"末端样式：", 14, 119, 60, 10});
    controls.push_back({kObjectEndArrow, ControlKind::ComboBox, u"", 80, 117, 90, 14});
  }
  return page(u"颜色与线条", std::move(controls));
}

DialogTemplate textPage() {
  return page(u"文本", {
      {kLabel, ControlKind::GroupBox, u"文本对齐方式", 7, 7, 222, 60},
      {kLabel, ControlKind::Static, u"水平对齐：", 14, 23, 60, 10},
      {kObjectTextAlign, ControlKind::ComboBox, u"", 80, 21, 90, 14},
      {kLabel, ControlKind::Static, u"垂直对齐：", 14, 43, 60, 10},
      {kObjectTextVerticalAlign, ControlKind::ComboBox, u"", 80, 41, 90, 14},
  });
}

DialogTemplate propertiesPage() {
  return page(u"属性", {
      {kLabel, ControlKind::GroupBox, u"对象位置：", 7, 7, 222, 60},
      {kObjectMoveAndSize, ControlKind::Radio, u"大小、位置随单元格而变", 14, 20, 200, 12, platform::kStyleGroupStart},
      {kObjectMoveOnly, ControlKind::Radio, u"大小固定，位置随单元格而变", 14, 34, 200, 12},
      {kObjectFixed, ControlKind::Radio, u"大小、位置均固定", 14, 48, 200, 12},
  });
}

DialogTemplate macroPage() {
  return page(u"宏", {
      {kLabel, ControlKind::Static, u"引用位置：", 7, 9, 60, 10},
      {kObjectMacro, ControlKind::Edit, u"", 7, 21, 222, 14, 0, 255},
  });
}

} // namespace

bool objectFormatAvailable(const model::DrawingObject& o) {
  switch (o.kind) {
  case model::kObjectLine:
  case model::kObjectRectangle:
  case model::kObjectOval:
  case model::kObjectArc:
  case model::kObjectPolygon:
  case model::kObjectPicture:
  case model::kObjectTextBox:
  case model::kObjectComment:
  case model::kObjectOfficeShape:
    return true;
  default:
    return false;
  }
}

bool hasTextPages(const model::DrawingObject& o) {
  return o.kind == model::kObjectTextBox || o.kind == model::kObjectComment ||
         (o.kind == model::kObjectOfficeShape && !o.text.empty());
}

bool showObjectFormatDialog(model::Workbook& book, model::DrawingObject& object,
                            const std::function<bool(std::u16string_view)>& macroValid) {
  model::DrawingObject edited = object;
  const model::Font base = object.fontIndex < book.fonts.size() ? book.fonts[object.fontIndex]
                           : book.fonts.empty()                 ? model::Font{}
                                                                : book.fonts[0];
  edit::FormatDialogState font = edit::fontState(base);
  platform::PropertySheetTemplate sheet;
  sheet.title = std::u16string(object.kind == model::kObjectPicture ? kPictureDialogTitle : kObjectDialogTitle);
  std::vector<std::unique_ptr<platform::DialogProcedure>> procedures;
  if (hasTextPages(object)) {
    sheet.pages.push_back(fontPageTemplate());
    procedures.push_back(makeFontPage(book, font));
    sheet.pages.push_back(textPage());
    procedures.push_back(std::make_unique<TextPage>(book, edited));
  }
  sheet.pages.push_back(coloursPage(object));
  procedures.push_back(std::make_unique<ColoursPage>(book, edited));
  sheet.pages.push_back(propertiesPage());
  procedures.push_back(std::make_unique<PropertiesPage>(book, edited));
  // A comment is never clicked, so it runs no macro.
  if (object.kind != model::kObjectComment) {
    sheet.pages.push_back(macroPage());
    procedures.push_back(std::make_unique<MacroPage>(book, edited, macroValid));
  }
  std::vector<platform::DialogProcedure*> pages;
  for (auto& p : procedures)
    pages.push_back(p.get());
  if (platform::dialogHost().runSheet(sheet, pages) != platform::kIdOk)
    return false;
  if (font.anyFontChanged()) {
    const int index = model::findOrAddFont(book, edit::changedFont(base, font));
    if (index >= 0)
      edited.fontIndex = static_cast<std::uint16_t>(index);
  }
  object = std::move(edited);
  return true;
}

} // namespace dialogs
