#include "fileformats/biff/formula_tokens.h"

#include "model/workbook.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace biff {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string utf8(std::u16string_view s) { return platform::toUtf8(s); }

// Sheets "Sheet1", "My Sheet", "Sheet3" and a macro sheet "Macro1"; names
// Sales (=Sheet1!$A$1:$A$4) and Run (=Macro1!$A$1); add-in names EDATE and
// EOMONTH.
std::unique_ptr<model::Workbook> makeBook(bool addIns = true) {
  auto book = std::make_unique<model::Workbook>();
  for (const char16_t* name : {u"Sheet1", u"My Sheet", u"Sheet3", u"Macro1"}) {
    auto sheet = std::make_unique<model::Sheet>();
    sheet->name = name;
    book->sheets.push_back(std::move(sheet));
  }
  book->sheet(3).kind = model::SheetKind::Macro;
  book->names.push_back({0, 0, 0, u"Sales", u"=Sheet1!$A$1:$A$4", {}});
  book->names.push_back({0, 0, 0, u"Start", u"=Macro1!$A$1", {}});
  if (addIns)
    book->addInNames = {u"EDATE", u"EOMONTH"};
  return book;
}

std::u16string read(const Bytes& tokens, const TokenContext& ctx, const Bytes& extra = {},
                    std::uint16_t row = 0, std::uint8_t column = 0, bool* ok = nullptr) {
  std::u16string text;
  const bool result = tokensToFormulaText(tokens, extra, row, column, ctx, text);
  if (ok)
    *ok = result;
  return text;
}

TokenArray write(std::u16string_view text, const TokenContext& ctx, WriteOptions options = {}) {
  TokenArray out;
  EXPECT_TRUE(formulaTextToTokens(text, ctx, options, out)) << utf8(text);
  return out;
}

