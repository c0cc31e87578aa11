#include "fileformats/biff/control_records.h"

#include "drawing/controls.h"
#include "fileformats/biff/byte_cursor.h"
#include "model/sheet.h"

#include <algorithm>

namespace biff {

namespace {

using drawing::ControlPayload;

// List data's length field says nothing; these are the values writers put there.
constexpr std::uint16_t kListLengthWithFormula = 0x1FDE;
constexpr std::uint16_t kListLengthWithout = 0x1FEE;
// A sheet's own form control, in the list data's behaviour class.
constexpr std::uint16_t kRegularList = 0x0100;

struct Out {
  std::vector<std::uint8_t> b;
  void u8(std::uint8_t v) { b.push_back(v); }
  void u16(std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void zeros(int n) { b.insert(b.end(), static_cast<size_t>(n), 0); }
};

// A parsed formula: token count, four unused bytes, the tokens (a pad to
// even may follow).
bool readFormula(std::span<const std::uint8_t> body, const ControlFormulaText& formulaText, std::u16string& text) {
  ByteCursor c(body);
  std::uint16_t cce = 0;
  std::span<const std::uint8_t> tokens;
  if (!formulaText || !c.u16(cce) || !c.skip(4) || !c.bytes(cce & 0x7FFF, tokens) || tokens.empty())
    return false;
  std::u16string formula = formulaText(tokens);
  if (!formula.empty() && formula.front() == u'=')
    formula.erase(0, 1);
  if (formula.empty())
    return false;
  text = std::move(formula);
  return true;
}

bool formulaBody(std::u16string_view text, const ControlFormulaTokens& formulaTokens, Out& o) {
  if (!formulaTokens)
    return false;
  const std::vector<std::uint8_t> tokens = formulaTokens(text);
  if (tokens.empty() || tokens.size() > 4000)
    return false;
  const std::uint16_t cce = static_cast<std::uint16_t>(tokens.size());
  o.u16(static_cast<std::uint16_t>((cce + 1) / 2 * 2 + 6));
  o.u16(cce);
  o.zeros(4);
  o.b.insert(o.b.end(), tokens.begin(), tokens.end());
  if (cce % 2)
    o.u8(0);
  return true;
}

// A formula sub-record: its length is the formula's size.
void formulaSubRecord(std::uint16_t ft, std::u16string_view text, const ControlFormulaTokens& formulaTokens, Out& o) {
  if (text.empty())
    return;
  Out body;
  if (!formulaBody(text, formulaTokens, body))
    return;
  o.u16(ft);
  o.b.insert(o.b.end(), body.b.begin(), body.b.end());
}

// List data, after its length field (which says nothing).
void readList(ByteCursor c, model::DrawingObject& object, ControlPayload& control, const ControlFormulaText& formulaText) {
  // The range's formula, when there is one (size 0 for none).
  std::uint16_t size = 0;
  std::span<const std::uint8_t> formula;
  if (!c.u16(size) || !c.bytes(size, formula))
    return;
  if (std::u16string range; size && readFormula(formula, formulaText, range))
    control.inputRange = range;
  std::uint16_t lines = 0, selected = 0, flags = 0, edit = 0;
  if (!c.u16(lines) || !c.u16(selected) || !c.u16(flags) || !c.u16(edit))
    return;
  control.itemCount = std::min<std::uint16_t>(lines, drawing::kControlNumberLimit);
  control.selection = selected;
  control.flat = (flags & 0x0008) != 0;
  const int selectionType = (flags >> 4) & 3;
  control.selectionType = selectionType == 1   ? drawing::ListSelection::Multi
                          : selectionType == 2 ? drawing::ListSelection::Extend
                                               : drawing::ListSelection::Single;
  if (object.kind == model::kObjectComboBox) {
    std::uint16_t dropFlags = 0, dropLines = 0;
    if (c.u16(dropFlags) && c.u16(dropLines))
      control.dropDownLines = dropLines;
    return; // a drop-down keeps no entries of its own here
  }
  // Entries kept in the record (lists without a range) are not shown; skip them.
  if (flags & 0x0002)
    for (int i = 0; i < lines; ++i) {
      std::uint16_t cch = 0;
      std::uint8_t high = 0;
      if (!c.u16(cch) || !c.u8(high) || !c.skip(static_cast<size_t>(cch) * ((high & 1) ? 2 : 1)))
        return;
    }
  if (selectionType != 0) {
    std::span<const std::uint8_t> marks;
    if (c.bytes(std::min<size_t>(control.itemCount, c.rest().size()), marks))
      for (const std::uint8_t m : marks)
        control.selectedItems.push_back(m ? 1 : 0);
  }
}

ControlPayload& payloadOf(model::DrawingObject& object) {
  if (!drawing::controlOf(object))
    object.payload.reset(std::make_unique<ControlPayload>());
  return *drawing::controlOf(object);
}

// Where an Excel 95 control's name, macro and formulas start, after its
// fixed fields; 0 for kinds without such a layout.
size_t biff5VariablePart(std::uint16_t kind) {
  switch (kind) {
  case model::kObjectCheckBox: return 76;
  case model::kObjectOptionButton:
  case model::kObjectListBox: return 88;
  case model::kObjectGroupBox: return 82;
  case model::kObjectSpinner:
  case model::kObjectScrollBar: return 64;
  case model::kObjectComboBox: return 110;
  default: return 0;
  }
}

// Scroll data as Excel 95 and the scroll sub-record share it (from its
// four unused bytes on).
void writeScrollData(std::uint16_t kind, const ControlPayload& control, Out& o) {
  const bool list = kind == model::kObjectListBox || kind == model::kObjectComboBox;
  o.zeros(4);
  o.u16(list ? control.selection : control.value);
  o.u16(list ? 0 : control.minimum);
  o.u16(list ? control.itemCount : control.maximum);
  o.u16(control.increment);
  o.u16(list ? 0 : control.pageChange);
  o.u16(control.horizontal && !list ? 1 : 0);
  o.u16(list ? 16 : 15);
  o.u16(static_cast<std::uint16_t>((kind == model::kObjectComboBox ? 0 : 1) | (control.flat ? 8 : 0)));
}

void readScrollData(ByteCursor& c, ControlPayload& control) {
  // Signed in the file: a negative number is below every limit.
  std::uint16_t v[5] = {}, horizontal = 0, width = 0, flags = 0;
  if (!c.skip(4) || !c.u16(v[0]) || !c.u16(v[1]) || !c.u16(v[2]) || !c.u16(v[3]) || !c.u16(v[4]))
    return;
  const auto number = [](std::uint16_t x) { return drawing::clampNumber(static_cast<std::int16_t>(x)); };
  control.value = number(v[0]);
  control.minimum = number(v[1]);
  control.maximum = number(v[2]);
  control.increment = number(v[3]);
  control.pageChange = number(v[4]);
  if (c.u16(horizontal))
    control.horizontal = horizontal != 0;
  if (c.u16(width) && c.u16(flags))
    control.flat = (flags & 0x0008) != 0;
}

// List data after its length field: the range as a sized formula, the
// entry count, the selection, options, and for combo boxes their own part.
void writeListData(std::uint16_t kind, const ControlPayload& control, const ControlFormulaTokens& formulaTokens, Out& o,
                   bool biff8) {
  Out range;
  const bool withRange = !control.inputRange.empty() && formulaBody(control.inputRange, formulaTokens, range);
  if (biff8)
    o.u16(withRange ? kListLengthWithFormula : kListLengthWithout);
  if (withRange)
    o.b.insert(o.b.end(), range.b.begin(), range.b.end());
  else
    o.u16(0);
  const bool multi = kind == model::kObjectListBox && control.selectionType != drawing::ListSelection::Single;
  const std::uint16_t lines = multi ? static_cast<std::uint16_t>(control.selectedItems.size()) : control.itemCount;
  o.u16(lines);
  o.u16(control.selection);
  o.u16(static_cast<std::uint16_t>(kRegularList | (control.flat ? 8 : 0) |
                                   (kind == model::kObjectListBox ? static_cast<int>(control.selectionType) << 4 : 0)));
  o.u16(0); // no edit box
  if (kind == model::kObjectComboBox) {
    o.u16(0); // a drop-down list
    o.u16(control.dropDownLines);
    o.u16(0);
    o.u16(0); // an empty text
    if (biff8) {
      o.u8(0); // 8-bit, and a pad byte
      o.u8(0);
    }
  } else if (multi) {
    for (const std::uint8_t m : control.selectedItems)
      o.u8(m ? 1 : 0);
  }
}

} // namespace

void readControlSubRecords(model::DrawingObject& object, const ObjRecord& obj, const ControlFormulaText& formulaText) {
  if (!drawing::isControl(object))
    return;
  ControlPayload* control = &payloadOf(object);
  for (const ObjSubrecord& s : obj.subrecords) {
    ByteCursor c(s.body);
    const auto formula = [&](std::u16string& into) {
      if (std::u16string text; readFormula(s.body, formulaText, text))
        into = text;
    };
    switch (s.ft) {
    case ftSbsFmla:
    case ftCblsFmla:
      formula(control->linkedCell);
      break;
    case ftCblsData: {
      std::uint16_t checked = 0, accel = 0, reserved = 0, flags = 0;
      if (c.u16(checked))
        control->value = checked;
      if (c.u16(accel) && c.u16(reserved) && c.u16(flags))
        control->flat = (flags & 1) != 0;
      break;
    }
    case ftRboData: {
      std::uint16_t next = 0, first = 0;
      if (c.u16(next) && c.u16(first)) {
        control->nextInGroup = next;
        control->firstInGroup = first != 0;
      }
      break;
    }
    case ftSbs:
      readScrollData(c, *control);
      break;
    case ftLbsData:
      readList(c, object, *control, formulaText);
      break;
    case ftGboData: {
      std::uint16_t accel = 0, reserved = 0, flags = 0;
      if (c.u16(accel) && c.u16(reserved) && c.u16(flags))
        control->flat = (flags & 1) != 0;
      break;
    }
    default:
      // ftCbls and ftRbo hold nothing we keep; edit-box data belongs to
      // dialog sheets and is read past.
      break;
    }
  }
  drawing::clampControl(*control, object.kind);
}

std::vector<std::uint8_t> writeControlSubRecords(const model::Sheet& sheet, int index,
                                                 const ControlFormulaTokens& formulaTokens) {
  Out o;
  if (index < 0 || index >= static_cast<int>(sheet.objects.size()))
    return o.b;
  const model::DrawingObject& object = sheet.objects[static_cast<size_t>(index)];
  const ControlPayload* found = drawing::controlOf(object);
  if (!found)
    return o.b;
  ControlPayload control = *found;
  drawing::clampControl(control, object.kind);
  const std::uint16_t kind = object.kind;
  const bool state = kind == model::kObjectCheckBox || kind == model::kObjectOptionButton;
  const bool list = kind == model::kObjectListBox || kind == model::kObjectComboBox;
  const bool scrolls = list || kind == model::kObjectScrollBar || kind == model::kObjectSpinner;
  if (state) {
    o.u16(ftCbls);
    o.u16(12);
    o.zeros(12);
  }
  if (kind == model::kObjectOptionButton) {
    o.u16(ftRbo);
    o.u16(6);
    o.zeros(6);
  }
  if (scrolls) {
    o.u16(ftSbs);
    o.u16(20);
    writeScrollData(kind, control, o);
  }
  if (state || scrolls) {
    std::u16string link = control.linkedCell;
    if (kind == model::kObjectOptionButton)
      link = drawing::groupLinkedCell(sheet, drawing::optionGroup(sheet, index));
    formulaSubRecord(state ? ftCblsFmla : ftSbsFmla, link, formulaTokens, o);
  }
  if (state) {
    o.u16(ftCblsData);
    o.u16(8);
    o.u16(control.value);
    o.u16(0);
    o.u16(0);
    o.u16(control.flat ? 1 : 0);
  }
  if (kind == model::kObjectOptionButton) {
    // The group as a ring of object numbers, as the format chains it.
    const std::vector<int> group = drawing::optionGroup(sheet, index);
    const auto at = std::find(group.begin(), group.end(), index);
    const size_t k = static_cast<size_t>(at - group.begin());
    o.u16(ftRboData);
    o.u16(4);
    o.u16(static_cast<std::uint16_t>(group[(k + 1) % group.size()] + 1));
    o.u16(k == 0 ? 1 : 0);
  }
  if (kind == model::kObjectGroupBox) {
    o.u16(ftGboData);
    o.u16(6);
    o.u16(0);
    o.u16(0);
    o.u16(control.flat ? 1 : 0);
  }
  if (list) {
    o.u16(ftLbsData);
    writeListData(kind, control, formulaTokens, o, true);
    return o.b;
  }
  o.u16(ftEnd);
  o.u16(0);
  return o.b;
}

std::vector<std::uint8_t> writeBiff5ControlFields(const model::Sheet& sheet, int index, std::uint16_t textFlags,
                                                  std::string_view name, const ControlFormulaTokens& formulaTokens,
                                                  const ControlNarrowText& narrowText) {
  Out o;
  if (index < 0 || index >= static_cast<int>(sheet.objects.size()))
    return o.b;
  const model::DrawingObject& object = sheet.objects[static_cast<size_t>(index)];
  const std::uint16_t kind = object.kind;
  const ControlPayload* found = drawing::controlOf(object);
  const size_t variable = biff5VariablePart(kind);
  if (!variable)
    return o.b;
  ControlPayload control = found ? *found : ControlPayload{};
  drawing::clampControl(control, kind);
  const bool captioned = kind == model::kObjectCheckBox || kind == model::kObjectOptionButton ||
                         kind == model::kObjectGroupBox;
  constexpr size_t kFieldsStart = 44;
  if (captioned) {
    o.zeros(10);
    o.u16(textFlags);
  } else {
    writeScrollData(kind, control, o);
    if (kind == model::kObjectListBox || kind == model::kObjectComboBox) {
      o.zeros(18);
      o.u16(0); // the default font
    }
  }
  o.zeros(static_cast<int>(variable - kFieldsStart - o.b.size()));
  if (!name.empty()) {
    o.u8(static_cast<std::uint8_t>(std::min<size_t>(name.size(), 255)));
    o.b.insert(o.b.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(name.size(), 255)));
    if (o.b.size() % 2)
      o.u8(0);
  }
  // The macro as a sized formula, like the links after it.
  if (object.macro.empty() || !formulaBody(object.macro, formulaTokens, o))
    o.u16(0);
  const auto linkFormula = [&](const std::u16string& text) {
    if (text.empty() || !formulaBody(text, formulaTokens, o))
      o.u16(0);
  };
  if (kind != model::kObjectGroupBox)
    linkFormula(kind == model::kObjectOptionButton ? drawing::groupLinkedCell(sheet, drawing::optionGroup(sheet, index))
                                                   : control.linkedCell);
  if (captioned) {
    const auto narrowed = [&](std::u16string_view text) {
      return narrowText ? narrowText(text) : std::string(text.begin(), text.end());
    };
    std::string caption = narrowed(object.text);
    // The caption holds 255 bytes: drop whole characters, never half of one.
    for (size_t units = std::min<size_t>(object.text.size(), 255); caption.size() > 255 && units > 0; --units) {
      if (units < object.text.size() && object.text[units - 1] >= 0xD800 && object.text[units - 1] < 0xDC00)
        continue;
      caption = narrowed(std::u16string_view(object.text).substr(0, units));
    }
    caption.resize(std::min<size_t>(caption.size(), 255));
    o.u16(static_cast<std::uint16_t>(caption.size()));
    o.b.insert(o.b.end(), caption.begin(), caption.end());
    if (caption.size() % 2)
      o.u8(0);
    if (kind != model::kObjectGroupBox)
      o.u16(control.value);
    o.u16(0); // no accelerator keys
    o.u16(0);
    o.u16(control.flat ? 1 : 0);
  }
  if (kind == model::kObjectOptionButton) {
    const std::vector<int> group = drawing::optionGroup(sheet, index);
    const size_t k = static_cast<size_t>(std::find(group.begin(), group.end(), index) - group.begin());
    o.u16(static_cast<std::uint16_t>(group[(k + 1) % group.size()] + 1));
    o.u16(k == 0 ? 1 : 0);
  }
  if (kind == model::kObjectListBox || kind == model::kObjectComboBox)
    writeListData(kind, control, formulaTokens, o, false);
  return o.b;
}

void readBiff5ControlFields(model::DrawingObject& object, std::span<const std::uint8_t> body,
                            const ControlFormulaText& formulaText, const ControlWideText& wideText) {
  const std::uint16_t kind = object.kind;
  const size_t variable = biff5VariablePart(kind);
  if (!drawing::isControl(object) || !variable)
    return;
  ControlPayload& control = payloadOf(object);
  if (body.size() >= 64 && kind != model::kObjectCheckBox && kind != model::kObjectOptionButton &&
      kind != model::kObjectGroupBox) {
    ByteCursor scroll(body.subspan(44));
    readScrollData(scroll, control);
  }
  ByteCursor c(body);
  std::uint16_t named = 0;
  std::uint8_t nameLength = 0;
  if (!c.skip(30) || !c.u16(named) || !c.skip(variable - 32)) {
    drawing::clampControl(control, kind);
    return;
  }
  const auto pad = [&] { return c.position() % 2 == 0 || c.skip(1); };
  const auto sized = [&](std::u16string* into) {
    std::uint16_t size = 0;
    std::span<const std::uint8_t> formula;
    if (!c.u16(size) || !c.bytes(size, formula))
      return false;
    if (std::u16string text; into && size && readFormula(formula, formulaText, text))
      *into = text;
    return true;
  };
  std::u16string macro;
  bool ok = (!named || (c.u8(nameLength) && c.skip(nameLength) && pad())) && sized(&macro);
  if (!macro.empty())
    object.macro = u"=" + macro;
  if (ok && kind != model::kObjectGroupBox)
    ok = sized(&control.linkedCell);
  if (ok && (kind == model::kObjectCheckBox || kind == model::kObjectOptionButton || kind == model::kObjectGroupBox)) {
    std::uint16_t length = 0, state = 0, accel = 0, accelFar = 0, flags = 0;
    std::span<const std::uint8_t> caption;
    ok = c.u16(length) && c.bytes(length, caption) && pad();
    if (ok)
      object.text = wideText ? wideText(caption) : std::u16string(caption.begin(), caption.end());
    if (ok && kind != model::kObjectGroupBox && c.u16(state))
      control.value = state;
    if (ok && c.u16(accel) && c.u16(accelFar) && c.u16(flags))
      control.flat = (flags & 1) != 0;
    std::uint16_t next = 0, first = 0;
    if (ok && kind == model::kObjectOptionButton && c.u16(next) && c.u16(first)) {
      control.nextInGroup = next;
      control.firstInGroup = first != 0;
    }
  }
  if (ok && (kind == model::kObjectListBox || kind == model::kObjectComboBox))
    readList(c, object, control, formulaText);
  drawing::clampControl(control, kind);
}

} // namespace biff
