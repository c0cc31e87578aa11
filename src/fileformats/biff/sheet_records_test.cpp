// Sheet settings and data-tool rules in binary workbooks: printer and page
// settings, outline gutters, AutoFilter criteria, conditional formats and
// validation rules, read from byte-built streams and written and read back.

#include "fileformats/biff/printer_settings.h"
#include "fileformats/biff/records.h"
#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "formula/recalc.h"
#include "model/sheet.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace biff {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Appends little-endian fields; record() frames what was appended since the
// last record.
struct Builder {
  Bytes out, body;
  Builder &u8(std::uint8_t v) {
    body.push_back(v);
    return *this;
  }
  Builder &u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  Builder &u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Builder &f64(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, 8);
    return u32(static_cast<std::uint32_t>(b)).u32(static_cast<std::uint32_t>(b >> 32));
  }
  Builder &zeros(size_t n) {
    body.insert(body.end(), n, 0);
    return *this;
  }
  Builder &ascii(std::string_view s) {
    for (char ch : s)
      u8(static_cast<std::uint8_t>(ch));
    return *this;
  }
  Builder &raw(const Bytes &b) {
    body.insert(body.end(), b.begin(), b.end());
    return *this;
  }
  Builder &record(std::uint16_t id) {
    const auto len = static_cast<std::uint16_t>(body.size());
    out.push_back(id & 0xFF);
    out.push_back(id >> 8);
    out.push_back(len & 0xFF);
    out.push_back(len >> 8);
    out.insert(out.end(), body.begin(), body.end());
    body.clear();
    return *this;
  }
};

struct Rec {
  std::uint16_t id;
  Bytes body;
};

std::vector<Rec> records(const Bytes &s) {
  std::vector<Rec> out;
  for (size_t pos = 0; pos + 4 <= s.size();) {
    const auto id = static_cast<std::uint16_t>(s[pos] | (s[pos + 1] << 8));
    const size_t len = static_cast<size_t>(s[pos + 2] | (s[pos + 3] << 8));
    EXPECT_LE(len, kMaxRecordBody);
    if (pos + 4 + len > s.size()) {
      ADD_FAILURE() << "record runs past the stream";
      break;
    }
    out.push_back({id, Bytes(s.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                             s.begin() + static_cast<std::ptrdiff_t>(pos + 4 + len))});
    pos += 4 + len;
  }
  return out;
}

// Bodies of `id` inside the n-th sheet substream (0 = the globals).
std::vector<Bytes> bodiesIn(const std::vector<Rec> &recs, int substream, std::uint16_t id) {
  std::vector<Bytes> out;
  int current = -1;
  for (const Rec &r : recs) {
    if (r.id == rtBOF)
      ++current;
    else if (current == substream && r.id == id)
      out.push_back(r.body);
  }
  return out;
}