// Expected bytes below are typed from the published token layouts.
TEST(FormulaTokens, WritesDocumentedTokenBytes) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 8, 2, nullptr, 0};
  const struct {
    std::u16string_view text;
    Bytes tokens;
  } kRows[] = {
      {u"=SUM(A1:A3)", {0x25,             // area, reference class
                        0x00, 0x00,       // first row 0
                        0x02, 0x00,       // last row 2
                        0x00, 0xC0,       // first column A, row and column relative
                        0x00, 0xC0,       // last column A, relative
                        0x19, 0x10, 0x00, 0x00}}, // attribute: SUM of one argument
      {u"=5%3", {0x1E, 0x05, 0x00,        // integer 5
                 0x1E, 0x03, 0x00,        // integer 3
                 0x42, 0x02, 0x27, 0x00}}, // variable call, 2 arguments, MOD (39)
      {u"=70000", {0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0xF1, 0x40}}, // double 70000
      {u"=65535", {0x1E, 0xFF, 0xFF}},
      {u"=TRUE", {0x1D, 0x01}},
      {u"=#DIV/0!", {0x1C, 0x07}},
      {u"=#N/A", {0x1C, 0x2A}},
      {u"=ROUND(A1,2)", {0x44, 0x00, 0x00, 0x00, 0xC0, // value-class cell A1
                         0x1E, 0x02, 0x00,
                         0x41, 0x1B, 0x00}},           // fixed call, ROUND (27)
      {u"=IF(A1,1,2)", {0x44, 0x00, 0x00, 0x00, 0xC0,
                        0x1E, 0x01, 0x00,
                        0x1E, 0x02, 0x00,
                        0x42, 0x03, 0x01, 0x00}},      // variable call, 3 arguments, IF (1)
      {u"=DCOUNT(A1:B5,,$C$1:$C$2)", {0x25, 0x00, 0x00, 0x04, 0x00, 0x00, 0xC0, 0x01, 0xC0,
                                       0x16,           // missing field argument
                                       0x25, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x02, 0x00,
                                       0x41, 0x28, 0x00}}, // fixed call, DCOUNT (40)
      {u"=ROUNDUP(1.5)", {0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,
                          0x16,                        // the absent digits argument
                          0x41, 0xD4, 0x00}},          // fixed call, ROUNDUP (212)
      {u"=CALCULATE.NOW()", {0x42, 0x00, 0x1F, 0x80}}, // command: always variable, bit 15
      {u"=GETPIVOTDATA(A1,\"x\")", {0x24, 0x00, 0x00, 0x00, 0xC0, // reference-class cell
                                    0x17, 0x01, 0x00, 0x78,       // string "x", 8-bit
                                    0x42, 0x02, 0x66, 0x01}},     // variable, GETPIVOTDATA (358)
      {u"=ATTACH.TOOLBARS?()", {0x42, 0x80, 0x43, 0x81}},        // prompt bit, command 33091
      {u"=EDATE(A1,1)", {0x39, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, // add-in name 1
                         0x44, 0x00, 0x00, 0x00, 0xC0,
                         0x1E, 0x01, 0x00,
                         0x42, 0x03, 0xFF, 0x00}},                 // external call (255)
      {u"=Sales", {0x43, 0x01, 0x00, 0x00, 0x00}},                 // defined name 1
      {u"=Start(1)", {0x23, 0x02, 0x00, 0x00, 0x00, 0x1E, 0x01, 0x00, 0x42, 0x02, 0xFF, 0x00}},
      {u"='My Sheet'!B2", {0x5A,                    // 3-D cell, value class
                           0x02, 0x00,              // EXTERNSHEET entry: sheet 1 + add-in entry
                           0x01, 0x00, 0x01, 0xC0}},
      {u"=-A1", {0x44, 0x00, 0x00, 0x00, 0xC0, 0x13}},
      {u"=A1 B1", {0x24, 0x00, 0x00, 0x00, 0xC0, 0x24, 0x00, 0x00, 0x01, 0xC0, 0x0F}},
      {u"=(1+2)*3", {0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x03, 0x15, 0x1E, 0x03, 0x00, 0x05}},
      {u"=2^3^2", {0x1E, 0x02, 0x00, 0x1E, 0x03, 0x00, 0x07, 0x1E, 0x02, 0x00, 0x07}},
      {u"=\"\u03A9\"", {0x17, 0x01, 0x01, 0xA9, 0x03}}, // UTF-16 when a character exceeds 255
      {u"=10%", {0x1E, 0x0A, 0x00, 0x14}},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(write(row.text, ctx).tokens, row.tokens) << utf8(row.text);
}

