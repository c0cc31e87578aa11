#include "fileformats/biff/control_records.h"

#include "drawing/controls.h"
#include "fileformats/biff/formula_tokens.h"
#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "formula/recalc.h"
#include "model/sheet_list.h"
#include "model/workbook.h"
#include "platform/ui_services.h"
#include "model/sheet.h"
#include "model/workbook_list.h"

#include <gtest/gtest.h>

namespace biff {
namespace {

using drawing::ControlPayload;

model::ObjectAnchor at(std::uint16_t column, std::uint16_t row) {
  model::ObjectAnchor a;
  a.first = {column, 0, row, 0};
  a.last = {static_cast<std::uint16_t>(column + 1), 0, static_cast<std::uint16_t>(row + 1), 0};
  return a;
}

class ControlRecordsTest : public ::testing::Test {
protected:
  ControlRecordsTest() {
    EXPECT_TRUE(books.new_workbook(nullptr));
    ctx.book = books.active();
    ctx.sheet = 0;
    text = [this](std::span<const std::uint8_t> tokens) {
      std::u16string t;
      return tokensToFormulaText(tokens, {}, 0, 0, ctx, t) ? t : std::u16string();
    };
    tokens = [this](std::u16string_view t) {
      TokenArray out;
      WriteOptions options;
      options.expressionClass = TokenClass::Reference;
      return formulaTextToTokens(t, ctx, options, out) ? out.tokens : std::vector<std::uint8_t>();
    };
  }
  model::Sheet& sheet() { return books.active()->sheet(0); }
  // The new control's payload, valid until the next one is added.
  ControlPayload& add(std::uint16_t kind, std::uint16_t row = 0) {
    sheet().objects.push_back(drawing::makeControl(sheet(), kind, at(0, row)));
    return *drawing::controlOf(sheet().objects.back());
  }
  // An OBJ body: the common data, then the control's sub-records.
  static std::vector<std::uint8_t> objBody(std::uint16_t kind, const std::vector<std::uint8_t>& rest) {
    std::vector<std::uint8_t> b(22 + rest.size(), 0);
    const std::uint8_t common[] = {0x15, 0, 18, 0, static_cast<std::uint8_t>(kind), 0, 1, 0, 0x11, 0x60};
    std::copy(std::begin(common), std::end(common), b.begin());
    std::copy(rest.begin(), rest.end(), b.begin() + 22);
    return b;
  }
  // Writes object i and reads it back into a fresh object of the same kind.
  model::DrawingObject roundTrip(int i) {
    const std::uint16_t kind = sheet().objects[static_cast<size_t>(i)].kind;
    const std::vector<std::uint8_t> body = objBody(kind, writeControlSubRecords(sheet(), i, tokens));
    model::DrawingObject back;
    back.kind = kind;
    readControlSubRecords(back, parseObjRecord(body), text);
    return back;
  }