class SheetRecordsTest : public ::testing::Test {
protected:
  SheetRecordsTest() : m_scope(ui) {
    formula::installFormulaEngine();
    book = newBook();
  }
  static std::unique_ptr<model::Workbook> newBook() {
    auto b = std::make_unique<model::Workbook>();
    model::seedWorkbookTables(*b, model::Font{});
    return b;
  }
  model::Sheet &addSheet(std::u16string name) {
    auto s = std::make_unique<model::Sheet>();
    model::sheet_init(*s, model::SheetKind::Worksheet);
    s->name = std::move(name);
    book->sheets.push_back(std::move(s));
    return *book->sheets.back();
  }
  std::unique_ptr<model::Workbook> roundTrip(int version) {
    Bytes file;
    EXPECT_TRUE(writeBinaryWorkbook(*book, version, file));
    auto back = newBook();
    ReadInfo info;
    EXPECT_TRUE(readBinaryWorkbook(file, *back, &info));
    EXPECT_EQ(info.version, version);
    return back;
  }
  // Reads a bare record stream (the reader takes one that starts with BOF).
  std::unique_ptr<model::Workbook> readStream(const Bytes &stream) {
    auto back = newBook();
    if (!readBinaryWorkbook(stream, *back))
      ADD_FAILURE() << "the stream was refused";
    return back;
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  std::unique_ptr<model::Workbook> book;
};

std::u16string sep() { return platform::localeStrings().listSeparator; }

// ---- printer settings ----

// An 8-bit DEVMODE of 102 bytes with 4 bytes of driver data.
Bytes narrowDevmode(std::string_view device, std::string_view form) {
  Builder b;
  b.ascii(device).zeros(32 - device.size());
  b.u16(0x0401).u16(0x0100).u16(102).u16(4); // spec version, driver version, size, extra
  b.u32(0x0000FF03);                         // fields
  b.zeros(16 + 10);                          // orientation..collate
  b.ascii(form).zeros(32 - form.size());
  b.u8(0xDE).u8(0xAD).u8(0xBE).u8(0xEF); // driver data
  return b.body;
}

TEST(PrinterSettings, WideAndNarrowFormsConvertBothWays) {
  const Bytes narrow = narrowDevmode("HP LaserJet", "A4");
  ASSERT_EQ(narrow.size(), 106u);
  Bytes wide;
  ASSERT_TRUE(widenPrinterSettings(narrow, 1252, wide));
  ASSERT_EQ(wide.size(), 170u);
  EXPECT_EQ(wide[0], 'H');
  EXPECT_EQ(wide[1], 0);
  EXPECT_EQ(wide[2], 'P');
  EXPECT_EQ(wide[20], 't');                   // the 11th character
  EXPECT_EQ(wide[22], 0);                     // then the terminator
  EXPECT_EQ(wide[68] | (wide[69] << 8), 166); // the size field grows by the wider names
  EXPECT_EQ(wide[70] | (wide[71] << 8), 4);   // driver data size unchanged
  EXPECT_EQ(wide[72], 0x03);                  // fields copied
  EXPECT_EQ(wide[102], 'A');
  EXPECT_EQ(wide[104], '4');
  EXPECT_EQ(wide[106], 0);
  EXPECT_EQ(Bytes(wide.end() - 4, wide.end()), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
  Bytes back;
  ASSERT_TRUE(narrowPrinterSettings(wide, 1252, back));
  EXPECT_EQ(back, narrow);
}

TEST(PrinterSettings, NamesUseTheCodePage) {
  // 打印机 in code page 936.
  const std::string gbk = "\xB4\xF2\xD3\xA1\xBB\xFA";
  Bytes wide;
  ASSERT_TRUE(widenPrinterSettings(narrowDevmode(gbk, "A4"), 936, wide));
  const std::u16string name{static_cast<char16_t>(wide[0] | (wide[1] << 8)),
                            static_cast<char16_t>(wide[2] | (wide[3] << 8)),
                            static_cast<char16_t>(wide[4] | (wide[5] << 8))};
  EXPECT_EQ(name, u"打印机");
  EXPECT_EQ(wide[6] | wide[7], 0);
  Bytes narrow;
  ASSERT_TRUE(narrowPrinterSettings(wide, 936, narrow));
  EXPECT_EQ(std::string(narrow.begin(), narrow.begin() + 6), gbk);
}

TEST(PrinterSettings, RefusesStructuresThatDoNotFit) {
  Bytes narrow = narrowDevmode("P", "A4");
  Bytes out{1};
  const struct {
    const char *what;
    size_t keep;
    std::uint16_t size;
  } kCases[] = {
      {"size beyond the bytes", 106, 107},
      {"size below the fixed fields", 106, 39},
      {"bytes end inside the fixed fields", 39, 102},
  };
  for (const auto &c : kCases) {
    Bytes b(narrow.begin(), narrow.begin() + static_cast<std::ptrdiff_t>(c.keep));
    if (b.size() > 37) {
      b[36] = static_cast<std::uint8_t>(c.size);
      b[37] = static_cast<std::uint8_t>(c.size >> 8);
    }
    EXPECT_FALSE(widenPrinterSettings(b, 1252, out)) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
  }
  EXPECT_FALSE(narrowPrinterSettings(Bytes(71, 0), 1252, out));
}

// ---- page settings ----

void setPageSettings(model::Sheet &s) {
  s.guts = {29, 0, 3, 0};
  s.pageSetup.gridSet = false;
  s.pageSetup.centreHorizontally = true;
  s.pageSetup.centreVertically = true;
  s.pageSetup.fitToPage = true;
  s.pageSetup.hasSetup = true;
  for (size_t i = 0; i < s.pageSetup.setup.size(); ++i)
    s.pageSetup.setup[i] = static_cast<std::uint8_t>(i + 1);
}

TEST_F(SheetRecordsTest, PageSettingsAreWrittenAsStored) {
  setPageSettings(addSheet(u"Sheet1"));
  Bytes wide;
  ASSERT_TRUE(widenPrinterSettings(narrowDevmode("Printer", "Letter"), 1252, wide));
  book->sheet(0).pageSetup.printerSettings = wide;
  for (int version : {8, 7}) {
    SCOPED_TRACE(version);
    const auto recs = records(writeWorkbookStream(*book, version));
    EXPECT_EQ(bodiesIn(recs, 1, rtGUTS), (std::vector<Bytes>{{29, 0, 0, 0, 3, 0, 0, 0}}));
    EXPECT_EQ(bodiesIn(recs, 1, rtWSBOOL), (std::vector<Bytes>{{0xC1, 0x05}}));
    EXPECT_EQ(bodiesIn(recs, 1, rtGRIDSET), (std::vector<Bytes>{{0, 0}}));
    EXPECT_EQ(bodiesIn(recs, 1, rtHCENTER), (std::vector<Bytes>{{1, 0}}));
    EXPECT_EQ(bodiesIn(recs, 1, rtVCENTER), (std::vector<Bytes>{{1, 0}}));
    const auto setup = bodiesIn(recs, 1, rtSETUP);
    ASSERT_EQ(setup.size(), 1u);
    ASSERT_EQ(setup[0].size(), 34u);
    EXPECT_EQ(setup[0][0], 1);
    EXPECT_EQ(setup[0][33], 34);
    const auto pls = bodiesIn(recs, 1, rtPLS);
    ASSERT_EQ(pls.size(), 1u);
    Bytes expected{0, 0};
    if (version == 8)
      expected.insert(expected.end(), wide.begin(), wide.end());
    else {
      const Bytes n = narrowDevmode("Printer", "Letter");
      expected.insert(expected.end(), n.begin(), n.end());
    }
    EXPECT_EQ(pls[0], expected);
  }
}

TEST_F(SheetRecordsTest, PageSettingsRoundTrip) {
  setPageSettings(addSheet(u"Sheet1"));
  Bytes wide;
  ASSERT_TRUE(widenPrinterSettings(narrowDevmode("Printer", "Letter"), 1252, wide));
  book->sheet(0).pageSetup.printerSettings = wide;
  addSheet(u"Plain");
  for (int version : {8, 7}) {
    SCOPED_TRACE(version);
    const auto back = roundTrip(version);
    const model::Sheet &s = back->sheet(0);
    EXPECT_EQ(s.guts, (std::array<std::uint16_t, 4>{29, 0, 3, 0}));
    EXPECT_FALSE(s.pageSetup.gridSet);
    EXPECT_TRUE(s.pageSetup.centreHorizontally);
    EXPECT_TRUE(s.pageSetup.centreVertically);
    EXPECT_TRUE(s.pageSetup.fitToPage);
    EXPECT_TRUE(s.pageSetup.hasSetup);
    EXPECT_EQ(s.pageSetup.setup, book->sheet(0).pageSetup.setup);
    EXPECT_EQ(s.pageSetup.printerSettings, wide);
    // A sheet without settings keeps the defaults.
    const model::Sheet &plain = back->sheet(1);
    EXPECT_TRUE(plain.pageSetup.gridSet);
    EXPECT_FALSE(plain.pageSetup.fitToPage || plain.pageSetup.hasSetup ||
                 plain.pageSetup.centreHorizontally || plain.pageSetup.centreVertically);
    EXPECT_TRUE(plain.pageSetup.printerSettings.empty());
    EXPECT_EQ(plain.guts, (std::array<std::uint16_t, 4>{}));
  }
}

// Globals of a one-sheet BIFF8 stream; `extra` goes before the sheet list.
Builder biff8Globals(const std::function<void(Builder &)> &extra = {}) {
  Builder b;
  b.u16(0x0600).u16(kSubstreamGlobals).u16(5618).u16(1996).u32(0x49).u32(6).record(rtBOF);
  b.u32(0).u8(0).u8(0).u8(6).u8(0).ascii("Sheet1").record(rtBOUNDSHEET);
  if (extra)
    extra(b);
  b.record(rtEOF);
  b.u16(0x0600).u16(kSubstreamWorksheet).u16(5618).u16(1996).u32(0x49).u32(6).record(rtBOF);
  return b;
}

TEST_F(SheetRecordsTest, OnlyTheFirstWindowsPrinterSettingsCount) {
  const Bytes wide = [] {
    Bytes w;
    EXPECT_TRUE(widenPrinterSettings(narrowDevmode("First", "A4"), 1252, w));
    return w;
  }();
  Bytes other = wide;
  other[0] = 'X';
  const struct {
    const char *what;
    std::vector<std::pair<std::uint16_t, Bytes>> records; // environment, settings
    Bytes expected;
  } kCases[] = {
      {"one", {{0, wide}}, wide},
      {"the second is ignored", {{0, wide}, {0, other}}, wide},
      {"another environment", {{1, wide}}, {}},
      {"another environment first", {{1, other}, {0, wide}}, {}},
  };
  for (const auto &c : kCases) {
    Builder b = biff8Globals();
    for (const auto &[env, settings] : c.records)
      b.u16(env).raw(settings).record(rtPLS);
    b.record(rtEOF);
    const auto back = readStream(b.out);
    EXPECT_EQ(back->sheet(0).pageSetup.printerSettings, c.expected) << c.what;
  }
}

TEST_F(SheetRecordsTest, LongPrinterSettingsContinue) {
  addSheet(u"Sheet1");
  Bytes wide;
  ASSERT_TRUE(widenPrinterSettings(narrowDevmode("Printer", "A4"), 1252, wide));
  wide.resize(12000, 0x5A); // a driver with much data of its own
  book->sheet(0).pageSetup.printerSettings = wide;
  const auto recs = records(writeWorkbookStream(*book, 8)); // checks every body length
  EXPECT_EQ(bodiesIn(recs, 1, rtPLS).size(), 1u);
  const auto back = roundTrip(8);
  EXPECT_EQ(back->sheet(0).pageSetup.printerSettings, wide);
}

// ---- AutoFilter ----

model::FilterCondition comparison(std::uint8_t code, std::u16string operand) {
  return {model::kFilterComparison, code, std::move(operand)};
}

void setAutoFilter(model::Sheet &s) {
  s.flags |= model::kSheetAutoFilter;
  s.autoFilter.firstRow = 0;
  s.autoFilter.firstColumn = 1;
  s.autoFilter.lastRow = 9;
  s.autoFilter.lastColumn = 3;
  s.autoFilter.criteria.assign(3, model::FilterCriterion{});
  model::FilterCriterion &a = s.autoFilter.criteria[0];
  a.orJoin = true;
  a.conditions[0] = comparison(model::kCompareEqual, u"apple");
  a.conditions[1] = {model::kFilterBlanks, 0, u""};
  model::FilterCriterion &c = s.autoFilter.criteria[2];
  c.topActive = true;
  c.top = true;
  c.count = 10;
}

TEST_F(SheetRecordsTest, AutoFilterRecordsLayout) {
  setAutoFilter(addSheet(u"Sheet1"));
  const auto recs = records(writeWorkbookStream(*book, 8));
  EXPECT_EQ(bodiesIn(recs, 1, rtFILTERMODE), (std::vector<Bytes>{{}}));
  EXPECT_EQ(bodiesIn(recs, 1, rtAUTOFILTERINFO), (std::vector<Bytes>{{3, 0}}));
  const auto filters = bodiesIn(recs, 1, rtAUTOFILTER);
  ASSERT_EQ(filters.size(), 2u); // the middle column has no criterion
  const Bytes first = {
      0,    0,                                    // column 0 of the range
      0x05, 0x00,                                 // OR, first condition a plain equality
      6,    2,    0,   0,   0,   0,   5, 0, 0, 0, // string, equal, 5 characters
      12,   0,    0,   0,   0,   0,   0, 0, 0, 0, // blanks
      0,    'a',  'p', 'p', 'l', 'e',             // 8-bit characters
  };
  EXPECT_EQ(filters[0], first);
  Bytes top(24, 0);
  top[0] = 2;
  top[2] = 0x30; // top 10 active, top
  top[3] = 0x05; // 10 items: bits 7-15
  EXPECT_EQ(filters[1], top);
  // The range is in the sheet's "_FilterDatabase" name: hidden, built-in code 13.
  const auto names = bodiesIn(recs, 0, rtNAME);
  ASSERT_EQ(names.size(), 1u);
  const Bytes name = {0x21, 0x00, 0,    1, 11, 0, 0, 0, 1, 0, 0, 0, 0, 0,
                      0,    13,   0x3B, 0, 0,  0, 0, 9, 0, 1, 0, 3, 0};
  EXPECT_EQ(names[0], name);
}

TEST_F(SheetRecordsTest, AutoFilterInExcel95NamesItsSheet) {
  addSheet(u"One");
  setAutoFilter(addSheet(u"Two"));
  const auto recs = records(writeWorkbookStream(*book, 7));
  const auto names = bodiesIn(recs, 0, rtNAME);
  ASSERT_EQ(names.size(), 1u);
  Builder expected;
  expected.u16(0x0001).u8(0).u8(15).u16(21).u16(2).u16(2).zeros(4).ascii("_FilterDatabase");
  expected.u8(0x3B).u16(0xFFFE).zeros(6).u16(1).u16(1).u16(1).u16(0).u16(9).u8(1).u8(3);
  EXPECT_EQ(names[0], expected.body);
  // Both sheets list the other sheets, as the filter's sheet must.
  EXPECT_EQ(bodiesIn(recs, 2, 0x0016), (std::vector<Bytes>{{2, 0}}));
  EXPECT_EQ(bodiesIn(recs, 2, rtAUTOFILTERINFO), (std::vector<Bytes>{{3, 0}}));
}

TEST_F(SheetRecordsTest, AutoFilterRoundTrip) {
  addSheet(u"One");
  setAutoFilter(addSheet(u"Two"));
  model::Sheet &three = addSheet(u"Three");
  three.flags |= model::kSheetAutoFilter;
  three.autoFilter = {4, 0, 20, 0, {model::FilterCriterion{}}};
  three.autoFilter.criteria[0].conditions[0] = comparison(model::kCompareGreater, u"12.5");
  three.autoFilter.criteria[0].conditions[1] = comparison(model::kCompareLess, u"文");
  for (int version : {8, 7}) {
    SCOPED_TRACE(version);
    const auto back = roundTrip(version);
    EXPECT_FALSE(back->sheet(0).flags & model::kSheetAutoFilter);
    for (int i : {1, 2}) {
      const model::Sheet &s = back->sheet(i);
      ASSERT_TRUE(s.flags & model::kSheetAutoFilter);
      model::AutoFilterState expected = book->sheet(i).autoFilter;
      // Excel 95 text is in the code page.
      if (version == 7 && i == 2)
        expected.criteria[0].conditions[1].operand = u"?";
      EXPECT_EQ(s.autoFilter.firstRow, expected.firstRow);
      EXPECT_EQ(s.autoFilter.lastRow, expected.lastRow);
      EXPECT_EQ(s.autoFilter.firstColumn, expected.firstColumn);
      EXPECT_EQ(s.autoFilter.lastColumn, expected.lastColumn);
      EXPECT_EQ(s.autoFilter.criteria, expected.criteria);
    }
    // The range's name is not kept as a defined name.
    EXPECT_TRUE(back->names.empty());
  }
}

// Files keep no mark of the rows a filter hid: a hidden data row of a
// filter with a criterion is the filter's when read back, and shows again
// when the filter goes; the filter's arrows are placed on its header.
TEST_F(SheetRecordsTest, FilteredRowsAndArrowsAfterReading) {
  model::Sheet &s = addSheet(u"Sheet1");
  setAutoFilter(s);
  model::set_row_record(s, 3, model::kLineDefaultSize | model::kLineHidden | model::kLineFilterHidden, 255);
  model::set_row_record(s, 12, model::kLineDefaultSize | model::kLineHidden, 255); // below the range
  const auto back = roundTrip(8);
  const model::Sheet &t = back->sheet(0);
  EXPECT_EQ(model::row_record(t, 3).flags & (model::kLineHidden | model::kLineFilterHidden),
            model::kLineHidden | model::kLineFilterHidden);
  EXPECT_EQ(model::row_record(t, 12).flags & (model::kLineHidden | model::kLineFilterHidden), model::kLineHidden);
  std::vector<int> arrowColumns;
  for (const model::DrawingObject &o : t.objects)
    if (o.filterArrow && o.kind == model::kObjectComboBox && o.anchor.first.row == 0)
      arrowColumns.push_back(o.anchor.first.column);
  EXPECT_EQ(arrowColumns, (std::vector<int>{1, 2, 3}));
}

// A BIFF8 filter on B1:D10 of the only sheet, with `filters` as the
// AUTOFILTER records.
Bytes filteredStream(const std::function<void(Builder &)> &filters) {
  Builder b = biff8Globals([](Builder &g) {
    g.u16(1).u16(0x0401).record(rtSUPBOOK);
    g.u16(1).u16(0).u16(0).u16(0).record(rtEXTERNSHEET);
    g.u16(0x0021).u8(0).u8(1).u16(11).u16(0).u16(1).zeros(4).u8(0).u8(13);
    g.u8(0x3B).u16(0).u16(0).u16(9).u16(1).u16(3).record(rtNAME);
  });
  b.u16(3).record(rtAUTOFILTERINFO);
  filters(b);
  b.record(rtEOF);
  return b.out;
}

TEST_F(SheetRecordsTest, FilterValuesOfOtherKindsBecomeText) {
  const auto back = readStream(filteredStream([](Builder &b) {
    b.u16(0).u16(0x0000);
    b.u8(4).u8(4).f64(1.5);                  // number, greater
    b.u8(2).u8(2).u32((7u << 2) | 2).u32(0); // RK 7, equal
    b.record(rtAUTOFILTER);
    b.u16(1).u16(0x0001);
    b.u8(8).u8(5).u8(1).u8(0).zeros(6);    // boolean TRUE, not equal
    b.u8(8).u8(2).u8(0x07).u8(1).zeros(6); // error #DIV/0!, equal
    b.record(rtAUTOFILTER);
    b.u16(2).u16(0x0000);
    b.u8(6).u8(2).zeros(4).u8(2).zeros(3);       // string, equal, 2 characters
    b.u8(6).u8(5).zeros(4).u8(1).zeros(3);       // string, not equal, 1 character
    b.u8(1).u16(u'文').u16(u'字').u8(0).u8('x'); // UTF-16, then 8-bit
    b.record(rtAUTOFILTER);
  }));
  const model::Sheet &s = back->sheet(0);
  ASSERT_TRUE(s.flags & model::kSheetAutoFilter);
  EXPECT_EQ(s.autoFilter.firstColumn, 1);
  EXPECT_EQ(s.autoFilter.lastColumn, 3);
  EXPECT_EQ(s.autoFilter.lastRow, 9);
  ASSERT_EQ(s.autoFilter.criteria.size(), 3u);
  const struct {
    size_t column, condition;
    model::FilterCondition expected;
  } kRows[] = {
      {0, 0, comparison(model::kCompareGreater, u"1.5")},
      {0, 1, comparison(model::kCompareEqual, u"7")},
      {1, 0, comparison(model::kCompareNotEqual, u"TRUE")},
      {1, 1, comparison(model::kCompareEqual, u"#DIV/0!")},
      {2, 0, comparison(model::kCompareEqual, u"文字")},
      {2, 1, comparison(model::kCompareNotEqual, u"x")},
  };
  for (const auto &row : kRows)
    EXPECT_EQ(s.autoFilter.criteria[row.column].conditions[row.condition], row.expected)
        << row.column << "/" << row.condition;
  EXPECT_TRUE(s.autoFilter.criteria[1].orJoin);
  EXPECT_TRUE(back->names.empty());
}

TEST_F(SheetRecordsTest, FilterWithoutItsRangeIsNotTurnedOn) {
  Builder b = biff8Globals();
  b.u16(3).record(rtAUTOFILTERINFO);
  b.u16(0).u16(0).u8(6).u8(2).zeros(4).u8(1).zeros(3).zeros(10).u8(0).u8('a');
  b.record(rtAUTOFILTER);
  b.record(rtEOF);
  const auto back = readStream(b.out);
  EXPECT_FALSE(back->sheet(0).flags & model::kSheetAutoFilter);
  EXPECT_TRUE(back->sheet(0).autoFilter.criteria.empty());
}

TEST_F(SheetRecordsTest, TruncatedFilterLeavesTheColumnCleared) {
  Builder whole;
  whole.u16(0).u16(0x0001).u8(6).u8(2).zeros(4).u8(3).zeros(3).u8(12).zeros(9);
  whole.u8(0).ascii("abc");
  const Bytes body = whole.body;
  for (size_t n = 0; n < body.size(); ++n) {
    const auto back = readStream(filteredStream([&](Builder &b) {
      b.raw(Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(n)))
          .record(rtAUTOFILTER);
    }));
    const model::Sheet &s = back->sheet(0);
    ASSERT_EQ(s.autoFilter.criteria.size(), 3u);
    EXPECT_EQ(s.autoFilter.criteria[0], model::FilterCriterion{}) << "cut at " << n;
  }
  const auto back =
      readStream(filteredStream([&](Builder &b) { b.raw(body).record(rtAUTOFILTER); }));
  EXPECT_EQ(back->sheet(0).autoFilter.criteria[0].conditions[0].operand, u"abc");
}

// ---- conditional formats ----

model::ConditionalFormat sampleConditionalFormat() {
  model::ConditionalFormat set;
  model::FormatCondition between;
  between.kind = 1;
  between.op = 1;
  between.operand1 = u"=1";
  between.operand2 = u"=$A$1*2";
  between.hasPattern = true;
  between.pattern[model::kCondFill] = {true, 1};
  between.pattern[model::kCondBackgroundColour] = {true, 10};
  model::FormatCondition formula;
  formula.kind = 2;
  formula.operand1 = u"=B2>5";
  formula.hasFont = true;
  formula.font[model::kCondItalic] = {true, 1};
  formula.font[model::kCondBold] = {true, 0};
  formula.font[model::kCondUnderline] = {true, 1};
  formula.font[model::kCondColour] = {true, 12};
  formula.hasBorder = true;
  formula.borders[3] = {true, 2, 17};
  set.conditions = {between, formula};
  set.ranges = {{1, 1, 4, 1}, {6, 0, 6, 2}};
  return set;
}

TEST_F(SheetRecordsTest, ConditionalFormatRecordsLayout) {
  addSheet(u"Sheet1").conditionalFormats = {sampleConditionalFormat()};
  const auto recs = records(writeWorkbookStream(*book, 8));
  const auto head = bodiesIn(recs, 1, rtCONDFMT);
  ASSERT_EQ(head.size(), 1u);
  Builder h;
  h.u16(2).u16(1 << 1);          // two conditions, first set
  h.u16(1).u16(6).u16(0).u16(2); // bounds: rows 1-6, columns 0-2
  h.u16(2).u16(1).u16(4).u16(1).u16(1).u16(6).u16(6).u16(0).u16(2);
  EXPECT_EQ(head[0], h.body);
  const auto cf = bodiesIn(recs, 1, rtCF);
  ASSERT_EQ(cf.size(), 2u);
  Builder between;
  between.u8(1).u8(1).u16(3).u16(9);
  between.u32(0x203AFFFF).u16(0);    // fill and background colour set; pattern block
  between.u16(1 << 10).u16(10 << 7); // solid; background colour 10
  between.u8(0x1E).u16(1);           // 1
  between.u8(0x44).u16(0).u8(0).u8(0).u8(0x1E).u16(2).u8(0x05); // $A$1*2
  EXPECT_EQ(cf[0], between.body);
  const Bytes &f = cf[1];
  ASSERT_EQ(f.size(), 12u + 118 + 8 + 9);
  EXPECT_EQ(f[0], 2);
  EXPECT_EQ(f[1], 0);
  EXPECT_EQ(f[2] | (f[3] << 8), 9);
  EXPECT_EQ(f[4] | (f[5] << 8), 0);
  const std::uint32_t flags = f[6] | (f[7] << 8) | (f[8] << 16) | (std::uint32_t{f[9]} << 24);
  EXPECT_EQ(flags, 0x143FDFFFu); // bottom border set; font and border blocks
  const size_t font = 12;
  EXPECT_EQ(f[font + 68], 0x02);                      // italic
  EXPECT_EQ(f[font + 72] | (f[font + 73] << 8), 400); // not bold
  EXPECT_EQ(f[font + 76], 1);                         // single underline
  EXPECT_EQ(f[font + 80], 12);                        // colour
  EXPECT_EQ(f[font + 88] & 0x82, 0x80);               // style changes, strike-out stays
  EXPECT_EQ(f[font + 96], 0);                         // underline changes
  const size_t border = font + 118;
  EXPECT_EQ(f[border + 1], 0x20); // bottom style 2
  const std::uint32_t colours = f[border + 2] | (f[border + 3] << 8) | (f[border + 4] << 16) |
                                (std::uint32_t{f[border + 5]} << 24);
  EXPECT_EQ(colours, 17u << 23);
  // =B2>5, relative: offsets from A1.
  EXPECT_EQ(Bytes(f.end() - 9, f.end()), (Bytes{0x4C, 1, 0, 1, 0xC0, 0x1E, 5, 0, 0x0D}));
}

TEST_F(SheetRecordsTest, ConditionalFormatsRoundTripInExcel97Only) {
  model::Sheet &s = addSheet(u"Sheet1");
  s.conditionalFormats = {sampleConditionalFormat()};
  model::ConditionalFormat equal;
  equal.conditions.resize(1);
  equal.conditions[0].kind = 1;
  equal.conditions[0].op = 3;
  equal.conditions[0].operand1 = u"=\"yes\"";
  equal.conditions[0].hasFont = true;
  equal.conditions[0].font[model::kCondStrikeOut] = {true, 1};
  equal.ranges = {{0, 5, 65535, 5}};
  s.conditionalFormats.push_back(equal);
  const auto back = roundTrip(8);
  ASSERT_EQ(back->sheet(0).conditionalFormats.size(), 2u);
  EXPECT_EQ(back->sheet(0).conditionalFormats[0], s.conditionalFormats[0]);
  EXPECT_EQ(back->sheet(0).conditionalFormats[1], s.conditionalFormats[1]);
  EXPECT_TRUE(roundTrip(7)->sheet(0).conditionalFormats.empty());
}

TEST_F(SheetRecordsTest, PostureAndWeightTravelTogether) {
  model::ConditionalFormat set;
  set.conditions.resize(1);
  set.conditions[0].kind = 2;
  set.conditions[0].operand1 = u"=TRUE";
  set.conditions[0].hasFont = true;
  set.conditions[0].font[model::kCondBold] = {true, 1};
  set.ranges = {{0, 0, 0, 0}};
  addSheet(u"Sheet1").conditionalFormats = {set};
  const auto back = roundTrip(8);
  ASSERT_EQ(back->sheet(0).conditionalFormats.size(), 1u);
  const auto &font = back->sheet(0).conditionalFormats[0].conditions[0].font;
  EXPECT_EQ(font[model::kCondBold], (model::ConditionSetting{true, 1}));
  // The file cannot change weight without posture: upright is set with it.
  EXPECT_EQ(font[model::kCondItalic], (model::ConditionSetting{true, 0}));
  EXPECT_FALSE(font[model::kCondColour].set);
}

TEST_F(SheetRecordsTest, ManyRangesSplitIntoSetsWithTheSameConditions) {
  model::ConditionalFormat set = sampleConditionalFormat();
  set.ranges.clear();
  for (std::uint16_t r = 0; r < 2500; ++r)
    set.ranges.push_back(
        {static_cast<std::uint16_t>(2 * r), 0, static_cast<std::uint16_t>(2 * r), 0});
  addSheet(u"Sheet1").conditionalFormats = {set};
  const auto recs = records(writeWorkbookStream(*book, 8)); // checks every body length
  EXPECT_EQ(bodiesIn(recs, 1, rtCONDFMT).size(), 3u);
  EXPECT_EQ(bodiesIn(recs, 1, rtCF).size(), 6u);
  const auto back = roundTrip(8);
  const auto &sets = back->sheet(0).conditionalFormats;
  ASSERT_EQ(sets.size(), 3u);
  size_t ranges = 0;
  for (const auto &s : sets) {
    EXPECT_EQ(s.conditions, set.conditions);
    ranges += s.ranges.size();
  }
  EXPECT_EQ(ranges, 2500u);
  EXPECT_EQ(sets[2].ranges.back(), set.ranges.back());
}

// CONDFMT for B2:B5 and one CF record with the given parts.
Bytes conditionStream(const Bytes &cf) {
  Builder b = biff8Globals();
  b.u16(1).u16(0).u16(1).u16(4).u16(1).u16(1).u16(1).u16(1).u16(4).u16(1).u16(1).record(rtCONDFMT);
  b.raw(cf).record(rtCF);
  b.record(rtEOF);
  return b.out;
}

TEST_F(SheetRecordsTest, ReadsConditionsAsPublished) {
  Builder cf;
  cf.u8(2).u8(0).u16(9).u16(0);
  cf.u32((0x003FFFFFu & ~0x00002000u & ~0x00020000u) | 0x34000000u).u16(0);
  // Font block: bold upright, colour 10; strike-out and underline stay.
  cf.zeros(64).u32(0xFFFFFFFF).u32(0).u16(700).u16(0).u8(0).zeros(3).u32(10).zeros(4);
  cf.u32(0x00000098).u32(1).u32(1).zeros(16).u16(1);
  // Border block: bottom thin in colour 8 (the others as the file says, but kept).
  cf.u16(0x1000 | 0x0003).u32(8u << 23).u16(0);
  // Pattern block: the pattern colour 13 alone changes.
  cf.u16(0).u16(13);
  // =A1>5 with a relative reference token.
  cf.u8(0x44).u16(0).u8(0).u8(0xC0).u8(0x1E).u16(5).u8(0x0D);
  const auto back = readStream(conditionStream(cf.body));
  const auto &sets = back->sheet(0).conditionalFormats;
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].ranges, (std::vector<model::CellRange>{{1, 1, 4, 1}}));
  ASSERT_EQ(sets[0].conditions.size(), 1u);
  const model::FormatCondition &c = sets[0].conditions[0];
  EXPECT_EQ(c.kind, 2);
  EXPECT_EQ(c.operand1, u"=A1>5");
  EXPECT_TRUE(c.operand2.empty());
  EXPECT_TRUE(c.hasFont && c.hasBorder && c.hasPattern);
  const struct {
    const char *what;
    model::ConditionSetting actual, expected;
  } kFont[] = {
      {"italic", c.font[model::kCondItalic], {true, 0}},
      {"bold", c.font[model::kCondBold], {true, 1}},
      {"underline", c.font[model::kCondUnderline], {false, 0}},
      {"strike-out", c.font[model::kCondStrikeOut], {false, 0}},
      {"colour", c.font[model::kCondColour], {true, 10}},
      {"fill", c.pattern[model::kCondFill], {false, 0}},
      {"pattern colour", c.pattern[model::kCondPatternColour], {true, 13}},
      {"background", c.pattern[model::kCondBackgroundColour], {false, 0}},
  };
  for (const auto &row : kFont)
    EXPECT_EQ(row.actual, row.expected) << row.what;
  EXPECT_EQ(c.borders[3], (model::ConditionBorder{true, 1, 8}));
  EXPECT_EQ(c.borders[0], (model::ConditionBorder{false, 3, 0}));
}

