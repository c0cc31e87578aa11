#include "formula/reference_syntax.h"

#include "formula/moved_copy.h"

#include "model/workbook.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <memory>

namespace formula {
namespace {

std::unique_ptr<model::Workbook> makeBook() {
  auto book = std::make_unique<model::Workbook>();
  for (const char16_t *name : {u"Sheet1", u"Sheet2", u"My Sheet", u"It's", u"2009"}) {
    auto sheet = std::make_unique<model::Sheet>();
    sheet->name = name;
    book->sheets.push_back(std::move(sheet));
  }
  return book;
}

std::string show(std::u16string_view text) { return platform::toUtf8(text); }

TEST(ReferenceSyntax, ReadsA1CellsAndAreas) {
  const auto book = makeBook();
  const struct {
    std::u16string_view text;
    size_t end;
    int sheet;
    int firstRow, firstColumn, lastRow, lastColumn; // as written, 0-based
    bool firstRowAbs, firstColumnAbs;
    bool isArea;
  } kRows[] = {
      // clang-format off
      {u"A1",              2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"$B$2",            4,  -1, 1,     1,   1,     1,   true,  true,  false},
      {u"c$7",             3,  -1, 6,     2,   6,     2,   true,  false, false},
      {u"IV65536",         7,  -1, 65535, 255, 65535, 255, false, false, false},
      {u"AB12",            4,  -1, 11,    27,  11,    27,  false, false, false},
      {u"A001",            4,  -1, 0,     0,   0,     0,   false, false, false},
      {u"A1:B2",           5,  -1, 0,     0,   1,     1,   false, false, true},
      {u"B2:$A$1",         7,  -1, 1,     1,   0,     0,   false, false, true},
      {u"A1..C3",          6,  -1, 0,     0,   2,     2,   false, false, true},
      {u"A1:C",            2,  -1, 0,     0,   0,     0,   false, false, false}, // ":" is an operator here
      {u"A1:B2C",          2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"A1)",             2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"A1+B1",           2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"A1 ",             2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"A1;",             2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"A1}",             2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"A1%",             2,  -1, 0,     0,   0,     0,   false, false, false},
      {u"Sheet2!A1",       9,  1,  0,     0,   0,     0,   false, false, false},
      {u"sheet2!B1:B3",    12, 1,  0,     1,   2,     1,   false, false, true},
      {u"'My Sheet'!B3",   13, 2,  2,     1,   2,     1,   false, false, false},
      {u"'It''s'!$A$1",    12, 3,  0,     0,   0,     0,   true,  true,  false},
      {u"'2009'!A1",       9,  4,  0,     0,   0,     0,   false, false, false},
      {u"2009!A1",         7,  4,  0,     0,   0,     0,   false, false, false},
      // clang-format on
  };
  for (const auto &row : kRows) {
    ParsedReference ref;
    ASSERT_TRUE(readA1Reference(row.text, 0, book.get(), u',', ref)) << show(row.text);
    EXPECT_EQ(ref.begin, 0u) << show(row.text);
    EXPECT_EQ(ref.end, row.end) << show(row.text);
    EXPECT_EQ(ref.sheet, row.sheet) << show(row.text);
    EXPECT_EQ(ref.hasQualifier, row.sheet >= 0) << show(row.text);
    EXPECT_EQ(ref.first.row, row.firstRow) << show(row.text);
    EXPECT_EQ(ref.first.column, row.firstColumn) << show(row.text);
    EXPECT_EQ(ref.last.row, row.lastRow) << show(row.text);
    EXPECT_EQ(ref.last.column, row.lastColumn) << show(row.text);
    EXPECT_EQ(ref.first.rowAbsolute, row.firstRowAbs) << show(row.text);
    EXPECT_EQ(ref.first.columnAbsolute, row.firstColumnAbs) << show(row.text);
    EXPECT_EQ(ref.isArea, row.isArea) << show(row.text);
  }
}

TEST(ReferenceSyntax, RejectsTextsThatAreNoReference) {
  const auto book = makeBook();
  constexpr std::u16string_view kRows[] = {
      u"A65537",                // one row past the sheet
      u"A0",                    // rows are 1-based
      u"IW1",                   // one column past IV
      u"LOG10",                 // column LOG is far beyond IV
      u"AAAAAAAAAAAAAAAAAAAA1", // letters must not overflow into a small column
      u"A99999999999999999999",
      u"A1B",
      u"A1_",
      u"A1.",
      u"A1!",
      u"A1..C",
      u"A1..C3x",
      u"$1",
      u"A$",
      u"$$A1",
      u"A",
      u"1",
      u"",
      u"Nope!A1",
      u"'Nope'!A1",
      u"'Sheet1!A1",
      u"'Sheet1'A1",
      u"Sheet1!",
      u"SUM",
      u"R1C1X",
  };
  for (const auto text : kRows) {
    ParsedReference ref;
    EXPECT_FALSE(readA1Reference(text, 0, book.get(), u',', ref)) << show(text);
  }
  // Without a workbook no qualifier names a sheet.
  ParsedReference ref;
  EXPECT_FALSE(readA1Reference(u"Sheet1!A1", 0, nullptr, u',', ref));
  EXPECT_TRUE(readA1Reference(u"A1", 0, nullptr, u',', ref));
}

// Sheet ranges are read only when asked for, plain or quoted, both names
// being sheets; the ordinary reader refuses them as a whole.
TEST(ReferenceSyntax, SheetRangesOnlyWhenAskedFor) {
  const auto book = makeBook();
  const struct {
    std::u16string_view text;
    bool read;
    int first, last;
    std::u16string_view written; // the qualifier written back
  } kRows[] = {
      // clang-format off
      {u"Sheet1:Sheet2!B3",       true,  0, 1, u"Sheet1:Sheet2!"},
      {u"'Sheet2:My Sheet'!B3",   true,  1, 2, u"'Sheet2:My Sheet'!"},
      {u"'It''s:2009'!B3:C4",     true,  3, 4, u"'It''s:2009'!"},
      {u"Sheet1!B3",              true,  0, -1, u"Sheet1!"},
      {u"Sheet1:Nope!B3",         false, 0, 0, u""},
      {u"'Sheet1:My Sheet!B3",    false, 0, 0, u""},
      {u"Sheet1:!B3",             false, 0, 0, u""},
      {u"'Sheet1':'My Sheet'!B3", true,  0, 2, u"'Sheet1:My Sheet'!"},
      {u"Sheet2:'It''s'!B3",      true,  1, 3, u"'Sheet2:It''s'!"},
      {u"'2009':Sheet1!A1",       true,  4, 0, u"'2009:Sheet1'!"},
      {u"'Sheet1':Nope!B3",       false, 0, 0, u""},
      {u"'Sheet1':!B3",           false, 0, 0, u""},
      // clang-format on
  };
  for (const auto &row : kRows) {
    SCOPED_TRACE(show(row.text));
    ParsedReference ref;
    ASSERT_EQ(readA1ReferenceOrSheetRange(row.text, 0, book.get(), u',', ref), row.read);
    if (row.last >= 0) {
      EXPECT_FALSE(readA1Reference(row.text, 0, book.get(), u',', ref) && ref.end == row.text.size());
    }
    if (!row.read)
      continue;
    readA1ReferenceOrSheetRange(row.text, 0, book.get(), u',', ref);
    EXPECT_EQ(ref.end, row.text.size());
    EXPECT_EQ(ref.sheet, row.first);
    EXPECT_EQ(ref.lastSheet, row.last);
    std::u16string out;
    appendQualifierOf(out, ref);
    EXPECT_EQ(show(out), show(row.written));
  }
  // A cell before ":" and a qualified reference is no range of sheets.
  ParsedReference ref;
  ASSERT_TRUE(readA1ReferenceOrSheetRange(u"B1:Sheet2!B1", 0, book.get(), u',', ref));
  EXPECT_FALSE(ref.hasQualifier);
  EXPECT_EQ(ref.end, 2u);
}

TEST(ReferenceSyntax, ReadsFromTheMiddleAndHonoursTheListSeparator) {
  const auto book = makeBook();
  ParsedReference ref;
  ASSERT_TRUE(readA1Reference(u"=SUM(A1:B2)", 5, book.get(), u',', ref));
  EXPECT_EQ(ref.begin, 5u);
  EXPECT_EQ(ref.end, 10u);
  ASSERT_TRUE(readA1Reference(u"=IF(x;A1;B1)", 6, book.get(), u';', ref));
  EXPECT_EQ(ref.end, 8u);
  // "!" is no terminator, so a sheet called A1 would be needed here.
  EXPECT_FALSE(readA1Reference(u"A1!B1", 0, book.get(), u',', ref));
}

TEST(ReferenceSyntax, RangeIsNormalised) {
  const auto book = makeBook();
  ParsedReference ref;
  ASSERT_TRUE(readA1Reference(u"C1:A3", 0, book.get(), u',', ref));
  const model::CellRange r = ref.range();
  EXPECT_EQ(r, (model::CellRange{0, 0, 2, 2}));
  ASSERT_TRUE(readA1Reference(u"D9", 0, book.get(), u',', ref));
  EXPECT_EQ(ref.range(), model::CellRange::cell(8, 3));
}

TEST(ReferenceSyntax, ReadsR1C1RelativeToABase) {
  const auto book = makeBook();
  // The base is row 5, column E (0-based 4, 4).
  const struct {
    std::u16string_view text;
    size_t end;
    int firstRow, firstColumn, lastRow, lastColumn;
    bool firstRowAbs, firstColumnAbs;
  } kRows[] = {
      // clang-format off
      {u"R1C1",          4,  0,     0,   0,     0,   true,  true},
      {u"r2c3",          4,  1,     2,   1,     2,   true,  true},
      {u"R[-1]C",        6,  3,     4,   3,     4,   false, false},
      {u"RC[+2]",        6,  4,     6,   4,     6,   false, false},
      {u"R[-4]C[-4]",    10, 0,     0,   0,     0,   false, false},
      {u"R65536C256",    10, 65535, 255, 65535, 255, true,  true},
      {u"R1C1:R[1]C[1]", 13, 0,     0,   5,     5,   true,  true},
      {u"Sheet2!RC",     9,  4,     4,   4,     4,   false, false},
      // clang-format on
  };
  for (const auto &row : kRows) {
    ParsedReference ref;
    ASSERT_TRUE(readR1C1Reference(row.text, 0, book.get(), u',', 4, 4, ref)) << show(row.text);
    EXPECT_EQ(ref.end, row.end) << show(row.text);
    EXPECT_EQ(ref.first.row, row.firstRow) << show(row.text);
    EXPECT_EQ(ref.first.column, row.firstColumn) << show(row.text);
    EXPECT_EQ(ref.last.row, row.lastRow) << show(row.text);
    EXPECT_EQ(ref.last.column, row.lastColumn) << show(row.text);
    EXPECT_EQ(ref.first.rowAbsolute, row.firstRowAbs) << show(row.text);
    EXPECT_EQ(ref.first.columnAbsolute, row.firstColumnAbs) << show(row.text);
  }
  constexpr std::u16string_view kBad[] = {
      u"R[-5]C", u"RC[-5]", u"R[65532]C", u"R0C1", u"R65537C1",           u"R1C257",    u"R1C1X",
      u"R[1C1",  u"R[]C",   u"R1",        u"C1",   u"R[99999999999999]C", u"Nope!R1C1",
  };
  for (const auto text : kBad) {
    ParsedReference ref;
    EXPECT_FALSE(readR1C1Reference(text, 0, book.get(), u',', 4, 4, ref)) << show(text);
  }
}

TEST(ReferenceSyntax, ColumnLettersAreBijectiveBase26) {
  const struct {
    int column;
    std::u16string_view letters;
  } kRows[] = {
      {0, u"A"},   {25, u"Z"},   {26, u"AA"},  {51, u"AZ"},
      {52, u"BA"}, {255, u"IV"}, {701, u"ZZ"}, {702, u"AAA"},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(columnLetters(row.column), row.letters) << row.column;
  // Every column of the sheet reads back as itself.
  for (int c = 0; c <= model::kMaxColumn; ++c) {
    ParsedReference ref;
    const std::u16string text = columnLetters(c) + u"1";
    ASSERT_TRUE(readA1Reference(text, 0, nullptr, u',', ref)) << c;
    EXPECT_EQ(ref.first.column, c);
  }
}

TEST(ReferenceSyntax, WritesAddressesAndQualifiers) {
  std::u16string out;
  appendCellAddress(out, RefCorner{1, 1, true, true});
  EXPECT_EQ(out, u"$B$2");
  out.clear();
  appendCellAddress(out, RefCorner{6, 2, false, false});
  EXPECT_EQ(out, u"C7");
  out.clear();
  appendCellAddress(out, RefCorner{65535, 255, true, false});
  EXPECT_EQ(out, u"IV$65536");

  const struct {
    std::u16string_view name;
    bool quoted;
    std::u16string_view expected;
  } kRows[] = {
      // clang-format off
      {u"Sheet1",   false, u"Sheet1!"},
      {u"a_b",      false, u"a_b!"},
      {u"工作表1",  false, u"工作表1!"},
      {u"Sheet1",   true,  u"'Sheet1'!"},
      {u"My Sheet", false, u"'My Sheet'!"},
      {u"It's",     false, u"'It''s'!"},
      {u"2009",     false, u"'2009'!"},
      {u"A-B",      false, u"'A-B'!"},
      // clang-format on
  };
  for (const auto &row : kRows) {
    out.clear();
    appendSheetQualifier(out, row.name, row.quoted);
    EXPECT_EQ(out, row.expected) << show(row.name);
  }
}

TEST(ReferenceSyntax, TerminatorsAreTheOperatorCharacters) {
  for (const char16_t c : std::u16string_view(u" %&()*+,-/:<=>^"))
    EXPECT_TRUE(isIdentifierTerminator(c, u',')) << static_cast<int>(c);
  for (const char16_t c : std::u16string_view(u"A1_.$!'\"{};#"))
    EXPECT_FALSE(isIdentifierTerminator(c, u',')) << static_cast<int>(c);
  EXPECT_TRUE(isIdentifierTerminator(u';', u';'));
}

// A filled copy is the source with each plain reference moved and written
// as the program writes it: the same digits and letters, nothing more.
TEST(ReferenceSyntax, MovedCopiesMatchOnlyTheMovedText) {
  const std::u16string_view source = u"=SUM(A1:B2)+$C$3";
  const std::vector<WrittenReference> refs = {
      {5, 10, RefCorner{0, 0, false, false}, RefCorner{1, 1, false, false}, true},
      {12, 16, RefCorner{2, 2, true, true}, RefCorner{2, 2, true, true}, false},
  };
  const struct {
    int rows, columns;
    std::u16string_view text;
    bool copy;
  } cases[] = {
      {0, 0, u"=SUM(A1:B2)+$C$3", true},
      {0, 0, u"=SUM(A1:B2)+$C$4", false},
      {1, 0, u"=SUM(A2:B3)+$C$3", true},
      {9, 0, u"=SUM(A10:B11)+$C$3", true},
      {9, 0, u"=SUM(A010:B11)+$C$3", false}, // a leading zero is not written
      {9, 0, u"=SUM(A10:B011)+$C$3", false},
      {9, 0, u"=SUM(A1:B11)+$C$3", false},
      {1, 0, u"=SUM(A2:B3)+$C$4", false},    // the absolute corner stays
      {1, 0, u"=SUM(A2B3)+$C$3", false},
      {1, 0, u"=SUM(A2:B3)+$C$3)", false},
      {1, 0, u"=SUM(A2:B3)+$C$", false},
      {1, 0, u"=SUM(A2:B3", false},
      {1, 0, u"=SUM(a2:b3)+$C$3", false},
      {-1, 0, u"=SUM(A0:B1)+$C$3", false},   // off the sheet
      {0, 25, u"=SUM(Z1:AA2)+$C$3", true},
      {0, 254, u"=SUM(IU1:IV2)+$C$3", true},
      {0, 255, u"=SUM(IV1:IW2)+$C$3", false},
      {65534, 0, u"=SUM(A65535:B65536)+$C$3", true},
      {65535, 0, u"=SUM(A65536:B65537)+$C$3", false},
      {3, 2, u"=SUM(C4:D5)+$C$3", true},
      {3, 2, u"=SUM(C4:D5) +$C$3", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(show(c.text));
    EXPECT_EQ(isMovedCopy(source, refs, c.text, c.rows, c.columns), c.copy) << c.rows << "," << c.columns;
    if (c.copy) {
      // The copy is what writing the references moved gives.
      std::u16string written(source.substr(0, 5));
      char16_t ref[kMaxWrittenReference];
      written.append(ref, writeMovedReference(refs[0], c.rows, c.columns, ref));
      written.append(u")+");
      written.append(ref, writeMovedReference(refs[1], c.rows, c.columns, ref));
      EXPECT_EQ(show(written), show(c.text));
    }
  }
}

} // namespace
} // namespace formula
