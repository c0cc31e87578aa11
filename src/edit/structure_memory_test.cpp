// Structural edits and sheet commands that run out of memory at any of
// their allocations leave the workbook exactly as it was; those that
// complete are taken back exactly by Undo.

#include "edit/edit_test_util.h"
#include "edit/structure.h"
#include "edit/undo_command.h"
#include "model/failing_allocator_test_util.h"
#include "model/sheet_list.h"
#include "platform/memory.h"

#include <functional>
#include <string>

namespace edit {
namespace {

using model::CellRange;

class Refs : public model::ObjectPayload {
public:
  std::u16string linkedCell;
  std::u16string series;
  std::unique_ptr<model::ObjectPayload> clone() const override { return std::make_unique<Refs>(*this); }
  void forEachReference(const std::function<void(std::u16string&)>& fn) override {
    fn(linkedCell);
    fn(series);
  }
};

void add(std::u16string& out, long long n) {
  for (char c : std::to_string(n))
    out += static_cast<char16_t>(c);
  out += u',';
}
void add(std::u16string& out, std::u16string_view text) {
  out += text;
  out += u'|';
}
void add(std::u16string& out, const CellRange& r) {
  for (int n : {int{r.firstRow}, int{r.firstColumn}, int{r.lastRow}, int{r.lastColumn}})
    add(out, n);
}

class StructureMemoryTest : public EditTest {
protected:
  StructureMemoryTest() {
    EXPECT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Worksheet, false));
    EXPECT_TRUE(model::insert_sheet(book(), 2, std::nullopt, model::SheetKind::Worksheet, false));
    const char16_t* sheet1[][3] = {
        {u"1", u"=SUM(A1:A6)", u"=Sheet2!A2+SUM(Sheet1:Sheet3!A1)"},
        {u"2", u"=A4*2", u"=SUM(Sheet1:Sheet3!A1:B2)"},
        {u"3", u"=$A$5+B1", u"text"},
        {u"4", u"=SUM(A:A)", u"=Sheet3!A1"},
        {u"5", u"=A5", u"=SUM(Sheet2:Sheet3!A1)"},
        {u"6", u"=COUNT(A2:C6)", u""},
    };
    for (int r = 0; r < 6; ++r)
      for (int c = 0; c < 3; ++c)
        if (*sheet1[r][c])
          put(0, r, c, sheet1[r][c]);
    put(1, 0, 0, u"10");
    put(1, 1, 0, u"=Sheet1!A5+SUM(Sheet1:Sheet3!A1)");
    put(1, 2, 0, u"=SUM(Sheet1:Sheet3!A1:A2)");
    put(2, 0, 0, u"100");
    put(2, 1, 0, u"=Sheet1!B2+Sheet2!A1");
    put(1, 3, 0, u"=Sheet1!Local+Sheet3!Far");

    model::Sheet& s1 = book().sheet(0);
    model::set_row_record(s1, 3, 0, 400);
    s1.mergedRanges.push_back(range(7, 3, 8, 4));
    model::ValidationRule v;
    v.allow = model::kAllowCustom;
    v.formula1 = u"=A1>$C$10+SUM(Sheet2:Sheet3!$C$10)";
    v.ranges = {range(4, 0, 9, 0)};
    s1.validations.push_back(v);
    model::ConditionalFormat f;
    model::FormatCondition cond;
    cond.kind = 2;
    cond.operand1 = u"=$A$3=SUM(Sheet1:Sheet3!$A$1)";
    f.conditions.push_back(cond);
    f.ranges = {range(0, 3, 30, 3)};
    s1.conditionalFormats.push_back(f);
    model::DrawingObject o;
    o.kind = model::kObjectChart;
    o.anchor = {{8, 0, 40, 0}, {10, 0, 50, 0}};
    auto p = std::make_unique<Refs>();
    p->linkedCell = u"$B$5";
    p->series = u"=SERIES(,Sheet1!$A$2:$A$6,Sheet1:Sheet3!$A$1,1)";
    o.payload.reset(std::move(p));
    book().sheet(1).objects.push_back(std::move(o));

    model::DefinedName data;
    data.name = u"Data";
    data.formula = u"=Sheet1!$A$1:$A$6";
    model::DefinedName span;
    span.name = u"Span";
    span.formula = u"=Sheet1:Sheet3!$A$1";
    model::DefinedName local; // Sheet1's own, and Sheet3's
    local.name = u"Local";
    local.sheetIndex = 1;
    local.formula = u"=Sheet1!$A$2";
    model::DefinedName far;
    far.name = u"Far";
    far.sheetIndex = 3;
    far.formula = u"=100";
    book().names = {data, span, local, far};
    model::names_changed(book());
    formula::recalcAll(book());
    book().activeSheet = 0;
  }

