#include "model/display_text.h"

#include "model/services.h"
#include "model/set_cell.h"
#include "numfmt/number_format.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace model {
namespace {

std::string utf8(std::u16string_view s) {
  std::string out;
  for (char16_t c : s)
    out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// Texts measure 7 pixels a character (FixedTextMetrics, Arial 10 pt), so a
// column of w characters is 7w pixels and leaves 7w - 3 for its text.
class DisplayTextTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_savedCompute = modelServices().computeCell;
    modelServices().computeCell = nullptr;
    seedWorkbookTables(book, Font{});
    auto sheet = std::make_unique<Sheet>();
    sheet_init(*sheet, SheetKind::Worksheet);
    book.sheets.push_back(std::move(sheet));
  }
  void TearDown() override { modelServices().computeCell = m_savedCompute; }

  Sheet& sheet() { return book.sheet(0); }

  /// A new cell format with this number format code, font and alignment.
  std::uint16_t format(std::u16string_view code, std::uint16_t font = 0,
                       std::uint8_t alignment = kAlignGeneral) {
    CellFormat f;
    f.numberFormatIndex = static_cast<std::uint16_t>(findOrAddFormat(book, code));
    f.fontIndex = font;
    f.horizontalAlignment = alignment;
    book.cellFormats.push_back(f);
    return static_cast<std::uint16_t>(book.cellFormats.size() - 1);
  }
  std::uint16_t font(std::uint16_t colour, std::uint16_t weight = 400) {
    Font f;
    f.colourIndex = colour;
    f.weight = weight;
    book.fonts.push_back(f);
    return static_cast<std::uint16_t>(book.fonts.size() - 1);
  }
  /// A cell with a computed value, as the formula engine would leave it.
  CellRecord& put(std::uint16_t row, std::uint8_t column, CellValue value,
                  std::uint16_t formatIndex = kDefaultCellFormat) {
    CellRecord* c = sheet().cells.findOrInsert(row, column);
    c->value = std::move(value);
    c->formatIndex = formatIndex;
    c->calcState = CalcState::ValueValid;
    return *c;
  }
  void setWidthChars(std::uint8_t column, int chars) {
    set_column_record(sheet(), column, 0, static_cast<std::uint16_t>(chars * 256));
  }
  std::u16string show(CellRecord& c, int width = -1) {
    return std::u16string(cell_display_text(book, 0, c, width));
  }

  Workbook book;

private:
  std::function<void(Workbook&, int, CellRecord&)> m_savedCompute;
};

TEST_F(DisplayTextTest, NumbersFollowTheCellsFormat) {
  const struct {
    double value;
    std::u16string_view code;
    std::u16string_view expected;
  } rows[] = {
      {1234567, u"#,##0", u"1,234,567"},
      {-5, u"0;(0)", u"(5)"},
      {0, u"0;-0;\"zero\"", u"zero"},
      {1234567.891, u"General", u"1234567.891"}, // no width: nothing is cut
      {36526.75, u"dd-mmm-yy h:mm AM/PM", u"01-Jan-00 6:00 PM"},
      {5, u";;", u""},
  };
  for (const auto& row : rows) {
    CellRecord& c = put(0, 0, CellValue::number(row.value), format(row.code));
    EXPECT_EQ(show(c), row.expected) << utf8(row.code);
    EXPECT_EQ(c.display.view(), row.expected) << utf8(row.code);
    EXPECT_EQ(c.calcState, CalcState::DisplayValid) << utf8(row.code);
  }
  // The workbook's date system reaches the engine: day 0 of 1904 is 1 January.
  book.date1904 = 1;
  CellRecord& c = put(0, 0, CellValue::number(0), format(u"yyyy-mm-dd"));
  EXPECT_EQ(show(c), u"1904-01-01");
}