TEST_F(SheetRecordsTest, TruncatedConditionAddsNothing) {
  addSheet(u"Sheet1").conditionalFormats = {sampleConditionalFormat()};
  const auto recs = records(writeWorkbookStream(*book, 8));
  const Bytes cf = bodiesIn(recs, 1, rtCF)[1];
  for (size_t n = 0; n < cf.size(); ++n) {
    const auto back =
        readStream(conditionStream(Bytes(cf.begin(), cf.begin() + static_cast<std::ptrdiff_t>(n))));
    ASSERT_EQ(back->sheet(0).conditionalFormats.size(), 1u);
    EXPECT_TRUE(back->sheet(0).conditionalFormats[0].conditions.empty()) << "cut at " << n;
  }
  const auto back = readStream(conditionStream(cf));
  EXPECT_EQ(back->sheet(0).conditionalFormats[0].conditions.size(), 1u);
}

// ---- data validation ----

model::ValidationRule wholeNumberRule() {
  model::ValidationRule v;
  v.allow = model::kAllowWholeNumber;
  v.op = 0;
  v.formula1 = u"=1";
  v.formula2 = u"=10";
  v.inputTitle = u"T";
  v.ranges = {{1, 1, 4, 1}};
  return v;
}

TEST_F(SheetRecordsTest, ValidationRecordsLayout) {
  model::Sheet &s = addSheet(u"Sheet1");
  s.validations = {wholeNumberRule()};
  s.validationBox = {false, 120, 45};
  const auto recs = records(writeWorkbookStream(*book, 8));
  Builder dval;
  dval.u16(0).u32(120).u32(45).u32(0xFFFFFFFF).u32(1);
  EXPECT_EQ(bodiesIn(recs, 1, rtDVAL), (std::vector<Bytes>{dval.body}));
  Builder dv;
  dv.u32(0x000C0101);      // whole number, stop, blanks, input, error
  dv.u16(1).u8(0).u8('T'); // input title
  for (int i = 0; i < 3; ++i)
    dv.u16(1).u8(0).u8(0); // empty texts are one NUL
  dv.u16(3).u16(0).u8(0x1E).u16(1);
  dv.u16(3).u16(0).u8(0x1E).u16(10);
  dv.u16(1).u16(1).u16(4).u16(1).u16(1);
  EXPECT_EQ(bodiesIn(recs, 1, rtDV), (std::vector<Bytes>{dv.body}));
  EXPECT_TRUE(bodiesIn(records(writeWorkbookStream(*book, 7)), 1, rtDV).empty());
}

