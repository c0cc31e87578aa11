#include "fileformats/biff/workbook_reader.h"

#include "fileformats/biff/formula_tokens.h"
#include "fileformats/biff/drawing_records.h"
#include "fileformats/biff/records.h"
#include "fileformats/biff/workbook_writer.h"
#include "fileformats/compound/compound_file.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <array>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <vector>

namespace biff {
namespace {

// Builds a BIFF stream record by record; fields are appended little-endian.
struct StreamBuilder {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> body;

  StreamBuilder& u8(std::uint8_t v) {
    body.push_back(v);
    return *this;
  }
  StreamBuilder& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  StreamBuilder& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  StreamBuilder& f64(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, 8);
    for (int i = 0; i < 8; ++i)
      u8(static_cast<std::uint8_t>(b >> (8 * i)));
    return *this;
  }
  StreamBuilder& ascii(std::string_view s) {
    for (char ch : s)
      u8(static_cast<std::uint8_t>(ch));
    return *this;
  }
  StreamBuilder& record(std::uint16_t id) {
    const auto len = static_cast<std::uint16_t>(body.size());
    bytes.push_back(id & 0xFF);
    bytes.push_back(id >> 8);
    bytes.push_back(len & 0xFF);
    bytes.push_back(len >> 8);
    bytes.insert(bytes.end(), body.begin(), body.end());
    body.clear();
    return *this;
  }
  std::vector<std::uint8_t> file() const {
    compound::CompoundFileWriter w;
    w.putBytes(bytes.data(), bytes.size());
    return w.finishFile();
  }
};

class ReaderTest : public ::testing::Test {
protected:
  ReaderTest() : m_scope(ui) { formula::installFormulaEngine(); }

