#include "edit/cell_format.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "numfmt/builtin_formats.h"
#include "model/range_guard.h"

namespace edit {
namespace {

using model::Border;
using model::CellRange;

constexpr int kThin = 1, kThick = 5, kDouble = 6;

class CellFormatTest : public EditTest {
protected:
  const model::CellFormat& formatOf(int row, int column) {
    const model::CellRecord* c = cell(row, column);
    return book().cellFormats[c ? c->formatIndex : model::column_record(sheet(), static_cast<std::uint8_t>(column)).formatIndex];
  }
  const model::Font& fontOf(int row, int column) {
    return book().fonts[formatOf(row, column).fontIndex];
  }
  std::uint16_t withBorders(Border left, Border right, Border top, Border bottom) {
    model::CellFormat f = book().cellFormats[model::kDefaultCellFormat];
    f.borders = {left, right, top, bottom};
    return static_cast<std::uint16_t>(model::findOrAddCellFormat(book(), f));
  }
  std::uint16_t boldFormat() {
    model::Font font = book().fonts[0];
    font.weight = 700;
    model::CellFormat f = book().cellFormats[model::kDefaultCellFormat];
    f.fontIndex = static_cast<std::uint16_t>(model::findOrAddFont(book(), font));
    return static_cast<std::uint16_t>(model::findOrAddCellFormat(book(), f));
  }
  static FormatDialogState bold() {
    FormatDialogState s;
    s.bold.set(true);
    return s;
  }
  static FormatDialogState side(int which, Border b) {
    FormatDialogState s;
    s.borders[static_cast<size_t>(which)].set(b);
    return s;
  }
};

TEST_F(CellFormatTest, GatheringShowsOnlyWhatTheWholeSelectionShares) {
  set(0, 0, u"a", boldFormat());
  set(1, 0, u"b");
  FormatDialogState s = gatherFormats(book(), sheet(), range(0, 0, 1, 0));
  EXPECT_FALSE(s.bold.present) << "cells differing in boldness leave 加粗 indeterminate";
  EXPECT_TRUE(s.italic.present);
  EXPECT_FALSE(s.italic.value);
  EXPECT_TRUE(s.face.present);
  EXPECT_TRUE(s.locked.present);
  EXPECT_TRUE(s.locked.value);

  // A position without a cell takes its column's default format.
  model::set_column_format(sheet(), 3, boldFormat());
  set(0, 3, u"x", boldFormat());
  s = gatherFormats(book(), sheet(), range(0, 3, 9, 3));
  EXPECT_TRUE(s.bold.present);
  EXPECT_TRUE(s.bold.value);
  s = gatherFormats(book(), sheet(), range(0, 2, 9, 3));
  EXPECT_FALSE(s.bold.present) << "column C has the default format";
}

TEST_F(CellFormatTest, AnUntouchedIndeterminateAttributeKeepsEachCellsValue) {
  const std::uint16_t b = boldFormat();
  set(0, 0, u"a", b);
  set(1, 0, u"b");
  FormatDialogState s = gatherFormats(book(), sheet(), range(0, 0, 1, 0));
  s.italic.set(true);
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 1, 0), s));
  EXPECT_EQ(fontOf(0, 0).weight, 700);
  EXPECT_EQ(fontOf(1, 0).weight, 400);
  EXPECT_TRUE(fontOf(0, 0).attributes & model::kFontItalic);
  EXPECT_TRUE(fontOf(1, 0).attributes & model::kFontItalic);
}

TEST_F(CellFormatTest, FormatsFontsAndNumberFormatsAreLookedUpBeforeTheyAreAdded) {
  const size_t formats = book().cellFormats.size(), fonts = book().fonts.size(),
               codes = book().numberFormats.size();
  FormatDialogState s = bold();
  s.number.set({numfmt::kCategoryNumber, 3, {}});
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 4, 4), s));
  EXPECT_EQ(book().cellFormats.size(), formats + 1) << "25 cells share one new format";
  EXPECT_EQ(book().fonts.size(), fonts + 1);
  EXPECT_EQ(book().numberFormats.size(), codes + 1);
  EXPECT_EQ(model::numberFormatCode(book(), formatOf(2, 2).numberFormatIndex), u"0.000");
  ASSERT_TRUE(apply_cell_format(book(), 0, range(5, 0, 5, 0), s));
  EXPECT_EQ(book().cellFormats.size(), formats + 1) << "the same result finds the same format";
  EXPECT_EQ(book().numberFormats.size(), codes + 1);
}

