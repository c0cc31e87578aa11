#include "fileformats/pocket/pocket.h"

#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/sheet.h"
#include "model/sheet_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace pocket {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool contains(const Bytes& hay, const Bytes& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

std::string describe(const model::CellValue& v) {
  if (v.isNumber())
    return "n:" + std::to_string(v.numberValue());
  if (v.isString())
    return "s:" + platform::toUtf8(v.stringValue());
  if (v.isBoolean())
    return v.booleanValue() ? "b:TRUE" : "b:FALSE";
  if (v.isError())
    return "e:" + std::to_string(static_cast<int>(v.errorValue()));
  return "empty";
}

// ---- records of a small file, one field per line ----

const Bytes kWorkbookBof = {
    9,          // BOF
    0x01, 0x00, //   version word
    0x05, 0x00, //   workbook globals
};
const Bytes kBoundSheetAB = {
    133,              // BOUNDSHEET
    0,                //   reserved
    2,                //   name length
    'A', 0, 'B', 0,   //   "AB"
};
const Bytes kEof = {10};
const Bytes kSheetBof = {
    9,          // BOF
    0x01, 0x00, //   version word
    0x10, 0x00, //   worksheet
};
const Bytes kLabelA1 = {
    4,          // LABEL
    0x00, 0x00, //   row 0
    0x00,       //   column A
    0x00, 0x00, //   file XF 0
    0x02, 0x00, //   2 characters
    'h', 0,     //
    0x2D, 0x4E, //   U+4E2D
};
const Bytes kBoolB1 = {
    5,          // BOOLERR
    0x00, 0x00, //   row 0
    0x01,       //   column B
    0x00, 0x00, //   file XF 0
    0x01,       //   TRUE
    0x00,       //   not an error
};
const Bytes kErrorC1 = {
    5,          // BOOLERR
    0x00, 0x00, //   row 0
    0x02,       //   column C
    0x00, 0x00, //   file XF 0
    0x07,       //   #DIV/0!
    0x01,       //   an error
};
const Bytes kNumberC2 = {
    3,                                              // NUMBER
    0x01, 0x00,                                     //   row 1
    0x02,                                           //   column C
    0x00, 0x00,                                     //   file XF 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F, //   1.5
};
const Bytes kFormulaA4 = {
    6,                                              // FORMULA
    0x03, 0x00,                                     //   row 3
    0x00,                                           //   column A
    0x00, 0x00,                                     //   file XF 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x40, //   cached 3.0
    0x00,                                           //   not volatile
    0x07, 0x00,                                     //   7 token bytes
    0x1E, 0x01, 0x00,                               //   integer 1
    0x1E, 0x02, 0x00,                               //   integer 2
    0x03,                                           //   +
};

// The file above as a list of records, so a test can cut it between them.
const std::vector<Bytes> kRecords = {kWorkbookBof, kBoundSheetAB, kEof,      kSheetBof, kLabelA1,
                                     kBoolB1,      kErrorC1,      kNumberC2, kFormulaA4, kEof};

class PocketTest : public ::testing::Test {
protected:
  PocketTest() : m_scope(ui) { formula::installFormulaEngine(); }

  static std::unique_ptr<model::Workbook> newBook() {
    auto b = std::make_unique<model::Workbook>();
    model::seedWorkbookTables(*b, model::Font{});
    return b;
  }
  model::Workbook& book() {
    if (!m_book)
      m_book = newBook();
    return *m_book;
  }
  model::Sheet& addSheet(std::u16string name, model::SheetKind kind = model::SheetKind::Worksheet) {
    auto s = std::make_unique<model::Sheet>();
    model::sheet_init(*s, kind);
    s->name = std::move(name);
    book().sheets.push_back(std::move(s));
    return *book().sheets.back();
  }
  void set(int sheet, int row, int col, std::u16string_view text, std::uint16_t xf = 15) {
    ASSERT_TRUE(model::set_cell(book(), sheet, static_cast<std::uint16_t>(row),
                                static_cast<std::uint8_t>(col), text, xf, false, true));
  }
  // A cell format like the default with another number format.
  std::uint16_t formatWith(std::uint16_t numberFormat) {
    model::CellFormat f = book().cellFormats[model::kDefaultCellFormat];
    f.numberFormatIndex = numberFormat;
    book().cellFormats.push_back(f);
    return static_cast<std::uint16_t>(book().cellFormats.size() - 1);
  }
  std::unique_ptr<model::Workbook> read(const Bytes& file, bool expectOk = true) {
    auto b = newBook();
    EXPECT_EQ(readPocketWorkbook(file, *b), expectOk);
    return b;
  }
  Bytes write(const model::Workbook& b) {
    Bytes out;
    EXPECT_TRUE(writePocketWorkbook(b, out));
    return out;
  }
  std::unique_ptr<model::Workbook> roundTrip() { return read(write(book())); }

