#include "edit/structure.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/range_guard.h"
#include "model/sheet_list.h"

namespace edit {
namespace {

using model::CellRange;

class StructureTest : public EditTest {
protected:
  static CellRange rows(int first, int last) { return range(first, 0, last, model::kMaxColumn); }
  static CellRange columns(int first, int last) { return range(0, first, model::kMaxRow, last); }
  bool isRefError(int row, int column) {
    model::CellRecord* c = cell(row, column);
    if (!c)
      return false;
    formula::computeCell(book(), sheetIndex(), *c);
    return c->value.isError() && c->value.errorValue() == model::ErrorCode::Ref;
  }
};

enum class Op { InsertRows, DeleteRows, InsertColumns, DeleteColumns, InsertCellsDown, DeleteCellsUp };

struct RewriteCase {
  const char* name;
  Op op;
  CellRange target; // rows/columns: first..last in the first/last fields
  std::u16string_view before;
  std::u16string_view after; // worked out by hand
};

// The formula stands in Z1 (column 25), away from every edited line but
// the first row, which no case touches.
const RewriteCase kRewrites[] = {
    {"InsertAboveSumGrowsIt", Op::InsertRows, {2, 0, 2, 0}, u"=SUM(A1:A10)", u"=SUM(A1:A11)"},
    {"DeleteInsideSumShrinksIt", Op::DeleteRows, {2, 0, 2, 0}, u"=SUM(A1:A10)", u"=SUM(A1:A9)"},
    {"DeleteTheReferencedRow", Op::DeleteRows, {4, 0, 4, 0}, u"=A5", u"=#REF!"},
    {"DeleteAboveMovesUp", Op::DeleteRows, {4, 0, 4, 0}, u"=A6+$B$7", u"=A5+$B$6"},
    {"DeleteBelowLeavesIt", Op::DeleteRows, {9, 0, 9, 0}, u"=A6", u"=A6"},
    {"InsertTwoRows", Op::InsertRows, {1, 0, 2, 0}, u"=A2*$A$3", u"=A4*$A$5"},
    {"WholeSheetColumnStays", Op::InsertRows, {4, 0, 4, 0}, u"=SUM(A1:A65536)", u"=SUM(A1:A65536)"},
    {"PushedOffTheSheet", Op::InsertRows, {4, 0, 4, 0}, u"=A65536", u"=#REF!"},
    {"DeleteToTheEnd", Op::DeleteRows, {99, 0, 65535, 0}, u"=A200+SUM(A1:A65536)", u"=#REF!+SUM(A1:A99)"},
    {"DeleteBandInsideRange", Op::DeleteRows, {3, 0, 5, 0}, u"=SUM(B2:B10)", u"=SUM(B2:B7)"},
    {"DeleteWholeRange", Op::DeleteRows, {3, 0, 5, 0}, u"=SUM(B4:B6)", u"=SUM(#REF!)"},
    {"InsertColumnBeforeB", Op::InsertColumns, {0, 1, 0, 1}, u"=B2+C3", u"=C2+D3"},
    {"DeleteColumnB", Op::DeleteColumns, {0, 1, 0, 1}, u"=B2+C3+SUM(A1:D1)", u"=#REF!+B3+SUM(A1:C1)"},
    {"CellsDownInOneColumn", Op::InsertCellsDown, {1, 1, 1, 1}, u"=B5+A5+SUM(A3:C3)", u"=B6+A5+SUM(A3:C3)"},
    {"CellsUpInOneColumn", Op::DeleteCellsUp, {1, 1, 1, 1}, u"=B2+B5+A5", u"=#REF!+B4+A5"},
    {"TextInQuotesStays", Op::DeleteRows, {0 + 4, 0, 4, 0}, u"=\"A6\"&A6", u"=\"A6\"&A5"},
};

class RewriteCases : public StructureTest, public ::testing::WithParamInterface<RewriteCase> {};

bool run(model::Workbook& book, Op op, const CellRange& t) {
  switch (op) {
  case Op::InsertRows:
    return insert_cells_down(book, 0, {t.firstRow, 0, t.lastRow, model::kMaxColumn});
  case Op::DeleteRows:
    return delete_cells_up(book, 0, {t.firstRow, 0, t.lastRow, model::kMaxColumn});
  case Op::InsertColumns:
    return insert_cells_right(book, 0, {0, t.firstColumn, model::kMaxRow, t.lastColumn});
  case Op::DeleteColumns:
    return delete_cells_left(book, 0, {0, t.firstColumn, model::kMaxRow, t.lastColumn});
  case Op::InsertCellsDown:
    return insert_cells_down(book, 0, t);
  case Op::DeleteCellsUp:
    return delete_cells_up(book, 0, t);
  }
  return false;
}

TEST_P(RewriteCases, FormulaTextAfterTheEdit) {
  const RewriteCase& c = GetParam();
  const bool columnEdit = c.op == Op::InsertColumns || c.op == Op::DeleteColumns;
  // Column edits keep the formula in row 30 of column Z; row edits in Z1.
  const int row = columnEdit ? 29 : 0;
  set(row, 25, c.before);
  ASSERT_TRUE(run(book(), c.op, c.target));
  const int column = c.op == Op::InsertColumns ? 25 + c.target.columnCount()
                     : c.op == Op::DeleteColumns ? 25 - c.target.columnCount()
                                                 : 25;
  EXPECT_EQ(input(row, column), c.after);
  // Undo puts the text back where it was.
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(input(row, 25), c.before);
}

INSTANTIATE_TEST_SUITE_P(All, RewriteCases, ::testing::ValuesIn(kRewrites),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StructureTest, DeletingARowTurnsReferencesIntoItIntoRefErrorsAndUndoBringsThemBack) {
  set(4, 0, u"5");
  set(5, 0, u"6");
  set(0, 2, u"=A5");
  set(1, 2, u"=A6");
  EXPECT_EQ(number(0, 2), 5);
  ASSERT_TRUE(delete_cells_up(book(), 0, rows(4, 4)));
  EXPECT_EQ(input(0, 2), u"=#REF!");
  EXPECT_TRUE(isRefError(0, 2)) << "must not read the old row 6";
  EXPECT_EQ(input(1, 2), u"=A5");
  EXPECT_EQ(number(1, 2), 6);
  EXPECT_EQ(input(4, 0), u"6");
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(input(0, 2), u"=A5");
  EXPECT_EQ(number(0, 2), 5);
  EXPECT_EQ(input(1, 2), u"=A6");
  EXPECT_EQ(number(1, 2), 6);
  EXPECT_EQ(input(4, 0), u"5");
  EXPECT_EQ(input(5, 0), u"6");
}

TEST_F(StructureTest, DeletingTheLastRowsStillInvalidatesReferencesIntoThem) {
  set(65535, 0, u"9");
  set(0, 1, u"=A65536");
  ASSERT_TRUE(delete_cells_up(book(), 0, rows(65535, 65535)));
  EXPECT_EQ(cell(65535, 0), nullptr);
  EXPECT_EQ(input(0, 1), u"=#REF!");
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(input(0, 1), u"=A65536");
  EXPECT_EQ(number(0, 1), 9);
}

TEST_F(StructureTest, InsertingARowMovesCellsAndRecomputesDependents) {
  set(0, 0, u"1");
  set(1, 0, u"2");
  set(2, 0, u"=A1+A2");
  set(3, 0, u"=A2*10");
  ASSERT_TRUE(insert_cells_down(book(), 0, rows(1, 1)));
  EXPECT_EQ(cell(1, 0), nullptr);
  EXPECT_EQ(input(2, 0), u"2");
  EXPECT_EQ(input(3, 0), u"=A1+A3");
  EXPECT_EQ(number(3, 0), 3);
  EXPECT_EQ(input(4, 0), u"=A3*10");
  EXPECT_EQ(number(4, 0), 20);
  set(2, 0, u"10");
  EXPECT_EQ(number(3, 0), 11) << "dependents are found at the cells' new places";
  EXPECT_EQ(number(4, 0), 100);
}

TEST_F(StructureTest, ReferencesFromOtherSheetsAndNamesFollow) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Other", model::SheetKind::Worksheet, false));
  book().activeSheet = 1;
  set(0, 0, u"=Sheet1!A6+A6+'Sheet1'!B7");
  book().activeSheet = 0;
  model::DefinedName global;
  global.name = u"Data";
  global.formula = u"=Sheet1!$A$1:$A$10";
  model::DefinedName local;
  local.name = u"Here";
  local.sheetIndex = 1;
  local.formula = u"=$B$8";
  model::DefinedName elsewhere;
  elsewhere.name = u"There";
  elsewhere.sheetIndex = 2;
  elsewhere.formula = u"=$B$8";
  book().names = {global, local, elsewhere};
  model::names_changed(book());
  ASSERT_TRUE(delete_cells_up(book(), 0, rows(4, 4)));
  EXPECT_EQ(model::cell_at(book().sheet(1), 0, 0)->input.view(), u"=Sheet1!A5+A6+'Sheet1'!B6");
  EXPECT_EQ(book().names[0].formula, u"=Sheet1!$A$1:$A$9");
  EXPECT_EQ(book().names[1].formula, u"=$B$7") << "local to the edited sheet";
  EXPECT_EQ(book().names[2].formula, u"=$B$8") << "local to another sheet";
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(model::cell_at(book().sheet(1), 0, 0)->input.view(), u"=Sheet1!A6+A6+'Sheet1'!B7");
  EXPECT_EQ(book().names[0].formula, u"=Sheet1!$A$1:$A$10");
  EXPECT_EQ(book().names[1].formula, u"=$B$8");
}

TEST_F(StructureTest, NoRoomRefusesWithTheMessageAndChangesNothing) {
  struct Case {
    CellRange sel;
    bool down;
    std::u16string_view message;
  };
  const Case cases[] = {
      {rows(3, 3), true, kMessageNoRoomRows},
      {columns(3, 3), false, kMessageNoRoomColumns},
      {range(3, 1, 3, 1), true, kMessageNoRoomCells},
      {range(65535, 3, 65535, 3), false, kMessageNoRoomCells},
  };
  set(65535, 1, u"bottom");
  set(0, 255, u"right edge");
  set(65535, 255, u"corner");
  for (const Case& c : cases) {
    ui.clearShown();
    const bool done = c.down ? insert_cells_down(book(), 0, c.sel) : insert_cells_right(book(), 0, c.sel);
    EXPECT_FALSE(done);
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].text, c.message);
    EXPECT_FALSE(ui.shown()[0].caption.has_value());
    EXPECT_TRUE(model::undoList().empty());
    EXPECT_EQ(input(65535, 1), u"bottom");
    EXPECT_EQ(input(0, 255), u"right edge");
  }
}