TEST_F(CellFormatTest, BordersArePlacedByPositionAndNeighboursLoseTheSharedEdge) {
  // A3 and B3 carry a thin top border that the thick bottom of A1:B2 replaces.
  const std::uint16_t thinTop = withBorders({}, {}, {kThin, 8}, {});
  set(2, 0, u"", thinTop);
  set(2, 1, u"", thinTop);
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 1, 1), side(kSideBottom, {kThick, 64})));
  EXPECT_EQ(formatOf(1, 0).borders[3], (Border{kThick, 64}));
  EXPECT_EQ(formatOf(1, 1).borders[3], (Border{kThick, 64}));
  EXPECT_EQ(formatOf(0, 0).borders[3].style, 0) << "the inside side did not change";
  EXPECT_EQ(formatOf(2, 0).borders[2].style, 0);
  EXPECT_EQ(formatOf(2, 1).borders[2].style, 0);

  // An inside side reaches the inner edges only.
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 2, 2), side(kSideInsideHorizontal, {kDouble, 8})));
  EXPECT_EQ(formatOf(0, 0).borders[2].style, 0);
  EXPECT_EQ(formatOf(0, 0).borders[3].style, kDouble);
  EXPECT_EQ(formatOf(1, 1).borders[2].style, kDouble);
  EXPECT_EQ(formatOf(2, 2).borders[2].style, kDouble);
  EXPECT_EQ(formatOf(2, 2).borders[3].style, 0);
}

// Inside a merged range only the range's own edges count: the sides between
// its cells keep what they had, its edges follow the selection's rule.
TEST_F(CellFormatTest, AMergedRangeTakesInsideSidesOnItsOwnEdgesOnly) {
  sheet().mergedRanges.push_back(range(1, 1, 2, 2)); // B2:C3 in A1:D4
  FormatDialogState s = side(kSideInsideHorizontal, {kDouble, 8});
  s.borders[kSideInsideVertical].set({kThin, 8});
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 3, 3), s));
  struct Expect {
    int row, column, side, style;
  };
  const Expect kExpected[] = {
      {1, 1, 3, 0},       {2, 1, 2, 0},       // B2 bottom and B3 top: between cells of the range
      {1, 1, 1, 0},       {1, 2, 0, 0},       // B2 right and C2 left
      {1, 1, 2, kDouble}, {2, 2, 3, kDouble}, // the range's top and bottom edges
      {1, 1, 0, kThin},   {2, 2, 1, kThin},   // its left and right edges
      {1, 0, 3, kDouble}, {1, 3, 3, kDouble}, // A2 and D2 outside the range
  };
  for (const Expect& e : kExpected)
    EXPECT_EQ(formatOf(e.row, e.column).borders[static_cast<size_t>(e.side)].style, e.style)
        << e.row << "," << e.column << " side " << e.side;
}

TEST_F(CellFormatTest, UndoCoversTheNeighboursWhoseSharedEdgeChanged) {
  const std::uint16_t thinTop = withBorders({}, {}, {kThin, 8}, {});
  const std::uint16_t thinLeft = withBorders({kThin, 8}, {}, {}, {});
  set(2, 0, u"below", thinTop);
  set(0, 2, u"right", thinLeft);
  FormatDialogState s = side(kSideBottom, {kThick, 64});
  s.borders[kSideRight].set({kThick, 64});
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 1, 1), s));
  ASSERT_EQ(cell(2, 0)->formatIndex == thinTop, false);
  ASSERT_EQ(cell(0, 2)->formatIndex == thinLeft, false);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoCellFormat);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(cell(2, 0)->formatIndex, thinTop);
  EXPECT_EQ(cell(0, 2)->formatIndex, thinLeft);
  EXPECT_EQ(input(2, 0), u"below");
}