  static const model::CellRecord* at(const model::Workbook& b, int sheet, int row, int col) {
    return model::cell_at(b.sheet(sheet), static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(col));
  }
  static std::u16string input(const model::Workbook& b, int sheet, int row, int col) {
    const model::CellRecord* c = at(b, sheet, row, col);
    return c && !c->input.isNull() ? std::u16string(c->input.view()) : u"<none>";
  }
  static std::string value(model::Workbook& b, int sheet, int row, int col) {
    model::CellRecord* c = model::cell_at(b.sheet(sheet), static_cast<std::uint16_t>(row),
                                          static_cast<std::uint8_t>(col));
    if (!c)
      return "<none>";
    formula::computeCell(b, sheet, *c);
    return describe(c->value);
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  std::unique_ptr<model::Workbook> m_book;
};

// ---- reading files built byte by byte ----

TEST_F(PocketTest, ReadsEveryCellRecordOfAHandBuiltFile) {
  Bytes file;
  for (const Bytes& r : kRecords)
    file.insert(file.end(), r.begin(), r.end());
  auto b = read(file);
  ASSERT_EQ(b->sheetCount(), 1);
  EXPECT_EQ(b->sheet(0).name, u"AB");
  EXPECT_EQ(b->sheet(0).kind, model::SheetKind::Worksheet);
  const struct {
    int row, col;
    std::u16string input;
    std::string value;
  } kCells[] = {
      {0, 0, u"h中", "s:h中"},
      {0, 1, u"TRUE", "b:TRUE"},
      {0, 2, u"#DIV/0!", "e:1"},
      {1, 2, u"1.5", "n:1.500000"},
      {3, 0, u"=1+2", "n:3.000000"},
  };
  for (const auto& c : kCells) {
    SCOPED_TRACE(testing::Message() << c.row << "," << c.col);
    EXPECT_EQ(input(*b, 0, c.row, c.col), c.input);
    EXPECT_EQ(value(*b, 0, c.row, c.col), c.value);
  }
  EXPECT_TRUE(ui.shown().empty());
}

// A file cut between two records reads as far as it goes; cut inside one,
// the rest cannot be framed and the open fails with the damaged-file message.
TEST_F(PocketTest, EveryTruncationEitherReadsOrFailsWithTheMessage) {
  Bytes file;
  std::vector<size_t> boundaries;
  for (const Bytes& r : kRecords) {
    file.insert(file.end(), r.begin(), r.end());
    boundaries.push_back(file.size());
  }
  for (size_t cut = 0; cut < file.size(); ++cut) {
    SCOPED_TRACE(cut);
    ui.clearShown();
    const bool whole = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    auto b = newBook();
    const Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(readPocketWorkbook(prefix, *b), whole);
    if (!whole) {
      ASSERT_EQ(ui.shown().size(), 1u);
      EXPECT_EQ(ui.shown()[0].text, kMessageInvalidData);
    }
  }
}

TEST_F(PocketTest, HostileRecordsFailCleanly) {
  const struct {
    const char* what;
    Bytes file;
    std::u16string_view message;
  } kCases[] = {
      {"unknown type byte", concat({kWorkbookBof, kEof, kSheetBof, {2, 0, 0}, kEof}),
       kMessageInvalidData},
      {"password", concat({kWorkbookBof, {47}, kEof}), kMessagePasswordProtected},
      {"not a workbook BOF", concat({kSheetBof, kEof}), kMessageInvalidData},
      {"empty file", {}, kMessageInvalidData},
      {"label longer than the file",
       concat({kWorkbookBof, kSheetBof,
               {
                   4,          // LABEL
                   0, 0, 0,    //   A1
                   0, 0,       //   file XF 0
                   0xFF, 0xFF, //   65535 characters
                   'x', 0,     //   but only one
               }}),
       kMessageInvalidData},
      {"token length past the end",
       concat({kWorkbookBof, kSheetBof,
               {
                   6,                      // FORMULA
                   0, 0, 0, 0, 0,          //   A1, file XF 0
                   0, 0, 0, 0, 0, 0, 0, 0, //   cached 0
                   0,                      //   option
                   0x40, 0x00,             //   64 token bytes
                   0x1E, 0x01, 0x00,       //   only three there
               }}),
       kMessageInvalidData},
      {"token of no known size",
       concat({kWorkbookBof, kSheetBof,
               {
                   6,                      // FORMULA
                   0, 0, 0, 0, 0,          //   A1, file XF 0
                   0, 0, 0, 0, 0, 0, 0, 0, //   cached 0
                   0,                      //   option
                   0x01, 0x00,             //   1 token byte
                   0x30,                   //   not a token
               },
               kEof}),
       kMessageInvalidData},
      {"array constant whose extra data is cut",
       concat({kWorkbookBof, kSheetBof,
               {
                   6,                      // FORMULA
                   0, 0, 0, 0, 0,          //   A1, file XF 0
                   0, 0, 0, 0, 0, 0, 0, 0, //   cached 0
                   0,                      //   option
                   0x08, 0x00,             //   8 token bytes
                   0x60, 0, 0, 0, 0, 0, 0, 0, // array constant
                   0x01,                   //   extra: 2 columns
                   0x00, 0x00,             //   1 row
                   0x01, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, // 1.0; the second element is missing
               }}),
       kMessageInvalidData},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    ui.clearShown();
    auto b = newBook();
    EXPECT_FALSE(readPocketWorkbook(c.file, *b));
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].text, c.message);
  }
}

// Found by the fuzzer: no tokens convert to a bare "=", which would be saved
// as text and come back as another value.
TEST_F(PocketTest, FormulaWithoutTokensKeepsItsCachedValue) {
  const Bytes file = concat({kWorkbookBof, kSheetBof,
                             {
                                 6,                                              // FORMULA
                                 0x00, 0x00,                                     //   row 0
                                 0x00,                                           //   column A
                                 0x00, 0x00,                                     //   file XF 0
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x40, //   cached 5.0
                                 0x00,                                           //   option
                                 0x00, 0x00,                                     //   no tokens
                             },
                             kEof});
  auto b = read(file);
  EXPECT_EQ(input(*b, 0, 0, 0), u"5");
  EXPECT_EQ(describe(at(*b, 0, 0, 0)->value), "n:5.000000");
  auto again = read(write(*b));
  EXPECT_EQ(describe(at(*again, 0, 0, 0)->value), "n:5.000000");
}

// A NAME record of `name` (ASCII) defined by the given tokens.
Bytes nameRecord(std::string_view name, const Bytes& tokens) {
  Bytes r = {24, 0x00, 0x00, static_cast<std::uint8_t>(name.size()),
             static_cast<std::uint8_t>(tokens.size()), 0x00, 0x00, 0x00};
  for (const char c : name) {
    r.push_back(static_cast<std::uint8_t>(c));
    r.push_back(0);
  }
  r.insert(r.end(), tokens.begin(), tokens.end());
  return r;
}