  model::WorkbookList books;
  TokenContext ctx;
  ControlFormulaText text;
  ControlFormulaTokens tokens;
};

TEST_F(ControlRecordsTest, ControlsComeBackAsWritten) {
  {
    ControlPayload& check = add(model::kObjectCheckBox);
    check.value = drawing::kMixed;
    check.linkedCell = u"$B$2";
    check.flat = true;
  }
  {
    ControlPayload& scroll = add(model::kObjectScrollBar, 3);
    scroll = ControlPayload{};
    scroll.minimum = 5;
    scroll.maximum = 300;
    scroll.value = 77;
    scroll.increment = 4;
    scroll.pageChange = 25;
    scroll.horizontal = true;
    scroll.linkedCell = u"$C$9";
  }
  {
    ControlPayload& list = add(model::kObjectListBox, 6);
    list.inputRange = u"$D$1:$D$5";
    list.linkedCell = u"$E$1";
    list.selection = 3;
    list.itemCount = 5;
  }
  {
    ControlPayload& combo = add(model::kObjectComboBox, 9);
    combo.inputRange = u"$D$1:$D$5";
    combo.dropDownLines = 12;
    combo.selection = 2;
  }
  {
    ControlPayload& multi = add(model::kObjectListBox, 12);
    multi.selectionType = drawing::ListSelection::Multi;
    multi.selectedItems = {0, 1, 1, 0};
  }

  const model::DrawingObject c = roundTrip(0);
  EXPECT_EQ(drawing::controlOf(c)->value, drawing::kMixed);
  EXPECT_EQ(drawing::controlOf(c)->linkedCell, u"$B$2");
  EXPECT_TRUE(drawing::controlOf(c)->flat);

  const model::DrawingObject o1 = roundTrip(1);
  const ControlPayload& s = *drawing::controlOf(o1);
  EXPECT_EQ(std::tie(s.value, s.minimum, s.maximum, s.increment, s.pageChange), std::make_tuple(77, 5, 300, 4, 25));
  EXPECT_TRUE(s.horizontal);
  EXPECT_EQ(s.linkedCell, u"$C$9");

  const model::DrawingObject o2 = roundTrip(2);
  const ControlPayload& l = *drawing::controlOf(o2);
  EXPECT_EQ(l.inputRange, u"$D$1:$D$5");
  EXPECT_EQ(l.linkedCell, u"$E$1");
  EXPECT_EQ(l.selection, 3);

  const model::DrawingObject o3 = roundTrip(3);
  const ControlPayload& k = *drawing::controlOf(o3);
  EXPECT_EQ(k.inputRange, u"$D$1:$D$5");
  EXPECT_EQ(k.dropDownLines, 12);
  EXPECT_EQ(k.selection, 2);

  const model::DrawingObject o4 = roundTrip(4);
  const ControlPayload& m = *drawing::controlOf(o4);
  EXPECT_EQ(m.selectionType, drawing::ListSelection::Multi);
  EXPECT_EQ(m.selectedItems, (std::vector<std::uint8_t>{0, 1, 1, 0}));
}

TEST_F(ControlRecordsTest, OptionGroupsAreWrittenAsARingWithTheGroupsLink) {
  add(model::kObjectOptionButton, 0);
  add(model::kObjectOptionButton, 2).linkedCell = u"$A$9";
  add(model::kObjectOptionButton, 4);
  for (int i = 0; i < 3; ++i) {
    const model::DrawingObject o = roundTrip(i);
    const ControlPayload& back = *drawing::controlOf(o);
    EXPECT_EQ(back.nextInGroup, (i + 1) % 3 + 1) << i; // object numbers count from 1
    EXPECT_EQ(back.firstInGroup, i == 0);
    EXPECT_EQ(back.linkedCell, u"$A$9") << i;
  }
}

// Sub-records as a file may hold them, built by hand.
std::vector<std::uint8_t> sub(std::uint16_t ft, std::initializer_list<std::uint16_t> words) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(ft), static_cast<std::uint8_t>(ft >> 8),
                                static_cast<std::uint8_t>(words.size() * 2), 0};
  for (const std::uint16_t w : words) {
    out.push_back(static_cast<std::uint8_t>(w));
    out.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  out.insert(out.end(), 4, 0); // the end
  return out;
}

TEST_F(ControlRecordsTest, NumbersFromFilesAreClamped) {
  const struct {
    std::uint16_t kind;
    std::vector<std::uint8_t> bytes;
    std::uint16_t value, minimum, maximum;
  } cases[] = {
      // -1 as the value, 32767 as the maximum.
      {model::kObjectScrollBar, sub(ftSbs, {0, 0, 0xFFFF, 0, 0x7FFF, 1, 10, 0, 15, 1}), 0, 0, 30000},
      // A minimum above the maximum.
      {model::kObjectSpinner, sub(ftSbs, {0, 0, 3, 40, 20, 1, 10, 0, 15, 1}), 40, 40, 40},
      {model::kObjectCheckBox, sub(ftCblsData, {5, 0, 0, 0}), drawing::kChecked, 0, 100},
      {model::kObjectOptionButton, sub(ftCblsData, {3, 0, 0, 0}), 1, 0, 100},
  };
  for (const auto& k : cases) {
    model::DrawingObject o;
    o.kind = k.kind;
    readControlSubRecords(o, parseObjRecord(objBody(k.kind, k.bytes)), text);
    const ControlPayload* c = drawing::controlOf(o);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::tie(c->value, c->minimum, c->maximum), std::tie(k.value, k.minimum, k.maximum)) << k.kind;
  }
}