TEST_F(SheetRecordsTest, TypedListIsOneStringOfItems) {
  model::ValidationRule v;
  v.allow = model::kAllowList;
  v.plainList = true;
  v.formula1 = u"a" + sep() + u"b" + sep() + u"文";
  v.ranges = {{0, 0, 0, 0}};
  addSheet(u"Sheet1").validations = {v};
  const auto dv = bodiesIn(records(writeWorkbookStream(*book, 8)), 1, rtDV);
  ASSERT_EQ(dv.size(), 1u);
  // After the options and four one-NUL texts: the list formula.
  const Bytes list(dv[0].begin() + 4 + 16, dv[0].begin() + 4 + 16 + 4 + 3 + 10);
  EXPECT_EQ(list, (Bytes{13, 0, 0, 0, 0x17, 5, 1, 'a', 0, 0, 0, 'b', 0, 0, 0, 0x87, 0x65}));
  const auto back = roundTrip(8);
  ASSERT_EQ(back->sheet(0).validations.size(), 1u);
  EXPECT_EQ(back->sheet(0).validations[0], v);
}

TEST_F(SheetRecordsTest, ValidationsRoundTrip) {
  model::Sheet &s = addSheet(u"Sheet1");
  model::ValidationRule list;
  list.allow = model::kAllowList;
  list.formula1 = u"=$A$1:$A$3";
  list.suppressDropDown = true;
  list.errorStyle = 1;
  list.errorTitle = u"错误";
  list.errorMessage = u"Pick one";
  list.inputMessage = u"From the list";
  list.ranges = {{0, 2, 9, 2}, {12, 2, 12, 4}};
  model::ValidationRule custom;
  custom.allow = model::kAllowCustom;
  custom.formula1 = u"=LEN(B1)<5";
  custom.ignoreBlank = false;
  custom.showInput = false;
  custom.showError = false;
  custom.errorStyle = 2;
  custom.ranges = {{3, 1, 3, 1}};
  model::ValidationRule length = wholeNumberRule();
  length.allow = model::kAllowTextLength;
  length.op = 7;
  length.formula1 = u"=3";
  length.formula2.clear();
  s.validations = {wholeNumberRule(), list, custom, length};
  s.validationBox = {true, 7, 9};
  const auto back = roundTrip(8);
  EXPECT_EQ(back->sheet(0).validations, s.validations);
  EXPECT_EQ(back->sheet(0).validationBox, s.validationBox);
  EXPECT_TRUE(roundTrip(7)->sheet(0).validations.empty());
}