// Names a damaged file puts after a sheet's BOF were never converted (their
// formulas stayed empty, and saving lost them): every name gets its formula,
// however late it comes (found by the round-trip fuzzer).
TEST_F(PocketTest, NamesAfterASheetBofAreConvertedToo) {
  const Bytes one = {0x1E, 0x01, 0x00}, two = {0x1E, 0x02, 0x00}, three = {0x1E, 0x03, 0x00};
  const Bytes file = concat({kWorkbookBof, nameRecord("Early", one), kSheetBof,
                             nameRecord("Late", two), kEof, kSheetBof, nameRecord("Later", three),
                             kEof});
  auto b = read(file);
  ASSERT_EQ(b->names.size(), 3u);
  const char16_t* kFormulas[] = {u"=1", u"=2", u"=3"};
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(b->names[i].formula, kFormulas[i]) << i;
  auto again = read(write(*b));
  ASSERT_EQ(again->names.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(again->names[i].name, b->names[i].name);
    EXPECT_EQ(again->names[i].formula, kFormulas[i]) << i;
  }
}

// A later version's function called through a name local to a sheet makes
// the formula's scan define the global "_xlfn." name; NAME records after that
// sheet's BOF must still be the names their tokens count (found by the
// round-trip fuzzer: =Late read as the function's name).
TEST_F(PocketTest, NamesAfterAScanDefinedNameKeepTheirIndexes) {
  const Bytes nameError = {0x1C, 0x1D}; // #NAME?
  Bytes localName = nameRecord("_xlfn.CONCAT", nameError);
  localName[6] = 1; // local to the first sheet
  auto formulaAt = [](std::uint8_t row, double cached, const Bytes& tokens) {
    Bytes r = {6, row, 0x00, 0x00, 0x00, 0x00};
    std::uint8_t bytes[8];
    std::memcpy(bytes, &cached, 8);
    r.insert(r.end(), bytes, bytes + 8);
    r.push_back(0x00);
    r.push_back(static_cast<std::uint8_t>(tokens.size()));
    r.push_back(0x00);
    r.insert(r.end(), tokens.begin(), tokens.end());
    return r;
  };
  auto name = [](std::uint8_t index) {
    Bytes t = {0x23, index, 0x00};
    t.resize(15, 0);
    return t;
  };
  const Bytes callA1 = formulaAt(0, 1, concat({name(1), {0x1E, 0x01, 0x00}, {0x42, 0x02, 0xFF, 0x00}}));
  const Bytes lateA2 = formulaAt(1, 2, name(2));
  const Bytes file = concat({kWorkbookBof, localName, kSheetBof, callA1, nameRecord("Late", {0x1E, 0x02, 0x00}),
                             lateA2, kEof});
  auto b = read(file);
  EXPECT_EQ(input(*b, 0, 0, 0), u"=CONCAT(1)");
  EXPECT_EQ(input(*b, 0, 1, 0), u"=Late");
  ASSERT_GE(b->names.size(), 2u);
  EXPECT_EQ(b->names[1].name, u"Late");
  EXPECT_EQ(b->names[1].formula, u"=2");
  auto again = read(write(*b));
  EXPECT_EQ(input(*again, 0, 1, 0), u"=Late");
  EXPECT_EQ(describe(at(*again, 0, 1, 0)->value), "n:2.000000");
}

// An XF record in the default font with this file number format.
Bytes xf(std::uint8_t format) {
  return Bytes{
      224,        // XF
      0x00, 0x00, //   font 0
      format, 0,  //   number format
      0xFF, 0xFF, //
      0xFF, 0xFF, //
      0x02, 0x00, //   locked
      0x00,       //   alignment
      0x00,       //   no borders
      0xFF, 0x00, //   background automatic
      0xFF, 0x00, //   pattern automatic
      0xFF, 0xFF, 0xFF, 0xFF, // border colours automatic
      0x00,       //   stored byte
      0x00,       //   no fill
  };
}

// A FORMULA record whose tokens frame but do not convert to formula text:
// the cell at `row`, column A, with the cached result and tokens given.
Bytes unreadFormula(std::uint8_t row, const Bytes& result, const Bytes& tokens) {
  Bytes r = {6, row, 0x00, 0x00, 0x00, 0x00};
  r.insert(r.end(), result.begin(), result.end());
  r.push_back(0x00); // not volatile
  r.push_back(static_cast<std::uint8_t>(tokens.size()));
  r.push_back(0x00);
  r.insert(r.end(), tokens.begin(), tokens.end());
  return r;
}

const Bytes kTableTokens = {0x02, 0x00, 0x00, 0x01, 0x00}; // a data table, of no use here
const Bytes kSharedTokens = {0x01, 0x01, 0x00, 0x00, 0x00}; // a shared formula without its record
const Bytes kNumber42_5 = {0, 0, 0, 0, 0, 0x40, 0x45, 0x40};
const Bytes kStringResult = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
const Bytes kTrueResult = {1, 0, 1, 0, 0, 0, 0xFF, 0xFF};
const Bytes kDiv0Result = {2, 0, 7, 0, 0, 0, 0xFF, 0xFF};

const Bytes kUnknownFunctionTokens = {0x41, 0xF0, 0x7F}; // reads as "?()"

Bytes fileWithUnreadFormulas() {
  return concat({kWorkbookBof, kSheetBof, unreadFormula(0, kNumber42_5, kTableTokens),
                 unreadFormula(1, kStringResult, kSharedTokens),
                 {7, 0x03, 0x00, '=', 0, 'a', 0, 'b', 0}, // STRING "=ab"
                 unreadFormula(2, kTrueResult, kTableTokens),
                 unreadFormula(3, kDiv0Result, kTableTokens), kFormulaA4,
                 unreadFormula(5, kNumber42_5, kUnknownFunctionTokens), kEof});
}