TEST_F(ControlRecordsTest, DamagedRecordsReadWhatTheyCan) {
  add(model::kObjectListBox).inputRange = u"$A$1:$A$3";
  drawing::controlOf(sheet().objects.back())->linkedCell = u"$B$1";
  const std::vector<std::uint8_t> whole = objBody(model::kObjectListBox, writeControlSubRecords(sheet(), 0, tokens));
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
    model::DrawingObject o;
    o.kind = model::kObjectListBox;
    readControlSubRecords(o, parseObjRecord(part), text);
    ASSERT_NE(drawing::controlOf(o), nullptr);
  }
  // Objects that are no control are left alone.
  model::DrawingObject shape;
  shape.kind = model::kObjectRectangle;
  readControlSubRecords(shape, parseObjRecord(whole), text);
  EXPECT_EQ(shape.payload.get(), nullptr);
  EXPECT_TRUE(writeControlSubRecords(sheet(), 5, tokens).empty());
}

// A new workbook with the formula engine, saved and read back.
struct SavedBook {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;
  SavedBook() {
    formula::installFormulaEngine();
    EXPECT_TRUE(books.new_workbook(nullptr));
  }
  model::Workbook& book() { return *books.active(); }
  bool readBack(int version, model::Workbook& back) {
    std::vector<std::uint8_t> file;
    model::seedWorkbookTables(back, model::Font{});
    return writeBinaryWorkbook(book(), version, file) && readBinaryWorkbook(file, back);
  }
};

TEST(ControlFiles, ControlsSurviveASaveWithTheirLinks) {
  SavedBook saved;
  model::Workbook& book = saved.book();
  ASSERT_TRUE(model::insert_sheet(book, book.sheetCount(), std::nullopt, model::SheetKind::Worksheet, false));
  model::Sheet& s = book.sheet(0);
  s.objects.push_back(drawing::makeControl(s, model::kObjectScrollBar, at(1, 1)));
  drawing::ControlPayload& scroll = *drawing::controlOf(s.objects.back());
  scroll.value = 30;
  scroll.maximum = 60;
  scroll.linkedCell = book.sheet(1).name + u"!$C$3";
  s.objects.push_back(drawing::makeControl(s, model::kObjectComboBox, at(1, 4)));
  drawing::controlOf(s.objects.back())->inputRange = u"$A$1:$A$4";
  s.objects.push_back(drawing::makeControl(s, model::kObjectCheckBox, at(1, 7)));
  model::Workbook back;
  ASSERT_TRUE(saved.readBack(8, back));
  const std::vector<model::DrawingObject>& objects = back.sheet(0).objects;
  ASSERT_EQ(objects.size(), 3u);
  const drawing::ControlPayload* c = drawing::controlOf(objects[0]);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->value, 30);
  EXPECT_EQ(c->maximum, 60);
  EXPECT_EQ(c->linkedCell, book.sheet(1).name + u"!$C$3");
  ASSERT_NE(drawing::controlOf(objects[1]), nullptr);
  EXPECT_FALSE(objects[1].filterArrow) << "a user's combo box is no filter arrow";
  EXPECT_EQ(drawing::controlOf(objects[1])->inputRange, u"$A$1:$A$4");
  EXPECT_EQ(objects[2].text, u"复选框 1");
}

// Every control's state, limits, links and macro, written as Excel 97 and
// as Excel 95 (where they live in the OBJ record itself) and read back.
class ControlVersionTest : public ::testing::TestWithParam<int> {};