TEST_F(CellFormatTest, SharedEdgesAtTheSheetBorderDoNotWrapRound) {
  const std::uint16_t thinBottom = withBorders({}, {}, {}, {kThin, 8});
  const std::uint16_t thinRight = withBorders({}, {kThin, 8}, {}, {});
  set(model::kMaxRow, 0, u"", thinBottom);
  set(0, model::kMaxColumn, u"", thinRight);
  FormatDialogState s = side(kSideTop, {kThick, 64});
  s.borders[kSideLeft].set({kThick, 64});
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 0, 0), s));
  EXPECT_EQ(cell(model::kMaxRow, 0)->formatIndex, thinBottom);
  EXPECT_EQ(cell(0, model::kMaxColumn)->formatIndex, thinRight);
  EXPECT_EQ(sheet().cells.count(), 3u) << "no neighbour cell was made outside the sheet";
}

TEST_F(CellFormatTest, ANeighbourWithoutACellIsMadeOnlyWhenItsColumnDrawsTheSide) {
  ASSERT_TRUE(apply_cell_format(book(), 0, range(3, 3, 3, 3), side(kSideTop, {kThick, 64})));
  EXPECT_EQ(cell(2, 3), nullptr);
  model::set_column_format(sheet(), 4, withBorders({kThin, 8}, {}, {}, {}));
  ASSERT_TRUE(apply_cell_format(book(), 0, range(3, 3, 3, 3), side(kSideRight, {kThick, 64})));
  ASSERT_NE(cell(3, 4), nullptr);
  EXPECT_EQ(formatOf(3, 4).borders[0].style, 0);
  EXPECT_EQ(cell(4, 4), nullptr);
}

TEST_F(CellFormatTest, PatternRule) {
  struct Case {
    const char* what;
    int pattern;       // -1: not changed
    int colour1;       // -2: not changed
    std::uint8_t oldPattern;
    std::uint8_t expectPattern, expectColour;
  };
  const Case cases[] = {
      {"only colour 1 on cells without a pattern gives a solid fill", -1, 10, 0, 1, 10},
      {"solid keeps the chosen fill colour", 1, 12, 0, 1, 12},
      {"pattern none takes the colours back to automatic", 0, -2, 3, 0, 64},
      {"colour 1 on an existing pattern keeps the pattern", -1, 11, 3, 3, 11},
  };
  int row = 0;
  for (const Case& c : cases) {
    model::CellFormat old = book().cellFormats[model::kDefaultCellFormat];
    old.fillPattern = c.oldPattern;
    old.patternColour = 9;
    const std::uint16_t oldIndex = static_cast<std::uint16_t>(model::findOrAddCellFormat(book(), old));
    set(row, 0, u"", oldIndex);
    FormatDialogState s;
    if (c.pattern >= 0)
      s.pattern.set(c.pattern);
    if (c.colour1 != -2)
      s.colour1.set(c.colour1);
    ASSERT_TRUE(apply_cell_format(book(), 0, range(row, 0, row, 0), s)) << c.what;
    EXPECT_EQ(formatOf(row, 0).fillPattern, c.expectPattern) << c.what;
    EXPECT_EQ(formatOf(row, 0).patternColour, c.expectColour) << c.what;
    ++row;
  }
}