// Formulas the reader cannot express used to become =#N/A, and the first
// recalculation threw the cached results away. Now each cell holds its
// cached result, and saving as a pocket file again writes the formula back.
TEST_F(PocketTest, UnreadFormulasKeepTheirCachedValuesAndBytes) {
  const Bytes file = fileWithUnreadFormulas();
  auto b = read(file);
  const struct {
    int row;
    std::u16string input;
    std::string value;
  } kCells[] = {
      {0, u"42.5", "n:42.500000"},
      {1, u"'=ab", "s:=ab"},
      {2, u"TRUE", "b:TRUE"},
      {3, u"=1+2", "n:3.000000"}, // the unread formula was replaced by a later record
      {4, u"<none>", "<none>"},
      // Found by the round-trip fuzzer: "?()" was saved as a text formula.
      {5, u"42.5", "n:42.500000"},
  };
  formula::recalcAll(*b);
  for (const auto& c : kCells) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(input(*b, 0, c.row, 0), c.input);
    EXPECT_EQ(value(*b, 0, c.row, 0), c.value);
  }
  EXPECT_EQ(b->unreadFormulas.cells.size(), 4u);

  const Bytes saved = write(*b);
  EXPECT_TRUE(contains(saved, unreadFormula(0, kNumber42_5, kTableTokens)));
  EXPECT_TRUE(contains(saved, concat({unreadFormula(1, kStringResult, kSharedTokens),
                                      {7, 0x03, 0x00, '=', 0, 'a', 0, 'b', 0}})));
  EXPECT_TRUE(contains(saved, unreadFormula(2, kTrueResult, kTableTokens)));
  EXPECT_FALSE(contains(saved, unreadFormula(3, kDiv0Result, kTableTokens)));
  EXPECT_TRUE(contains(saved, unreadFormula(5, kNumber42_5, kUnknownFunctionTokens)));
  auto again = read(saved);
  for (const auto& c : kCells) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(input(*again, 0, c.row, 0), c.input);
    EXPECT_EQ(value(*again, 0, c.row, 0), c.value);
  }
  EXPECT_TRUE(ui.shown().empty());
}

// The kept bytes speak of the cell, the sheets and the names as they were
// read: once any of them changes, the cell is written as the constant it holds.
TEST_F(PocketTest, UnreadFormulaBytesGoOnlyWithWhatTheyWereReadWith) {
  const Bytes kept = unreadFormula(0, kNumber42_5, kTableTokens);
  const struct {
    const char* what;
    std::function<void(model::Workbook&)> change;
    bool written;
  } kCases[] = {
      {"nothing", [](model::Workbook&) {}, true},
      {"the cell edited",
       [](model::Workbook& b) { ASSERT_TRUE(model::set_cell(b, 0, 0, 0, u"7", 15, false, true)); },
       false},
      {"the same constant typed again",
       [](model::Workbook& b) {
         ASSERT_TRUE(model::set_cell(b, 0, 0, 0, u"42.5", 15, false, true));
       },
       true},
      {"a sheet inserted",
       [](model::Workbook& b) {
         ASSERT_TRUE(model::insert_sheet(b, 0, u"New", model::SheetKind::Worksheet, false));
       },
       false},
      {"a name defined", [](model::Workbook& b) { b.names.push_back({0, 0, 0, u"X", u"=1", {}}); },
       false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    auto b = read(fileWithUnreadFormulas());
    c.change(*b);
    const Bytes saved = write(*b);
    EXPECT_EQ(contains(saved, kept), c.written);
    auto again = read(saved);
    const int sheet = again->sheetCount() - 1;
    EXPECT_EQ(value(*again, sheet, 0, 0), c.written ? "n:42.500000" : value(*b, sheet, 0, 0));
  }
}

// Found by the round-trip fuzzer: a cell formatted as Text that a file gave
// a formula, number, boolean or empty text came back as another value, and
// an empty text as no value at all. What a file put there keeps its kind;
// what is typed there is text.
TEST_F(PocketTest, TextCellsKeepWhatTheFileHeld) {
  const Bytes file = concat({kWorkbookBof, xf(0), xf(39), // file XF 1: "@"
                             kEof, kSheetBof,
                             {6, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x40, 0, 7, 0, // =1+2, 3
                              0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x03},
                             {3, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x24, 0x40}, // 10
                             {4, 2, 0, 0, 1, 0, 0, 0},                        // ""
                             {5, 3, 0, 0, 1, 0, 1, 0},                        // TRUE
                             {4, 4, 0, 0, 0, 0, 0, 0},                        // "" in General
                             kEof});
  auto b = read(file);
  ASSERT_EQ(b->cellFormats[at(*b, 0, 0, 0)->formatIndex].numberFormatIndex, 49);
  const struct {
    int row;
    std::u16string input;
    std::string value;
  } kCells[] = {
      {0, u"=1+2", "n:3.000000"}, {1, u"10", "n:10.000000"}, {2, u"", "s:"},
      {3, u"TRUE", "b:TRUE"},     {4, u"'", "s:"},
  };
  auto again = read(write(*b));
  for (const auto& c : kCells) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(input(*b, 0, c.row, 0), c.input);
    EXPECT_EQ(describe(at(*b, 0, c.row, 0)->value), c.value);
    EXPECT_EQ(input(*again, 0, c.row, 0), c.input);
    EXPECT_EQ(describe(at(*again, 0, c.row, 0)->value), c.value);
  }
  EXPECT_TRUE(at(*again, 0, 0, 0)->isFormula);
  // Typed into the Text cell, a formula is text.
  ASSERT_TRUE(model::set_cell(*b, 0, 0, 0, u"=5", at(*b, 0, 0, 0)->formatIndex, false, true));
  auto typed = read(write(*b));
  EXPECT_EQ(describe(at(*typed, 0, 0, 0)->value), "s:=5");
}