TEST_F(DisplayTextTest, GeneralShrinksToTheRoomGiven) {
  const struct {
    double value;
    int columnChars;
    std::u16string_view expected;
  } rows[] = {
      // 53 px hold 7 characters: decimals go one by one until the number fits.
      {1234567.891, 8, u"1234568"},
      {1234567.891, 5, u"1E+006"}, // 32 px: even the exponent form is too wide
      {3.14159265, 5, u"3.14"},
      {3.14159265, 8, u"3.14159"}, // 53 px hold 7
      {-1234.5678, 6, u"-1235"},   // the sign takes its share of the room
      {-1234.5678, 5, u"-1E+003"},
      {123456789, 9, u"1.2E+008"}, // a whole number turns to the exponent form
      {1.23456789e20, 10, u"1.23E+020"},
      {1.23456789e20, 8, u"1E+020"},
      {0.5, 5, u"0.5"},
  };
  for (const auto& row : rows) {
    setWidthChars(0, row.columnChars);
    CellRecord& c = put(0, 0, CellValue::number(row.value));
    const int width = availableWidthPx(book, 0, c, PixelScale{});
    EXPECT_EQ(width, 7 * row.columnChars - 3);
    EXPECT_EQ(show(c, width), row.expected) << row.value << " in " << row.columnChars;
  }
  // A fixed format does not shrink.
  CellRecord& c = put(0, 0, CellValue::number(1234567.891), format(u"0.00"));
  EXPECT_EQ(show(c, 32), u"1234567.89");
}

// What the grid draws in a column of w characters: w - 1 characters fit in
// its 7w - 3 pixels, and a number that cannot fit shows w - 1 hashes.
TEST_F(DisplayTextTest, NumbersThatCannotFitShowHashes) {
  const struct {
    double value;
    std::u16string_view code;
    int columnChars;
    std::u16string_view expected;
  } rows[] = {
      {1442634630, u"General", 11, u"1442634630"},
      {1442634630, u"General", 10, u"1.44E+009"},
      {1442634630, u"General", 9, u"1.4E+009"},
      {1442634630, u"General", 7, u"1E+009"},
      {1442634630, u"General", 6, u"#####"},
      {1442634630, u"General", 1, u""}, // 4 pixels hold no hash
      {1442634630, u"General", 0, u""}, // a hidden column
      {-1442634630, u"General", 8, u"-1E+009"},
      {-1442634630, u"General", 7, u"######"},
      {1442634630, u"#,##0", 14, u"1,442,634,630"},
      {1442634630, u"#,##0", 13, u"############"},
      {-42, u"0;(0)", 5, u"(42)"},
      {-42, u"0;(0)", 4, u"###"},
      {3.14159265358979, u"General", 5, u"3.14"},
      {1234567.891, u"0.00", 11, u"1234567.89"},
      {1234567.891, u"0.00", 10, u"#########"},
      {0.000123456789, u"General", 7, u"0.0001"},
      {1e300, u"General", 7, u"1E+300"},
      {1e300, u"General", 6, u"#####"},
      {-1e300, u"General", 7, u"######"},
      {1e300, u"0.00E+00", 10, u"1.00E+300"},
      {1e300, u"0.00E+00", 9, u"########"},
      {45000, u"yyyy-mm-dd", 11, u"2023-03-15"},
      {45000, u"yyyy-mm-dd", 10, u"#########"},
      {45000, u"d-mmm", 7, u"15-Mar"},
      {45000, u"d-mmm", 6, u"#####"},
      {0.75, u"h:mm AM/PM", 8, u"6:00 PM"},
      {0.75, u"h:mm AM/PM", 7, u"######"},
      {0.1234, u"0.00%", 7, u"12.34%"},
      {0.1234, u"0.00%", 6, u"#####"},
      {0.1234, u"0.00%", 3, u"##"},
      {-0.5, u"0%", 5, u"-50%"},
      {-0.5, u"0%", 4, u"###"},
      {5, u"0*-", 3, u"5-"}, // a fill never makes a number too wide
  };
  for (const auto& row : rows) {
    setWidthChars(0, row.columnChars);
    CellRecord& c = put(0, 0, CellValue::number(row.value), format(row.code));
    const int width = availableWidthPx(book, 0, c, PixelScale{});
    EXPECT_EQ(std::u16string(cell_fitted_text(book, 0, c, width)), row.expected)
        << row.value << " as " << utf8(row.code) << " in " << row.columnChars;
    // The hashes are never kept as the cell's text: best fit, export and
    // copying see the number.
    EXPECT_EQ(c.display.view().find(u'#'), std::u16string_view::npos) << utf8(row.code);
  }
}