TEST_F(CellFormatTest, WholeColumnsChangeColumnRecordsAndStoredCellsOnly) {
  set(5, 1, u"x");
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, model::kMaxRow, 2), bold()));
  EXPECT_EQ(sheet().cells.count(), 1u) << "no cell is created";
  EXPECT_EQ(fontOf(5, 1).weight, 700);
  for (int c = 0; c <= 2; ++c)
    EXPECT_EQ(book().fonts[book().cellFormats[model::column_record(sheet(), static_cast<std::uint8_t>(c)).formatIndex].fontIndex].weight, 700);
  EXPECT_EQ(model::column_record(sheet(), 3).formatIndex, model::kDefaultCellFormat);
  ASSERT_TRUE(undo(books).undone);
  for (int c = 0; c <= 2; ++c)
    EXPECT_EQ(model::column_record(sheet(), static_cast<std::uint8_t>(c)).formatIndex, model::kDefaultCellFormat);
  EXPECT_EQ(cell(5, 1)->formatIndex, model::kDefaultCellFormat);

  // A range that is not whole columns stores every position.
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 2, 0), bold()));
  EXPECT_EQ(sheet().cells.count(), 4u);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(sheet().cells.count(), 1u);
}

TEST_F(CellFormatTest, TheTextFormatShowsAFormulaAsTextAndBackAgain) {
  set(0, 0, u"=1+1");
  ASSERT_TRUE(cell(0, 0)->isFormula);
  FormatDialogState s;
  s.number.set({numfmt::kCategoryText, 0, {}});
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 0, 0), s));
  EXPECT_FALSE(cell(0, 0)->isFormula);
  s.number.set({numfmt::kCategoryGeneral, 0, {}});
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 0, 0), s));
  EXPECT_TRUE(cell(0, 0)->isFormula);
  EXPECT_EQ(number(0, 0), 2);
}

TEST_F(CellFormatTest, MergingKeepsTheFirstTextAndRefusesPartialOverlap) {
  set(0, 1, u"first");
  set(1, 0, u"second");
  FormatDialogState s;
  s.merge.set(true);
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 1, 1), s));
  EXPECT_EQ(input(0, 0), u"first");
  EXPECT_EQ(input(0, 1), u"");
  EXPECT_EQ(input(1, 0), u"");
  ASSERT_EQ(sheet().mergedRanges.size(), 1u);
  EXPECT_EQ(sheet().mergedRanges[0], range(0, 0, 1, 1));

  // A wider merge replaces the range wholly inside it.
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 2, 2), s));
  ASSERT_EQ(sheet().mergedRanges.size(), 1u);
  EXPECT_EQ(sheet().mergedRanges[0], range(0, 0, 2, 2));

  // One that sticks out of the selection is refused, and nothing changes.
  const size_t entries = model::undoList().size();
  ui.clearShown();
  EXPECT_FALSE(apply_cell_format(book(), 0, range(1, 1, 4, 4), s));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageMergedCells);
  EXPECT_EQ(model::undoList().size(), entries);
  ASSERT_EQ(sheet().mergedRanges.size(), 1u);

  s.merge.set(false);
  ASSERT_TRUE(apply_cell_format(book(), 0, range(0, 0, 5, 5), s));
  EXPECT_EQ(sheet().mergedRanges.size(), 0u);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(sheet().mergedRanges.size(), 1u);
}

TEST_F(CellFormatTest, AProtectedSheetRefusesBeforeAnyChange) {
  set(0, 0, u"5");
  sheet().flags |= model::kSheetProtected;
  FormatDialogState s;
  s.locked.set(false);
  ui.clearShown();
  EXPECT_FALSE(apply_cell_format(book(), 0, range(0, 0, 0, 0), s));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageCellProtected);
  EXPECT_TRUE(formatOf(0, 0).flags & model::kFormatLocked);
  EXPECT_TRUE(model::undoList().empty());
}

TEST_F(CellFormatTest, ApplyFormatToCellUsesTheOldFormatForWhatDidNotChange) {
  const std::uint16_t b = boldFormat();
  FormatDialogState s;
  s.horizontal.set(model::kAlignCentre);
  const std::uint16_t now = applyFormatToCell(book(), b, s, 0, 0, range(0, 0, 0, 0));
  EXPECT_EQ(book().cellFormats[now].horizontalAlignment, model::kAlignCentre);
  EXPECT_EQ(book().fonts[book().cellFormats[now].fontIndex].weight, 700);
  EXPECT_EQ(applyFormatToCell(book(), b, FormatDialogState{}, 0, 0, range(0, 0, 0, 0)), b);
}

} // namespace
} // namespace edit
