#include "edit/clipboard.h"

#include "edit/edit_test_util.h"
#include "model/display_text.h"
#include "model/range_guard.h"

namespace edit {
namespace {

using model::CellRange;

CellRange r(int r1, int c1, int r2, int c2) {
  return {static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1), static_cast<std::uint16_t>(r2),
          static_cast<std::uint8_t>(c2)};
}

TEST(DestinationFor, SizeRulesPerAxis) {
  const struct {
    CellRange selection;
    int rows, columns;
    CellRange expected;
    std::u16string_view refusal;
  } rows[] = {
      {r(4, 3, 4, 3), 2, 2, r(4, 3, 5, 4), {}},                         // one cell takes the clip's size
      {r(4, 3, 6, 5), 2, 2, r(4, 3, 6, 5), kMessageDifferentSize},      // 3x3 against 2x2
      {r(0, 2, 9, 2), 1, 1, r(0, 2, 9, 2), {}},                         // one cell repeats
      {r(0, 4, 4, 6), 1, 3, r(0, 4, 4, 6), {}},                         // one row repeats down
      {r(0, 4, 0, 4), 3, 1, r(0, 4, 2, 4), {}},
      {r(65535, 0, 65535, 0), 2, 1, r(65535, 0, 65535, 0), kMessageNoRoomToPaste},
      {r(0, 255, 0, 255), 1, 2, r(0, 255, 0, 255), kMessageNoRoomToPaste},
      {r(0, 0, 65535, 0), 65536, 1, r(0, 0, 65535, 0), {}},              // whole column onto whole column
  };
  for (const auto& row : rows) {
    const Destination d = destinationFor(row.selection, row.rows, row.columns);
    EXPECT_EQ(d.refusal, row.refusal);
    if (row.refusal.empty()) {
      EXPECT_EQ(d.range, row.expected);
    }
  }
}

TEST(ClipboardText, ParsingEndsRowsAtEveryLineEndAndUnquotes) {
  using Rows = std::vector<std::vector<std::u16string>>;
  const struct {
    std::u16string_view text;
    Rows rows;
  } cases[] = {
      {u"", {}},
      {u"a\tb\tc", {{u"a", u"b", u"c"}}},
      {u"a\r\nb\r\n", {{u"a"}, {u"b"}}},
      {u"a\rb\nc", {{u"a"}, {u"b"}, {u"c"}}},
      {u"a\t\r\n\tb\r\n", {{u"a", u""}, {u"", u"b"}}},
      {u"\"x\ty\"\t\"say \"\"hi\"\"\"\r\n", {{u"x\ty", u"say \"hi\""}}},
      {u"\"two\r\nlines\"\tz", {{u"two\nlines", u"z"}}},
      {u"\r\n", {{u""}}},
      {u"中文\t😀", {{u"中文", u"😀"}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parseClipboardText(c.text), c.rows) << std::string(c.text.begin(), c.text.end());
}

TEST(ClipboardText, WritingQuotesWhatWouldBreakTheGridAndReadsBack) {
  model::SavedRange s;
  s.range = r(0, 0, 2, 2);
  s.cells = {{0, 0, u"", 15, u"plain"},   {0, 2, u"", 15, u"tab\there"}, {1, 1, u"", 15, u"\"q\""},
             {2, 0, u"", 15, u"line\nend"}};
  const std::u16string text = clipboardTextOf(s, false);
  EXPECT_EQ(text, u"plain\t\t\"tab\there\"\r\n\t\"\"\"q\"\"\"\r\n\"line\nend\"\r\n");
  const auto rows = parseClipboardText(text);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][2], u"tab\there");
  EXPECT_EQ(rows[1][1], u"\"q\"");
  EXPECT_EQ(rows[2][0], u"line\nend");
}

class ClipboardTest : public EditTest {};

TEST_F(ClipboardTest, CopyPutsTheShownTextAndTheMarker) {
  set(0, 0, u"1");
  set(0, 1, u"=A1*3");
  set(1, 0, u"x");
  ASSERT_TRUE(copy_range(book(), 0, r(0, 0, 2, 1), window));
  EXPECT_EQ(window.clipboard, u"1\t3\r\nx\r\n\r\n") << "every row ends with CR LF, also an empty one";
  EXPECT_TRUE(window.marker);
  sheet().flags |= model::kSheetShowFormulas;
  ASSERT_TRUE(copy_range(book(), 0, r(0, 0, 0, 1), window));
  EXPECT_EQ(window.clipboard, u"1\t=A1*3\r\n");
}

TEST_F(ClipboardTest, PasteExtendsTheSelectionOrRefusesAMismatch) {
  set(0, 0, u"a");
  set(1, 1, u"d");
  ASSERT_TRUE(copy_range(book(), 0, r(0, 0, 1, 1), window));
  ASSERT_TRUE(pasteAt(r(4, 3, 4, 3)));
  EXPECT_EQ(selectionOf(sheet()), r(4, 3, 5, 4));
  EXPECT_EQ(input(4, 3), u"a");
  EXPECT_EQ(input(5, 4), u"d");
  EXPECT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(model::undoList().newestLabel(), std::u16string(u"粘贴"));

  EXPECT_FALSE(pasteAt(r(4, 3, 6, 5)));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageDifferentSize);
  EXPECT_EQ(ui.shown()[0].caption, std::u16string(u"粘贴"));
  EXPECT_EQ(model::undoList().size(), 1u) << "a refused paste records nothing";
}