TEST_F(StructureTest, RecordsAtTheEdgeAreDroppedNotWrapped) {
  sheet().mergedRanges.push_back(range(65534, 3, 65535, 4));
  sheet().mergedRanges.push_back(range(10, 3, 11, 4));
  model::set_row_record(sheet(), 65535, model::kLineCustomHeight, 600);
  model::set_row_record(sheet(), 20, model::kLineCustomHeight, 700);
  sheet().hyperlinks.push_back({model::packCell(65535, 6), u"http://edge.invalid/"});
  ASSERT_TRUE(insert_cells_down(book(), 0, rows(5, 5)));
  ASSERT_EQ(sheet().mergedRanges.size(), 1u);
  EXPECT_EQ(sheet().mergedRanges[0], range(11, 3, 12, 4));
  ASSERT_EQ(sheet().rows.size(), 1u);
  EXPECT_EQ(sheet().rows[0].row, 21);
  EXPECT_EQ(sheet().rows[0].size, 700);
  EXPECT_TRUE(sheet().hyperlinks.empty());
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(sheet().mergedRanges.size(), 2u);
  EXPECT_EQ(sheet().rows.size(), 2u);
  EXPECT_EQ(sheet().hyperlinks.size(), 1u);
}

// A data table moves whole, with its headings and its input cells; an edit
// through it, or deleting an input, leaves plain values. Undo brings it back.
TEST_F(StructureTest, DataTablesMoveWholeOrAreDropped) {
  struct Case {
    const char* what;
    Op op;
    CellRange target;
    bool kept;
    CellRange range;                   // afterwards, when kept
    std::uint32_t input, columnInput;  // afterwards, when kept
  } const kCases[] = {
      {"row inserted above", Op::InsertRows, {1, 0, 1, 0}, true, {5, 3, 7, 4}, model::packCell(0, 1),
       model::packCell(2, 1)},
      {"row inserted inside", Op::InsertRows, {5, 0, 5, 0}, false, {}, 0, 0},
      {"heading row deleted", Op::DeleteRows, {3, 0, 3, 0}, false, {}, 0, 0},
      {"input row deleted", Op::DeleteRows, {0, 0, 0, 0}, false, {}, 0, 0},
      {"row deleted below", Op::DeleteRows, {9, 0, 9, 0}, true, {4, 3, 6, 4}, model::packCell(0, 1),
       model::packCell(1, 1)},
      {"column inserted before", Op::InsertColumns, {0, 0, 0, 0}, true, {4, 4, 6, 5}, model::packCell(0, 2),
       model::packCell(1, 2)},
      {"cells pushed down through it", Op::InsertCellsDown, {0, 4, 0, 4}, false, {}, 0, 0},
      {"cells pushed down beside it", Op::InsertCellsDown, {0, 6, 0, 6}, true, {4, 3, 6, 4},
       model::packCell(0, 1), model::packCell(1, 1)},
  };
  model::DataTable table;
  table.range = range(4, 3, 6, 4);
  table.input = model::packCell(0, 1);
  table.columnInput = model::packCell(1, 1);
  table.flags = model::kDataTableAlwaysCalc | model::kDataTableTwoInputs;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    sheet().dataTables = {table};
    set(4, 3, u"1");
    ASSERT_TRUE(run(book(), c.op, c.target));
    ASSERT_EQ(sheet().dataTables.size(), c.kept ? 1u : 0u);
    if (c.kept) {
      EXPECT_EQ(sheet().dataTables[0].range, c.range);
      EXPECT_EQ(sheet().dataTables[0].input, c.input);
      EXPECT_EQ(sheet().dataTables[0].columnInput, c.columnInput);
    }
    ASSERT_TRUE(undo(books).undone);
    ASSERT_EQ(sheet().dataTables.size(), 1u);
    EXPECT_EQ(sheet().dataTables[0].range, table.range);
    EXPECT_EQ(sheet().dataTables[0].columnInput, table.columnInput);
  }
}