  bool read(const std::vector<std::uint8_t>& file) {
    auto b = std::make_unique<model::Workbook>();
    book = std::move(b);
    model::seedWorkbookTables(*book, model::Font{});
    return readBinaryWorkbook(file, *book, &info);
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  std::unique_ptr<model::Workbook> book;
  ReadInfo info;
};

// A BIFF8 workbook of sheets given as (name, kind, body records): the
// globals carry a BOUNDSHEET per sheet whose stream position is patched to
// `positionOf(i, actual)`, so tests can give positions that disagree.
struct SheetSpec {
  std::string name;
  std::uint8_t type; // BOUNDSHEET sheet type: 0 worksheet, 2 chart
  std::vector<std::uint8_t> substream; // from its BOF to its EOF
};

std::vector<std::uint8_t> bof(std::uint16_t type) {
  StreamBuilder b;
  b.u16(0x0600).u16(type).u16(0).u16(0).u32(0).u32(0).record(rtBOF);
  return b.bytes;
}

std::vector<std::uint8_t> numberRecord(std::uint16_t row, std::uint16_t col, double v) {
  StreamBuilder b;
  b.u16(row).u16(col).u16(15).f64(v).record(rtNUMBER);
  return b.bytes;
}

std::vector<std::uint8_t> eofRecord() {
  StreamBuilder b;
  b.record(rtEOF);
  return b.bytes;
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<std::uint8_t> workbookOf(const std::vector<SheetSpec>& sheets,
                                     const std::function<std::uint32_t(size_t, std::uint32_t)>&
                                         positionOf = {}) {
  StreamBuilder g;
  g.bytes = bof(0x0005);
  std::vector<size_t> fields;
  for (const SheetSpec& s : sheets) {
    fields.push_back(g.bytes.size() + 4);
    g.u32(0).u8(0).u8(s.type).u8(static_cast<std::uint8_t>(s.name.size())).u8(0).ascii(s.name)
        .record(rtBOUNDSHEET);
  }
  g.record(rtEOF);
  std::vector<std::uint8_t> stream = g.bytes;
  for (size_t i = 0; i < sheets.size(); ++i) {
    auto at = static_cast<std::uint32_t>(stream.size());
    if (positionOf)
      at = positionOf(i, at);
    for (int k = 0; k < 4; ++k)
      stream[fields[i] + static_cast<size_t>(k)] = static_cast<std::uint8_t>(at >> (8 * k));
    stream.insert(stream.end(), sheets[i].substream.begin(), sheets[i].substream.end());
  }
  compound::CompoundFileWriter w;
  w.putBytes(stream.data(), stream.size());
  return w.finishFile();
}

// A FORMULA record at (row, col) with a cached number and these tokens.
std::vector<std::uint8_t> formulaRecord(std::uint16_t row, std::uint16_t col, double cached,
                                        const std::vector<std::uint8_t>& tokens) {
  StreamBuilder b;
  b.u16(row).u16(col).u16(15).f64(cached).u16(0).u32(0).u16(
      static_cast<std::uint16_t>(tokens.size()));
  b.body.insert(b.body.end(), tokens.begin(), tokens.end());
  b.record(rtFORMULA);
  return b.bytes;
}

// The cells of a data table hold one token standing for the TABLE record
// after them; it gives no operand, and the cell used to read as the text
// "=" (the file's value lost, and saving wrote the text). Such a cell, and
// one with no tokens at all, keeps its cached value as a constant, also
// through a save.
TEST_F(ReaderTest, DataTableCellsKeepTheirCachedValues) {
  StreamBuilder table; // E4, one input cell (A5) in a row, as a real file has it
  table.u16(3).u16(3).u8(4).u8(4).u16(0x0003).u16(4).u16(0).u16(1).u16(0).record(0x0236);
  const std::vector<SheetSpec> sheets = {
      {"Table", 0,
       concat({bof(0x10), numberRecord(4, 0, 0.075),
               formulaRecord(3, 4, 356.10530740756263, {0x02, 0x03, 0x00, 0x04, 0x00}),
               table.bytes, formulaRecord(5, 4, 7.5, {}), eofRecord()})},
  };
  ASSERT_TRUE(read(workbookOf(sheets)));
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    const model::CellRecord* cell = model::cell_at(book->sheet(0), 3, 4);
    const model::CellRecord* empty = model::cell_at(book->sheet(0), 5, 4);
    ASSERT_TRUE(cell && empty);
    EXPECT_FALSE(cell->isFormula);
    ASSERT_TRUE(cell->value.isNumber());
    EXPECT_EQ(cell->value.numberValue(), 356.10530740756263);
    ASSERT_TRUE(empty->value.isNumber());
    EXPECT_EQ(empty->value.numberValue(), 7.5);
    EXPECT_EQ(platform::toUtf8(empty->input.view()), "7.5");
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
    ASSERT_TRUE(read(saved));
  }
}

// A formula's cached result stands until something changes, except where
// the file asks for it to be computed (calculate on open) or holds no result
// at all: programs that write formulas without computing them store the
// empty-text marker, and their cells showed blank in place of the value.
TEST_F(ReaderTest, FormulasWithoutACachedResultAreComputedAfterLoading) {
  struct Case {
    const char* what;
    std::array<std::uint8_t, 8> result;
    std::uint16_t options;
    bool computed;
  };
  const Case cases[] = {
      {"number", {0, 0, 0, 0, 0, 0, 0x1E, 0x40}, 0, false}, // 7.5
      {"boolean", {1, 0, 1, 0, 0, 0, 0xFF, 0xFF}, 0, false},
      {"error", {2, 0, 0x07, 0, 0, 0, 0xFF, 0xFF}, 0, false},
      {"no result", {3, 0, 0, 0, 0, 0, 0xFF, 0xFF}, 0, true},
      {"unknown result kind", {9, 0, 0, 0, 0, 0, 0xFF, 0xFF}, 0, true},
      {"calculate on open", {0, 0, 0, 0, 0, 0, 0x1E, 0x40}, 0x0002, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StreamBuilder f;
    f.u16(0).u16(1).u16(15);
    f.body.insert(f.body.end(), c.result.begin(), c.result.end());
    f.u16(c.options).u32(0).u16(3).u8(0x1E).u16(3).record(rtFORMULA); // =3
    ASSERT_TRUE(read(workbookOf({{"Sheet1", 0, concat({bof(0x10), f.bytes, eofRecord()})}})));
    const model::CellRecord* cell = model::cell_at(book->sheet(0), 0, 1);
    ASSERT_TRUE(cell && cell->isFormula);
    EXPECT_EQ(cell->calcState == model::CalcState::NotValid, c.computed);
  }
}

TEST_F(ReaderTest, AChartSheetWithAnUnclosedInnerBofKeepsTheNextSheet) {
  const std::vector<SheetSpec> sheets = {
      {"One", 0, concat({bof(0x10), numberRecord(0, 0, 1), eofRecord()})},
      // The chart opens a second substream and closes only one.
      {"Chart", 2, concat({bof(0x20), bof(0x20), eofRecord()})},
      {"Two", 0, concat({bof(0x10), numberRecord(1, 1, 2), eofRecord()})},
      {"Three", 0, concat({bof(0x10), numberRecord(2, 2, 3), eofRecord()})},
  };
  ASSERT_TRUE(read(workbookOf(sheets)));
  ASSERT_EQ(book->sheetCount(), 4);
  EXPECT_EQ(book->sheet(1).kind, model::SheetKind::Chart);
  const model::CellRecord* two = model::cell_at(book->sheet(2), 1, 1);
  const model::CellRecord* three = model::cell_at(book->sheet(3), 2, 2);
  ASSERT_TRUE(two && three);
  EXPECT_EQ(two->value.numberValue(), 2);
  EXPECT_EQ(three->value.numberValue(), 3);
  EXPECT_TRUE(ui.shown().empty());
}

TEST_F(ReaderTest, PositionsThatPointAtNoSheetLeaveTheOrderToTheSequence) {
  const std::vector<SheetSpec> sheets = {
      {"One", 0, concat({bof(0x10), numberRecord(0, 0, 1), eofRecord()})},
      {"Two", 0, concat({bof(0x10), numberRecord(0, 0, 2), eofRecord()})},
  };
  // Both claim the globals' BOF, and then a position past the end.
  for (std::uint32_t wrong : {0u, 0xFFFFFF00u}) {
    ASSERT_TRUE(read(workbookOf(sheets, [&](size_t, std::uint32_t) { return wrong; })));
    ASSERT_EQ(book->sheetCount(), 2);
    EXPECT_EQ(model::cell_at(book->sheet(0), 0, 0)->value.numberValue(), 1);
    EXPECT_EQ(model::cell_at(book->sheet(1), 0, 0)->value.numberValue(), 2);
  }
  // Substreams stored in the other order are found where the positions say.
  const auto first = concat({bof(0x10), numberRecord(0, 0, 1), eofRecord()});
  const auto second = concat({bof(0x10), numberRecord(0, 0, 2), eofRecord()});
  const std::vector<SheetSpec> stored = {{"One", 0, second}, {"Two", 0, first}};
  const auto size = static_cast<std::uint32_t>(first.size());
  ASSERT_TRUE(read(workbookOf(stored, [&](size_t i, std::uint32_t at) {
    return i == 0 ? at + size : at - size;
  })));
  EXPECT_EQ(model::cell_at(book->sheet(0), 0, 0)->value.numberValue(), 1);
  EXPECT_EQ(model::cell_at(book->sheet(1), 0, 0)->value.numberValue(), 2);
}

TEST_F(ReaderTest, SheetsWhoseSubstreamIsMissingAreReportedOnce) {
  const std::vector<SheetSpec> sheets = {
      {"One", 0, concat({bof(0x10), numberRecord(0, 0, 1), eofRecord()})},
      {"Two", 0, {}},
      {"Three", 0, {}},
  };
  ASSERT_TRUE(read(workbookOf(sheets)));
  EXPECT_EQ(book->sheetCount(), 3);
  EXPECT_EQ(info.sheetsLeftOut, 2);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageSheetsLeftOut);
}

TEST_F(ReaderTest, DamagedRecordsAreRefusedWithAReason) {
  // A container whose workbook stream holds no workbook.
  StreamBuilder junk;
  junk.u16(1).u16(2).record(0x1234).u32(7).record(0x0042);
  EXPECT_FALSE(read(junk.file()));
  EXPECT_EQ(info.status, ReadStatus::Damaged);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageInvalidData);
}

// An Excel 95 workbook in the given code page of one sheet, "Sheet1",
// whose records `sheetRecords` writes.
std::vector<std::uint8_t> excel95Book(std::uint16_t codePage,
                                      const std::function<void(StreamBuilder&)>& sheetRecords) {
  StreamBuilder g;
  g.u16(0x0500).u16(0x0005).u16(0).u16(0).record(rtBOF);
  g.u16(codePage).record(rtCODEPAGE);
  const size_t positionField = g.bytes.size() + 4;
  g.u32(0).u8(0).u8(0).u8(6).ascii("Sheet1").record(rtBOUNDSHEET);
  g.record(rtEOF);
  const auto at = static_cast<std::uint32_t>(g.bytes.size());
  for (int k = 0; k < 4; ++k)
    g.bytes[positionField + static_cast<size_t>(k)] = static_cast<std::uint8_t>(at >> (8 * k));
  g.u16(0x0500).u16(0x0010).u16(0).u16(0).record(rtBOF);
  sheetRecords(g);
  g.record(rtEOF);
  return g.file();
}

// An Excel 95 workbook whose only cell is a label of 8-bit text in the
// given code page.
std::vector<std::uint8_t> excel95WithLabel(std::uint16_t codePage, std::string_view label) {
  return excel95Book(codePage, [&](StreamBuilder& g) {
    g.u16(0).u16(0).u16(15).u16(static_cast<std::uint16_t>(label.size())).ascii(label).record(rtLABEL);
  });
}

// Mac code pages convert through their own tables (bytes from Apple's
// published ones), and the workbook keeps the page for its saves; a page
// with no converter refuses the file and says which, rather than showing
// every text in the wrong characters.
TEST_F(ReaderTest, MacCodePagesConvertAndUnknownPagesAreRefusedByNumber) {
  const struct {
    std::uint16_t codePage;
    std::string_view bytes;
    std::u16string_view text;
    std::uint16_t kept; // the workbook's code page, that saves use
  } kRows[] = {
      {10029, "\x89\x87\x84\xFC", u"ČáĄŁ", 10029},
      {10007, "\x8F\xF0\xE8\xE2\xE5\xF2", u"Привет", 10007},
      {32768, "\x8E\x8A", u"éä", 10000}, // the old files' name for Mac Roman
      {1252, "\xE9", u"é", 1252},
      {936, "\xD6\xD0", u"中", 936},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.codePage);
    ASSERT_TRUE(read(excel95WithLabel(row.codePage, row.bytes)));
    const model::CellRecord* c = model::cell_at(book->sheet(0), 0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->input.view(), row.text);
    EXPECT_EQ(book->codePage, row.kept);
  }
  EXPECT_TRUE(ui.shown().empty());
  for (const std::uint16_t page : {std::uint16_t{10001}, std::uint16_t{12345}}) {
    ui.clearShown();
    EXPECT_FALSE(read(excel95WithLabel(page, "abc")));
    EXPECT_EQ(info.status, ReadStatus::UnsupportedCodePage);
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].text, u"不支持此文件的字符集（代码页 " +
                                      platform::fromUtf8(std::to_string(page)) + u"）。");
  }
}