TEST_F(ClipboardTest, CutEmptiesTheSourceAtOnceAndAnotherProgramsTextWins) {
  set(0, 0, u"moved");
  sheet().hyperlinks = {{model::packCell(0, 0), u"http://x"}};
  select(r(0, 0, 0, 0));
  ASSERT_TRUE(cut_range(book(), 0, r(0, 0, 0, 0), window));
  EXPECT_EQ(cell(0, 0), nullptr);
  EXPECT_TRUE(sheet().hyperlinks.empty());
  EXPECT_EQ(model::undoList().newestLabel(), std::u16string(u"剪切"));
  // Another program copies text: the snapshot is no longer ours to paste.
  window.setClipboardText(u"from\tthere");
  ASSERT_TRUE(pasteAt(r(3, 0, 3, 0)));
  EXPECT_EQ(input(3, 0), u"from");
  EXPECT_EQ(input(3, 1), u"there");
  EXPECT_FALSE(internalClipboard().valid);
}

TEST_F(ClipboardTest, CutIsRefusedAcrossAMergedRange) {
  set(0, 0, u"a");
  sheet().mergedRanges = {r(0, 0, 0, 1)};
  EXPECT_FALSE(cut_range(book(), 0, r(0, 0, 1, 0), window));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageMergedCells);
  EXPECT_EQ(input(0, 0), u"a");
  EXPECT_TRUE(model::undoList().empty());
}

TEST_F(ClipboardTest, TextPasteConvertsFieldsAndKeepsFormats) {
  set(0, 1, u"", 20);
  window.setClipboardText(u"12\t中文\r\n");
  ASSERT_TRUE(pasteAt(r(0, 0, 0, 0)));
  EXPECT_EQ(input(0, 0), u"12");
  EXPECT_EQ(number(0, 0), 12);
  EXPECT_EQ(input(0, 1), u"中文");
  EXPECT_EQ(cell(0, 1)->formatIndex, 20);
  // Empty text pastes nothing and records nothing.
  model::undoList().clear();
  window.setClipboardText(u"");
  EXPECT_FALSE(pasteAt(r(5, 5, 5, 5)));
  EXPECT_TRUE(model::undoList().empty());
}

TEST_F(ClipboardTest, OneFieldOfTextRepeatsOverTheSelection) {
  window.setClipboardText(u"7");
  ASSERT_TRUE(pasteAt(r(0, 0, 2, 1)));
  for (int row = 0; row <= 2; ++row)
    for (int col = 0; col <= 1; ++col)
      EXPECT_EQ(input(row, col), u"7");
}

TEST_F(ClipboardTest, CanPasteFollowsTheMarkerAndTheText) {
  EXPECT_FALSE(clipboard_can_paste(books, &sheet(), window));
  window.setClipboardText(u"t");
  EXPECT_TRUE(clipboard_can_paste(books, &sheet(), window));
  EXPECT_FALSE(clipboard_has_snapshot(books, window));
  set(0, 0, u"1");
  ASSERT_TRUE(copy_range(book(), 0, r(0, 0, 0, 0), window));
  EXPECT_TRUE(clipboard_has_snapshot(books, window));
  EXPECT_EQ(copiedOutline(book(), 0, window), r(0, 0, 0, 0));
  sheet().selectedObject = 0;
  EXPECT_FALSE(clipboard_can_paste(books, &sheet(), window)) << "an object is selected";
  sheet().selectedObject = -1;
  // The source workbook closes: the snapshot is of no use any more.
  ASSERT_TRUE(books.new_workbook(nullptr));
  books.activate_workbook(0);
  ASSERT_FALSE(books.close_workbook());
  EXPECT_FALSE(clipboard_has_snapshot(books, window));
}

TEST_F(ClipboardTest, PasteSpecialValuesOfADateGiveTheShownText) {
  set(0, 0, u"2024/3/5");
  const std::u16string shown(model::cell_plain_text(book(), 0, *cell(0, 0)));
  ASSERT_TRUE(copy_range(book(), 0, r(0, 0, 0, 0), window));
  ASSERT_TRUE(pasteAt(r(2, 0, 2, 0), {kPasteValues}));
  EXPECT_EQ(input(2, 0), shown);
  EXPECT_EQ(number(2, 0), number(0, 0)) << "converted again on entry";
}

} // namespace
} // namespace edit