TEST(FormulaTokens, WritesBiff5Forms) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 7, 2, nullptr, 0};
  const struct {
    std::u16string_view text;
    Bytes tokens;
  } kRows[] = {
      {u"=\"\u03A9a\"", {0x17, 0x02, 0xA9, 0x61}},   // low bytes, no option byte
      {u"=$B3", {0x44, 0x02, 0x80, 0x01}},          // row 2 relative (bit 15), column B absolute
      {u"=Sheet3!A1", {0x5A, 0xFD, 0xFF,            // own workbook: EXTERNSHEET record 3, negated
                       0, 0, 0, 0, 0, 0, 0, 0,
                       0x02, 0x00, 0x02, 0x00,      // first and last sheet
                       0x00, 0xC0, 0x00}},          // row 0 with both relative flags, column A
      {u"=Sales", {0x43, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {u"=EOMONTH(1,2)", {0x39, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x00,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x42, 0x03, 0xFF, 0x00}},
      {u"=A20000", {0x4A, 0, 0, 0}},                 // beyond BIFF5's 16,384 rows
  };
  for (const auto& row : kRows)
    EXPECT_EQ(write(row.text, ctx).tokens, row.tokens) << utf8(row.text);
}

TEST(FormulaTokens, ReadsDocumentedTokens) {
  auto book = makeBook();
  const TokenContext ctx8{book.get(), 8, 2, nullptr, 0};
  const TokenContext ctx5{book.get(), 7, 2, nullptr, 0};
  const struct {
    const TokenContext* ctx;
    Bytes tokens;
    std::u16string_view text;
  } kRows[] = {
      {&ctx8, {0x25, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC0, 0x00, 0xC0, 0x19, 0x10, 0x00, 0x00},
       u"=SUM(A1:A3)"},
      {&ctx8, {0x41, 0x22, 0x00}, u"=TRUE"},             // function 34 without arguments
      {&ctx8, {0x42, 0x00, 0x23, 0x00}, u"=FALSE"},
      {&ctx8, {0x1E, 0x05, 0x00, 0x1E, 0x03, 0x00, 0x42, 0x02, 0x27, 0x00}, u"=MOD(5,3)"},
      {&ctx8, {0x1E, 0x01, 0x00, 0x42, 0x01, 0x34, 0x12}, u"=_FUNCTION4660(1)"}, // unknown number: a call, never "?"
      {&ctx8, {0x17, 0x03, 0x00, 0x61, 0x22, 0x62}, u"=\"a\"\"b\""},  // quote doubled
      {&ctx8, {0x17, 0x01, 0x01, 0xA9, 0x03}, u"=\"\u03A9\""},
      {&ctx5, {0x17, 0x02, 0xE9, 0x41}, u"=\"\u00E9A\""},               // bytes widened
      {&ctx8, {0x1C, 0x63}, u"=#N/A"},                                   // unknown error code
      {&ctx8, {0x2A, 0, 0, 0, 0}, u"=#REF!"},
      {&ctx8, {0x24, 0x04, 0x00, 0x02, 0x00}, u"=$C$5"},
      {&ctx8, {0x1F, 0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F}, u"=0.1"},
      {&ctx8, {0x3B, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0xC0, 0x01, 0xC0},
       u"=Sheet1!A1:B2"},                                                // entry 1 = sheet 0
      {&ctx8, {0x3A, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, u"='My Sheet'!$A$1"},
      {&ctx8, {0x23, 0x09, 0x00, 0x00, 0x00}, u"="},                     // no such name
      {&ctx8, {0x3A, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00}, u"="},         // no such sheet entry
      {&ctx5, {0x3A, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00},
       u"=Sheet1:Sheet3!$A$1"},
      {&ctx5, {0x39, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00,
               0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1E, 0x07, 0x00, 0x42, 0x02, 0xFF, 0x00},
       u"=EDATE(7)"},
  };
  for (const auto& row : kRows) {
    bool ok = false;
    EXPECT_EQ(utf8(read(row.tokens, *row.ctx, {}, 0, 0, &ok)), utf8(row.text));
    EXPECT_TRUE(ok) << utf8(row.text);
  }
}

// A token naming the global Sales on a sheet with a Sales of its own has no
// text there: "Sales" would name the sheet's. The formula cannot be read.
TEST(FormulaTokens, AGlobalNameHiddenByTheSheetsOwnIsUnreadable) {
  auto book = makeBook();
  book->names.push_back({0, 0, 2, u"SALES", u"=1", {}}); // local to "My Sheet", name 3
  const auto tokensOf = [](int version, std::uint8_t id, std::uint16_t name) {
    const std::uint8_t lo = static_cast<std::uint8_t>(name), hi = static_cast<std::uint8_t>(name >> 8);
    if (version == 8)
      return Bytes{0x23, lo, hi, 0, 0};
    if (id == 0x23)
      return Bytes{0x23, lo, hi, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    // A name of this workbook's own, through the external-name token.
    return Bytes{0x39, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, lo, hi, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  };
  const struct {
    int sheet;
    std::uint16_t name;
    std::u16string_view text; // empty: unreadable
  } kRows[] = {
      {1, 1, u""},                  // the global one, hidden
      {0, 1, u"=Sales"},            // nothing hides it here
      {-1, 1, u"=Sales"},           // nor in a global definition
      {1, 3, u"=SALES"},            // the sheet's own
      {0, 3, u"='My Sheet'!SALES"}, // another sheet's
      {1, 2, u"=Start"},            // another text
  };
  for (const auto& [version, id] : {std::pair<int, std::uint8_t>{8, 0x23}, {7, 0x23}, {7, 0x39}})
    for (const auto& row : kRows) {
      SCOPED_TRACE(testing::Message() << version << " " << int(id) << " " << row.sheet << " " << row.name);
      TokenContext ctx{book.get(), version, 2, nullptr, 0};
      ctx.sheet = row.sheet;
      bool ok = false;
      const std::u16string text = read(tokensOf(version, id, row.name), ctx, {}, 0, 0, &ok);
      EXPECT_EQ(utf8(ok ? text : std::u16string()), utf8(row.text));
    }
}

TEST(FormulaTokens, RelativeTokensShiftByTheFormulaCell) {
  auto book = makeBook();
  const TokenContext ctx8{book.get(), 8, 2, nullptr, 0};
  const TokenContext ctx5{book.get(), 7, 2, nullptr, 0};
  // Shared formula read for the cell in row 5 (0-based), column C.
  const Bytes refN8 = {0x2C, 0x01, 0x00, 0x00, 0xC0};   // one row down, same column
  EXPECT_EQ(read(refN8, ctx8, {}, 5, 2), u"=C7");
  const Bytes absRow8 = {0x2C, 0x01, 0x00, 0x00, 0x40}; // row absolute: not shifted
  EXPECT_EQ(read(absRow8, ctx8, {}, 5, 2), u"=C$2");
  const Bytes back8 = {0x2C, 0xFF, 0xFF, 0xFF, 0xC0};   // one up and one left
  EXPECT_EQ(read(back8, ctx8, {}, 5, 2), u"=B5");
  const Bytes refN5 = {0x4C, 0x01, 0xC0, 0x00};          // BIFF5 flags in the row
  EXPECT_EQ(read(refN5, ctx5, {}, 5, 2), u"=C7");
  const Bytes wrap5 = {0x4C, 0xFF, 0xFF, 0x00};          // 14-bit row wraps at 16,384
  EXPECT_EQ(read(wrap5, ctx5, {}, 5, 2), u"=C5");
}

TEST(FormulaTokens, ArrayConstantsCarryTheirBodiesInExtraData) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 8, 2, nullptr, 0};
  const Bytes tokens = {0x40, 0, 0, 0, 0, 0, 0, 0};
  const Bytes extra = {
      0x01,                                           // 2 columns
      0x01, 0x00,                                     // 2 rows
      0x01, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F,             // number 1
      0x02, 0x02, 0x00, 0x00, 0x61, 0x22,             // string a"
      0x04, 0x01, 0, 0, 0, 0, 0, 0, 0,                // TRUE
      0x10, 0x07, 0, 0, 0, 0, 0, 0, 0,                // #DIV/0!
  };
  bool ok = false;
  EXPECT_EQ(read(tokens, ctx, extra, 0, 0, &ok), u"={1,\"a\"\"\";TRUE,#DIV/0!}");
  EXPECT_TRUE(ok);
  const TokenArray written = write(u"={1,\"a\"\"\";TRUE,#DIV/0!}", ctx);
  EXPECT_EQ(written.tokens, tokens);
  EXPECT_EQ(written.extra, extra);
  // A second array's body follows the first's.
  EXPECT_EQ(read(write(u"=SUM({1;2},{3,4})", ctx).tokens, ctx,
                 write(u"=SUM({1;2},{3,4})", ctx).extra),
            u"=SUM({1;2},{3,4})");
}

TEST(FormulaTokens, LinkTablesFromAFile) {
  auto book = makeBook(false);
  LinkTable links;
  links.externSheets = {{0, 2, 2},   {1, kNoSheet, kNoSheet}, {0, 0, 2},
                        {2, 0, 0},   {0, kDeletedSheet, kDeletedSheet}};
  links.addInBook = 1;
  links.ownBook = 0;
  links.externNames = {u"EOMONTH", u"EDATE"};
  const TokenContext ctx{book.get(), 8, 2, &links, 0};
  const struct {
    Bytes tokens;
    std::u16string_view text;
  } kRows[] = {
      {{0x3A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, u"=Sheet3!$A$1"},
      {{0x3A, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, u"=Sheet1:Sheet3!$A$1"},
      {{0x3A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, u"=$A$1"},  // entry without a sheet
      {{0x3A, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}, u"="},      // another workbook's sheet
      // A deleted sheet's cell and area are errors, not cells of this sheet.
      {{0x5A, 0x04, 0x00, 0x0B, 0x00, 0x1F, 0xC0}, u"=#REF!"},
      {{0x3B, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x19, 0x10, 0x00, 0x00},
       u"=SUM(#REF!)"},
      {{0x39, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x1E, 0x01, 0x00, 0x42, 0x02, 0xFF, 0x00},
       u"=EDATE(1)"},
      {{0x39, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}, u"=Sales"}, // not the add-in book
  };
  for (const auto& row : kRows)
    EXPECT_EQ(utf8(read(row.tokens, ctx)), utf8(row.text));
  const Bytes body = {0x01, 0x00, 0x01, 0x3A};
  EXPECT_TRUE(isAddInSupportingBook(body));
  const Bytes own = {0x04, 0x00, 0x01, 0x04};
  EXPECT_FALSE(isAddInSupportingBook(own));
}

TEST(FormulaTokens, TextRoundTripsThroughTokens) {
  auto book = makeBook();
  const std::u16string_view kFormulas[] = {
      u"=1+2*3", u"=(1+2)*3", u"=2^3^2", u"=-2^2", u"=-A1:B2", u"=+A1", u"=10%", u"=50%%",
      u"=1-2-3", u"=1-(2-3)", u"=A1&\"x\"", u"=A1<>B1", u"=A1<=B1", u"=A1>=B1", u"=A1=B1",
      u"=A1<B1", u"=A1>B1", u"=A1/B1", u"=$A$1:B$2", u"=(A1,B2:C3)", u"=A1:B2 B1:C3",
      u"=SUM(A1:B2 B1:C3)", u"=SUM((A1,B1))", u"=Sheet1!A1", u"='My Sheet'!A1:B2",
      u"=Sales", u"=SUM(Sales)",
      u"=EDATE(A1,1)", u"=EOMONTH(EDATE(A1,1),0)", u"=Start(1,2)", u"=CALCULATE.NOW()",
      u"=FILL.DOWN()", u"={1,2;3,4}", u"={\"a\",TRUE;#N/A,-1.5}", u"=#REF!", u"=TRUE",
      u"=FALSE", u"=NOT(FALSE)", u"=IF(A1,,2)", u"=ROUNDUP(1.25,1)", u"=PI()", u"=NOW()",
      u"=INDEX(A1:C3,2,2)", u"=SUM(1,2,3)", u"=SUM(A1)", u"=\"a\"\"b\"", u"=\"\"",
      u"=1E+20", u"=0.1", u"=-5", u"=1--5", u"=70000", u"=A1%", u"=\"\u03A9\"",
      u"=DCOUNT(A1:B5,,C1:C2)", u"=GETPIVOTDATA(A1,\"x\")", u"=ATTACH.TOOLBARS?()",
      u"=-0", u"=---0+1", // a signed zero keeps its sign (found by fuzzing)
  };
  for (int version : {8, 7}) {
    const TokenContext ctx{book.get(), version, 2, nullptr, 0};
    for (std::u16string_view text : kFormulas) {
      const TokenArray tokens = write(text, ctx);
      bool ok = false;
      const std::u16string back = read(tokens.tokens, ctx, tokens.extra, 0, 0, &ok);
      if (version == 7 && text == u"=\"\u03A9\"")
        continue; // BIFF5 keeps only the low byte
      EXPECT_EQ(utf8(back), utf8(text)) << "version " << version;
      EXPECT_TRUE(ok) << utf8(text);
    }
  }
}

// A range of sheets keeps its first and last sheet in both versions: BIFF5
// names them in the token, BIFF8 through an EXTERNSHEET entry the save adds
// after its own one-sheet entries. Written last sheet first, or with both
// names quoted apart, it reads back in order. Without a save's link table
// (the pocket format) it stays as text.
TEST(FormulaTokens, SheetSpans) {
  auto book = makeBook();
  const struct {
    std::u16string_view text;
    std::u16string_view back;
    std::uint16_t first, last;
  } kRows[] = {
      {u"=Sheet1:Sheet3!A1", u"=Sheet1:Sheet3!A1", 0, 2},
      {u"='Sheet1:My Sheet'!A1:B2", u"='Sheet1:My Sheet'!A1:B2", 0, 1},
      {u"=SUM('Sheet1':'Sheet3'!$B$2)", u"=SUM(Sheet1:Sheet3!$B$2)", 0, 2},
      {u"=SUM(Sheet3:'My Sheet'!B2:C4)", u"=SUM('My Sheet:Sheet3'!B2:C4)", 1, 2},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(utf8(row.text));
    const TokenContext ctx5{book.get(), 7, 2, nullptr, 0};
    EXPECT_EQ(utf8(read(write(row.text, ctx5).tokens, ctx5)), utf8(row.back));

    WriteLinks writeLinks;
    LinkTable links = linkTableForWriting(*book);
    writeLinks.ownExternSheets = links.externSheets.size();
    TokenContext ctx8{book.get(), 8, 2, nullptr, 0};
    ctx8.writeLinks = &writeLinks;
    const TokenArray tokens = write(row.text, ctx8);
    ASSERT_EQ(writeLinks.externSheets.size(), 1u);
    EXPECT_EQ(static_cast<int>(writeLinks.externSheets[0].book), links.ownBook);
    EXPECT_EQ(writeLinks.externSheets[0].firstSheet, row.first);
    EXPECT_EQ(writeLinks.externSheets[0].lastSheet, row.last);
    links.externSheets.push_back(writeLinks.externSheets[0]);
    const TokenContext reading{book.get(), 8, 2, &links, 0};
    EXPECT_EQ(utf8(read(tokens.tokens, reading)), utf8(row.back));
    // The same range again takes the same entry.
    (void)write(row.text, ctx8);
    EXPECT_EQ(writeLinks.externSheets.size(), 1u);

    if (row.text.starts_with(u"=SUM("))
      continue; // the pocket form is checked on plain references
    const TokenContext pocket{book.get(), 8, 2, nullptr, 0};
    std::u16string asText = u"=\"";
    asText += row.text.substr(1);
    asText += u"\"";
    EXPECT_EQ(utf8(read(write(row.text, pocket).tokens, pocket)), utf8(asText));
  }
}

// Normalising texts: what the tokens keep reads back in its canonical form.
TEST(FormulaTokens, WriterNormalisesAndFallsBack) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 8, 2, nullptr, 0};
  const struct {
    std::u16string_view text;
    std::u16string_view back;
  } kRows[] = {
      {u"=sum(a1)", u"=SUM(A1)"},
      {u"=  1 + 2", u"=1+2"},
      {u"=5%3", u"=MOD(5,3)"},
      {u"=TRUE()", u"=TRUE"},
      {u"=A1..B2", u"=A1:B2"},
      {u"=foo+1", u"=\"foo\"+1"},               // unknown word kept as text
      {u"=ABS(1,2)", u"=\"ABS(1,2)\""},         // no call: the whole text as a string
      {u"=1+", u"=\"1+\""},
      {u"=(1", u"=\"(1\""},                     // unmatched bracket: the rest as text
      {u"=\"abc", u"=\"\"\"abc\""},             // unclosed string: the rest, quote included
      {u"=Nowhere!A1", u"=#REF!"},              // a sheet that does not exist
      {u"=", u"="},
  };
  for (const auto& row : kRows) {
    const TokenArray t = write(row.text, ctx);
    EXPECT_EQ(utf8(read(t.tokens, ctx, t.extra)), utf8(row.back)) << utf8(row.text);
  }
}

TEST(FormulaTokens, LongStringsAreJoinedFromPieces) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 8, 2, nullptr, 0};
  const std::u16string a(255, u'a'), b(45, u'b');
  const TokenArray t = write(u"=\"" + a + b + u"\"&1", ctx);
  EXPECT_EQ(t.tokens[0], ptgStr);
  EXPECT_EQ(t.tokens[1], 255);
  EXPECT_EQ(read(t.tokens, ctx), u"=(\"" + a + u"\"&\"" + b + u"\")&1");
}

// Excel 95 string tokens are bytes of the code page: a token holds 255 of
// them, so longer strings break between whole characters.
TEST(FormulaTokens, Excel95StringsAreCodePageBytes) {
  auto book = makeBook();
  TokenContext ctx{book.get(), 7, 2, nullptr, 0};
  ctx.codePage = 936;
  EXPECT_EQ(write(u"=\"中a\"", ctx).tokens, (Bytes{0x17, 0x03, 0xD6, 0xD0, 0x61}));
  const std::u16string a(100, u'a'), han(100, u'中');
  const TokenArray t = write(u"=\"" + a + han + u"\"", ctx);
  ASSERT_GE(t.tokens.size(), 2u);
  EXPECT_EQ(t.tokens[1], 254) << "100 letters and 77 characters of two bytes: no character is split";
  EXPECT_EQ(read(t.tokens, ctx), u"=(\"" + a + han.substr(0, 77) + u"\"&\"" + han.substr(77) + u"\")");
  ctx.codePage = 1252;
  EXPECT_EQ(write(u"=\"€中\"", ctx).tokens, (Bytes{0x17, 0x02, 0x80, 0x3F}));
  EXPECT_EQ(read({0x17, 0x02, 0x80, 0xE9}, ctx), u"=\"€é\"");
}

TEST(FormulaTokens, DeepNestingFallsBackToText) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 8, 2, nullptr, 0};
  const std::u16string deep = u"=" + std::u16string(5000, u'(') + u"1" + std::u16string(5000, u')');
  const TokenArray t = write(deep, ctx);
  ASSERT_FALSE(t.tokens.empty());
  EXPECT_EQ(t.tokens[0], ptgStr);
  const std::u16string shallow = u"=" + std::u16string(50, u'(') + u"1" + std::u16string(50, u')');
  EXPECT_EQ(read(write(shallow, ctx).tokens, ctx), shallow);
}