TEST_F(DisplayTextTest, OnlyNumbersShowHashes) {
  setWidthChars(0, 3); // 18 pixels: two characters
  const struct {
    CellValue value;
    std::u16string_view expected;
  } rows[] = {
      {CellValue::string(u"a long text"), u"a long text"}, // runs over its neighbours
      {CellValue::boolean(true), u"TRUE"},
      {CellValue::error(ErrorCode::Div0), u"#DIV/0!"},
      {CellValue::number(12345), u"##"},
  };
  for (const auto& row : rows) {
    CellRecord& c = put(0, 0, row.value);
    EXPECT_EQ(std::u16string(cell_fitted_text(book, 0, c, 18)), row.expected);
  }
  // A text shown through a format's text section runs over like any text.
  CellRecord& c = put(0, 0, CellValue::string(u"abc"), format(u"0;0;0;\"<\"@\">\""));
  EXPECT_EQ(std::u16string(cell_fitted_text(book, 0, c, 18)), u"<abc>");
  // Without a width nothing is replaced.
  CellRecord& n = put(0, 0, CellValue::number(1442634630), format(u"#,##0"));
  EXPECT_EQ(std::u16string(cell_fitted_text(book, 0, n, -1)), u"1,442,634,630");
}

TEST_F(DisplayTextTest, AfterBestFitNumbersShowWhole) {
  // A column of large numbers that the default width shows as hashes or in
  // exponent form: best fit measures the whole texts, so each shows whole.
  const std::uint16_t thousands = format(u"#,##0");
  const struct {
    double value;
    std::uint16_t format;
    std::u16string_view whole;
  } rows[] = {
      {1442634630, kDefaultCellFormat, u"1442634630"},
      {-98765432109.0, kDefaultCellFormat, u"-98765432109"},
      {123456789012345.0, thousands, u"123,456,789,012,345"},
      {1.5e300, kDefaultCellFormat, u"1.5E+300"},
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    put(static_cast<std::uint16_t>(i), 0, CellValue::number(rows[i].value), rows[i].format);
  auto shown = [&](std::uint16_t row) {
    CellRecord& c = *cell_at(sheet(), row, 0);
    return std::u16string(cell_fitted_text(book, 0, c, availableWidthPx(book, 0, c, PixelScale{})));
  };
  EXPECT_EQ(shown(0), u"1E+009");
  EXPECT_EQ(shown(2), u"#######");
  fitColumnWidths(book, 0, 0, 0, 0, 3);
  // The widest, "123,456,789,012,345", is 19 characters: (133 + 3) / 7.
  EXPECT_EQ(column_record(sheet(), 0).size, 4974);
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(shown(static_cast<std::uint16_t>(i)), rows[i].whole) << i;
}

// Screen fonts whose average character is wider than their "0", as many
// are: 8 pixels on average, 7 for every character drawn.
class WideAverageMetrics final : public platform::TextMetrics {
public:
  int logicalPixelsPerInch() const override { return 96; }
  platform::FontSpec defaultFont() const override { return platform::FontSpec{}; }
  platform::FontMetrics fontMetrics(const platform::FontSpec& font) const override {
    platform::FontMetrics m = m_fixed.fontMetrics(font);
    m.averageCharWidthPx += 1;
    return m;
  }
  int textWidthPx(const platform::FontSpec& font, std::u16string_view text) const override {
    return m_fixed.textWidthPx(font, text);
  }

private:
  platform::FixedTextMetrics m_fixed;
};

TEST_F(DisplayTextTest, BestFitCountsInTheGridsStandardCharacter) {
  // The grid's standard character is the width of "0" (7 pixels here), so a
  // best fit made in average widths (8) left 15 digits 11 pixels short.
  WideAverageMetrics metrics;
  platform::setTextMetrics(&metrics);
  CellRecord& c = put(0, 0, CellValue::number(123456789012345.0));
  fitColumnWidths(book, 0, 0, 0, 0, 0);
  const PixelScale grid{7, 96};
  const int room = availableWidthPx(book, 0, c, grid);
  const std::u16string shown(cell_fitted_text(book, 0, c, room));
  platform::setTextMetrics(nullptr);
  EXPECT_EQ(column_record(sheet(), 0).size, 3950); // (105 + 3) / 7 characters
  EXPECT_EQ(room, 105);
  EXPECT_EQ(shown, u"123456789012345");
}

TEST_F(DisplayTextTest, FittedTextsAreRebuiltForEveryWidth) {
  CellRecord& general = put(0, 0, CellValue::number(1234567.891));
  EXPECT_EQ(show(general, 49), u"1234568");
  EXPECT_EQ(show(general, -1), u"1234567.891");
  EXPECT_EQ(show(general, 60), u"1234568");   // 60 px hold 8 characters: "1234567.9" is 9
  EXPECT_EQ(show(general, 63), u"1234567.9");

  // A text that does not depend on the width is built once.
  CellRecord& fixed = put(1, 0, CellValue::number(2.5), format(u"0.00"));
  EXPECT_EQ(show(fixed), u"2.50");
  fixed.value = CellValue::number(7); // changed behind the store's back
  EXPECT_EQ(show(fixed, 40), u"2.50");
  fixed.calcState = CalcState::ValueValid;
  EXPECT_EQ(show(fixed), u"7.00");

  // A fill repeats its character over the room left after "5": (32 - 7) / 7.
  CellRecord& filled = put(2, 0, CellValue::number(5), format(u"0*-"));
  EXPECT_EQ(show(filled, 32), u"5---");
  EXPECT_EQ(show(filled), u"5");
}

TEST_F(DisplayTextTest, CodesAreCompiledOncePerCode) {
  const std::uint16_t f = format(u"0.00");
  const std::uint16_t index = book.cellFormats[f].numberFormatIndex;
  const numfmt::CompiledFormat* first = &compiledNumberFormat(book, index);
  EXPECT_EQ(&compiledNumberFormat(book, index), first);
  CellRecord& c = put(0, 0, CellValue::number(1.23456), f);
  EXPECT_EQ(show(c), u"1.23");
  EXPECT_EQ(&compiledNumberFormat(book, index), first);

  // A code replaced in place is compiled again.
  const int pos = numberFormatPosition(book, index);
  ASSERT_GE(pos, 0);
  book.numberFormats[static_cast<size_t>(pos)].code = u"0.000";
  c.calcState = CalcState::ValueValid;
  EXPECT_EQ(show(c), u"1.235");

  // An unknown index is General.
  EXPECT_EQ(&compiledNumberFormat(book, 4000), &compiledNumberFormat(book, 4001));
  EXPECT_EQ(numfmt::formatNumber(0.5, compiledNumberFormat(book, 4000)).text, u"0.5");
}

TEST_F(DisplayTextTest, StringsGoThroughTheTextSection) {
  const struct {
    std::u16string_view text;
    std::u16string_view code;
    std::u16string_view expected;
  } rows[] = {
      {u"abc", u"0;0;0;\"<\"@\">\"", u"<abc>"},
      {u"abc", u"0;0;0;@\" kg\"", u"abc kg"},
      {u"abc", u"0;0;0;@@", u"abcabc"},
      {u"abc", u"0.00", u"abc"},   // no text section
      {u"abc", u"@", u"abc"},      // "@" alone is the first section
      {u"=A1", u"@", u"=A1"},      // text format: formula-looking input stays text
      {u"123", u"General", u"123"}, // typed as '123: the apostrophe is not in the value
      {u"", u"General", u""},
  };
  for (const auto& row : rows) {
    CellRecord& c = put(0, 0, CellValue::string(row.text), format(row.code));
    EXPECT_EQ(show(c), row.expected) << utf8(row.code);
  }
  CellRecord& textFormat = put(1, 0, CellValue::string(u"=A1"), 15);
  book.cellFormats[15].numberFormatIndex = 49;
  EXPECT_EQ(show(textFormat), u"=A1");
}

TEST_F(DisplayTextTest, ColourComesFromTheFontOrTheSection) {
  const std::uint16_t blue = font(12);
  const struct {
    CellValue value;
    std::u16string_view code;
    std::u16string_view expected;
    std::int16_t colour;
  } rows[] = {
      {CellValue::number(5), u"General", u"5", 12},
      {CellValue::number(5), u"[Red]0", u"5", 10}, // Black is palette 8, Red 10
      {CellValue::number(5), u"[Red]", u"5", 10},
      {CellValue::number(5), u"0;[Red]-0", u"5", 12},
      {CellValue::number(-5), u"0;[Red]-0", u"-5", 10},
      {CellValue::number(-5), u"0;[Cyan]0", u"5", 15},
      {CellValue::string(u"x"), u"0;0;0;[Green]@", u"x", 11},
      {CellValue::string(u"x"), u"[Red]0", u"x", 12}, // only a text section colours text
      {CellValue::boolean(true), u"[Red]0", u"TRUE", 12},
      {CellValue::error(ErrorCode::NA), u"[Blue]0", u"#N/A", 12},
  };
  for (const auto& row : rows) {
    CellRecord& c = put(0, 0, row.value, format(row.code, blue));
    EXPECT_EQ(show(c), row.expected) << utf8(row.code);
    EXPECT_EQ(c.displayColour, row.colour) << utf8(row.code);
  }
  CellRecord& automatic = put(1, 0, CellValue::number(1));
  EXPECT_EQ(show(automatic), u"1");
  EXPECT_EQ(automatic.displayColour, 0x7FFF);
}

TEST_F(DisplayTextTest, FixedTextsAndEmptyCells) {
  const struct {
    CellValue value;
    std::u16string_view expected;
  } rows[] = {
      {CellValue::boolean(true), u"TRUE"},
      {CellValue::boolean(false), u"FALSE"},
      {CellValue::error(ErrorCode::Div0), u"#DIV/0!"},
      {CellValue::error(ErrorCode::NA), u"#N/A"},
      {CellValue(), u""},
  };
  const std::uint16_t twoDecimals = format(u"0.00");
  for (const auto& row : rows) {
    CellRecord& c = put(0, 0, row.value, twoDecimals);
    EXPECT_EQ(show(c, 10), row.expected);
  }
  // Clearing a cell drops its old text.
  CellRecord& c = put(1, 0, CellValue::number(1), twoDecimals);
  EXPECT_EQ(show(c), u"1.00");
  c.value = CellValue();
  c.input.assign(u"");
  c.calcState = CalcState::NotValid;
  EXPECT_EQ(show(c), u"");
  EXPECT_TRUE(c.display.isNull());
  EXPECT_EQ(c.calcState, CalcState::DisplayValid);
}

TEST_F(DisplayTextTest, StaleCellsAreComputedFirst) {
  int calls = 0;
  modelServices().computeCell = [&](Workbook&, int, CellRecord& c) {
    ++calls;
    c.value = CellValue::number(42);
    c.calcState = CalcState::ValueValid;
  };
  CellRecord& stale = put(0, 0, CellValue::number(1));
  stale.calcState = CalcState::NotValid;
  EXPECT_EQ(show(stale), u"42");
  EXPECT_EQ(calls, 1);
  CellRecord& valid = put(0, 1, CellValue::number(7));
  EXPECT_EQ(show(valid), u"7");
  EXPECT_EQ(calls, 1);

  // A cell on the evaluation path (a loop) is shown but keeps its mark.
  modelServices().computeCell = [&](Workbook&, int, CellRecord&) { ++calls; };
  CellRecord& onPath = put(0, 2, CellValue::number(3));
  onPath.calcState = CalcState::OnPath;
  EXPECT_EQ(show(onPath), u"3");
  EXPECT_EQ(onPath.calcState, CalcState::OnPath);
}

// A file of text takes each cell's text without a width: the same text the
// grid would show unfitted, but the cell's cache is neither filled nor needed.
TEST_F(DisplayTextTest, PlainTextIsTheUnfittedTextWithoutCaching) {
  const struct {
    CellValue value;
    std::u16string_view code;
    std::u16string_view text;
  } kCases[] = {
      {CellValue::number(1.0 / 7), u"General", u"0.142857142857143"},
      {CellValue::number(-1e20), u"General", u"-1E+020"},
      {CellValue::number(0.125), u"0.0%", u"12.5%"},
      {CellValue::number(12345.678), u"#,##0.00", u"12,345.68"},
      {CellValue::number(5), u"0*-", u"5"},
      {CellValue::string(u"abc"), u"General", u"abc"},
      {CellValue::string(u"abc"), u"0;0;0;\"<\"@\">\"", u"<abc>"},
      {CellValue::boolean(true), u"General", u"TRUE"},
      {CellValue::error(ErrorCode::NA), u"0.00", u"#N/A"},
      {CellValue(), u"General", u""},
  };
  std::uint8_t column = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(utf8(c.text));
    CellRecord& cell = put(0, column++, c.value, format(c.code));
    EXPECT_EQ(cell_plain_text(book, 0, cell), c.text);
    EXPECT_TRUE(cell.display.isNull());
    EXPECT_EQ(cell.calcState, CalcState::ValueValid);
    EXPECT_EQ(show(cell), c.text);
  }
  // A cached text that needs no width is what it gives.
  CellRecord& cached = put(1, 0, CellValue::number(0.5), format(u"0.00"));
  EXPECT_EQ(show(cached), u"0.50");
  cached.display.assign(u"stale on purpose");
  EXPECT_EQ(cell_plain_text(book, 0, cached), u"stale on purpose");

  // A stale cell is computed first.
  modelServices().computeCell = [](Workbook&, int, CellRecord& cell) {
    cell.value = CellValue::number(42);
    cell.calcState = CalcState::ValueValid;
  };
  CellRecord& stale = put(2, 0, CellValue::number(1));
  stale.calcState = CalcState::NotValid;
  EXPECT_EQ(cell_plain_text(book, 0, stale), u"42");
}