  void put(int sheetIndex, int row, int column, std::u16string_view text) {
    ASSERT_TRUE(model::set_cell(book(), sheetIndex, static_cast<std::uint16_t>(row),
                                static_cast<std::uint8_t>(column), text, 15, false, true));
  }

  // Everything an edit may touch, values included, as one text.
  std::u16string fingerprint() {
    model::Workbook& b = book();
    std::u16string out;
    add(out, b.activeSheet);
    for (int s = 0; s < b.sheetCount(); ++s) {
      model::Sheet& sheet = b.sheet(s);
      add(out, sheet.name);
      add(out, sheet.id);
      sheet.cells.forEach([&](model::CellRecord& c) {
        formula::computeCell(b, s, c);
        add(out, c.row);
        add(out, c.column);
        add(out, c.input.view());
        add(out, c.formatIndex);
        if (c.value.isNumber())
          add(out, static_cast<long long>(c.value.numberValue() * 1000));
        if (c.value.isError())
          add(out, static_cast<long long>(c.value.errorValue()));
      });
      for (const model::RowRecord& r : sheet.rows)
        for (long long n : {(long long)r.row, (long long)r.flags, (long long)r.size})
          add(out, n);
      for (const CellRange& m : sheet.mergedRanges)
        add(out, m);
      for (const model::ValidationRule& v : sheet.validations) {
        add(out, v.formula1);
        for (const CellRange& r : v.ranges)
          add(out, r);
      }
      for (const model::ConditionalFormat& f : sheet.conditionalFormats) {
        add(out, f.conditions[0].operand1);
        for (const CellRange& r : f.ranges)
          add(out, r);
      }
      for (model::DrawingObject& o : sheet.objects) {
        add(out, o.anchor.first.row);
        add(out, o.anchor.last.row);
        if (model::ObjectPayload* p = o.payload.get())
          p->forEachReference([&](std::u16string& t) { add(out, t); });
      }
    }
    for (const model::DefinedName& n : b.names) {
      add(out, n.name);
      add(out, n.sheetIndex);
      add(out, n.formula);
    }
    add(out, static_cast<long long>(model::undoList().size()));
    return out;
  }

  bool insufficientMemoryShown() {
    for (const auto& shown : ui.shown())
      if (shown.text == u"Insufficient memory")
        return true;
    return false;
  }
};

using Command = std::function<bool(model::Workbook&)>;

CellRange rows(int first, int last) {
  return {static_cast<std::uint16_t>(first), 0, static_cast<std::uint16_t>(last), model::kMaxColumn};
}
CellRange columns(int first, int last) {
  return {0, static_cast<std::uint8_t>(first), model::kMaxRow, static_cast<std::uint8_t>(last)};
}
CellRange cells(int r1, int c1, int r2, int c2) {
  return {static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1), static_cast<std::uint16_t>(r2),
          static_cast<std::uint8_t>(c2)};
}

struct Case {
  const char* name;
  Command run;
};

const Case kCommands[] = {
    {"InsertRows", [](model::Workbook& b) { return insert_cells_down(b, 0, rows(2, 3)); }},
    {"DeleteRows", [](model::Workbook& b) { return delete_cells_up(b, 0, rows(3, 3)); }},
    {"DeleteRowsToTheEdge", [](model::Workbook& b) { return delete_cells_up(b, 0, rows(4, model::kMaxRow)); }},
    {"InsertColumns", [](model::Workbook& b) { return insert_cells_right(b, 0, columns(0, 0)); }},
    {"DeleteColumns", [](model::Workbook& b) { return delete_cells_left(b, 0, columns(0, 0)); }},
    {"InsertCellsDown", [](model::Workbook& b) { return insert_cells_down(b, 0, cells(1, 0, 2, 0)); }},
    {"DeleteCellsUp", [](model::Workbook& b) { return delete_cells_up(b, 0, cells(1, 0, 1, 1)); }},
    {"DeleteCellsLeft", [](model::Workbook& b) { return delete_cells_left(b, 0, cells(2, 0, 2, 1)); }},
    {"DeleteLastSheetOfRanges",
     [](model::Workbook& b) {
       b.activeSheet = 2;
       const bool done = model::delete_active_sheet(b);
       if (!done)
         b.activeSheet = 0; // as the fixture left it, for the comparison
       return done;
     }},
    {"DeleteFirstSheetOfRanges", [](model::Workbook& b) { return model::delete_active_sheet(b); }},
    {"RenameSheet", [](model::Workbook& b) { return model::rename_sheet(b, 0, u"First"); }},
};