TEST(FormulaTokens, PocketStringsAreAlwaysWide) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 8, 1, nullptr, 0};
  EXPECT_EQ(write(u"=\"a\"", ctx).tokens, (Bytes{0x17, 0x01, 0x01, 0x61, 0x00}));
  // A character 0 stands for the list separator.
  EXPECT_EQ(read({0x17, 0x02, 0x01, 0x61, 0x00, 0x00, 0x00}, ctx), u"=\"a,\"");
}

TEST(FormulaTokens, HostileTokensNeverReadOutOfBounds) {
  auto book = makeBook();
  const Bytes valid = {0x25, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC0, 0x00, 0xC0, // area
                       0x17, 0x02, 0x01, 0x41, 0x00, 0x42, 0x00,             // "AB" wide
                       0x3B, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,             // 3-D area
                       0x40, 0, 0, 0, 0, 0, 0, 0,                            // array
                       0x42, 0x04, 0x04, 0x00};                              // SUM of 4
  const Bytes extra = {0x00, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int version : {8, 7}) {
    const TokenContext ctx{book.get(), version, 2, nullptr, 0};
    for (size_t n = 0; n < valid.size(); ++n) {
      // Every truncation converts without crashing; a cut inside a token fails.
      const Bytes cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(n));
      std::u16string text;
      (void)tokensToFormulaText(cut, extra, 0, 0, ctx, text);
      EXPECT_EQ(text.substr(0, 1), u"=");
    }
    for (size_t n = 0; n < extra.size(); ++n) {
      const Bytes cut(extra.begin(), extra.begin() + static_cast<std::ptrdiff_t>(n));
      std::u16string text;
      EXPECT_FALSE(tokensToFormulaText(valid, cut, 0, 0, ctx, text)) << n;
    }
  }
  const TokenContext ctx{book.get(), 8, 2, nullptr, 0};
  const struct {
    Bytes tokens;
    Bytes extra;
  } kBad[] = {
      {{0x42, 0x7F, 0x04, 0x00}, {}},                // 127 arguments, none there
      {{0x03}, {}},                                   // operator without operands
      {{0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00}, {}},     // two operands left
      {{0x40, 0, 0, 0, 0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0x01}}, // 256 x 65536 array, one byte
      {{0x26, 0, 0, 0, 0, 0x00, 0x00}, {0xFF, 0xFF}},  // 65535 cached areas promised
      {{0x18, 0x0D, 0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0x3F}}, // label list beyond the data
      {{0x19, 0x04, 0xFF, 0xFF}, {}},                 // choose jump table beyond the end
      {{0x00}, {}},                                   // no such token
      {{0x42, 0x00, 0xFF, 0x00}, {}},                 // external call without its name
      {{0x16, 0x44, 0, 0, 0, 0, 0x10}, {}},           // union with a missing argument
      {{0x16, 0x16, 0x0F}, {}},                       // intersection of nothing: "= "
      {{0x16, 0x16, 0x11, 0x41, 0x04, 0x00}, {}},     // SUM(:)
      {{0x1E, 0x01, 0x00, 0x16, 0x03}, {}},           // 1+ with the right operand missing
      {{0x16, 0x15}, {}},                             // brackets around nothing
      {{0x16, 0x13}, {}},                             // minus of nothing
  };
  for (const auto& row : kBad) {
    std::u16string text;
    EXPECT_FALSE(tokensToFormulaText(row.tokens, row.extra, 0, 0, ctx, text));
  }
}