// Cells formatted as Text ("@", the built-in format 49) hold what a file or
// a formula gave them; a file of text gets the same text the cell shows, so a
// number there is written as its General text and a text as it is.
TEST_F(DisplayTextTest, PlainTextOfTextFormattedCells) {
  const std::uint16_t text = format(u"@");
  const std::uint16_t quoted = format(u"\"<\"@\">\"");
  const struct {
    CellValue value;
    std::uint16_t format;
    std::u16string_view text;
  } kCases[] = {
      {CellValue::number(1.5), text, u"1.5"},
      {CellValue::number(-1234567.25), text, u"-1234567.25"},
      {CellValue::number(1e20), text, u"1E+020"},
      {CellValue::string(u"007"), text, u"007"},
      {CellValue::string(u""), text, u""},
      {CellValue::boolean(false), text, u"FALSE"},
      {CellValue::error(ErrorCode::Ref), text, u"#REF!"},
      // One section changes no text; its "@" stands for a number's General text.
      {CellValue::string(u"abc"), quoted, u"abc"},
      {CellValue::number(2.5), quoted, u"<2.5>"},
  };
  std::uint8_t column = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(utf8(c.text));
    CellRecord& cell = put(0, column++, c.value, c.format);
    EXPECT_EQ(cell_plain_text(book, 0, cell), c.text);
    EXPECT_TRUE(cell.display.isNull());
    EXPECT_EQ(show(cell), c.text);
  }
}