// An Excel 95 comment longer than one NOTE record goes on in pieces that
// may end inside a double-byte character: the pieces are joined before
// they are read as text. A piece after a note that made no comment is
// nobody's.
TEST_F(ReaderTest, Excel95CommentPiecesJoinBeforeDecoding) {
  ASSERT_TRUE(read(excel95Book(936, [](StreamBuilder& g) {
    g.u16(1).u16(1).u16(5).ascii("a\xD6").record(rtNOTE); // a中文: 5 bytes in all
    g.u16(0xFFFF).u16(0).u16(1).ascii("\xD0").record(rtNOTE);
    g.u16(0xFFFF).u16(0).u16(2).ascii("\xCE\xC4").record(rtNOTE);
    g.u16(3).u16(2).u16(2).ascii("\xD7\xD6").record(rtNOTE); // 字
  })));
  std::vector<std::u16string> texts;
  for (const model::DrawingObject& o : book->sheet(0).objects)
    if (o.kind == model::kObjectComment)
      texts.push_back(o.text);
  EXPECT_EQ(texts, (std::vector<std::u16string>{u"a中文", u"字"}));
}

// Excel 95 sheets keep the add-in functions their formulas call in their
// own EXTERNNAME records; the tokens of that sheet number them from 1.
TEST_F(ReaderTest, Excel95SheetLevelExternalNamesNameAddInCalls) {
  ASSERT_TRUE(read(excel95Book(1252, [](StreamBuilder& g) {
    g.u8(1).u8(3).record(rtEXTERNSHEET); // an add-in's own entry
    for (std::string_view name : {"FIRSTADDIN", "SECONDADDIN"})
      g.u16(0).u32(0).u8(static_cast<std::uint8_t>(name.size())).ascii(name).u16(2).u8(0x1C).u8(0x17)
          .record(rtEXTERNNAME);
    // =SECONDADDIN(5): the name, the argument, then a call of function 255.
    g.u16(0).u16(0).u16(15).f64(0).u16(0).u32(0).u16(32);
    g.u8(0x39).u16(1).u32(0).u32(0).u16(2).u32(0).u32(0).u32(0);
    g.u8(0x1E).u16(5);
    g.u8(0x42).u8(2).u16(0x00FF);
    g.record(rtFORMULA);
  })));
  const model::CellRecord* c = model::cell_at(book->sheet(0), 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->input.view(), u"=SECONDADDIN(5)");
}

// ---- files that would make memory or time explode ----

// A BIFF8 workbook of one sheet whose globals carry `globals` (records)
// before the sheet list.
std::vector<std::uint8_t> oneSheetWorkbook(const std::vector<std::uint8_t>& globals,
                                           const std::vector<std::uint8_t>& sheetRecords) {
  StreamBuilder g;
  g.bytes = bof(0x0005);
  g.bytes.insert(g.bytes.end(), globals.begin(), globals.end());
  const size_t positionField = g.bytes.size() + 4;
  g.u32(0).u8(0).u8(0).u8(6).u8(0).ascii("Sheet1").record(rtBOUNDSHEET);
  g.record(rtEOF);
  const auto at = static_cast<std::uint32_t>(g.bytes.size());
  for (int k = 0; k < 4; ++k)
    g.bytes[positionField + static_cast<size_t>(k)] = static_cast<std::uint8_t>(at >> (8 * k));
  const std::vector<std::uint8_t> sheet = concat({bof(0x10), sheetRecords, eofRecord()});
  g.bytes.insert(g.bytes.end(), sheet.begin(), sheet.end());
  return g.file();
}

// Damaged TABLE records (a range without room for its headings, an input
// inside the table, a range that is not its cell's own, an input past the
// sheet, a record cut short) leave the result as a value and make no table.
TEST_F(ReaderTest, DamagedDataTablesLeaveValues) {
  struct Case {
    const char* what;
    std::uint16_t row; // of the result cell, in column B
    std::uint16_t r1, c1, inputRow, inputColumn;
    bool cut;
    size_t kept;
  } const kCases[] = {
      {"sound", 1, 1, 1, 5, 4, false, 1},
      {"no heading row", 0, 0, 1, 5, 4, false, 0},
      {"input inside", 1, 1, 1, 1, 1, false, 0},
      {"not its cell", 1, 2, 1, 5, 4, false, 0},
      {"input past the sheet", 1, 1, 1, 5, 256, false, 0},
      {"cut short", 1, 1, 1, 5, 4, true, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    StreamBuilder cells;
    cells.u16(c.row).u16(1).u16(15).f64(7).u16(3).u32(0).u16(5);
    cells.u8(0x02).u16(c.row).u16(1).record(rtFORMULA);
    cells.u16(c.r1).u16(c.r1).u8(static_cast<std::uint8_t>(c.c1)).u8(static_cast<std::uint8_t>(c.c1)).u16(1);
    cells.u16(c.inputRow);
    if (!c.cut)
      cells.u16(0).u16(c.inputColumn).u16(0);
    cells.record(rtTABLE);
    ASSERT_TRUE(read(oneSheetWorkbook({}, cells.bytes)));
    EXPECT_EQ(book->sheet(0).dataTables.size(), c.kept);
    const model::CellRecord* cell = model::cell_at(book->sheet(0), c.row, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->value.numberValue(), 7);
    EXPECT_EQ(cell->input.view(), u"7");
  }
}

// A shared string that needs an apostrophe to stay text is quoted once and
// that text is shared by all its cells, as plain shared strings are.
TEST_F(ReaderTest, SharedStringsNeedingAnApostropheShareOneQuotedText) {
  StreamBuilder sst;
  sst.u32(6).u32(2).u16(3).u8(0).ascii("123").u16(5).u8(0).ascii("plain").record(rtSST);
  StreamBuilder cells;
  for (std::uint16_t row = 0; row < 3; ++row)
    for (std::uint16_t index = 0; index < 2; ++index)
      cells.u16(row).u16(index).u16(15).u32(index).record(rtLABELSST);
  ASSERT_TRUE(read(oneSheetWorkbook(sst.bytes, cells.bytes)));
  for (std::uint8_t column = 0; column < 2; ++column) {
    const model::CellRecord* first = model::cell_at(book->sheet(0), 0, column);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->input.view(), column == 0 ? u"'123" : u"plain");
    ASSERT_TRUE(first->value.isString());
    EXPECT_EQ(first->value.stringValue(), column == 0 ? u"123" : u"plain");
    for (std::uint16_t row = 1; row < 3; ++row) {
      const model::CellRecord* c = model::cell_at(book->sheet(0), row, column);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->input.view().data(), first->input.view().data()) << "copied, not shared";
      EXPECT_EQ(c->value.stringValue(), first->value.stringValue());
    }
  }
}

