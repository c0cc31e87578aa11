#include "edit/clear.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/range_guard.h"

namespace edit {
namespace {

using model::CellRange;

class ClearTest : public EditTest {
protected:
  std::uint16_t formatWithCode(std::u16string_view code) {
    model::CellFormat f = book().cellFormats[model::kDefaultCellFormat];
    f.numberFormatIndex = static_cast<std::uint16_t>(model::findOrAddFormat(book(), code));
    return static_cast<std::uint16_t>(model::findOrAddCellFormat(book(), f));
  }
  std::uint16_t textFormat() {
    model::CellFormat f = book().cellFormats[model::kDefaultCellFormat];
    f.numberFormatIndex = 49;
    return static_cast<std::uint16_t>(model::findOrAddCellFormat(book(), f));
  }
  void addComment(int row, int column) {
    model::DrawingObject note;
    note.kind = model::kObjectComment;
    note.row = static_cast<std::uint16_t>(row);
    note.column = static_cast<std::uint8_t>(column);
    sheet().objects.push_back(note);
  }
};

TEST_F(ClearTest, EachPartClearsOnlyItself) {
  struct Case {
    ClearPart part;
    bool inputKept, formatKept, commentKept;
  };
  const Case cases[] = {
      {ClearPart::Contents, false, true, true},
      {ClearPart::Formats, true, false, true},
      {ClearPart::Comments, true, true, false},
      {ClearPart::All, false, false, false},
  };
  for (const Case& c : cases) {
    sheet().objects.clear();
    const std::uint16_t money = formatWithCode(u"0.00");
    set(1, 1, u"5", money);
    addComment(1, 1);
    ASSERT_TRUE(clear_range(book(), 0, range(0, 0, 2, 2), c.part));
    const model::CellRecord* rec = cell(1, 1);
    EXPECT_EQ(rec && !rec->input.isNull() && rec->input.view() == u"5", c.inputKept);
    EXPECT_EQ(rec && rec->formatIndex == money, c.formatKept);
    EXPECT_EQ(model::commentAt(sheet(), 1, 1) >= 0, c.commentKept);
    EXPECT_EQ(model::undoList().newest()->action, model::kUndoClear);
    ASSERT_TRUE(undo(books).undone);
    EXPECT_EQ(input(1, 1), u"5");
    EXPECT_EQ(cell(1, 1)->formatIndex, money);
    EXPECT_GE(model::commentAt(sheet(), 1, 1), 0);
  }
}

TEST_F(ClearTest, ClearingContentsKeepsTheNumberFormatAndRecomputes) {
  const std::uint16_t money = formatWithCode(u"0.00");
  set(0, 0, u"5", money);
  set(0, 1, u"=A1*2");
  EXPECT_EQ(number(0, 1), 10);
  ASSERT_TRUE(clear_range(book(), 0, range(0, 0, 0, 0), ClearPart::Contents));
  EXPECT_EQ(number(0, 1), 0);
  ASSERT_NE(cell(0, 0), nullptr);
  EXPECT_EQ(cell(0, 0)->formatIndex, money) << "typing a number again shows it in the old format";
}

TEST_F(ClearTest, ClearingFormatsOfATextFormattedFormulaMakesItAFormula) {
  set(0, 0, u"=1+1", textFormat());
  ASSERT_FALSE(cell(0, 0)->isFormula);
  ASSERT_TRUE(clear_range(book(), 0, range(0, 0, 0, 0), ClearPart::Formats));
  EXPECT_TRUE(cell(0, 0)->isFormula);
  EXPECT_EQ(number(0, 0), 2);
}

TEST_F(ClearTest, FormatsOfWholeColumnsComeBackOnUndo) {
  const std::uint16_t money = formatWithCode(u"0.00");
  model::set_column_format(sheet(), 2, money);
  ASSERT_TRUE(model::addMergedRange(sheet(), range(4, 2, 5, 2)));
  ASSERT_TRUE(clear_range(book(), 0, range(0, 2, model::kMaxRow, 2), ClearPart::Formats));
  EXPECT_EQ(model::column_record(sheet(), 2).formatIndex, model::kDefaultCellFormat);
  EXPECT_TRUE(sheet().mergedRanges.empty());
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(model::column_record(sheet(), 2).formatIndex, money);
}

TEST_F(ClearTest, GuardsRefuseBeforeAnyChange) {
  set(0, 0, u"kept");
  sheet().flags |= model::kSheetProtected;
  EXPECT_FALSE(clear_range(book(), 0, range(0, 0, 0, 0), ClearPart::Contents));
  EXPECT_EQ(input(0, 0), u"kept");
  sheet().flags &= ~model::kSheetProtected;
  sheet().arrayFormulas.push_back({range(3, 0, 4, 0), {}});
  EXPECT_FALSE(clear_range(book(), 0, range(4, 0, 5, 0), ClearPart::All));
  EXPECT_EQ(ui.shown().back().text, model::kMessageArrayPart);
  EXPECT_TRUE(model::undoList().empty());
  // Comments may be cleared from an array's part.
  EXPECT_TRUE(clear_range(book(), 0, range(4, 0, 5, 0), ClearPart::Comments));
}

} // namespace
} // namespace edit