TEST_F(StructureTest, HyperlinksAndCommentsMoveWithTheirCells) {
  set(4, 1, u"link");
  sheet().hyperlinks.push_back({model::packCell(4, 1), u"http://example.invalid/"});
  model::DrawingObject note;
  note.kind = model::kObjectComment;
  note.row = 4;
  note.column = 1;
  note.anchor = {{2, 0, 3, 0}, {4, 0, 7, 0}};
  note.text = u"remember";
  sheet().objects.push_back(note);
  ASSERT_TRUE(insert_cells_down(book(), 0, rows(1, 2)));
  ASSERT_NE(model::hyperlinkAt(sheet(), 6, 1), nullptr);
  EXPECT_EQ(model::hyperlinkAt(sheet(), 4, 1), nullptr);
  EXPECT_EQ(model::commentAt(sheet(), 6, 1), 0);
  EXPECT_EQ(sheet().objects[0].anchor.first.row, 5);
  EXPECT_EQ(sheet().objects[0].anchor.last.row, 9);
  ASSERT_TRUE(delete_cells_left(book(), 0, range(6, 0, 6, 0)));
  EXPECT_EQ(model::commentAt(sheet(), 6, 0), 0);
  ASSERT_NE(model::hyperlinkAt(sheet(), 6, 0), nullptr);
  // Deleting the cell takes its link and comment with it.
  ASSERT_TRUE(delete_cells_up(book(), 0, range(6, 0, 6, 0)));
  EXPECT_EQ(model::commentAt(sheet(), 6, 0), -1);
  EXPECT_TRUE(sheet().hyperlinks.empty());
}