TEST_F(DisplayTextTest, BadIndexesFallBack) {
  book.fonts[0].colourIndex = 20;
  CellRecord& noFormat = put(0, 0, CellValue::number(1.5), 999);
  EXPECT_EQ(show(noFormat, 50), u"1.5");
  EXPECT_EQ(noFormat.displayColour, 20);

  CellFormat f;
  f.fontIndex = 99;
  f.numberFormatIndex = 777;
  book.cellFormats.push_back(f);
  CellRecord& badRefs = put(0, 1, CellValue::number(2.25),
                            static_cast<std::uint16_t>(book.cellFormats.size() - 1));
  EXPECT_EQ(show(badRefs, 50), u"2.25");
  EXPECT_EQ(badRefs.displayColour, 20);
  EXPECT_EQ(availableWidthPx(book, 0, badRefs, PixelScale{}), 53);

  // A bad sheet index is not passed on to the engine and has no room.
  int calls = 0;
  modelServices().computeCell = [&](Workbook&, int, CellRecord&) { ++calls; };
  badRefs.calcState = CalcState::NotValid;
  EXPECT_EQ(cell_display_text(book, 5, badRefs, -1), u"2.25");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(availableWidthPx(book, -1, badRefs, PixelScale{}), 0);
  fitColumnWidths(book, 7, 0, 3, 0, 10);
}