TEST_P(ControlVersionTest, ControlStateSurvivesTheFormat) {
  SavedBook saved;
  model::Sheet& s = saved.book().sheet(0);
  const auto add = [&](std::uint16_t kind, std::uint16_t row) -> drawing::ControlPayload& {
    s.objects.push_back(drawing::makeControl(s, kind, at(1, row)));
    return *drawing::controlOf(s.objects.back());
  };
  drawing::ControlPayload& check = add(model::kObjectCheckBox, 1);
  check.value = drawing::kChecked;
  check.linkedCell = u"$C$1";
  s.objects.back().text = u"Tick";
  s.objects.back().macro = u"=$E$1";
  s.objects.back().textAlign = model::kTextAlignRight;
  drawing::ControlPayload& spin = add(model::kObjectSpinner, 3);
  spin.minimum = 5;
  spin.maximum = 90;
  spin.increment = 5;
  spin.value = 35;
  spin.linkedCell = u"$C$3";
  drawing::ControlPayload& scroll = add(model::kObjectScrollBar, 5);
  scroll.maximum = 300;
  scroll.value = 120;
  scroll.pageChange = 25;
  scroll.horizontal = true;
  s.objects.back().macro = u"=$E$2:$E$3";
  drawing::ControlPayload& list = add(model::kObjectListBox, 7);
  list.inputRange = u"$A$1:$A$5";
  list.linkedCell = u"$C$7";
  list.itemCount = 5;
  list.selection = 4;
  drawing::ControlPayload& multi = add(model::kObjectListBox, 10);
  multi.inputRange = u"$A$1:$A$3";
  multi.selectionType = drawing::ListSelection::Multi;
  multi.itemCount = 3;
  multi.selectedItems = {1, 0, 1};
  drawing::ControlPayload& combo = add(model::kObjectComboBox, 13);
  combo.inputRange = u"$A$1:$A$5";
  combo.itemCount = 5;
  combo.dropDownLines = 12;
  combo.selection = 2;
  combo.flat = true;
  add(model::kObjectOptionButton, 15).linkedCell = u"$C$15";
  s.objects.back().text = u"One"; // captions are code-page text in Excel 95
  add(model::kObjectOptionButton, 16).value = 1;
  s.objects.back().text = u"Two";
  add(model::kObjectGroupBox, 18);
  s.objects.back().text = u"Frame";
  s.objects.back().macro = u"=$E$4";

  model::Workbook back;
  ASSERT_TRUE(saved.readBack(GetParam(), back));
  const std::vector<model::DrawingObject>& o = back.sheet(0).objects;
  ASSERT_EQ(o.size(), s.objects.size());
  for (size_t i = 0; i < o.size(); ++i) {
    SCOPED_TRACE(i);
    const drawing::ControlPayload* was = drawing::controlOf(s.objects[i]);
    const drawing::ControlPayload* c = drawing::controlOf(o[i]);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(o[i].kind, s.objects[i].kind);
    EXPECT_EQ(o[i].anchor, s.objects[i].anchor);
    EXPECT_EQ(o[i].text, s.objects[i].text);
    EXPECT_EQ(o[i].macro, s.objects[i].macro);
    EXPECT_EQ(std::tie(c->selection, c->flat, c->inputRange), std::tie(was->selection, was->flat, was->inputRange));
    const bool list = o[i].kind == model::kObjectListBox || o[i].kind == model::kObjectComboBox;
    EXPECT_EQ(c->value, list ? c->selection : was->value);
    // An option group's linked cell is written with each of its buttons.
    EXPECT_EQ(c->linkedCell, o[i].kind == model::kObjectOptionButton ? u"$C$15" : was->linkedCell);
    if (o[i].kind == model::kObjectSpinner || o[i].kind == model::kObjectScrollBar) {
      EXPECT_EQ(std::tie(c->minimum, c->maximum, c->increment, c->pageChange, c->horizontal),
                std::tie(was->minimum, was->maximum, was->increment, was->pageChange, was->horizontal));
    }
  }
  EXPECT_EQ(o[0].textAlign, model::kTextAlignRight);
  EXPECT_EQ(drawing::controlOf(o[4])->selectionType, drawing::ListSelection::Multi);
  EXPECT_EQ(drawing::controlOf(o[4])->selectedItems, (std::vector<std::uint8_t>{1, 0, 1}));
  EXPECT_EQ(drawing::controlOf(o[5])->dropDownLines, 12);
}

INSTANTIATE_TEST_SUITE_P(Versions, ControlVersionTest, ::testing::Values(8, 7));

// Excel 95 control fields cut anywhere, or claiming more than they hold,
// read what is there and never run past the record.
TEST_F(ControlRecordsTest, DamagedExcel95FieldsReadWhatTheyCan) {
  add(model::kObjectComboBox).inputRange = u"$A$1:$A$3";
  drawing::controlOf(sheet().objects.back())->linkedCell = u"$B$1";
  add(model::kObjectOptionButton);
  for (int index : {0, 1}) {
    std::vector<std::uint8_t> whole(44, 0);
    whole[30] = 1; // says a name comes first, which it does not
    const std::vector<std::uint8_t> fields = writeBiff5ControlFields(sheet(), index, 0, "", tokens, {});
    ASSERT_FALSE(fields.empty());
    whole.insert(whole.end(), fields.begin(), fields.end());
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
      model::DrawingObject o;
      o.kind = sheet().objects[static_cast<size_t>(index)].kind;
      readBiff5ControlFields(o, std::span(whole).first(cut), text, {});
      ASSERT_NE(drawing::controlOf(o), nullptr);
      EXPECT_LE(drawing::controlOf(o)->value, drawing::kControlNumberLimit);
    }
  }
  EXPECT_TRUE(writeBiff5ControlFields(sheet(), 9, 0, "", tokens, {}).empty());
}

} // namespace
} // namespace biff