// A cell stored twice is what its later record says: a blank after a
// formula leaves no formula or value behind, and a number after it only the
// number, also through a save.
TEST_F(ReaderTest, ACellStoredTwiceIsItsLaterRecord) {
  StreamBuilder blank;
  blank.u16(0).u16(0).u16(15).record(rtBLANK);
  const std::vector<std::uint8_t> formula = formulaRecord(0, 0, 7, {ptgInt, 7, 0});
  const struct {
    std::vector<std::uint8_t> later;
    model::ValueKind kind;
  } cases[] = {{blank.bytes, model::ValueKind::Empty}, {numberRecord(0, 0, 4), model::ValueKind::Number}};
  for (const auto& k : cases) {
    SCOPED_TRACE(static_cast<int>(k.kind));
    ASSERT_TRUE(read(oneSheetWorkbook({}, concat({formula, k.later}))));
    for (int pass = 0; pass < 2; ++pass) {
      const model::CellRecord* c = model::cell_at(book->sheet(0), 0, 0);
      ASSERT_EQ(c == nullptr, k.kind == model::ValueKind::Empty && pass == 1) << pass;
      if (c) {
        EXPECT_FALSE(c->isFormula);
        EXPECT_EQ(c->value.kind(), k.kind);
        EXPECT_EQ(c->input.view(), k.kind == model::ValueKind::Empty ? u"" : u"4");
      }
      std::vector<std::uint8_t> saved;
      ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
      ASSERT_TRUE(read(saved));
    }
  }
}

// A sheet whose type the sheet list gives as unknown is what its substream
// says: a worksheet's cells are read and saved again, not dropped with a
// module's body.
TEST_F(ReaderTest, UnknownSheetTypesTakeTheirSubstreamsKind) {
  const struct {
    std::uint16_t bofType;
    model::SheetKind kind;
  } cases[] = {{0x0010, model::SheetKind::Worksheet}, {0x0040, model::SheetKind::Macro}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.bofType);
    ASSERT_TRUE(read(workbookOf(
        {{"Data", 0xFF, concat({bof(k.bofType), numberRecord(58371, 1, 3), eofRecord()})}})));
    for (int pass = 0; pass < 2; ++pass) {
      ASSERT_EQ(book->sheetCount(), 1);
      EXPECT_EQ(book->sheet(0).kind, k.kind);
      const model::CellRecord* c = model::cell_at(book->sheet(0), 58371, 1);
      ASSERT_NE(c, nullptr) << pass;
      EXPECT_EQ(c->value.numberValue(), 3);
      std::vector<std::uint8_t> saved;
      ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
      ASSERT_TRUE(read(saved));
    }
  }
}

// In a cell formatted as Text, a shared string, a label and the text result
// of a formula whose tokens cannot be read (kept as a constant) read alike,
// also after a save: no apostrophe before a text that only looks like a
// number, one before a text that would read as a formula (it must not turn
// into one) and before an empty text (which is not an empty cell).
TEST_F(ReaderTest, StringsInCellsFormattedAsTextReadAlike) {
  const std::string_view texts[] = {"12", "=1+2", "", "'a", "plain"};
  const std::u16string_view inputs[] = {u"12", u"'=1+2", u"'", u"''a", u"plain"};
  StreamBuilder g;
  g.u16(0).u16(49).u16(0x0001).u8(0x20).u8(0).u8(0).u8(0).u32(0).u32(0).u16(0).record(rtXF);
  g.u32(5).u32(5);
  for (const std::string_view t : texts)
    g.u16(static_cast<std::uint16_t>(t.size())).u8(0).ascii(t);
  g.record(rtSST);
  StreamBuilder cells;
  for (std::uint16_t i = 0; i < std::size(texts); ++i) {
    cells.u16(i).u16(0).u16(0).u32(i).record(rtLABELSST);
    cells.u16(i).u16(1).u16(0).u16(static_cast<std::uint16_t>(texts[i].size())).u8(0).ascii(texts[i])
        .record(rtLABEL);
    // "1+" with its right operand missing, and a text result.
    cells.u16(i).u16(2).u16(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF).u16(0).u32(0)
        .u16(5).u8(0x1E).u16(1).u8(0x16).u8(0x03).record(rtFORMULA);
    cells.u16(static_cast<std::uint16_t>(texts[i].size())).u8(0).ascii(texts[i]).record(rtSTRING);
  }
  ASSERT_TRUE(read(oneSheetWorkbook(g.bytes, cells.bytes)));
  ASSERT_FALSE(book->cellFormats.empty());
  ASSERT_EQ(book->cellFormats[0].numberFormatIndex, 49);
  for (int pass = 0; pass < 2; ++pass)
    for (std::uint16_t i = 0; i < std::size(texts); ++i)
      for (std::uint8_t column = 0; column < 3; ++column) {
        SCOPED_TRACE(testing::Message() << "pass " << pass << " text " << i << " column " << int(column));
        const model::CellRecord* c = model::cell_at(book->sheet(0), i, column);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->input.view(), inputs[i]);
        ASSERT_TRUE(c->value.isString());
        EXPECT_FALSE(c->isFormula);
        if (column == 2 && i + 1u == std::size(texts)) {
          std::vector<std::uint8_t> saved;
          ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
          ASSERT_TRUE(read(saved));
        }
      }
}

// Names of one scope whose texts differ only in case are one name, the last;
// a formula naming an earlier one spells it as the one kept, which is also
// what a save writes, so a second read agrees.
TEST_F(ReaderTest, FormulasSpellNamesAsTheOneKept) {
  struct Def {
    const char* name;
    std::vector<std::uint8_t> tokens;
  } defs[] = {
      {"Dup", {ptgInt, 1, 0}},
      {"dUP", {ptgInt, 2, 0}},
      {"UseIt", {ptgName, 1, 0, 0, 0, ptgName, 2, 0, 0, 0, ptgAdd}},
  };
  StreamBuilder g;
  for (const Def& d : defs) {
    const std::string_view name = d.name;
    g.u16(0).u8(0).u8(static_cast<std::uint8_t>(name.size())).u16(static_cast<std::uint16_t>(d.tokens.size()))
        .u16(0).u16(0).u32(0).u8(0).ascii(name);
    g.body.insert(g.body.end(), d.tokens.begin(), d.tokens.end());
    g.record(rtNAME);
  }
  ASSERT_TRUE(read(oneSheetWorkbook(g.bytes, {})));
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    ASSERT_EQ(book->names.size(), 2u);
    EXPECT_EQ(book->names[0].name, u"dUP");
    EXPECT_EQ(book->names[0].formula, u"=2");
    EXPECT_EQ(book->names[1].formula, u"=dUP+dUP");
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
    ASSERT_TRUE(read(saved));
  }
}