// The BOF version words of a pocket file are written back as read; a
// workbook that was never a pocket file gets the word of a new one.
TEST_F(PocketTest, VersionWordsAreKept) {
  const Bytes file = concat({{9, 0x23, 0x01, 0x05, 0x00}, kBoundSheetAB, kEof,
                             {9, 0x56, 0x04, 0x10, 0x00}, kLabelA1, kEof});
  auto b = read(file);
  EXPECT_EQ(b->fileVersion.family, model::FileFamily::Pocket);
  EXPECT_EQ(b->fileVersion.versionWord, 0x0123);
  const Bytes saved = write(*b);
  ASSERT_GE(saved.size(), 5u);
  EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 5), (Bytes{9, 0x23, 0x01, 0x05, 0x00}));
  EXPECT_TRUE(contains(saved, {9, 0x56, 0x04, 0x10, 0x00}));
  auto again = read(saved);
  EXPECT_EQ(again->fileVersion.versionWord, 0x0123);
  EXPECT_EQ(again->sheet(0).versionWord, 0x0456);

  addSheet(u"Sheet1");
  const Bytes fresh = write(book());
  EXPECT_EQ(Bytes(fresh.begin(), fresh.begin() + 5), (Bytes{9, 0x0F, 0x01, 0x05, 0x00}));
  EXPECT_TRUE(contains(fresh, {9, 0x0F, 0x01, 0x10, 0x00}));
}

// Number formats of XF records: built-ins by index or by code, the unused
// middle range, and the file's own FORMAT records from 233 on.
TEST_F(PocketTest, XfNumberFormatsMapThroughTheBuiltinTable) {
  const Bytes format = {
      30,                      // FORMAT
      3,                       //   3 characters
      '0', 0, '.', 0, '0', 0,  //   "0.0"
  };
  // File XF 0 replaces cell format 15; file XF n lands at 20 + n.
  const std::vector<std::pair<std::uint8_t, std::u16string>> kCases = {
      {0, u"General"},         // the default cell format
      {32, u"0.00%"},          // built-in index 10
      {2, u"0.00_);(0.00)"},   // registered by code
      {17, u"m/d"},            //
      {100, u"General"},       // 72-232 read as General
      {233, u"0.0"},           // the first FORMAT record
      {234, u"General"},       // a FORMAT record that is not there
  };
  Bytes file = concat({kWorkbookBof, format});
  for (const auto& [index, code] : kCases)
    file = concat({file, xf(index)});
  file = concat({file, kEof, kSheetBof,
                 {
                     1,          // BLANK
                     0, 0, 0,    //   A1
                     0x07, 0x00, //   file XF 7, past the last: the default
                 },
                 {
                     1,          // BLANK
                     0, 0, 1,    //   B1
                     0x02, 0x00, //   file XF 2
                 },
                 kEof});
  auto b = read(file);
  ASSERT_EQ(b->cellFormats.size(), 21u + kCases.size() - 1);
  for (size_t i = 0; i < kCases.size(); ++i) {
    const size_t position = i == 0 ? 15 : 20 + i;
    SCOPED_TRACE(position);
    EXPECT_EQ(model::numberFormatCode(*b, b->cellFormats[position].numberFormatIndex),
              kCases[i].second);
    EXPECT_EQ(b->cellFormats[position].patternColour, 64);
    EXPECT_EQ(b->cellFormats[position].backgroundColour, 65);
  }
  EXPECT_EQ(at(*b, 0, 0, 0)->formatIndex, 15);
  EXPECT_EQ(at(*b, 0, 0, 1)->formatIndex, 22);
}

// ---- writing ----