TEST_F(StructureTest, RulesMoveAndTheirFormulasFollowTheirCells) {
  model::ValidationRule v;
  v.allow = model::kAllowCustom;
  v.formula1 = u"=A1>$C$10"; // relative to A1: the cell itself, against C10
  v.ranges = {range(4, 0, 9, 0)};
  sheet().validations.push_back(v);
  model::ConditionalFormat f;
  model::FormatCondition cond;
  cond.kind = 2;
  cond.operand1 = u"=$D$20=1";
  f.conditions.push_back(cond);
  f.ranges = {range(0, 3, 30, 3)};
  sheet().conditionalFormats.push_back(f);
  ASSERT_TRUE(insert_cells_down(book(), 0, rows(2, 3)));
  EXPECT_EQ(sheet().validations[0].ranges[0], range(6, 0, 11, 0));
  EXPECT_EQ(sheet().validations[0].formula1, u"=A1>$C$12");
  EXPECT_EQ(sheet().conditionalFormats[0].ranges[0], range(0, 3, 32, 3));
  EXPECT_EQ(sheet().conditionalFormats[0].conditions[0].operand1, u"=$D$22=1");
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(sheet().validations[0], v);
  EXPECT_EQ(sheet().conditionalFormats[0], f);
}

// A chart's series or a control's links, as their modules will keep them.
class LinkPayload : public model::ObjectPayload {
public:
  std::u16string linkedCell;
  std::u16string series;
  std::unique_ptr<model::ObjectPayload> clone() const override { return std::make_unique<LinkPayload>(*this); }
  void forEachReference(const std::function<void(std::u16string&)>& fn) override {
    fn(linkedCell);
    fn(series);
  }
};