// Found by fuzzing: a union read as a function argument printed without
// brackets, so its separator split the argument when written back.
TEST(FormulaTokens, UnionArgumentsKeepTheirBrackets) {
  auto book = makeBook();
  const TokenContext ctx{book.get(), 8, 2, nullptr, 0};
  const Bytes tokens = {0x1E, 0x01, 0x00,        // 1
                        0x24, 0x00, 0x00, 0x00, 0xC0, // A1
                        0x24, 0x00, 0x00, 0x01, 0xC0, // B1
                        0x10,                    // union, no bracket token
                        0x14,                    // percent
                        0x42, 0x02, 0x27, 0x00}; // MOD of two
  EXPECT_EQ(read(tokens, ctx), u"=MOD(1,(A1,B1%))");
  const Bytes sum = {0x24, 0x00, 0x00, 0x00, 0xC0, 0x24, 0x00, 0x00, 0x01, 0xC0, 0x10,
                     0x19, 0x10, 0x00, 0x00};
  EXPECT_EQ(read(sum, ctx), u"=SUM((A1,B1))");
  // A unary plus before a number stays an operator.
  EXPECT_EQ(read(write(u"=+5", ctx).tokens, ctx), u"=+5");
}

TEST(FormulaTokens, WritingTheWriterLinkTable) {
  auto book = makeBook();
  const LinkTable links = linkTableForWriting(*book);
  ASSERT_EQ(links.externSheets.size(), 6u); // add-in entry, four sheets, macro link
  EXPECT_EQ(links.externSheets[0].firstSheet, kNoSheet);
  EXPECT_EQ(links.externSheets[2].book, 1);
  EXPECT_EQ(links.externSheets[2].firstSheet, 1);
  EXPECT_EQ(externSheetIndexForWriting(*book, 1), 2);
  // Reading our own tokens through the table as a file would give it.
  const TokenContext fromFile{book.get(), 8, 2, &links, 0};
  const TokenContext own{book.get(), 8, 2, nullptr, 0};
  for (std::u16string_view text : {u"='My Sheet'!A1+EDATE(1,2)", u"=Sheet3!A1:B2"}) {
    const TokenArray t = write(text, own);
    EXPECT_EQ(utf8(read(t.tokens, fromFile, t.extra)), utf8(text));
  }
}

} // namespace
} // namespace biff