// Name definitions read as what saving writes: an array constant reads its
// values from after the tokens, a definition whose tokens cannot be read is
// #REF!, and an empty one stays empty ("="); each survives a save unchanged.
TEST_F(ReaderTest, NameDefinitionsReadAsTheyAreSaved) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> tokens;
    std::vector<std::uint8_t> extra;
    std::u16string formula;
  } cases[] = {
      // {"ab",2}: one row of two values after the 8-byte array token
      {"Arr", {0x60, 0, 0, 0, 0, 0, 0, 0},
       {1, 0, 0, 0x02, 2, 0, 0, 'a', 'b', 0x01, 0, 0, 0, 0, 0, 0, 0, 0x40}, u"={\"ab\",2}"},
      {"Bad", {ptgConcat, ptgErr}, {}, u"=#REF!"}, // an operator without operands
      {"Empty", {}, {}, u"="},
  };
  StreamBuilder g;
  for (const Case& c : cases) {
    const std::string_view name = c.name;
    g.u16(0).u8(0).u8(static_cast<std::uint8_t>(name.size())).u16(static_cast<std::uint16_t>(c.tokens.size()))
        .u16(0).u16(0).u32(0).u8(0).ascii(name);
    g.body.insert(g.body.end(), c.tokens.begin(), c.tokens.end());
    g.body.insert(g.body.end(), c.extra.begin(), c.extra.end());
    g.record(rtNAME);
  }
  ASSERT_TRUE(read(oneSheetWorkbook(g.bytes, {})));
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(book->names.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
      EXPECT_EQ(book->names[i].formula, cases[i].formula) << cases[i].name << " pass " << pass;
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
    ASSERT_TRUE(read(saved));
  }
}

// Label tokens each copy the text of the cell they name: all of them
// together copy no more than a small multiple of the file, however many
// tokens name a long text. Formulas past that keep their cached value.
TEST_F(ReaderTest, LabelTokensCopyABoundedAmountOfText) {
  StreamBuilder cells;
  const std::string longText(8000, 'x');
  cells.u16(0).u16(0).u16(15).u16(static_cast<std::uint16_t>(longText.size())).u8(0).ascii(longText)
      .record(rtLABEL);
  constexpr int kFormulas = 400, kLabels = 8;
  for (int i = 0; i < kFormulas; ++i) {
    cells.u16(static_cast<std::uint16_t>(i + 1)).u16(0).u16(15).f64(7).u16(0).u32(0)
        .u16(kLabels * 6 + kLabels - 1);
    for (int k = 0; k < kLabels; ++k) {
      cells.u8(ptgExtend).u8(0x02).u16(0).u16(0);
      if (k > 0)
        cells.u8(ptgConcat);
    }
    cells.record(rtFORMULA);
  }
  const auto file = oneSheetWorkbook({}, cells.bytes);
  ASSERT_TRUE(read(file));
  size_t copied = 0, formulas = 0, kept = 0;
  for (int i = 0; i < kFormulas; ++i) {
    const model::CellRecord* c = model::cell_at(book->sheet(0), static_cast<std::uint16_t>(i + 1), 0);
    ASSERT_NE(c, nullptr);
    copied += c->input.size();
    if (c->input.view().starts_with(u"=")) {
      ++formulas;
      EXPECT_GE(c->input.size(), kLabels * longText.size());
    } else {
      kept += c->value.isNumber() && c->value.numberValue() == 7;
    }
  }
  EXPECT_GT(formulas, 0u) << "a modest use is read";
  EXPECT_LT(formulas, static_cast<size_t>(kFormulas)) << "without a bound every token copies";
  EXPECT_EQ(kept, kFormulas - formulas);
  EXPECT_LE(copied, 8 * file.size() + (size_t{1} << 20) + kFormulas * 64);
}

// Thousands of sheets without a name, or with one name, get unique names in
// linear time (a search of the list per suffix tried was cubic).
TEST_F(ReaderTest, ManyRepeatedSheetNamesAreMadeUnique) {
  std::vector<SheetSpec> sheets;
  for (int i = 0; i < 3000; ++i)
    sheets.push_back({i % 2 ? "" : "Data", 0, {}});
  ASSERT_TRUE(read(workbookOf(sheets)));
  ASSERT_EQ(book->sheetCount(), 3000);
  EXPECT_EQ(book->sheet(0).name, u"Data");
  EXPECT_EQ(book->sheet(1).name, u"Sheet(2)");
  EXPECT_EQ(book->sheet(2).name, u"Data(2)");
  EXPECT_EQ(book->sheet(2999).name, u"Sheet(1501)");
  std::set<std::u16string> names;
  for (int i = 0; i < book->sheetCount(); ++i)
    names.insert(platform::foldCase(book->sheet(i).name));
  EXPECT_EQ(names.size(), 3000u);
}

std::vector<std::uint8_t> rowRecord(std::uint16_t row, std::uint16_t height, bool hidden) {
  StreamBuilder b;
  b.u16(row).u16(0).u16(1).u16(height).u16(0).u16(0).u32(hidden ? 0x0160 : 0x0140).record(rtROW);
  return b.bytes;
}

TEST_F(ReaderTest, RowRecordsInAnyOrderEndSortedAndTheLaterOneCounts) {
  const std::vector<SheetSpec> sheets = {
      {"One", 0,
       concat({bof(0x10), rowRecord(9, 400, false), rowRecord(5, 300, true), rowRecord(2, 250, false),
               rowRecord(5, 500, false), numberRecord(2, 0, 1), eofRecord()})},
  };
  ASSERT_TRUE(read(workbookOf(sheets)));
  const auto& rows = book->sheet(0).rows;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].row, 2);
  EXPECT_EQ(rows[0].size, 250);
  EXPECT_EQ(rows[1].row, 5);
  EXPECT_EQ(rows[1].size, 500);
  EXPECT_FALSE(rows[1].flags & model::kLineHidden);
  EXPECT_EQ(rows[2].row, 9);
  EXPECT_EQ(rows[2].size, 400);
}

// A FORMULA record standing for a shared formula: row, column, a cached
// number, the shared bit and the master-cell token.
std::vector<std::uint8_t> sharedCell(std::uint16_t row, std::uint16_t col, std::uint16_t masterRow,
                                     std::uint16_t masterCol, bool shared, double cached) {
  StreamBuilder b;
  b.u16(row).u16(col).u16(15).f64(cached).u16(shared ? 0x0008 : 0).u32(0).u16(5);
  b.u8(0x01).u16(masterRow).u16(masterCol).record(rtFORMULA);
  return b.bytes;
}

