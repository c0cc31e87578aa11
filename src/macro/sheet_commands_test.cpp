#include "edit/clear.h"
#include "macro/macro_test_util.h"
#include "model/display_text.h"
#include "model/sheet_list.h"

namespace macro::testing {
namespace {

class CommandTest : public MacroTest {
protected:
  /// Runs macro lines written from A1 of the macro sheet; its result.
  std::string runLines(std::initializer_list<std::u16string_view> lines) {
    // Sheets inserted before it move the macro sheet.
    for (int i = 0; i < book->sheetCount(); ++i)
      if (book->sheet(i).name == u"Macro1")
        macroSheet = i;
    edit::clear_range(*book, macroSheet, {0, 0, 63, 0}, edit::ClearPart::All);
    write("A1", lines);
    define(u"Go", u"$A$1");
    return text(run(u"Go"));
  }

  std::string shown(std::string_view a1) {
    sheetCell(a1);
    const auto [r, c] = at(a1);
    model::CellRecord* cell = book->sheet(0).cells.at(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
    return cell ? platform::toUtf8(model::cell_display_text(*book, 0, *cell, -1)) : "";
  }

  model::Sheet& sheet() { return book->sheet(0); }
};

TEST_F(CommandTest, LineSizesFollowWidthHeightAndType) {
  struct Case {
    std::u16string_view call;
    bool columns;
    int line;
    int size; // 1/256 characters or twips; 0 hidden
  };
  const Case cases[] = {
      {u"=COLUMN.WIDTH(20,Sheet1!B1:C1)", true, 2, 20 * 256},
      {u"=COLUMN.WIDTH(,Sheet1!C1,,1)", true, 2, 0},
      {u"=COLUMN.WIDTH(,Sheet1!C1,,2)", true, 2, 20 * 256},
      {u"=ROW.HEIGHT(30,Sheet1!A3)", false, 2, 600},
      {u"=ROW.HEIGHT(,Sheet1!A3,,1)", false, 2, 0},
      {u"=ROW.HEIGHT(,Sheet1!A3,,2)", false, 2, 600},
      {u"=ROW.HEIGHT(,Sheet1!A3,TRUE)", false, 2, -1}, // back to the default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.call));
    EXPECT_EQ(runLines({c.call, u"=RETURN(A1)"}), "TRUE");
    const int size = c.columns ? model::column_width(sheet(), static_cast<std::uint8_t>(c.line))
                               : model::row_height(sheet(), static_cast<std::uint16_t>(c.line));
    EXPECT_EQ(size, c.size < 0 ? model::row_height(sheet(), 40) : c.size);
  }
  // Out of range or on a protected sheet: refused, nothing changes.
  EXPECT_EQ(runLines({u"=COLUMN.WIDTH(300,Sheet1!D1)", u"=RETURN(A1)"}), "FALSE");
  sheet().flags |= model::kSheetProtected;
  EXPECT_EQ(runLines({u"=ROW.HEIGHT(50,Sheet1!A9)", u"=RETURN(A1)"}), "FALSE");
  EXPECT_EQ(model::row_height(sheet(), 8), model::row_height(sheet(), 40));
}

TEST_F(CommandTest, FormatsAndFontsApplyToTheSelection) {
  set("A1", u"0.5");
  set("A2", u"2");
  EXPECT_EQ(runLines({u"=SELECT(Sheet1!A1:A2)", u"=FORMAT.NUMBER(\"0.0%\")",
                      u"=FONT.PROPERTIES(\"Arial\",\"Bold\",14,,,,,,2,3)", u"=RETURN(AND(A2,A3))"}),
            "TRUE");
  EXPECT_EQ(shown("A1"), "50.0%");
  EXPECT_EQ(shown("A2"), "200.0%");
  const model::CellRecord* cell = sheet().cells.at(1, 0);
  ASSERT_NE(cell, nullptr);
  const model::Font& font = book->fonts.at(book->cellFormats.at(cell->formatIndex).fontIndex);
  EXPECT_EQ(font.face, u"Arial");
  EXPECT_EQ(font.heightTwips, 280);
  EXPECT_TRUE(font.weight >= 700);
  EXPECT_FALSE(font.attributes & model::kFontItalic);
  EXPECT_NE(font.underline, 0);
  EXPECT_EQ(font.colourIndex, 10); // the palette's third colour
  // A superscript has no place in a cell's font: refused.
  EXPECT_EQ(runLines({u"=FONT.PROPERTIES(,,,,TRUE)", u"=RETURN(A1)"}), "FALSE");
}

TEST_F(CommandTest, SelectEndWalksBlocksLikeControlArrow) {
  for (const char* a1 : {"A1", "A2", "A3", "A7", "C1"})
    set(a1, u"1");
  struct Case {
    std::u16string_view from;
    int direction;
    int row, column;
  };
  const Case cases[] = {
      {u"Sheet1!A1", 4, 2, 0},     // to the end of the block
      {u"Sheet1!A3", 4, 6, 0},     // to the next block
      {u"Sheet1!A7", 4, 65535, 0}, // past the last: the sheet's edge
      {u"Sheet1!A7", 3, 2, 0},
      {u"Sheet1!A1", 2, 0, 2},
      {u"Sheet1!A1", 1, 0, 0}, // at the edge already: stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.from));
    const std::u16string select = u"=SELECT(" + std::u16string(c.from) + u")";
    const std::u16string end = u"=SELECT.END(" + platform::fromUtf8(std::to_string(c.direction)) + u")";
    EXPECT_EQ(runLines({select, end, u"=RETURN(A2)"}), "TRUE");
    EXPECT_EQ(sheet().activeRow, c.row);
    EXPECT_EQ(sheet().activeColumn, c.column);
  }
  EXPECT_EQ(runLines({u"=SELECT.END(5)", u"=RETURN(A1)"}), "FALSE");
}

TEST_F(CommandTest, CopyCutAndPasteMoveCells) {
  set("A1", u"1");
  set("A2", u"=A1*10");
  EXPECT_EQ(runLines({u"=COPY(Sheet1!A1:A2,Sheet1!C1)", u"=RETURN(A1)"}), "TRUE");
  EXPECT_EQ(shown("C2"), "10");
  set("C1", u"3");
  EXPECT_EQ(shown("C2"), "30"); // the copied formula refers to its new neighbour
  EXPECT_EQ(runLines({u"=CUT(Sheet1!C1:C2,Sheet1!E5)", u"=RETURN(A1)"}), "TRUE");
  EXPECT_EQ(shown("C1"), "");
  EXPECT_EQ(shown("E6"), "30");
  // Copy to the clipboard, then paste twice, once as values added on.
  EXPECT_EQ(runLines({u"=COPY(Sheet1!A1)", u"=PASTE(Sheet1!G1)", u"=SELECT(Sheet1!G1)",
                      u"=PASTE.SPECIAL(3,2)", u"=RETURN(AND(A1,A2,A4))"}),
            "TRUE");
  EXPECT_EQ(shown("G1"), "2");
  // Transposing is not offered.
  EXPECT_EQ(runLines({u"=COPY(Sheet1!A1)", u"=PASTE.SPECIAL(1,1,FALSE,TRUE)", u"=RETURN(A2)"}), "FALSE");
}

TEST_F(CommandTest, SortSeriesAndGoalSeekUseTheDataTools) {
  set("B1", u"3");
  set("B2", u"1");
  set("B3", u"2");
  EXPECT_EQ(runLines({u"=SELECT(Sheet1!B1:B3)", u"=SORT(1,Sheet1!B1,2)", u"=RETURN(A2)"}), "TRUE");
  EXPECT_EQ(shown("B1") + shown("B2") + shown("B3"), "321");
  // A key outside the block is refused.
  EXPECT_EQ(runLines({u"=SELECT(Sheet1!B1:B3)", u"=SORT(1,Sheet1!D1)", u"=RETURN(A2)"}), "FALSE");

  set("D1", u"1");
  EXPECT_EQ(runLines({u"=SELECT(Sheet1!D1:D5)", u"=DATA.SERIES(2,1,1,2)", u"=RETURN(A2)"}), "TRUE");
  EXPECT_EQ(shown("D5"), "9");
  EXPECT_EQ(runLines({u"=SELECT(Sheet1!D1:D5)", u"=DATA.SERIES(2,4)", u"=RETURN(A2)"}), "FALSE");

  set("F1", u"1");
  set("F2", u"=F1*F1");
  EXPECT_EQ(runLines({u"=GOAL.SEEK(Sheet1!F2,9,Sheet1!F1)", u"=RETURN(A1)"}), "TRUE");
  EXPECT_NEAR(sheetCell("F1").numberValue(), 3.0, 1e-6);
  // The changing cell must be a constant.
  EXPECT_EQ(runLines({u"=GOAL.SEEK(Sheet1!F2,4,Sheet1!F2)", u"=RETURN(A1)"}), "FALSE");
}

TEST_F(CommandTest, SheetsAreRenamedInsertedAndDeleted) {
  EXPECT_EQ(runLines({u"=WORKBOOK.NAME(\"Sheet1\",\"Data\")", u"=RETURN(A1)"}), "TRUE");
  EXPECT_EQ(book->sheet(0).name, u"Data");
  // A name already taken or a bad one is refused.
  EXPECT_EQ(runLines({u"=WORKBOOK.NAME(\"Data\",\"Macro1\")", u"=RETURN(A1)"}), "FALSE");
  EXPECT_EQ(runLines({u"=WORKBOOK.NAME(\"Data\",\"a/b\")", u"=RETURN(A1)"}), "FALSE");

  const int before = book->sheetCount();
  EXPECT_EQ(runLines({u"=WORKBOOK.INSERT(1)", u"=RETURN(A1)"}), "TRUE");
  ASSERT_EQ(book->sheetCount(), before + 1);
  const std::u16string added = book->sheet(book->activeSheet).name;
  EXPECT_EQ(runLines({u"=WORKBOOK.DELETE(\"" + added + u"\")", u"=RETURN(A1)"}), "TRUE");
  EXPECT_EQ(book->sheetCount(), before);
  // The macro's own sheet stays.
  EXPECT_EQ(runLines({u"=WORKBOOK.DELETE(\"Macro1\")", u"=RETURN(A1)"}), "FALSE");
  EXPECT_EQ(book->sheetCount(), before);
  EXPECT_EQ(runLines({u"=WORKBOOK.INSERT(2)", u"=RETURN(A1)"}), "FALSE");
}

TEST_F(CommandTest, ProtectionNeedsTheSamePasswordToComeOff) {
  EXPECT_EQ(runLines({u"=PROTECT.DOCUMENT(TRUE,,\"pw\")", u"=RETURN(A1)"}), "TRUE");
  EXPECT_TRUE(sheet().flags & model::kSheetProtected);
  EXPECT_EQ(runLines({u"=PROTECT.DOCUMENT(FALSE,,\"wrong\")", u"=RETURN(A1)"}), "FALSE");
  EXPECT_TRUE(sheet().flags & model::kSheetProtected);
  EXPECT_EQ(runLines({u"=PROTECT.DOCUMENT(FALSE,,\"pw\")", u"=RETURN(A1)"}), "TRUE");
  EXPECT_FALSE(sheet().flags & model::kSheetProtected);
}

TEST_F(CommandTest, OnSheetActivateAndBellAndWait) {
  EXPECT_EQ(runLines({u"=ON.SHEET(\"Sheet1\",\"Greet\")", u"=ON.SHEET(,\"Leave\",FALSE)", u"=RETURN(A2)"}),
            "TRUE");
  EXPECT_EQ(sheet().activateMacro.value_or(u""), u"Greet");
  EXPECT_EQ(book->deactivateMacro.value_or(u""), u"Leave");
  EXPECT_EQ(runLines({u"=ON.SHEET(\"Sheet1\")", u"=RETURN(A1)"}), "TRUE");
  EXPECT_FALSE(sheet().activateMacro.has_value());
  EXPECT_EQ(runLines({u"=ON.SHEET(\"Nowhere\",\"Greet\")", u"=RETURN(A1)"}), "FALSE");

  int rings = 0;
  beepHook() = [&] { ++rings; };
  EXPECT_EQ(runLines({u"=BEEP()", u"=BEEP(2)", u"=RETURN(A2)"}), "TRUE");
  EXPECT_EQ(rings, 2);
  beepHook() = nullptr;

  // A moment past returns at once; a wait the user stops ends the macro.
  EXPECT_EQ(runLines({u"=WAIT(NOW()-1)", u"=RETURN(A1)"}), "TRUE");
  cancelHook() = [] { return true; };
  ui.queueAnswer(platform::MessageAnswer::Yes);
  EXPECT_EQ(runLines({u"=WAIT(NOW()+1)", u"=RETURN(\"went on\")"}), "#N/A");
}

} // namespace
} // namespace macro::testing

namespace macro::testing {
namespace {

TEST_F(CommandTest, GetObjectDescribesAnObjectByItsNumberOrTheSelection) {
  book->activeSheet = 0;
  model::DrawingObject arrow;
  arrow.kind = model::kObjectComboBox;
  arrow.filterArrow = true;
  model::DrawingObject box;
  box.kind = model::kObjectRectangle;
  box.anchor = {{1, 512, 2, 128}, {3, 0, 6, 0}}; // from half into B3 to D7
  box.placement = model::ObjectPlacement::MoveOnly;
  box.macro = u"Macro1!$A$9";
  model::DrawingObject note;
  note.kind = model::kObjectComment;
  sheet().objects.push_back(arrow);
  sheet().objects.push_back(box);
  sheet().objects.push_back(note);
  const double halfColumn = model::column_px(sheet(), 1, {}) / 2 * 0.75;
  const double halfRow = model::row_px(sheet(), 2, {}) / 2 * 0.75;
  struct Case {
    std::u16string_view call;
    std::string answer;
  };
  const Case cases[] = {
      {u"=GET.OBJECT(1,1)", "2"},     // filter arrows are not counted
      {u"=GET.OBJECT(1,2)", "25"},
      {u"=GET.OBJECT(3,2)", "FALSE"},  // a hidden comment
      {u"=GET.OBJECT(3,1)", "TRUE"},
      {u"=GET.OBJECT(4,1)", "\"R3C2\""},
      {u"=GET.OBJECT(7,1)", "\"R7C4\""},
      {u"=GET.OBJECT(8,1)", "0"},
      {u"=GET.OBJECT(10,1)", "\"Macro1!$A$9\""},
      {u"=GET.OBJECT(11,1)", "2"},
      {u"=GET.OBJECT(1,3)", "#VALUE!"}, // no third object
      {u"=GET.OBJECT(1,0)", "#VALUE!"},
      {u"=GET.OBJECT(1,\"box\")", "#VALUE!"},
      {u"=GET.OBJECT(99,1)", "#VALUE!"},
      {u"=GET.OBJECT(1)", "#VALUE!"}, // nothing selected
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.call));
    EXPECT_EQ(runLines({c.call, u"=RETURN(A1)"}), c.answer);
  }
  const auto number = [&](std::u16string_view call) {
    write("A1", {call, u"=RETURN(A1)"});
    return run(u"Go").numberValue();
  };
  EXPECT_NEAR(number(u"=GET.OBJECT(5,1)"), halfColumn, 0.75);
  EXPECT_NEAR(number(u"=GET.OBJECT(6,1)"), halfRow, 0.75);
  sheet().selectedObject = 1;
  EXPECT_EQ(runLines({u"=GET.OBJECT(7)", u"=RETURN(A1)"}), "\"R7C4\"");
}

} // namespace
} // namespace macro::testing

namespace macro::testing {
namespace {

TEST_F(CommandTest, DataFormShowsTheDesktopsFormAndAnswersWhetherItCould) {
  std::vector<model::Workbook*> asked;
  bool canShow = true;
  dataFormHook() = [&](model::Workbook& b) {
    asked.push_back(&b);
    return canShow;
  };
  EXPECT_EQ(runLines({u"=DATA.FORM()", u"=RETURN(A1)"}), "TRUE");
  canShow = false;
  EXPECT_EQ(runLines({u"=DATA.FORM()", u"=RETURN(A1)"}), "FALSE");
  EXPECT_EQ(asked, (std::vector<model::Workbook*>{book, book}));
  // From a formula it shows nothing.
  canShow = true;
  write("C1", {u"=DATA.FORM()", u"=RETURN(C1)"});
  define(u"Quiet", u"$C$1");
  set("B1", u"=Quiet()");
  EXPECT_EQ(text(sheetCell("B1")), "FALSE");
  EXPECT_EQ(asked.size(), 2u);
  dataFormHook() = nullptr;
}

} // namespace
} // namespace macro::testing