TEST_F(DisplayTextTest, RoomForText) {
  const std::uint16_t across = format(u"General", 0, kAlignCentreAcrossSelection);
  const std::uint16_t left = format(u"General", 0, kAlignLeft);
  Sheet& s = sheet();
  setWidthChars(2, 5);
  set_column_record(s, 4, kLineHidden, 2048);
  ASSERT_TRUE(addMergedRange(s, CellRange{10, 1, 10, 3}));
  ASSERT_TRUE(addMergedRange(s, CellRange{12, 5, 13, 5}));

  // Row 20: centred across, then two empty cells centred across, then a value.
  put(20, 1, CellValue(), across);
  put(20, 2, CellValue(), across);
  put(20, 3, CellValue::number(1), across);
  // Row 21: the run stops at an empty cell with another alignment.
  put(21, 1, CellValue(), left);
  // Row 22: columns without cells count when their default format centres across.
  set_column_format(s, 6, across);
  set_column_format(s, 7, across);

  const struct {
    std::uint16_t row;
    std::uint8_t column;
    std::uint16_t format;
    int expected;
  } rows[] = {
      {0, 0, 15, 53},           // 8 characters of 7 px, less 3
      {0, 2, 15, 32},           // 5 characters
      {0, 4, 15, 0},            // hidden
      {10, 1, 15, 56 + 35 + 56 - 3}, // the merged range's three columns
      {12, 5, 15, 53},          // merged over rows only
      {20, 0, across, 56 + 56 + 35 - 3},
      {21, 0, across, 53},
      {22, 0, across, 53},      // column 1 has the default format
      {22, 5, across, 3 * 56 - 3},
      {22, 5, left, 53},
      {0, 255, across, 53},
  };
  for (const auto& row : rows) {
    CellRecord& c = put(row.row, row.column, CellValue::number(1), row.format);
    EXPECT_EQ(availableWidthPx(book, 0, c, PixelScale{}), row.expected)
        << row.row << "," << int(row.column);
  }
  // Zoomed widths come with a zoomed character width.
  CellRecord& c = put(0, 0, CellValue::number(1));
  EXPECT_EQ(availableWidthPx(book, 0, c, PixelScale{14, 192}), 112 - 3);
}