// Shared formulas beside array formulas: each cell finds its own block.
TEST_F(ReaderTest, SharedFormulasBesideArrayFormulas) {
  StreamBuilder shr;
  // B1:B3 share =A1*2 (a relative reference: row offset 0, column offset -1).
  shr.u16(0).u16(2).u8(1).u8(1).u16(0).u16(9);
  shr.u8(0x4C).u16(0).u16(0xC0FF).u8(0x1E).u16(2).u8(0x05).record(rtSHRFMLA);
  StreamBuilder arr;
  // C1:C2 hold the array formula {=A1:A2*10}.
  arr.u16(0).u16(1).u8(2).u8(2).u16(0).u32(0).u16(13);
  arr.u8(0x65).u16(0).u16(1).u16(0xC000).u16(0xC000).u8(0x1E).u16(10).u8(0x05).record(rtARRAY);
  const std::vector<SheetSpec> sheets = {
      {"One", 0,
       concat({bof(0x10), numberRecord(0, 0, 1), numberRecord(1, 0, 2), numberRecord(2, 0, 3),
               sharedCell(0, 1, 0, 1, true, 2), shr.bytes, sharedCell(0, 2, 0, 2, false, 10),
               arr.bytes, sharedCell(1, 1, 0, 1, true, 4), sharedCell(1, 2, 0, 2, false, 20),
               sharedCell(2, 1, 0, 1, true, 6), eofRecord()})},
  };
  ASSERT_TRUE(read(workbookOf(sheets)));
  const model::Sheet& s = book->sheet(0);
  EXPECT_EQ(model::cell_at(s, 0, 1)->input.view(), u"=A1*2");
  EXPECT_EQ(model::cell_at(s, 1, 1)->input.view(), u"=A2*2");
  EXPECT_EQ(model::cell_at(s, 2, 1)->input.view(), u"=A3*2");
  EXPECT_EQ(model::cell_at(s, 0, 2)->input.view(), u"=A1:A2*10");
  EXPECT_EQ(model::cell_at(s, 1, 2)->input.view(), u"=A1:A2*10");
  ASSERT_EQ(s.arrayFormulas.size(), 1u);
  EXPECT_EQ(s.arrayFormulas[0].range.lastRow, 1);
}

// A damaged file's array blocks that share cells: the first block stays and
// the one that meets it is dropped, so no cell belongs to two blocks.
TEST_F(ReaderTest, OverlappingArrayBlocksKeepTheFirst) {
  auto arrayRecord = [](std::uint16_t r1, std::uint16_t r2, std::uint8_t c1, std::uint8_t c2,
                        std::uint16_t value) {
    StreamBuilder b;
    b.u16(r1).u16(r2).u8(c1).u8(c2).u16(0).u32(0).u16(3).u8(0x1E).u16(value).record(rtARRAY);
    return b.bytes;
  };
  const std::vector<SheetSpec> sheets = {
      {"One", 0,
       concat({bof(0x10), sharedCell(0, 0, 0, 0, false, 1), arrayRecord(0, 1, 0, 1, 1),
               sharedCell(0, 1, 0, 1, false, 1), sharedCell(1, 0, 0, 0, false, 1),
               // B2:C3 meets A1:B2 at B2; D1 meets nothing.
               sharedCell(1, 1, 1, 1, false, 2), arrayRecord(1, 2, 1, 2, 2),
               sharedCell(0, 3, 0, 3, false, 3), arrayRecord(0, 0, 3, 3, 3), eofRecord()})},
  };
  ASSERT_TRUE(read(workbookOf(sheets)));
  const model::Sheet& s = book->sheet(0);
  ASSERT_EQ(s.arrayFormulas.size(), 2u);
  EXPECT_EQ(s.arrayFormulas[0].range, (model::CellRange{0, 0, 1, 1}));
  EXPECT_EQ(s.arrayFormulas[1].range, (model::CellRange{0, 3, 0, 3}));
}

TEST_F(ReaderTest, RefusesWhatIsNoWorkbook) {
  EXPECT_FALSE(read({1, 2, 3}));
  EXPECT_EQ(info.status, ReadStatus::WorkbookNotFound);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"Workbook not found in file");
}

} // namespace
} // namespace biff

#ifdef CELLWICK_CORPUS_DIR
namespace biff {
namespace {

std::string unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[++i];
      out += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> cols;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    cols.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos)
      return cols;
    start = tab + 1;
  }
}

std::pair<int, int> parseA1(const std::string& a1) {
  int col = 0;
  size_t i = 0;
  while (i < a1.size() && a1[i] >= 'A' && a1[i] <= 'Z')
    col = col * 26 + (a1[i++] - 'A' + 1);
  return {std::atoi(a1.c_str() + i) - 1, col - 1};
}

// Every cell value an independent reader saw in the real files must be
// read the same here: numbers to the last bit, text exactly, booleans and
// error codes.
TEST_F(ReaderTest, CorpusCellsMatchAnIndependentReader) {
  const std::filesystem::path dir = CELLWICK_CORPUS_DIR;
  if (!std::filesystem::exists(dir / "expected_xlrd"))
    GTEST_SKIP() << "corpus not present at " << dir;
  size_t files = 0, cells = 0, matched = 0;
  std::vector<std::string> report;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "expected_xlrd")) {
    const std::string expectName = entry.path().filename().string();
    const std::string fileName = expectName.substr(0, expectName.size() - 4);
    std::ifstream in(dir / "xls" / fileName, std::ios::binary);
    if (!in)
      continue;
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    ui.clearShown();
    const bool ok = read(bytes);
    ++files;
    std::ifstream expect(entry.path());
    size_t fileCells = 0, fileMatched = 0;
    std::string firstMiss;
    for (std::string line; std::getline(expect, line);) {
      if (line.empty() || line[0] == '#')
        continue;
      const auto cols = splitTabs(line);
      if (cols.size() < 4)
        continue;
      ++fileCells;
      if (!ok)
        continue;
      int sheet = model::find_sheet(*book, platform::fromUtf8(cols[0]));
      // Files of one sheet name it nowhere; the other reader calls it "Sheet 1".
      if (sheet < 0 && ok && book->sheetCount() == 1)
        sheet = 0;
      const auto [row, col] = parseA1(cols[1]);
      const model::CellRecord* c =
          sheet < 0 ? nullptr
                    : model::cell_at(book->sheet(sheet), static_cast<std::uint16_t>(row),
                                     static_cast<std::uint8_t>(col));
      bool same = false;
      if (c) {
        const std::string& type = cols[2];
        const std::string value = unescape(cols[3]);
        if (type == "number" || type == "date")
          same = c->value.isNumber() && c->value.numberValue() == std::strtod(value.c_str(), nullptr);
        else if (type == "text")
          same = c->value.isString() && platform::toUtf8(c->value.stringValue()) == value;
        else if (type == "bool")
          same = c->value.isBoolean() && c->value.booleanValue() == (value == "TRUE");
        else if (type == "error")
          same = c->value.isError() && platform::toUtf8(model::errorText(c->value.errorValue())) == value;
      }
      if (same)
        ++fileMatched;
      else if (firstMiss.empty())
        firstMiss = line;
    }
    cells += fileCells;
    matched += fileMatched;
    if (fileMatched != fileCells)
      report.push_back(fileName + ": " + std::to_string(fileMatched) + "/" +
                       std::to_string(fileCells) + (ok ? "" : " (refused)") + " first miss: " +
                       firstMiss);
  }
  for (const std::string& r : report)
    std::printf("  %s\n", r.c_str());
  std::printf("corpus: %zu files, %zu of %zu cells match\n", files, matched, cells);
  EXPECT_GT(files, 100u);
  EXPECT_LE(cells - matched, cells / 10000 + 1);
}