TEST_F(SheetRecordsTest, TruncatedValidationAddsNothing) {
  model::ValidationRule v = wholeNumberRule();
  v.errorMessage = u"too big";
  addSheet(u"Sheet1").validations = {v};
  const Bytes dv = bodiesIn(records(writeWorkbookStream(*book, 8)), 1, rtDV)[0];
  for (size_t n = 0; n <= dv.size(); ++n) {
    Builder b = biff8Globals();
    b.raw(Bytes(dv.begin(), dv.begin() + static_cast<std::ptrdiff_t>(n))).record(rtDV);
    b.record(rtEOF);
    const auto back = readStream(b.out);
    EXPECT_EQ(back->sheet(0).validations.size(), n == dv.size() ? 1u : 0u) << "cut at " << n;
  }
}

// ---- files of other programs ----

std::string runPython(const std::string &script, const std::string &arg) {
  const fs::path py =
      fs::temp_directory_path() / ("cw_rules_" + std::to_string(::getpid()) + ".py");
  { std::ofstream(py) << script; }
  const std::string cmd = "/usr/bin/python3 " + py.string() + " '" + arg + "' 2>&1";
  std::string out;
  if (FILE *p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    ::pclose(p);
  }
  fs::remove(py);
  return out;
}

TEST_F(SheetRecordsTest, ReadsPageSettingsThatXlwtWrites) {
  if (std::system("/usr/bin/python3 -c \"import xlwt\" >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "/usr/bin/python3 has no xlwt";
  const fs::path file =
      fs::temp_directory_path() / ("cw_rules_" + std::to_string(::getpid()) + ".xls");
  const std::string script = R"(
import sys, xlwt
w = xlwt.Workbook()
s = w.add_sheet('Print')
s.write(0, 0, 1)
s.row(3).level = 2
s.print_centered_horz = False
s.print_centered_vert = True
s.fit_num_pages = 1
s.paper_size_code = 9
s.print_scaling = 85
s.fit_width_to_pages = 2
w.save(sys.argv[1])
)";
  const std::string log = runPython(script, file.string());
  std::ifstream in(file, std::ios::binary);
  const Bytes bytes((std::istreambuf_iterator<char>(in)), {});
  fs::remove(file);
  ASSERT_FALSE(bytes.empty()) << log;
  auto back = newBook();
  ASSERT_TRUE(readBinaryWorkbook(bytes, *back));
  const model::PageSetup &p = back->sheet(0).pageSetup;
  EXPECT_FALSE(p.centreHorizontally);
  EXPECT_TRUE(p.centreVertically);
  EXPECT_TRUE(p.fitToPage);
  ASSERT_TRUE(p.hasSetup);
  EXPECT_EQ(p.setup[0] | (p.setup[1] << 8), 9);  // paper size
  EXPECT_EQ(p.setup[2] | (p.setup[3] << 8), 85); // scale
  EXPECT_EQ(p.setup[6] | (p.setup[7] << 8), 2);  // pages across
  EXPECT_EQ(back->sheet(0).guts[2], 3);          // outline levels 0-2
}

#ifdef CELLWICK_CORPUS_DIR
// What real files hold of these records survives being written in their own
// version and read again.
TEST_F(SheetRecordsTest, CorpusRulesSurviveARoundTrip) {
  const fs::path dir = fs::path(CELLWICK_CORPUS_DIR);
  const fs::path manifest = dir / "MANIFEST.tsv";
  if (!fs::exists(manifest))
    GTEST_SKIP() << "no corpus beside the project";
  std::ifstream list(manifest);
  std::string line;
  int files = 0, withRules = 0, withPrinter = 0;
  while (std::getline(list, line)) {
    const int version = line.find("\tBIFF8\t") != std::string::npos   ? 8
                        : line.find("\tBIFF5\t") != std::string::npos ? 7
                                                                      : 0;
    if (version == 0 || line.find("FILEPASS") != std::string::npos)
      continue;
    const std::string name = line.substr(0, line.find('\t'));
    std::ifstream in(dir / "xls" / name, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), {});
    auto first = newBook();
    if (bytes.empty() || !readBinaryWorkbook(bytes, *first))
      continue;
    ++files;
    Bytes written;
    ASSERT_TRUE(writeBinaryWorkbook(*first, version, written)) << name;
    auto second = newBook();
    ASSERT_TRUE(readBinaryWorkbook(written, *second)) << name;
    ASSERT_EQ(first->sheetCount(), second->sheetCount()) << name;
    bool rules = false, printer = false;
    for (int i = 0; i < first->sheetCount(); ++i) {
      const model::Sheet &a = first->sheet(i);
      const model::Sheet &b = second->sheet(i);
      if (!a.hasGrid() || a.kind == model::SheetKind::Module)
        continue;
      const std::string where = name + " sheet " + std::to_string(i);
      rules |= !a.conditionalFormats.empty() || !a.validations.empty() ||
               (a.flags & model::kSheetAutoFilter);
      printer |= !a.pageSetup.printerSettings.empty();
      EXPECT_EQ(a.conditionalFormats, b.conditionalFormats) << where;
      EXPECT_EQ(a.validations, b.validations) << where;
      EXPECT_EQ(a.flags & model::kSheetAutoFilter, b.flags & model::kSheetAutoFilter) << where;
      if (a.flags & model::kSheetAutoFilter) {
        EXPECT_EQ(a.autoFilter.firstRow, b.autoFilter.firstRow) << where;
        EXPECT_EQ(a.autoFilter.lastRow, b.autoFilter.lastRow) << where;
        EXPECT_EQ(a.autoFilter.firstColumn, b.autoFilter.firstColumn) << where;
        EXPECT_EQ(a.autoFilter.lastColumn, b.autoFilter.lastColumn) << where;
      }
      EXPECT_EQ(a.autoFilter.criteria, b.autoFilter.criteria) << where;
      EXPECT_EQ(a.guts, b.guts) << where;
      EXPECT_EQ(a.pageSetup.hasSetup, b.pageSetup.hasSetup) << where;
      EXPECT_EQ(a.pageSetup.setup, b.pageSetup.setup) << where;
      EXPECT_EQ(a.pageSetup.printerSettings, b.pageSetup.printerSettings) << where;
      EXPECT_EQ(a.pageSetup.fitToPage, b.pageSetup.fitToPage) << where;
      EXPECT_EQ(a.pageSetup.gridSet, b.pageSetup.gridSet) << where;
      EXPECT_EQ(a.pageSetup.centreHorizontally, b.pageSetup.centreHorizontally) << where;
      EXPECT_EQ(a.pageSetup.centreVertically, b.pageSetup.centreVertically) << where;
    }
    withRules += rules ? 1 : 0;
    withPrinter += printer ? 1 : 0;
  }
  EXPECT_GT(files, 100);
  EXPECT_GT(withRules, 10) << "files tagged with rules should carry them";
  EXPECT_GT(withPrinter, 10) << "files tagged with page setup should carry printer settings";
}
#endif

} // namespace
} // namespace biff