TEST_F(DisplayTextTest, ZoomedTextIsMeasuredAtTheZoom) {
  // At 200% the column is 112 px and characters 14 px wide: 7 characters fit.
  sheet().zoom = 200;
  CellRecord& c = put(0, 0, CellValue::number(3.14159265));
  EXPECT_EQ(show(c, availableWidthPx(book, 0, c, PixelScale{14, 192})), u"3.14159");
}

TEST_F(DisplayTextTest, BestFitTakesTheWidestText) {
  const std::uint16_t bold = format(u"General", font(0x7FFF, 700));
  Sheet& s = sheet();
  put(0, 0, CellValue::string(u"abcdefghij"));      // 10 characters
  put(0, 1, CellValue::string(u"ab"));
  put(1, 1, CellValue::string(u"abcdef"));
  put(0, 2, CellValue::number(1234567.891));        // fitted text of the grid is not used
  EXPECT_EQ(show(*cell_at(s, 0, 2), 49), u"1234568");
  put(0, 3, CellValue::number(6));
  put(0, 4, CellValue::string(std::u16string(300, u'x')));
  put(0, 5, CellValue::string(u"abcde"), bold);     // 8 px a character in bold
  put(0, 6, CellValue());                           // no text: keeps its width
  set_column_record(s, 6, kLineHidden, 1000);
  ASSERT_TRUE(addMergedRange(s, CellRange{0, 7, 0, 8}));
  put(0, 7, CellValue::string(u"merged across two columns"));
  ASSERT_TRUE(addMergedRange(s, CellRange{0, 9, 1, 9}));
  put(0, 9, CellValue::string(u"abc"));             // merged over rows only: counts
  put(5, 10, CellValue::string(u"outside the rows"));
  set_column_record(s, 1, kLineHidden | kLineDefaultSize, 500);

  fitColumnWidths(book, 0, 0, 10, 0, 1);
  const struct {
    std::uint8_t column;
    std::uint16_t size;
    std::uint32_t flags;
  } rows[] = {
      {0, 2670, 0},           // (70 + 3) / 7 = 10.43 characters
      {1, 1646, 0},           // (42 + 3) / 7 = 6.43; hidden and default bits cleared
      {2, 2926, 0},           // "1234567.891": (77 + 3) / 7 = 11.43
      {3, 366, 0},            // (7 + 3) / 7 = 1.43
      {4, 65280, 0},          // 300 characters: at most 255
      {5, 1573, 0},           // (40 + 3) / 7 = 6.14
      {6, 1000, kLineHidden}, // no text
      {7, 2048, kLineDefaultSize},
      {9, 878, 0},            // (21 + 3) / 7 = 3.43
      {10, 2048, kLineDefaultSize},
  };
  for (const auto& row : rows) {
    const ColumnRecord r = column_record(s, row.column);
    EXPECT_EQ(r.size, row.size) << int(row.column);
    EXPECT_EQ(r.flags, row.flags) << int(row.column);
  }
  EXPECT_EQ(book.modified, 1);
}