std::vector<std::uint8_t> corpusFile(const std::string& name) {
  std::ifstream in(std::filesystem::path(CELLWICK_CORPUS_DIR) / "xls" / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool sameValue(const model::CellValue& a, const model::CellValue& b) {
  if (a.kind() != b.kind())
    return false;
  switch (a.kind()) {
  case model::ValueKind::Number: return a.numberValue() == b.numberValue();
  case model::ValueKind::String: return a.stringValue() == b.stringValue();
  case model::ValueKind::Boolean: return a.booleanValue() == b.booleanValue();
  case model::ValueKind::Error: return a.errorValue() == b.errorValue();
  default: return true;
  }
}

// Real files saved by later versions: their IFERROR cells compute to what
// their authors saw, and a "_xlfn." function this program lacks keeps the
// file's value through a full recalculation.
TEST_F(ReaderTest, CorpusLaterVersionFunctionsAgreeWithTheirCachedResults) {
  functions::registerAllFunctions();
  size_t iferror = 0, iferrorAgree = 0, kept = 0, unknown = 0;
  for (const char* name : {"gnumeric__samples_excel_complex-parsing.xls",
                           "poi__FormulaEvalTestData.xls", "sheetjs__formula_stress_test.xls"}) {
    const auto bytes = corpusFile(name);
    if (bytes.empty())
      GTEST_SKIP() << "corpus not present";
    ASSERT_TRUE(read(bytes)) << name;
    std::vector<std::pair<model::CellRecord*, model::CellValue>> cached;
    for (int s = 0; s < book->sheetCount(); ++s)
      if (book->sheet(s).hasGrid())
        book->sheet(s).cells.forEach([&](model::CellRecord& c) {
          if (c.isFormula)
            cached.emplace_back(&c, c.value);
        });
    formula::recalcAll(*book);
    for (const auto& [c, value] : cached) {
      const std::string text = platform::toUtf8(c->input.view());
      if (text.find("_xlfn.") != std::string::npos) {
        ++unknown;
        kept += sameValue(c->value, value);
      } else if (text.find("IFERROR(") != std::string::npos) {
        ++iferror;
        iferrorAgree += sameValue(c->value, value);
      }
    }
  }
  std::printf("IFERROR cells agreeing: %zu of %zu; unknown later functions keeping their value: "
              "%zu of %zu\n", iferrorAgree, iferror, kept, unknown);
  EXPECT_GE(iferror, 100u);
  EXPECT_EQ(iferrorAgree, iferror);
  EXPECT_GE(unknown, 30u);
  EXPECT_EQ(kept, unknown);
}

// An Excel 95 file whose chart sheets stand between its worksheets, each
// chart opening with a second BOF that is never closed: every worksheet must
// still hold what the same workbook's Excel 97 conversion holds, sheet by
// sheet (the independent reader cannot read this file's sheet names).
TEST_F(ReaderTest, CorpusExcel95ChartSheetsKeepTheWorksheetsAfterThem) {
  const auto biff5 = corpusFile("gen-gnumeric__12843-1__biff7-cp936-dbcs-sheetname.xls");
  const auto biff8 = corpusFile("gen-lo__12843-1__biff8.xls");
  if (biff5.empty() || biff8.empty())
    GTEST_SKIP() << "corpus not present";
  ASSERT_TRUE(read(biff8));
  std::unique_ptr<model::Workbook> reference = std::move(book);
  ASSERT_TRUE(read(biff5));
  EXPECT_TRUE(ui.shown().empty());
  ASSERT_EQ(book->sheetCount(), reference->sheetCount());
  size_t cells = 0, same = 0, worksheets = 0;
  for (int i = 0; i < book->sheetCount(); ++i) {
    EXPECT_EQ(book->sheet(i).name, reference->sheet(i).name) << "sheet " << i;
    if (book->sheet(i).kind != model::SheetKind::Worksheet)
      continue;
    ++worksheets;
    size_t sheetCells = 0, sheetSame = 0;
    reference->sheet(i).cells.forEach([&](const model::CellRecord& c) {
      if (c.value.isEmpty())
        return;
      ++sheetCells;
      const model::CellRecord* mine = model::cell_at(book->sheet(i), c.row, c.column);
      sheetSame += mine && sameValue(mine->value, c.value);
    });
    EXPECT_GT(sheetCells, 0u) << "sheet " << i;
    EXPECT_EQ(sheetSame, sheetCells) << "sheet " << i;
    cells += sheetCells;
    same += sheetSame;
  }
  std::printf("Excel 95 chart-sheet file: %zu worksheets, %zu of %zu cells as in the Excel 97 "
              "conversion\n",
              worksheets, same, cells);
  EXPECT_EQ(worksheets, 23u);
}

// A real file's references into other workbooks (a file name and a URL)
// keep their text through reading and saving; they are not computed here.
TEST_F(ReaderTest, CorpusReferencesToOtherWorkbooksAreKept) {
  const auto file = corpusFile("poi__FormulaRefs.xls");
  if (file.empty())
    GTEST_SKIP() << "corpus not present";
  const struct {
    int row;
    std::u16string_view text;
  } kRows[] = {
      {2, u"=Sheet1!B1"},
      {3, u"=[Formulas2.xls]Sheet1!B2"},
      {4, u"='http://gagravarr.org/[FormulaRefs.xls]Sheet1'!B1"},
  };
  ASSERT_TRUE(read(file));
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "as read" : "saved and read again");
    formula::recalcAll(*book);
    for (const auto& row : kRows) {
      model::CellRecord* c = model::cell_at(book->sheet(0), static_cast<std::uint16_t>(row.row), 1);
      ASSERT_NE(c, nullptr) << row.row;
      EXPECT_EQ(c->input.view(), row.text);
      formula::computeCell(*book, 0, *c);
      ASSERT_TRUE(c->value.isNumber()) << row.row;
      EXPECT_EQ(c->value.numberValue(), 112);
    }
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
    ASSERT_TRUE(read(saved));
  }
}

