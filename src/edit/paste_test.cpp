#include "edit/paste.h"

#include "edit/edit_test_util.h"
#include "model/display_text.h"

#include <algorithm>

namespace edit {
namespace {

using model::CellRange;

TEST(SubtractRange, PiecesCoverTheRangeWithoutTheHole) {
  const struct {
    CellRange range, hole;
    int pieces;
    int cells; // left over
  } rows[] = {
      {{0, 0, 9, 9}, {20, 20, 21, 21}, 1, 100}, // apart: the range itself
      {{0, 0, 9, 9}, {0, 0, 9, 9}, 0, 0},       // all of it
      {{0, 0, 9, 9}, {4, 4, 5, 5}, 4, 96},      // a hole in the middle
      {{0, 0, 9, 9}, {0, 0, 4, 9}, 1, 50},      // the top half
      {{0, 0, 9, 9}, {5, 5, 30, 30}, 2, 75},    // a corner
      {{2, 2, 2, 2}, {0, 0, 100, 100}, 0, 0},   // swallowed
  };
  for (const auto& row : rows) {
    const std::vector<CellRange> out = subtractRange(row.range, row.hole);
    EXPECT_EQ(static_cast<int>(out.size()), row.pieces);
    int cells = 0;
    for (const CellRange& p : out) {
      cells += p.rowCount() * p.columnCount();
      EXPECT_FALSE(p.intersects(row.hole));
      for (const CellRange& q : out)
        EXPECT_TRUE(&p == &q || !p.intersects(q)) << "pieces overlap";
    }
    EXPECT_EQ(cells, row.cells);
  }
}

TEST(OperateTexts, NumbersFormulasAndTextMeetAsTheOperationSays) {
  const struct {
    std::u16string_view d, c;
    int op;
    std::u16string_view result;
  } rows[] = {
      {u"2", u"5", kOperationAdd, u"7"},           // a number onto a number
      {u"abc", u"5", kOperationAdd, u"abc"},       // text stays
      {u"", u"5", kOperationAdd, u"5"},            // empty counts as 0
      {u"'4", u"3", kOperationSubtract, u"1"},     // an apostrophe number is a number
      {u"6", u"4", kOperationMultiply, u"24"},
      {u"1", u"8", kOperationDivide, u"0.125"},
      {u"7", u"0", kOperationDivide, u"#DIV/0!"},
      {u"=A1", u"=B1", kOperationAdd, u"=(A1)+(B1)"},
      {u"3", u"=B1", kOperationMultiply, u"=3*(B1)"},
      {u"=A1", u"2", kOperationSubtract, u"=(A1)-2"},
      {u"abc", u"=B1", kOperationAdd, u"abc"},
      {u"2", u"xyz", kOperationAdd, u"2"},         // clip text is neither
      {u"2", u"5", kOperationNone, u"5"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(operateTexts(row.d, row.c, row.op), row.result) << std::string(row.d.begin(), row.d.end());
}

class PasteEngineTest : public EditTest {
protected:
  model::SavedRange snap(const CellRange& r) { return model::snapshot_range(book(), sheetIndex(), r, true); }
  bool pasteRange(const CellRange& from, const CellRange& to, PasteOptions o = {}) {
    return paste_snapshot(book(), sheetIndex(), snap(from), to, &book(), o);
  }
};

TEST_F(PasteEngineTest, ReferencesShiftByTheOffsetUnlessTheCellIsText) {
  set(0, 0, u"1");
  set(1, 0, u"=A1+$A$1");
  set(1, 1, u"=A1", 0); // format 0 is General too
  ASSERT_TRUE(pasteRange(range(1, 0, 1, 1), range(4, 2, 4, 3)));
  EXPECT_EQ(input(4, 2), u"=C4+$A$1"); // three rows down, two across
  EXPECT_EQ(input(4, 3), u"=C4");
}

TEST_F(PasteEngineTest, DependentsOfTheDestinationAreUpdatedThroughOthers) {
  // D1 = C1 + 1 where C1 = B1 * 2: pasting 5 into B1 must reach D1.
  set(0, 2, u"=B1*2");
  set(0, 3, u"=C1+1");
  EXPECT_EQ(number(0, 3), 1);
  set(5, 0, u"5");
  ASSERT_TRUE(pasteRange(range(5, 0, 5, 0), range(0, 1, 0, 1)));
  EXPECT_EQ(number(0, 3), 11);
}

TEST_F(PasteEngineTest, AnArrayBlockBecomesOneRecordOnlyForThePartsThatPasteFormulas) {
  set(0, 0, u"=1");
  set(0, 1, u"=1");
  sheet().arrayFormulas.push_back({range(0, 0, 0, 1), u""});
  const struct {
    int part;
    size_t arrays;
  } rows[] = {{kPasteAll, 1}, {kPasteFormulas, 1}, {kPasteAllButBorders, 1}, {kPasteValues, 0}, {kPasteFormats, 0}};
  for (const auto& row : rows) {
    sheet().arrayFormulas.resize(1);
    ASSERT_TRUE(pasteRange(range(0, 0, 0, 1), range(3, 0, 3, 1), {row.part}));
    ASSERT_EQ(sheet().arrayFormulas.size(), 1 + row.arrays) << row.part;
    if (row.arrays) {
      EXPECT_EQ(sheet().arrayFormulas.back().range, range(3, 0, 3, 1));
    }
  }
}

TEST_F(PasteEngineTest, PartsTakeWhatTheySay) {
  set(0, 0, u"=2+3", 16); // a formula in another format
  set(4, 0, u"old", 17);
  const std::u16string shown(model::cell_plain_text(book(), 0, *cell(0, 0)));
  const struct {
    int part;
    std::u16string_view text;
    std::uint16_t format;
  } rows[] = {
      {kPasteAll, u"=2+3", 16},
      {kPasteFormulas, u"=2+3", 17},
      {kPasteValues, shown, 17}, // what the cell showed, as if typed
      {kPasteFormats, u"old", 16},
      {kPasteComments, u"old", 17},
      {kPasteValidation, u"old", 17},
  };
  for (const auto& row : rows) {
    set(4, 0, u"old", 17);
    ASSERT_TRUE(pasteRange(range(0, 0, 0, 0), range(4, 0, 4, 0), {row.part}));
    EXPECT_EQ(input(4, 0), row.text) << row.part;
    EXPECT_EQ(cell(4, 0)->formatIndex, row.format) << row.part;
  }
}

TEST_F(PasteEngineTest, AllButBordersKeepsTheDestinationBorders) {
  model::CellFormat boxed = book().cellFormats[15];
  boxed.borders[0].style = 1;
  const int boxedIndex = model::findOrAddCellFormat(book(), boxed);
  model::CellFormat bold = book().cellFormats[15];
  bold.fillPattern = 1;
  const int filledIndex = model::findOrAddCellFormat(book(), bold);
  set(0, 0, u"x", static_cast<std::uint16_t>(filledIndex));
  set(2, 0, u"y", static_cast<std::uint16_t>(boxedIndex));
  ASSERT_TRUE(pasteRange(range(0, 0, 0, 0), range(2, 0, 2, 0), {kPasteAllButBorders}));
  const model::CellFormat& got = book().cellFormats[cell(2, 0)->formatIndex];
  EXPECT_EQ(got.fillPattern, 1);
  EXPECT_EQ(got.borders[0].style, 1);
  EXPECT_EQ(input(2, 0), u"x");
}

TEST_F(PasteEngineTest, SkipBlanksLeavesCellsUnderEmptyClipCellsAlone) {
  set(0, 0, u"a");
  set(0, 2, u"c");
  set(3, 0, u"1");
  set(3, 1, u"2");
  set(3, 2, u"3");
  PasteOptions o;
  o.skipBlanks = true;
  ASSERT_TRUE(pasteRange(range(0, 0, 0, 2), range(3, 0, 3, 2), o));
  EXPECT_EQ(input(3, 0), u"a");
  EXPECT_EQ(input(3, 1), u"2");
  EXPECT_EQ(input(3, 2), u"c");
  ASSERT_TRUE(pasteRange(range(0, 0, 0, 2), range(3, 0, 3, 2)));
  EXPECT_EQ(cell(3, 1), nullptr) << "without the check the empty clip cell clears it";
}

TEST_F(PasteEngineTest, OnlyPartsThatReplaceContentsRemoveArraysAndHyperlinks) {
  set(0, 0, u"7");
  const struct {
    int part;
    bool removed;
  } rows[] = {{kPasteAll, true}, {kPasteValues, true}, {kPasteFormats, false}, {kPasteComments, false}};
  for (const auto& row : rows) {
    set(5, 0, u"=1");
    sheet().arrayFormulas = {{range(5, 0, 5, 0), u""}};
    sheet().hyperlinks = {{model::packCell(5, 0), u"http://example.com"}};
    ASSERT_TRUE(pasteRange(range(0, 0, 0, 0), range(5, 0, 5, 0), {row.part}));
    EXPECT_EQ(sheet().arrayFormulas.empty(), row.removed) << row.part;
    EXPECT_EQ(sheet().hyperlinks.empty(), row.removed) << row.part;
  }
}

TEST_F(PasteEngineTest, MergedRangesGoOnlyForThePartsThatMakeThem) {
  set(0, 0, u"1");
  set(0, 1, u"2");
  const struct {
    int part;
    bool kept;
  } rows[] = {{kPasteValues, true}, {kPasteFormulas, true}, {kPasteAll, false}, {kPasteFormats, false}};
  for (const auto& row : rows) {
    sheet().mergedRanges = {range(3, 0, 3, 1)};
    ASSERT_TRUE(pasteRange(range(0, 0, 0, 1), range(3, 0, 3, 1), {row.part}));
    EXPECT_EQ(!sheet().mergedRanges.empty(), row.kept) << row.part;
  }
}

TEST_F(PasteEngineTest, ValidationCommentsAndConditionalFormatsTravelWithTheirParts) {
  set(0, 0, u"1");
  model::ValidationRule rule;
  rule.allow = model::kAllowWholeNumber;
  rule.formula1 = u"1";
  rule.formula2 = u"9";
  rule.ranges = {range(0, 0, 1, 0)};
  sheet().validations = {rule};
  model::ConditionalFormat cf;
  cf.conditions.push_back({});
  cf.conditions[0].kind = 1;
  cf.ranges = {range(0, 0, 0, 0)};
  sheet().conditionalFormats = {cf};
  model::DrawingObject note;
  note.kind = model::kObjectComment;
  note.text = u"look";
  sheet().objects = {note};

  ASSERT_TRUE(pasteRange(range(0, 0, 0, 0), range(0, 4, 0, 4), {kPasteValidation}));
  ASSERT_EQ(sheet().validations.size(), 1u) << "the copy joins the same rule";
  EXPECT_EQ(sheet().validations[0].ranges.back(), range(0, 4, 0, 4));
  EXPECT_EQ(cell(0, 4), nullptr) << "validation pastes no contents";
  EXPECT_EQ(sheet().conditionalFormats[0].ranges.size(), 1u);

  ASSERT_TRUE(pasteRange(range(0, 0, 0, 0), range(0, 5, 0, 5), {kPasteComments}));
  EXPECT_EQ(model::commentAt(sheet(), 0, 5), 1);
  EXPECT_EQ(sheet().objects[1].text, u"look");

  ASSERT_TRUE(pasteRange(range(0, 0, 0, 0), range(0, 6, 0, 6), {kPasteFormats}));
  ASSERT_EQ(sheet().conditionalFormats.size(), 1u);
  EXPECT_EQ(sheet().conditionalFormats[0].ranges.back(), range(0, 6, 0, 6));
}

TEST_F(PasteEngineTest, AOneCellClipFillsTheWholeDestinationAndARowRepeats) {
  set(0, 0, u"=B1");
  ASSERT_TRUE(pasteRange(range(0, 0, 0, 0), range(0, 2, 9, 2)));
  const std::u16string_view expected[] = {u"=D1", u"=D2", u"=D3", u"=D4", u"=D5",
                                          u"=D6", u"=D7", u"=D8", u"=D9", u"=D10"};
  for (int r = 0; r < 10; ++r)
    EXPECT_EQ(input(r, 2), expected[r]) << r;
  set(20, 0, u"x");
  set(20, 1, u"y");
  ASSERT_TRUE(pasteRange(range(20, 0, 20, 1), range(30, 4, 34, 5)));
  for (int r = 30; r <= 34; ++r) {
    EXPECT_EQ(input(r, 4), u"x");
    EXPECT_EQ(input(r, 5), u"y");
  }
}

TEST_F(PasteEngineTest, WholeColumnsCopyTheColumnFormatNotMillionsOfCells) {
  model::set_column_format(sheet(), 0, 20);
  set(3, 0, u"v", 20);
  set(3, 2, u"gone");
  ASSERT_TRUE(pasteRange(range(0, 0, model::kMaxRow, 0), range(0, 2, model::kMaxRow, 2)));
  EXPECT_EQ(model::column_record(sheet(), 2).formatIndex, 20);
  EXPECT_EQ(input(3, 2), u"v");
  EXPECT_EQ(sheet().cells.count(), 2u) << "only the stored cells arrive";
}

TEST_F(PasteEngineTest, PutBackRestoresEveryRecordOfTheRangeExactly) {
  set(0, 0, u"keep");
  model::ValidationRule rule;
  rule.allow = model::kAllowList;
  rule.formula1 = u"a,b";
  rule.ranges = {range(0, 0, 3, 0), range(10, 0, 10, 0)};
  model::ConditionalFormat cf;
  cf.conditions.push_back({});
  cf.ranges = {range(0, 0, 5, 5)};
  sheet().validations = {rule};
  sheet().conditionalFormats = {cf};
  sheet().hyperlinks = {{model::packCell(1, 0), u"http://x"}};
  const std::vector<model::ValidationRule> validations = sheet().validations;
  const std::vector<model::ConditionalFormat> formats = sheet().conditionalFormats;
  const model::SavedRange before = model::snapshot_range(book(), sheetIndex(), range(0, 0, 1, 1), false);

  set(5, 5, u"new");
  ASSERT_TRUE(pasteRange(range(5, 5, 6, 6), range(0, 0, 1, 1)));
  ASSERT_NE(sheet().validations, validations);
  ASSERT_NE(sheet().conditionalFormats, formats);
  ASSERT_TRUE(sheet().hyperlinks.empty());

  ASSERT_TRUE(put_back_range(book(), sheetIndex(), before));
  EXPECT_EQ(sheet().validations, validations);
  EXPECT_EQ(sheet().conditionalFormats, formats);
  ASSERT_EQ(sheet().hyperlinks.size(), 1u);
  EXPECT_EQ(sheet().hyperlinks[0].cell, model::packCell(1, 0));
  EXPECT_EQ(input(0, 0), u"keep");
  EXPECT_EQ(cell(1, 1), nullptr);
}

TEST_F(PasteEngineTest, FormatsOfAnotherWorkbookAreAddedThere) {
  model::Workbook& first = book();
  model::Font big = first.fonts[0];
  big.heightTwips = 480;
  const int font = model::findOrAddFont(first, big);
  model::CellFormat f = first.cellFormats[15];
  f.fontIndex = static_cast<std::uint16_t>(font);
  f.numberFormatIndex = static_cast<std::uint16_t>(model::findOrAddFormat(first, u"0.000\"kg\""));
  const int index = model::findOrAddCellFormat(first, f);
  set(0, 0, u"2", static_cast<std::uint16_t>(index));
  const model::SavedRange clip = model::snapshot_range(first, 0, range(0, 0, 0, 0), true);

  ASSERT_TRUE(books.new_workbook(nullptr));
  model::Workbook& second = *books.active();
  ASSERT_TRUE(paste_snapshot(second, 0, clip, range(0, 0, 0, 0), &first, {}));
  const model::CellRecord* c = model::cell_at(second.sheet(0), 0, 0);
  ASSERT_NE(c, nullptr);
  const model::CellFormat& got = second.cellFormats[c->formatIndex];
  EXPECT_EQ(second.fonts[got.fontIndex].heightTwips, 480);
  EXPECT_EQ(model::numberFormatCode(second, got.numberFormatIndex), u"0.000\"kg\"");
}

} // namespace
} // namespace edit