TEST_F(StructureTest, ControlLinksAndSeriesFormulasAreRewrittenOnEverySheet) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Charts", model::SheetKind::Worksheet, false));
  book().activeSheet = 0;
  auto makeObject = [](std::u16string link, std::u16string series) {
    model::DrawingObject o;
    o.kind = model::kObjectChart;
    o.anchor = {{8, 0, 40, 0}, {10, 0, 50, 0}};
    auto p = std::make_unique<LinkPayload>();
    p->linkedCell = std::move(link);
    p->series = std::move(series);
    o.payload.reset(std::move(p));
    return o;
  };
  sheet().objects.push_back(makeObject(u"$B$5", u"=SERIES(,Sheet1!$A$2:$A$9,Sheet1!$B$2:$B$9,1)"));
  book().sheet(1).objects.push_back(makeObject(u"Sheet1!$B$5", u"=SERIES(,,Sheet1!$B$5:$B$6,1)"));
  ASSERT_TRUE(delete_cells_up(book(), 0, rows(3, 3)));
  const auto* here = static_cast<LinkPayload*>(sheet().objects[0].payload.get());
  const auto* there = static_cast<LinkPayload*>(book().sheet(1).objects[0].payload.get());
  EXPECT_EQ(here->linkedCell, u"$B$4");
  EXPECT_EQ(here->series, u"=SERIES(,Sheet1!$A$2:$A$8,Sheet1!$B$2:$B$8,1)");
  EXPECT_EQ(there->linkedCell, u"Sheet1!$B$4");
  EXPECT_EQ(there->series, u"=SERIES(,,Sheet1!$B$4:$B$5,1)");
  ASSERT_TRUE(undo(books).undone);
  here = static_cast<LinkPayload*>(sheet().objects[0].payload.get());
  there = static_cast<LinkPayload*>(book().sheet(1).objects[0].payload.get());
  EXPECT_EQ(here->linkedCell, u"$B$5");
  EXPECT_EQ(there->series, u"=SERIES(,,Sheet1!$B$5:$B$6,1)");
}

TEST_F(StructureTest, ObjectAnchorsFollowTheirRows) {
  model::DrawingObject sized, moving;
  sized.anchor = {{1, 0, 10, 0}, {3, 0, 12, 0}};
  moving = sized;
  moving.placement = model::ObjectPlacement::MoveOnly;
  model::DrawingObject above = sized;
  above.anchor = {{1, 0, 0, 0}, {3, 0, 2, 0}};
  sheet().objects = {sized, moving, above};
  ASSERT_TRUE(insert_cells_down(book(), 0, rows(11, 12)));
  EXPECT_EQ(sheet().objects[0].anchor.first.row, 10);
  EXPECT_EQ(sheet().objects[0].anchor.last.row, 14) << "move and size: the lower corner moves";
  EXPECT_EQ(sheet().objects[1].anchor.first.row, 10);
  EXPECT_EQ(sheet().objects[1].anchor.last.row, 12) << "move only: keeps its rows";
  EXPECT_EQ(sheet().objects[2].anchor, above.anchor);
  ASSERT_TRUE(delete_cells_up(book(), 0, rows(0, 0)));
  EXPECT_EQ(sheet().objects[0].anchor.first.row, 9);
  EXPECT_EQ(sheet().objects[2].anchor.first.row, 0) << "a corner on a deleted row goes to the next row";
}