// A real file's references through a range of sheets compute to the
// results the independent reader saw cached (10 and 60), follow a change on
// a sheet inside the range, and keep their first and last sheet through
// saving as Excel 97 and as Excel 95.
TEST_F(ReaderTest, CorpusReferencesThroughARangeOfSheets) {
  const auto file = corpusFile("poi__FormulaSheetRange.xls");
  if (file.empty())
    GTEST_SKIP() << "corpus not present";
  functions::registerAllFunctions();
  const struct {
    int row;
    std::u16string_view text;
    double value;
  } kRows[] = {
      {10, u"=SUM(Sheet2:Sheet5!A11)", 10},
      {11, u"=SUM(Sheet2:Sheet5!A12:C12)", 60},
  };
  for (int version : {8, 7}) {
    SCOPED_TRACE(version);
    ASSERT_TRUE(read(file));
    const int sheet3 = model::find_sheet(*book, u"Sheet3");
    ASSERT_GT(sheet3, 0);
    for (int pass = 0; pass < 2; ++pass) {
      SCOPED_TRACE(pass == 0 ? "as read" : "saved and read again");
      formula::recalcAll(*book);
      for (const auto& row : kRows) {
        model::CellRecord* c = model::cell_at(book->sheet(0), static_cast<std::uint16_t>(row.row), 3);
        ASSERT_NE(c, nullptr) << row.row;
        EXPECT_EQ(platform::toUtf8(c->input.view()), platform::toUtf8(row.text));
        formula::computeCell(*book, 0, *c);
        ASSERT_TRUE(c->value.isNumber()) << row.row;
        EXPECT_EQ(c->value.numberValue(), row.value);
      }
      std::vector<std::uint8_t> saved;
      ASSERT_TRUE(writeBinaryWorkbook(*book, version, saved));
      ASSERT_TRUE(read(saved));
    }
    // Sheet3's A11 (2) becomes 102.
    ASSERT_TRUE(model::set_cell(*book, model::find_sheet(*book, u"Sheet3"), 10, 0, u"102", 15,
                                false, true));
    model::CellRecord* c = model::cell_at(book->sheet(0), 10, 3);
    ASSERT_NE(c, nullptr);
    formula::computeCell(*book, 0, *c);
    ASSERT_TRUE(c->value.isNumber());
    EXPECT_EQ(c->value.numberValue(), 110);
  }
}

// Excel 2, 3 and 4 files lay out their cell formats each its own way and
// number their formats by order: their dates stay dates, and their formats
// survive saving as Excel 97.
TEST_F(ReaderTest, CorpusOldVersionsKeepTheirCellFormats) {
  const struct {
    const char* cell;
    int row, column;
    std::u16string_view code;
  } kCells[] = {
      {"C2", 1, 2, u"d\\-mmm"},
      {"C3", 2, 2, u"d\\-mmm\\-yy"},
      {"C8", 7, 2, u"\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)"},
  };
  for (const char* version : {"2", "3", "4"}) {
    SCOPED_TRACE(version);
    const auto file = corpusFile(std::string("edr__as3xls_BIFF") + version + ".xls");
    if (file.empty())
      GTEST_SKIP() << "corpus not present";
    ASSERT_TRUE(read(file));
    for (int pass = 0; pass < 2; ++pass) {
      for (const auto& c : kCells) {
        SCOPED_TRACE(c.cell);
        const model::CellRecord* cell =
            model::cell_at(book->sheet(0), static_cast<std::uint16_t>(c.row),
                           static_cast<std::uint8_t>(c.column));
        ASSERT_NE(cell, nullptr);
        ASSERT_LT(cell->formatIndex, book->cellFormats.size());
        const std::uint16_t format = book->cellFormats[cell->formatIndex].numberFormatIndex;
        EXPECT_EQ(model::numberFormatCode(*book, format), c.code) << pass;
      }
      std::vector<std::uint8_t> saved;
      ASSERT_TRUE(writeBinaryWorkbook(*book, 8, saved));
      ASSERT_TRUE(read(saved));
    }
  }
}

// Real files cut short or with damaged bytes open as far as they go or are
// refused with a message that says why; never silently.
TEST_F(ReaderTest, CorpusDamagedFilesAlwaysSayWhy) {
  const std::filesystem::path dir = std::filesystem::path(CELLWICK_CORPUS_DIR) / "xls";
  if (!std::filesystem::exists(dir))
    GTEST_SKIP() << "corpus not present at " << dir;
  size_t tried = 0, opened = 0, silent = 0;
  std::vector<std::string> quiet;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (bytes.size() < 1024)
      continue;
    std::vector<std::vector<std::uint8_t>> damaged;
    for (size_t keep : {bytes.size() / 4, bytes.size() / 2, bytes.size() * 3 / 4})
      damaged.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
    // Record lengths and identifiers somewhere in the workbook stream.
    for (size_t at : {bytes.size() / 3, bytes.size() * 2 / 3}) {
      auto b = bytes;
      for (size_t k = 0; k < 16 && at + k < b.size(); ++k)
        b[at + k] = static_cast<std::uint8_t>(0xFF - k);
      damaged.push_back(std::move(b));
    }
    for (const auto& d : damaged) {
      ui.clearShown();
      const bool ok = read(d);
      ++tried;
      opened += ok;
      if (!ok && ui.shown().empty()) {
        ++silent;
        quiet.push_back(entry.path().filename().string());
      }
    }
  }
  for (const std::string& q : quiet)
    std::printf("  refused without a message: %s\n", q.c_str());
  std::printf("damaged corpus files: %zu tried, %zu opened, %zu refused silently\n", tried,
              opened, silent);
  EXPECT_GT(tried, 500u);
  EXPECT_EQ(silent, 0u);
}

// The formulas of the real files, recalculated here, must give the results
// the programs that wrote them cached, apart from functions that read the
// clock or random numbers and a few this program does not compute.
TEST_F(ReaderTest, CorpusFormulasRecalculateToTheirCachedResults) {
  const std::filesystem::path dir = CELLWICK_CORPUS_DIR;
  if (!std::filesystem::exists(dir / "expected_xlrd"))
    GTEST_SKIP() << "corpus not present at " << dir;
  functions::registerAllFunctions();
  size_t formulas = 0, agree = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "expected_xlrd")) {
    const std::string expectName = entry.path().filename().string();
    std::ifstream in(dir / "xls" / expectName.substr(0, expectName.size() - 4), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (bytes.empty() || !read(bytes))
      continue;
    formula::recalcAll(*book);
    std::ifstream expect(entry.path());
    for (std::string line; std::getline(expect, line);) {
      const auto cols = splitTabs(line);
      if (line.empty() || line[0] == '#' || cols.size() < 4)
        continue;
      int sheet = model::find_sheet(*book, platform::fromUtf8(cols[0]));
      if (sheet < 0 && book->sheetCount() == 1)
        sheet = 0;
      const auto [row, col] = parseA1(cols[1]);
      model::CellRecord* c = sheet < 0 ? nullptr
                                       : model::cell_at(book->sheet(sheet),
                                                        static_cast<std::uint16_t>(row),
                                                        static_cast<std::uint8_t>(col));
      if (!c || !c->isFormula)
        continue;
      formula::computeCell(*book, sheet, *c);
      ++formulas;
      const std::string value = unescape(cols[3]);
      const std::string& type = cols[2];
      if (type == "number" || type == "date") {
        const double x = std::strtod(value.c_str(), nullptr);
        agree += c->value.isNumber() &&
                 std::fabs(c->value.numberValue() - x) <= 1e-9 * std::max(1.0, std::fabs(x));
      } else if (type == "text") {
        agree += c->value.isString() && platform::toUtf8(c->value.stringValue()) == value;
      } else if (type == "bool") {
        agree += c->value.isBoolean() && c->value.booleanValue() == (value == "TRUE");
      } else if (type == "error") {
        agree += c->value.isError() && platform::toUtf8(model::errorText(c->value.errorValue())) == value;
      }
    }
  }
  std::printf("corpus formulas: %zu of %zu recalculate to the cached result\n", agree, formulas);
  EXPECT_GT(formulas, 30000u);
  EXPECT_GE(agree * 100, formulas * 97);
}
} // namespace
} // namespace biff
#endif