class EveryAllocationFails : public StructureMemoryTest, public ::testing::WithParamInterface<Case> {};

// Each run either fails, reported, with the workbook as it was, or
// completes as an unhindered run does (a recalculation short of memory
// leaves cells to be computed later); Undo takes a completed one back.
TEST_P(EveryAllocationFails, AndTheCommandIsAllOrNothing) {
  const auto undoIt = [&] {
    ASSERT_TRUE(undo(books).undone);
    book().activeSheet = 0; // Undo activates the sheet it put back
  };
  const std::u16string before = fingerprint();
  ASSERT_TRUE(GetParam().run(book()));
  const std::u16string after = fingerprint();
  ASSERT_NE(after, before);
  undoIt();
  ASSERT_EQ(fingerprint(), before) << "Undo takes the command back exactly";
  long failures = 0;
  bool completed = false;
  for (long n = 1; n < 100000 && !completed; ++n) {
    testalloc::failAllocationNumber(n);
    const bool done = GetParam().run(book());
    completed = testalloc::disarmCountdown();
    if (!done) {
      ASSERT_FALSE(completed) << "refused without running out of memory";
      ++failures;
      ASSERT_EQ(fingerprint(), before) << "allocation " << n << " failed";
      continue;
    }
    ASSERT_EQ(fingerprint(), after) << "allocation " << n << " failed, yet the command completed";
    undoIt();
    ASSERT_EQ(fingerprint(), before) << "allocation " << n;
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(failures, 10);
  EXPECT_TRUE(insufficientMemoryShown());
}

INSTANTIATE_TEST_SUITE_P(All, EveryAllocationFails, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StructureMemoryTest, DeletingASheetAtEitherEndOfARangeNarrowsItAndUndoWidensItAgain) {
  struct Expect {
    int deleted;
    std::u16string_view cell;       // Sheet2!A2 after the deletion
    std::u16string_view name;       // Span
    std::u16string_view series;     // the chart's second reference
    std::u16string_view validation; // Sheet1's rule, when Sheet1 stays
    std::u16string_view condition;
  };
  const Expect cases[] = {
      {2, u"=Sheet1!A5+SUM(Sheet1:Sheet2!A1)", u"=Sheet1:Sheet2!$A$1", u"=SERIES(,Sheet1!$A$2:$A$6,Sheet1:Sheet2!$A$1,1)",
       u"=A1>$C$10+SUM(Sheet2!$C$10)", u"=$A$3=SUM(Sheet1:Sheet2!$A$1)"},
      {0, u"=Sheet1!A5+SUM(Sheet2:Sheet3!A1)", u"=Sheet2:Sheet3!$A$1", u"=SERIES(,Sheet1!$A$2:$A$6,Sheet2:Sheet3!$A$1,1)",
       u"", u""},
  };
  for (const Expect& c : cases) {
    SCOPED_TRACE(c.deleted);
    const std::u16string before = fingerprint();
    const double sum = number(0, 2); // Sheet2!A2 + 1 + 10 + 100
    book().activeSheet = c.deleted;
    ASSERT_TRUE(model::delete_active_sheet(book()));
    const int sheet2 = model::find_sheet(book(), u"Sheet2");
    ASSERT_GE(sheet2, 0);
    model::CellRecord* a2 = model::cell_at(book().sheet(sheet2), 1, 0);
    ASSERT_NE(a2, nullptr);
    EXPECT_EQ(a2->input.view(), c.cell);
    EXPECT_EQ(book().names[1].formula, c.name);
    auto* refs = static_cast<Refs*>(book().sheet(sheet2).objects[0].payload.get());
    EXPECT_EQ(refs->series, c.series);
    if (!c.validation.empty()) {
      EXPECT_EQ(book().sheet(0).validations[0].formula1, c.validation);
      EXPECT_EQ(book().sheet(0).conditionalFormats[0].conditions[0].operand1, c.condition);
    }
    ASSERT_TRUE(undo(books).undone);
    book().activeSheet = 0;
    EXPECT_EQ(fingerprint(), before);
    EXPECT_EQ(number(0, 2), sum) << "the range takes in the sheet it lost again";
    a2 = model::cell_at(book().sheet(1), 1, 0);
    EXPECT_EQ(a2->input.view(), u"=Sheet1!A5+SUM(Sheet1:Sheet3!A1)");
  }
}

} // namespace
} // namespace edit