TEST_F(StructureTest, FrozenSplitFollowsInsertedRows) {
  sheet().flags |= model::kSheetPanesFrozen;
  sheet().frozenRow = 0;
  sheet().scrollPaneRow = 5;
  ASSERT_TRUE(insert_cells_down(book(), 0, rows(2, 4)));
  EXPECT_EQ(sheet().scrollPaneRow, 8);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(sheet().scrollPaneRow, 5);
}

TEST_F(StructureTest, AutoFilterRangeAndItsGuards) {
  sheet().flags |= model::kSheetAutoFilter;
  sheet().autoFilter = {2, 1, 20, 3, std::vector<model::FilterCriterion>(3)};
  ASSERT_TRUE(insert_cells_down(book(), 0, rows(5, 5)));
  EXPECT_EQ(sheet().autoFilter.firstRow, 2);
  EXPECT_EQ(sheet().autoFilter.lastRow, 21);
  // Deleting a column of the filter is refused.
  EXPECT_FALSE(delete_cells_left(book(), 0, columns(2, 2)));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageAutoFilterOn);
  // Deleting its header row turns the filter off.
  ASSERT_TRUE(delete_cells_up(book(), 0, rows(2, 2)));
  EXPECT_FALSE(sheet().flags & model::kSheetAutoFilter);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_TRUE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_EQ(sheet().autoFilter.firstRow, 2);
}

TEST_F(StructureTest, ProtectedSheetsAndMergedPartsRefuse) {
  set(3, 0, u"kept");
  sheet().flags |= model::kSheetProtected;
  EXPECT_FALSE(insert_cells_down(book(), 0, rows(1, 1)));
  EXPECT_FALSE(delete_cells_up(book(), 0, rows(1, 1)));
  EXPECT_EQ(input(3, 0), u"kept");
  sheet().flags &= ~model::kSheetProtected;
  ui.clearShown();
  ASSERT_TRUE(model::addMergedRange(sheet(), range(5, 1, 5, 3)));
  EXPECT_FALSE(insert_cells_down(book(), 0, range(2, 2, 2, 2))) << "would split the merged cells";
  EXPECT_EQ(ui.shown().size(), 1u);
  EXPECT_TRUE(model::undoList().empty());
}

TEST_F(StructureTest, ColumnRecordsMoveWithInsertedColumns) {
  model::set_column_record(sheet(), 2, 0, 4000);
  ASSERT_TRUE(insert_cells_right(book(), 0, columns(1, 1)));
  EXPECT_EQ(model::column_width(sheet(), 3), 4000);
  EXPECT_EQ(model::column_width(sheet(), 2), model::kDefaultColumnWidth);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoInsertColumns);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(model::column_width(sheet(), 2), 4000);
}

TEST_F(StructureTest, UndoEntriesNameTheirActions) {
  struct Case {
    Op op;
    CellRange target;
    int action;
  };
  const Case cases[] = {
      {Op::InsertRows, {1, 0, 1, 0}, model::kUndoInsertRows},
      {Op::InsertColumns, {0, 1, 0, 1}, model::kUndoInsertColumns},
      {Op::InsertCellsDown, {1, 1, 1, 1}, model::kUndoInsertCells},
      {Op::DeleteRows, {1, 0, 1, 0}, model::kUndoDeleteRows},
      {Op::DeleteColumns, {0, 1, 0, 1}, model::kUndoDeleteColumns},
      {Op::DeleteCellsUp, {1, 1, 1, 1}, model::kUndoDeleteCells},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(run(book(), c.op, c.target));
    EXPECT_EQ(model::undoList().newest()->action, c.action);
  }
}

} // namespace
} // namespace edit
