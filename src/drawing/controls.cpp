#include "drawing/controls.h"

#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "formula/text_value.h"
#include "model/display_text.h"
#include "model/sheet.h"
#include "model/workbook.h"

#include <algorithm>
#include <cmath>

namespace drawing {

using model::CellValue;
using model::DrawingObject;

bool isControlKind(std::uint16_t kind) {
  switch (kind) {
  case model::kObjectButton:
  case model::kObjectCheckBox:
  case model::kObjectOptionButton:
  case model::kObjectLabel:
  case model::kObjectSpinner:
  case model::kObjectScrollBar:
  case model::kObjectListBox:
  case model::kObjectGroupBox:
  case model::kObjectComboBox:
    return true;
  default:
    return false;
  }
}

bool isControl(const DrawingObject& object) { return !object.filterArrow && isControlKind(object.kind); }

ControlPayload* controlOf(DrawingObject& object) {
  return isControl(object) ? dynamic_cast<ControlPayload*>(object.payload.get()) : nullptr;
}

const ControlPayload* controlOf(const DrawingObject& object) {
  return isControl(object) ? dynamic_cast<const ControlPayload*>(object.payload.get()) : nullptr;
}

namespace {

std::u16string_view captionStem(std::uint16_t kind) {
  switch (kind) {
  case model::kObjectLabel: return u"标签";
  case model::kObjectGroupBox: return u"群组框";
  case model::kObjectButton: return u"命令按钮";
  case model::kObjectCheckBox: return u"复选框";
  case model::kObjectOptionButton: return u"选项按钮";
  default: return {};
  }
}

std::uint16_t clampTo(int v, int low, int high) { return static_cast<std::uint16_t>(std::clamp(v, low, high)); }

// The anchor corner as one comparable number along each axis.
long long along(std::uint16_t line, std::uint16_t offset, int scale) {
  return static_cast<long long>(line) * scale + offset;
}

bool holds(const model::ObjectAnchor& box, const model::AnchorCorner& p) {
  const auto col = [](const model::AnchorCorner& c) { return along(c.column, c.columnOffset, 1024); };
  const auto row = [](const model::AnchorCorner& c) { return along(c.row, c.rowOffset, 256); };
  const long long l = std::min(col(box.first), col(box.last)), r = std::max(col(box.first), col(box.last));
  const long long t = std::min(row(box.first), row(box.last)), b = std::max(row(box.first), row(box.last));
  return col(p) >= l && col(p) <= r && row(p) >= t && row(p) <= b;
}

// The group box an option button lies in: the topmost that holds its corner, or -1.
int containerOf(const model::Sheet& sheet, int object) {
  const model::AnchorCorner& corner = sheet.objects[static_cast<size_t>(object)].anchor.first;
  for (int i = static_cast<int>(sheet.objects.size()) - 1; i >= 0; --i) {
    const DrawingObject& o = sheet.objects[static_cast<size_t>(i)];
    if (i != object && o.kind == model::kObjectGroupBox && holds(o.anchor, corner))
      return i;
  }
  return -1;
}

// A cell value as the number a control reads, when it reads as one.
std::optional<double> numberOf(const CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Empty: return 0.0;
  case model::ValueKind::Number: return std::trunc(v.numberValue());
  case model::ValueKind::Boolean: return v.booleanValue() ? 1.0 : 0.0;
  case model::ValueKind::String: {
    const formula::Classification k = formula::classifyText(v.stringValue());
    if (k.kind == formula::TextClass::Number)
      return std::trunc(k.value.numberValue());
    if (k.kind == formula::TextClass::Boolean)
      return k.value.booleanValue() ? 1.0 : 0.0;
    return std::nullopt;
  }
  case model::ValueKind::Error:
    if (v.errorValue() == model::ErrorCode::NA)
      return 0.0;
    return std::nullopt;
  default: return std::nullopt;
  }
}

std::u16string numberText(int n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

} // namespace

std::uint16_t clampNumber(double n) {
  if (std::isnan(n) || n <= 0)
    return 0;
  if (n >= kControlNumberLimit)
    return kControlNumberLimit;
  return static_cast<std::uint16_t>(n);
}

DrawingObject makeControl(const model::Sheet& sheet, std::uint16_t kind, const model::ObjectAnchor& anchor) {
  DrawingObject o;
  o.kind = kind;
  o.anchor = anchor;
  o.placement = model::ObjectPlacement::Fixed;
  o.hasFill = kind == model::kObjectButton || kind == model::kObjectListBox || kind == model::kObjectComboBox;
  o.fillColour = kind == model::kObjectButton ? 0xC0C0C0 : 0xFFFFFF;
  o.hasLine = false;
  const std::u16string_view stem = captionStem(kind);
  if (!stem.empty()) {
    const auto same = std::count_if(sheet.objects.begin(), sheet.objects.end(),
                                    [&](const DrawingObject& x) { return x.kind == kind && !x.filterArrow; });
    o.text = std::u16string(stem) + u" " + numberText(static_cast<int>(same) + 1);
  }
  auto c = std::make_unique<ControlPayload>();
  if (kind == model::kObjectOptionButton) {
    // A new option button is chosen when it starts a group of its own.
    const bool alone = std::none_of(sheet.objects.begin(), sheet.objects.end(),
                                    [](const DrawingObject& x) { return x.kind == model::kObjectOptionButton; });
    c->value = alone ? 1 : 0;
  }
  const int w = std::abs(static_cast<int>(anchor.last.column) * 1024 + anchor.last.columnOffset -
                         (static_cast<int>(anchor.first.column) * 1024 + anchor.first.columnOffset));
  const int h = std::abs(static_cast<int>(anchor.last.row) * 256 + anchor.last.rowOffset -
                         (static_cast<int>(anchor.first.row) * 256 + anchor.first.rowOffset));
  // Roughly in pixels: a column is some 64, a row 17.
  c->horizontal = w * 64 / 1024 > h * 17 / 256;
  o.payload.reset(std::move(c));
  return o;
}

void clampControl(ControlPayload& c, std::uint16_t kind) {
  c.minimum = clampTo(c.minimum, 0, kControlNumberLimit);
  c.maximum = clampTo(c.maximum, c.minimum, kControlNumberLimit);
  c.increment = clampTo(c.increment, 1, kControlNumberLimit);
  c.pageChange = clampTo(c.pageChange, 1, kControlNumberLimit);
  c.dropDownLines = clampTo(c.dropDownLines, 0, kControlNumberLimit);
  switch (kind) {
  case model::kObjectCheckBox:
    // Any other number a file gives reads as checked, as a cell's would.
    if (c.value > kMixed)
      c.value = kChecked;
    break;
  case model::kObjectOptionButton:
    c.value = c.value ? 1 : 0;
    break;
  case model::kObjectScrollBar:
  case model::kObjectSpinner:
    c.value = clampTo(c.value, c.minimum, c.maximum);
    break;
  case model::kObjectListBox:
  case model::kObjectComboBox:
    c.selection = clampTo(c.selection, 0, kControlNumberLimit);
    if (c.selectedItems.size() > kControlNumberLimit)
      c.selectedItems.resize(kControlNumberLimit);
    break;
  default:
    break;
  }
}

std::optional<ControlReference> resolveReference(const model::Workbook& book, int ownSheet, std::u16string_view text) {
  while (!text.empty() && text.front() == u' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ')
    text.remove_suffix(1);
  if (!text.empty() && text.front() == u'=')
    text.remove_prefix(1);
  if (text.empty())
    return std::nullopt;
  formula::ParsedReference r;
  if (!formula::readA1Reference(text, 0, &book, u',', r) || r.end != text.size())
    return std::nullopt;
  ControlReference out;
  out.sheet = r.hasQualifier ? r.sheet : ownSheet;
  if (out.sheet < 0 || out.sheet >= book.sheetCount())
    return std::nullopt;
  out.range = r.range();
  return out;
}

std::optional<CellValue> linkedValue(model::Workbook& book, int sheet, std::u16string_view reference) {
  if (reference.empty())
    return std::nullopt;
  const std::optional<ControlReference> r = resolveReference(book, sheet, reference);
  if (!r)
    return std::nullopt;
  model::CellRecord* c = model::cell_at(book.sheet(r->sheet), r->range.firstRow, r->range.firstColumn);
  if (!c)
    return CellValue();
  if (c->calcState == model::CalcState::NotValid)
    formula::computeCell(book, r->sheet, *c);
  return c->value;
}

bool applyCellValue(ControlPayload& c, std::uint16_t kind, const CellValue& v) {
  const std::optional<double> n = numberOf(v);
  const std::uint16_t wasValue = c.value, wasSelection = c.selection;
  switch (kind) {
  case model::kObjectCheckBox:
    if (v.isError() && v.errorValue() == model::ErrorCode::NA)
      c.value = kMixed;
    else if (n)
      c.value = *n != 0 ? kChecked : kUnchecked;
    break;
  case model::kObjectScrollBar:
  case model::kObjectSpinner:
    if (n)
      c.value = clampTo(clampNumber(*n), c.minimum, c.maximum);
    else
      c.value = clampTo(c.value, c.minimum, c.maximum);
    break;
  case model::kObjectListBox:
  case model::kObjectComboBox:
    if (n)
      c.selection = clampNumber(*n);
    break;
  default:
    break;
  }
  return c.value != wasValue || c.selection != wasSelection;
}

std::vector<int> optionGroup(const model::Sheet& sheet, int object) {
  std::vector<int> group;
  if (object < 0 || object >= static_cast<int>(sheet.objects.size()) ||
      sheet.objects[static_cast<size_t>(object)].kind != model::kObjectOptionButton)
    return group;
  const int box = containerOf(sheet, object);
  for (int i = 0; i < static_cast<int>(sheet.objects.size()); ++i)
    if (sheet.objects[static_cast<size_t>(i)].kind == model::kObjectOptionButton && containerOf(sheet, i) == box)
      group.push_back(i);
  return group;
}

std::u16string groupLinkedCell(const model::Sheet& sheet, const std::vector<int>& group) {
  for (const int i : group)
    if (const ControlPayload* c = controlOf(sheet.objects[static_cast<size_t>(i)]); c && !c->linkedCell.empty())
      return c->linkedCell;
  return {};
}

bool selectOption(model::Sheet& sheet, const std::vector<int>& group, int n) {
  bool changed = false;
  for (size_t k = 0; k < group.size(); ++k)
    if (ControlPayload* c = controlOf(sheet.objects[static_cast<size_t>(group[k])])) {
      const std::uint16_t v = static_cast<int>(k) + 1 == n ? 1 : 0;
      changed |= c->value != v;
      c->value = v;
    }
  return changed;
}

std::vector<int> refreshControl(model::Workbook& book, int sheetIndex, int object) {
  std::vector<int> changed;
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return changed;
  model::Sheet& sheet = book.sheet(sheetIndex);
  if (object < 0 || object >= static_cast<int>(sheet.objects.size()))
    return changed;
  DrawingObject& o = sheet.objects[static_cast<size_t>(object)];
  ControlPayload* c = controlOf(o);
  if (!c)
    return changed;
  if (o.kind != model::kObjectOptionButton) {
    if (const std::optional<CellValue> v = linkedValue(book, sheetIndex, c->linkedCell))
      if (applyCellValue(*c, o.kind, *v))
        changed.push_back(object);
    return changed;
  }
  const std::vector<int> group = optionGroup(sheet, object);
  const std::optional<CellValue> v = linkedValue(book, sheetIndex, groupLinkedCell(sheet, group));
  const std::optional<double> n = v ? numberOf(*v) : std::nullopt;
  if (!n)
    return changed;
  std::vector<std::uint16_t> before;
  for (const int g : group)
    before.push_back(controlOf(sheet.objects[static_cast<size_t>(g)])->value);
  selectOption(sheet, group, *n < 1 || *n > static_cast<double>(group.size()) ? 0 : static_cast<int>(*n));
  for (size_t k = 0; k < group.size(); ++k)
    if (controlOf(sheet.objects[static_cast<size_t>(group[k])])->value != before[k])
      changed.push_back(group[k]);
  return changed;
}

std::vector<int> refreshLinkedControls(model::Workbook& book, int sheetIndex) {
  std::vector<int> changed;
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return changed;
  const model::Sheet& sheet = book.sheet(sheetIndex);
  std::vector<bool> done(sheet.objects.size());
  for (int i = 0; i < static_cast<int>(sheet.objects.size()); ++i) {
    if (done[static_cast<size_t>(i)] || !controlOf(sheet.objects[static_cast<size_t>(i)]))
      continue;
    if (sheet.objects[static_cast<size_t>(i)].kind == model::kObjectOptionButton)
      for (const int g : optionGroup(sheet, i))
        done[static_cast<size_t>(g)] = true;
    for (const int k : refreshControl(book, sheetIndex, i))
      changed.push_back(k);
  }
  std::sort(changed.begin(), changed.end());
  return changed;
}

std::u16string linkedCellText(std::uint16_t kind, const ControlPayload& c) {
  switch (kind) {
  case model::kObjectCheckBox:
    return c.value == kMixed ? u"#N/A" : c.value == kChecked ? u"TRUE" : u"FALSE";
  case model::kObjectListBox:
  case model::kObjectComboBox:
    return numberText(c.selection);
  default:
    return numberText(c.value);
  }
}

std::vector<std::u16string> listEntries(model::Workbook& book, int sheet, const ControlPayload& c) {
  std::vector<std::u16string> out;
  const std::optional<ControlReference> r = resolveReference(book, sheet, c.inputRange);
  if (!r)
    return out;
  model::Sheet& s = book.sheet(r->sheet);
  for (int row = r->range.firstRow; row <= r->range.lastRow; ++row)
    for (int column = r->range.firstColumn; column <= r->range.lastColumn; ++column) {
      if (out.size() >= kControlNumberLimit)
        return out;
      model::CellRecord* cell = model::cell_at(s, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
      if (!cell) {
        out.emplace_back();
        continue;
      }
      if (cell->calcState == model::CalcState::NotValid)
        formula::computeCell(book, r->sheet, *cell);
      out.emplace_back(model::cell_plain_text(book, r->sheet, *cell));
    }
  return out;
}

} // namespace drawing