TEST_F(DisplayTextTest, BestFitMeasuresFormulasWhenTheyAreShown) {
  Sheet& s = sheet();
  CellRecord& c = put(0, 0, CellValue::number(6));
  c.input.assign(u"=SUM(A1:A3)");
  fitColumnWidths(book, 0, 0, 0, 0, 0);
  EXPECT_EQ(column_record(s, 0).size, 366); // "6"
  s.flags |= kSheetShowFormulas;
  fitColumnWidths(book, 0, 0, 0, 0, 0);
  EXPECT_EQ(column_record(s, 0).size, 2926); // 11 characters
}

TEST_F(DisplayTextTest, BestFitOfAnEmptyRangeChangesNothing) {
  put(0, 0, CellValue());
  fitColumnWidths(book, 0, 0, 3, 0, 100);
  EXPECT_TRUE(sheet().columns.empty());
  EXPECT_EQ(book.modified, 0);
}

TEST_F(DisplayTextTest, RowFittingWrapsTheDisplayText) {
  // "ten kilograms" at 53 px (7 characters): "ten" / "kilogra" / "ms".
  CellFormat f;
  f.numberFormatIndex = static_cast<std::uint16_t>(findOrAddFormat(book, u"0;0;0;@\" kilograms\""));
  f.flags |= kFormatWrapText;
  book.cellFormats.push_back(f);
  const auto wrapped = static_cast<std::uint16_t>(book.cellFormats.size() - 1);
  put(0, 0, CellValue::string(u"ten"), wrapped);
  fitRowHeights(book, 0, 0, 0);
  // 3 lines of 16 px plus 1: 49 px at 96 dpi.
  EXPECT_EQ(row_record(sheet(), 0).size, 735);
  EXPECT_EQ(cell_at(sheet(), 0, 0)->display.view(), u"ten kilograms");
}

} // namespace
} // namespace model