TEST_F(PocketTest, BuiltinFormatsWriteTheirFileIndexOthersAFormatRecord) {
  addSheet(u"Sheet1");
  const int custom = model::findOrAddFormat(book(), u"#,##0.000");
  ASSERT_GE(custom, 50);
  set(0, 0, 0, u"0.25", formatWith(10));
  set(0, 1, 0, u"2", formatWith(static_cast<std::uint16_t>(custom)));
  EXPECT_EQ(builtinFileFormat(book(), 10), 32);
  EXPECT_EQ(builtinFileFormat(book(), 14), 18);
  EXPECT_EQ(builtinFileFormat(book(), 0), 0);
  EXPECT_EQ(builtinFileFormat(book(), static_cast<std::uint16_t>(custom)), -1);
  const Bytes file = write(book());
  const Bytes formatRecord = {30, 9,  '#', 0, ',', 0, '#', 0, '#', 0, '0', 0,
                              '.', 0, '0', 0, '0', 0, '0', 0};
  EXPECT_TRUE(contains(file, formatRecord));
  const Bytes percentXf = {224, 0, 0, 32, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  const Bytes customXf = {224, 0, 0, 233, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(contains(file, percentXf));
  EXPECT_TRUE(contains(file, customXf));

  auto back = read(file);
  EXPECT_EQ(input(*back, 0, 0, 0), u"25%");
  EXPECT_EQ(value(*back, 0, 0, 0), "n:0.250000");
  const std::uint16_t xf = at(*back, 0, 1, 0)->formatIndex;
  EXPECT_EQ(model::numberFormatCode(*back, back->cellFormats[xf].numberFormatIndex),
            u"#,##0.000");
}

TEST_F(PocketTest, FontColoursAutomaticAndPalette) {
  addSheet(u"Sheet1");
  book().fonts.resize(2);
  book().fonts[0].colourIndex = model::kAutomaticFontColour;
  book().fonts[1].colourIndex = 10; // red in the default palette
  book().fonts[1].face = u"Tahoma";
  const Bytes file = write(book());
  const Bytes automatic = {49, 200, 0, 0, 0, 0xFF, 0x00};
  const Bytes red = {49, 200, 0, 0, 0, 0x02, 0x00};
  EXPECT_TRUE(contains(file, automatic));
  EXPECT_TRUE(contains(file, red));
  auto back = read(file);
  ASSERT_EQ(back->fonts.size(), 2u);
  EXPECT_EQ(back->fonts[0].colourIndex, model::kAutomaticFontColour);
  EXPECT_EQ(back->fonts[1].colourIndex, 10);
  EXPECT_EQ(back->fonts[1].face, u"Tahoma");
}

TEST_F(PocketTest, ChartAndMacroSheetsComeBackAsEmptyWorksheets) {
  addSheet(u"Data");
  addSheet(u"Chart1", model::SheetKind::Chart);
  addSheet(u"Macro1", model::SheetKind::Macro);
  set(0, 0, 0, u"1");
  set(2, 0, 0, u"=1");
  const Bytes file = write(book());
  // The chart sheet's substream is a worksheet BOF (with the version word of
  // a new pocket file) right before an EOF.
  const Bytes newSheetBof = {9, 0x0F, 0x01, 0x10, 0x00};
  EXPECT_TRUE(contains(file, concat({newSheetBof, kEof, newSheetBof})));
  auto back = read(file);
  ASSERT_EQ(back->sheetCount(), 3);
  const char16_t* kNames[] = {u"Data", u"Chart1", u"Macro1"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back->sheet(i).name, kNames[i]);
    EXPECT_EQ(back->sheet(i).kind, model::SheetKind::Worksheet);
  }
  EXPECT_EQ(back->sheet(0).cells.count(), 1u);
  EXPECT_EQ(back->sheet(2).cells.count(), 0u);
}

// ---- round trips ----

TEST_F(PocketTest, RoundTripKeepsEntriesAndValues) {
  addSheet(u"Sheet1");
  addSheet(u"Two");
  book().names.push_back({0, 0, 0, u"Items", u"=Sheet1!$A$1:$A$3", {}});
  const struct {
    int row, col;
    std::u16string_view typed;
    std::u16string_view input; // after the round trip
    std::string value;
  } kCells[] = {
      {0, 0, u"1", u"1", "n:1.000000"},
      {1, 0, u"2.5", u"2.5", "n:2.500000"},
      {2, 0, u"-3", u"-3", "n:-3.000000"},
      {0, 1, u"hello", u"hello", "s:hello"},
      {1, 1, u"'123", u"'123", "s:123"},
      {2, 1, u"TRUE", u"TRUE", "b:TRUE"},
      {3, 1, u"#N/A", u"#N/A", "e:6"},
      {0, 2, u"=SUM(A1:A3)", u"=SUM(A1:A3)", "n:0.500000"},
      {1, 2, u"=SUM(Items)*2", u"=SUM(Items)*2", "n:1.000000"},
      {2, 2, u"=\"中文\"&\"x\"", u"=\"中文\"&\"x\"", "s:中文x"},
      {3, 2, u"=SUM({1,2;3,4})", u"=SUM({1,2;3,4})", "n:10.000000"},
      {4, 2, u"=IF(A1>0,\"yes\",\"no\")", u"=IF(A1>0,\"yes\",\"no\")", "s:yes"},
      {5, 2, u"=1/0", u"=1/0", "e:1"},
      {6, 2, u"=A1=1", u"=A1=1", "b:TRUE"},
  };
  for (const auto& c : kCells)
    set(0, c.row, c.col, c.typed);
  set(1, 4, 3, u"=Sheet1!A1+1");
  auto back = roundTrip();
  ASSERT_EQ(back->sheetCount(), 2);
  EXPECT_EQ(back->sheet(1).name, u"Two");
  ASSERT_EQ(back->names.size(), 1u);
  EXPECT_EQ(back->names[0].name, u"Items");
  EXPECT_EQ(back->names[0].formula, u"=Sheet1!$A$1:$A$3");
  for (const auto& c : kCells) {
    SCOPED_TRACE(platform::toUtf8(c.typed));
    EXPECT_EQ(input(*back, 0, c.row, c.col), c.input);
    EXPECT_EQ(value(*back, 0, c.row, c.col), c.value);
  }
  EXPECT_EQ(input(*back, 1, 4, 3), u"=Sheet1!A1+1");
  EXPECT_EQ(value(*back, 1, 4, 3), "n:2.000000");
}

// Another sheet's local name stays that name through a pocket file, beside
// a global name of the same text; a local name's definition is read in its
// own scope.
TEST_F(PocketTest, OtherSheetsLocalNamesKeepTheirMeaning) {
  addSheet(u"Sheet1");
  addSheet(u"Rates 2");
  book().names.push_back({0, 0, 0, u"Rate", u"=1", {}});
  book().names.push_back({0, 0, 2, u"Rate", u"='Rates 2'!$A$1", {}});
  book().names.push_back({0, 0, 2, u"Twice", u"=Rate*2", {}});
  book().names.push_back({0, 0, 0, u"Plus", u"='Rates 2'!Twice+Rate", {}});
  set(1, 0, 0, u"5");
  const struct {
    int sheet;
    std::u16string_view text;
    std::string value;
  } kCells[] = {
      {0, u"='Rates 2'!Rate", "n:5.000000"},
      {0, u"=Rate+'Rates 2'!Twice", "n:11.000000"},
      {0, u"=Plus", "n:11.000000"},
      {1, u"=Twice+Rate", "n:15.000000"},
  };
  for (size_t i = 0; i < std::size(kCells); ++i)
    set(kCells[i].sheet, static_cast<int>(i) + 1, 0, kCells[i].text);
  auto back = roundTrip();
  ASSERT_EQ(back->names.size(), book().names.size());
  for (size_t i = 0; i < back->names.size(); ++i) {
    EXPECT_EQ(back->names[i].sheetIndex, book().names[i].sheetIndex) << i;
    EXPECT_EQ(back->names[i].formula, book().names[i].formula) << i;
  }
  for (size_t i = 0; i < std::size(kCells); ++i) {
    SCOPED_TRACE(platform::toUtf8(kCells[i].text));
    EXPECT_EQ(input(*back, kCells[i].sheet, static_cast<int>(i) + 1, 0), kCells[i].text);
    EXPECT_EQ(value(*back, kCells[i].sheet, static_cast<int>(i) + 1, 0), kCells[i].value);
  }
}

// A file's formula on a sheet that names the global Rate while that sheet
// has a Rate of its own has no text: "Rate" there is the sheet's. The cell
// keeps its cached value, and its bytes while nothing they speak of
// changes; the definition reads as #REF!. The file is ours with the local
// name's text changed after saving.
TEST_F(PocketTest, GlobalNamesHiddenByALocalNameAreNotReadAsIt) {
  addSheet(u"Sheet1");
  addSheet(u"Sheet2");
  book().names.push_back({0, 0, 0, u"Rate", u"=1", {}});
  book().names.push_back({0, 0, 2, u"Ratx", u"=2", {}});
  book().names.push_back({0, 0, 2, u"Twice", u"=Rate*2", {}});
  const struct {
    int sheet;
    std::u16string_view written, read;
    std::string value;
  } kCells[] = {
      {1, u"=Rate*10", u"10", "n:10.000000"}, // the global one, hidden
      {1, u"=Ratx", u"=Rate", "n:2.000000"},  // the local one
      {0, u"=Rate", u"=Rate", "n:1.000000"},  // nothing hides it here
  };
  for (size_t i = 0; i < std::size(kCells); ++i)
    set(kCells[i].sheet, static_cast<int>(i), 0, kCells[i].written);
  formula::recalcAll(book());
  Bytes file = write(book());
  const Bytes local = {'R', 0, 'a', 0, 't', 0, 'x', 0};
  const auto at = std::search(file.begin(), file.end(), local.begin(), local.end());
  ASSERT_NE(at, file.end());
  ASSERT_EQ(std::search(at + 1, file.end(), local.begin(), local.end()), file.end());
  at[6] = 'e';
  auto back = read(file);
  ASSERT_EQ(back->names.size(), 3u);
  EXPECT_EQ(back->names[1].name, u"Rate");
  EXPECT_EQ(back->names[2].formula, u"=#REF!");
  formula::recalcAll(*back);
  for (size_t i = 0; i < std::size(kCells); ++i) {
    SCOPED_TRACE(platform::toUtf8(kCells[i].written));
    EXPECT_EQ(input(*back, kCells[i].sheet, static_cast<int>(i), 0), kCells[i].read);
    EXPECT_EQ(value(*back, kCells[i].sheet, static_cast<int>(i), 0), kCells[i].value);
  }
  ASSERT_EQ(back->unreadFormulas.cells.size(), 1u);
  // Saved again, the formula goes back as the file held it.
  const Bytes saved = write(*back);
  EXPECT_TRUE(contains(saved, back->unreadFormulas.cells[0].bytes));
  auto again = read(saved);
  EXPECT_EQ(input(*again, 1, 0, 0), u"10");
  EXPECT_EQ(again->unreadFormulas.cells.size(), 1u);
}

TEST_F(PocketTest, CachedResultsArriveWithoutRecalculation) {
  addSheet(u"Sheet1");
  set(0, 0, 0, u"=\"ab\"&\"c\"");
  set(0, 1, 0, u"=1<2");
  set(0, 2, 0, u"=NA()");
  set(0, 3, 0, u"=2*3");
  auto back = roundTrip();
  const char* kExpected[] = {"s:abc", "b:TRUE", "e:6", "n:6.000000"};
  for (int row = 0; row < 4; ++row)
    EXPECT_EQ(describe(at(*back, 0, row, 0)->value), kExpected[row]) << row;
}

TEST_F(PocketTest, RoundTripKeepsSheetLayoutAndView) {
  model::Sheet& s = addSheet(u"Sheet1");
  addSheet(u"Second");
  model::setColumnWidthChars(s, 2, 4, 12);
  model::set_column_record(s, 6, model::kLineHidden | model::kLineDefaultSize, 0);
  model::set_row_record(s, 3, model::kLineCustomHeight, 600);
  model::set_row_record(s, 5, model::kLineHidden | model::kLineDefaultSize, 255);
  s.defaultRowHeight = 300;
  s.zoom = 75;
  s.flags = (s.flags & ~model::kSheetShowGridlines) | model::kSheetPanesFrozen;
  s.frozenRow = 0;
  s.frozenColumn = 0;
  s.scrollPaneRow = 2;
  s.scrollPaneColumn = 1;
  s.topRow = 10;
  s.leftColumn = 3;
  s.activeRow = 4;
  s.activeColumn = 2;
  s.selectionFirst = model::packCell(4, 2);
  s.selectionLast = model::packCell(6, 3);
  book().activeSheet = 1;
  book().defaultCountry = 49;
  book().systemCountry = 1;
  set(0, 0, 0, u"x");
  auto back = roundTrip();
  const model::Sheet& t = back->sheet(0);
  EXPECT_EQ(back->activeSheet, 1);
  EXPECT_EQ(back->defaultCountry, 49);
  EXPECT_EQ(back->systemCountry, 1);
  EXPECT_EQ(t.zoom, 75);
  EXPECT_EQ(back->sheet(1).zoom, 75); // a zoom before the first sheet applies to all
  EXPECT_EQ(t.defaultRowHeight, 300);
  for (int col = 2; col <= 4; ++col)
    EXPECT_EQ(model::column_width(t, static_cast<std::uint8_t>(col)), 12 * 256) << col;
  EXPECT_EQ(model::column_width(t, 5), s.defaultColumnWidth);
  EXPECT_EQ(model::column_width(t, 6), 0);
  EXPECT_EQ(model::row_height(t, 3), 600);
  EXPECT_TRUE(model::row_record(t, 3).flags & model::kLineCustomHeight);
  EXPECT_EQ(model::row_height(t, 5), 0);
  EXPECT_FALSE(t.flags & model::kSheetShowGridlines);
  EXPECT_TRUE(t.flags & model::kSheetShowHeaders);
  EXPECT_TRUE(t.flags & model::kSheetPanesFrozen);
  EXPECT_EQ(t.scrollPaneRow, 2);
  EXPECT_EQ(t.scrollPaneColumn, 1);
  EXPECT_EQ(t.topRow, 10);
  EXPECT_EQ(t.leftColumn, 3);
  EXPECT_EQ(t.activeRow, 4);
  EXPECT_EQ(t.activeColumn, 2);
  EXPECT_EQ(t.selectionFirst, model::packCell(4, 2));
  EXPECT_EQ(t.selectionLast, model::packCell(6, 3));
}

TEST_F(PocketTest, RoundTripKeepsCellFormatsWithinWhatTheFileHolds) {
  addSheet(u"Sheet1");
  model::CellFormat f = book().cellFormats[model::kDefaultCellFormat];
  f.horizontalAlignment = model::kAlignCentre;
  f.verticalAlignment = 1;
  f.flags = model::kFormatWrapText; // unlocked
  f.fillPattern = 1;
  f.patternColour = 12;
  f.backgroundColour = 65;
  f.borders[0] = {1, 10};
  f.borders[3] = {1, 64};
  book().cellFormats.push_back(f);
  set(0, 0, 0, u"x", static_cast<std::uint16_t>(book().cellFormats.size() - 1));
  set(0, 1, 1, u"", static_cast<std::uint16_t>(book().cellFormats.size() - 1)); // formatted blank
  auto back = roundTrip();
  const model::CellRecord* c = at(*back, 0, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->formatIndex, 21);
  EXPECT_EQ(back->cellFormats[c->formatIndex], f);
  ASSERT_NE(at(*back, 0, 1, 1), nullptr);
  EXPECT_EQ(at(*back, 0, 1, 1)->formatIndex, 21);
}

// A workbook from the binary format keeps its values through a pocket file
// and back.
TEST_F(PocketTest, XlsToPocketToXlsKeepsValues) {
  addSheet(u"Numbers");
  addSheet(u"Text");
  const std::uint16_t date = formatWith(14);
  const struct {
    int sheet;
    std::u16string_view text;
    std::uint16_t xf;
  } kTyped[] = {
      {0, u"42", 15},     {0, u"0.1", 15},   {0, u"=A1+A2", 15}, {0, u"=AVERAGE(A1:A2)", 15},
      {0, u"3/4/2001", date}, {1, u"plain", 15}, {1, u"ünï", 15}, {1, u"'007", 15},
      {1, u"FALSE", 15},  {1, u"=UPPER(A1)", 15},
  };
  int row[2] = {0, 0};
  for (const auto& c : kTyped)
    set(c.sheet, row[c.sheet]++, 0, c.text, c.xf);
  std::vector<std::uint8_t> xls;
  ASSERT_TRUE(biff::writeBinaryWorkbook(book(), 8, xls));
  auto fromXls = newBook();
  ASSERT_TRUE(biff::readBinaryWorkbook(xls, *fromXls));
  Bytes pxl;
  ASSERT_TRUE(writePocketWorkbook(*fromXls, pxl));
  auto fromPxl = read(pxl);
  std::vector<std::uint8_t> xls2;
  ASSERT_TRUE(biff::writeBinaryWorkbook(*fromPxl, 8, xls2));
  auto last = newBook();
  ASSERT_TRUE(biff::readBinaryWorkbook(xls2, *last));
  ASSERT_EQ(last->sheetCount(), 2);
  int r[2] = {0, 0};
  for (const auto& c : kTyped) {
    const int rowIndex = r[c.sheet]++;
    SCOPED_TRACE(platform::toUtf8(c.text));
    EXPECT_EQ(value(*last, c.sheet, rowIndex, 0), value(*m_book, c.sheet, rowIndex, 0));
    EXPECT_EQ(input(*last, c.sheet, rowIndex, 0), input(*m_book, c.sheet, rowIndex, 0));
  }
}

TEST_F(PocketTest, SaveReplacesTheFileOnlyWhenComplete) {
  addSheet(u"Sheet1");
  set(0, 0, 0, u"=2+2");
  const fs::path dir = fs::temp_directory_path() / ("cellwick_pocket_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path target = dir / "book.pxl";
  {
    std::ofstream old(target, std::ios::binary);
    old << "old";
  }
  ASSERT_TRUE(savePocketWorkbook(book(), platform::fromUtf8(target.string())));
  std::ifstream in(target, std::ios::binary);
  const Bytes saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto back = read(saved);
  EXPECT_EQ(value(*back, 0, 0, 0), "n:4.000000");
  EXPECT_FALSE(savePocketWorkbook(book(), platform::fromUtf8((dir / "missing" / "x.pxl").string())));
  EXPECT_FALSE(fs::exists(dir / "missing"));
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
    ++files;
  EXPECT_EQ(files, 1u); // no temporary file left behind
  fs::remove_all(dir);
}

} // namespace
} // namespace pocket
