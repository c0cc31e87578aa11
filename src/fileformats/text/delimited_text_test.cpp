#include "fileformats/text/delimited_text.h"

#include "formula/recalc.h"
#include "functions/families.h"
#include "model/sheet.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace textfile {
namespace {

using model::ValueKind;

class DelimitedTextTest : public ::testing::Test {
protected:
  void SetUp() override {
    formula::installFormulaEngine();
    functions::registerAllFunctions();
    fresh();
  }
  void fresh() {
    book = std::make_unique<model::Workbook>();
    model::seedWorkbookTables(*book, model::Font{});
    ui.clearShown();
  }
  bool import(std::string_view bytes, DelimitedKind kind = DelimitedKind::Csv,
              DelimitedOptions options = {}) {
    if (!options.codePage)
      options.codePage = 1252;
    return importDelimitedText(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), kind, *book,
        u"data", options);
  }
  model::CellRecord* cell(int row, int column) {
    return model::cell_at(book->sheet(0), static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column));
  }
  std::u16string input(int row, int column) {
    model::CellRecord* c = cell(row, column);
    return c ? std::u16string(c->input.view()) : u"<none>";
  }
  std::u16string numberFormatOf(int row, int column) {
    const model::CellRecord* c = cell(row, column);
    return std::u16string(model::numberFormatCode(
        *book, book->cellFormats[c->formatIndex].numberFormatIndex));
  }
  bool lastMessageWasInvalidData() const {
    return !ui.shown().empty() && ui.shown().back().text == kMessageInvalidData;
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scoped{ui};
  std::unique_ptr<model::Workbook> book;
};

TEST_F(DelimitedTextTest, QuotingWithSemicolonSeparatorReadsAndWritesBack) {
  DelimitedOptions semi;
  semi.separator = u';';
  semi.listSeparator = u';';
  const std::string line = "1;\"a;b\";\"say \"\"hi\"\"\"\r\n";
  ASSERT_TRUE(import(line, DelimitedKind::Csv, semi));
  EXPECT_EQ(cell(0, 0)->value.numberValue(), 1.0);
  EXPECT_EQ(input(0, 1), u"a;b");
  EXPECT_EQ(input(0, 2), u"say \"hi\"");
  semi.codePage = 1252;
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Csv, semi), line);
}

struct ImportCase {
  const char* name;
  std::string bytes;
  std::vector<std::tuple<int, int, std::u16string>> cells; // row, column, input
  size_t cellCount;
};

TEST_F(DelimitedTextTest, FieldAndLineRules) {
  const ImportCase cases[] = {
      {"text after closing quote", "\"ab\"cd,x\n", {{0, 0, u"abcd"}, {0, 1, u"x"}}, 2},
      {"empty fields skip columns", ",,c\n", {{0, 2, u"c"}}, 1},
      {"empty lines skip rows", "a\n\n\r\n\rb", {{0, 0, u"a"}, {4, 0, u"b"}}, 2},
      {"CR LF is one line end", "a\r\nb\r\n", {{0, 0, u"a"}, {1, 0, u"b"}}, 2},
      {"lone CR ends a line", "a\rb", {{0, 0, u"a"}, {1, 0, u"b"}}, 2},
      {"quoted CR LF keeps one line feed", "\"x\r\ny\",z\n", {{0, 0, u"x\ny"}, {0, 1, u"z"}}, 2},
      {"quoted separator", "\"1,5\"\n", {{0, 0, u"1,5"}}, 1},
      {"empty quoted field stores nothing", "\"\",b\n", {{0, 1, u"b"}}, 1},
      {"empty file", "", {}, 0},
      {"high bytes of 1252", "caf\xE9,\x80", {{0, 0, u"café"}, {0, 1, u"€"}}, 2},
      {"UTF-8 byte order mark", "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9", {{0, 0, u"été"}}, 1},
      {"UTF-16 byte order mark", std::string("\xFF\xFE" "a\0,\0b\0", 8), {{0, 0, u"a"}, {0, 1, u"b"}}, 2},
  };
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    ASSERT_TRUE(import(c.bytes));
    EXPECT_EQ(book->sheet(0).cells.count(), c.cellCount);
    for (const auto& [r, col, text] : c.cells)
      EXPECT_EQ(input(r, col), text) << r << "," << col;
    EXPECT_TRUE(ui.shown().empty());
  }
}

TEST_F(DelimitedTextTest, MalformedFilesAreRefusedAndLeaveNoSheet) {
  std::string fields256;
  for (int i = 0; i < 256; ++i)
    fields256 += i ? ",x" : "x";
  std::string lines65536;
  for (int i = 0; i < 65536; ++i)
    lines65536 += "1\n";
  const std::pair<const char*, std::string> bad[] = {
      {"quote inside unquoted field", "ab\"c\n"},
      {"file ends inside quotes", "\"abc\n"},
      {"257 fields", fields256 + ",y\n"},
      {"line end closes line 65,536", lines65536},
  };
  for (const auto& [name, bytes] : bad) {
    SCOPED_TRACE(name);
    fresh();
    EXPECT_FALSE(import(bytes));
    EXPECT_TRUE(lastMessageWasInvalidData());
    EXPECT_TRUE(book->sheets.empty());
  }
  // The limits themselves are fine: 256 fields, and a 65,536th line without a line end.
  fresh();
  ASSERT_TRUE(import(fields256 + "\n"));
  EXPECT_EQ(input(0, 255), u"x");
  fresh();
  lines65536.pop_back();
  ASSERT_TRUE(import(lines65536));
  EXPECT_NE(cell(65535, 0), nullptr);
}

TEST_F(DelimitedTextTest, EntryRulesChooseFormatsAndValues) {
  ASSERT_TRUE(import("12%,1.5%,$3,$3.25,3/14/2024,13:45,1 1/2,x,=1+2,TRUE\n"));
  EXPECT_EQ(numberFormatOf(0, 0), u"0%");
  EXPECT_DOUBLE_EQ(cell(0, 0)->value.numberValue(), 0.12);
  EXPECT_EQ(numberFormatOf(0, 1), u"0.00%");
  EXPECT_EQ(cell(0, 2)->value.numberValue(), 3.0);
  EXPECT_NE(numberFormatOf(0, 2), u"General");
  EXPECT_NE(numberFormatOf(0, 3), numberFormatOf(0, 2)); // two decimals against none
  EXPECT_EQ(cell(0, 4)->value.numberValue(), 45365.0);   // 14 March 2024
  EXPECT_EQ(book->cellFormats[cell(0, 4)->formatIndex].numberFormatIndex, 14);
  EXPECT_EQ(book->cellFormats[cell(0, 5)->formatIndex].numberFormatIndex, 20);
  EXPECT_DOUBLE_EQ(cell(0, 6)->value.numberValue(), 1.5);
  EXPECT_EQ(numberFormatOf(0, 7), u"General");
  EXPECT_EQ(cell(0, 7)->formatIndex, model::kDefaultCellFormat);
  EXPECT_TRUE(cell(0, 8)->isFormula);
  EXPECT_EQ(cell(0, 9)->value.kind(), ValueKind::Boolean);
}

TEST_F(DelimitedTextTest, LineFeedWrapsAndFitsRows) {
  ASSERT_TRUE(import("a,\"two\nlines\"\nb\n"));
  EXPECT_TRUE(book->cellFormats[cell(0, 1)->formatIndex].flags & model::kFormatWrapText);
  EXPECT_FALSE(book->cellFormats[cell(0, 0)->formatIndex].flags & model::kFormatWrapText);
  const auto& rows = book->sheet(0).rows;
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].row, 0);
  EXPECT_GT(rows[0].size, model::kDefaultRowHeight);
}

TEST_F(DelimitedTextTest, DoubleByteCodePage) {
  DelimitedOptions gbk;
  gbk.codePage = 936;
  // "中文" in GBK; 0xB5 0x2C would be a lead byte and a trail byte, never a separator.
  ASSERT_TRUE(import("\xD6\xD0\xCE\xC4,\"\xB1\xED\"\r\n", DelimitedKind::Csv, gbk));
  EXPECT_EQ(input(0, 0), u"中文");
  EXPECT_EQ(input(0, 1), u"表");
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Csv, gbk), "\xD6\xD0\xCE\xC4,\xB1\xED\r\n");
  // A lead byte takes the next byte with it, even a quote ("\x81\"" is one character).
  fresh();
  ASSERT_TRUE(import("\x81\"x\n", DelimitedKind::Csv, gbk));
  EXPECT_EQ(book->sheet(0).cells.count(), 1u);
}

TEST_F(DelimitedTextTest, ExportShapesRowsByKind) {
  ASSERT_TRUE(import("a,b,c,d\n,,x\n"));
  // The second row's only cell is in column C.
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Csv), "a,b,c,d\r\n,,x,\r\n");
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Tab), "a\tb\tc\td\r\n\t\tx\r\n");
  fresh();
  ASSERT_TRUE(import("x\n\n\ty\n", DelimitedKind::Tab));
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Tab), "x\r\n\r\n\ty\r\n");
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Csv), "x,\r\n,\r\n,y\r\n");
}

// A tab inside a cell is quoted in a tab-separated file, or reading the file
// back would split the cell (found by the text fuzzer).
TEST_F(DelimitedTextTest, TabInsideACellSurvivesATabFile) {
  ASSERT_TRUE(import("\"a\tb,x\"y\n", DelimitedKind::Csv));
  const std::string tab = exportDelimitedText(*book, DelimitedKind::Tab);
  EXPECT_EQ(tab, "\"a\tb,xy\"\r\n");
  fresh();
  ASSERT_TRUE(import(tab, DelimitedKind::Tab));
  ASSERT_EQ(book->sheet(0).cells.count(), 1u);
  EXPECT_EQ(model::cell_at(book->sheet(0), 0, 0)->input.view(), u"a\tb,xy");
}

TEST_F(DelimitedTextTest, ExportUsesDisplayOrFormulaText) {
  ASSERT_TRUE(import("2,3,=A1*B1,12%,\"q\"\"t\",\"tab\tin\"\n"));
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Csv), "2,3,6,12%,\"q\"\"t\",tab\tin\r\n");
  book->sheet(0).flags |= model::kSheetShowFormulas;
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Csv),
            "2,3,=A1*B1,12%,\"q\"\"t\",tab\tin\r\n");
  book->sheet(0).flags &= ~model::kSheetShowFormulas;
  book->sheet(0).kind = model::SheetKind::Chart;
  EXPECT_EQ(exportDelimitedText(*book, DelimitedKind::Csv), "");
}

TEST(SheetNameForFileTest, StripsFolderAndExtensionAndBadCharacters) {
  EXPECT_EQ(sheetNameForFile(u"/tmp/dir/report.csv"), u"report");
  EXPECT_EQ(sheetNameForFile(u"C:\\a\\b[1].txt"), u"b_1_");
  EXPECT_EQ(sheetNameForFile(u"/x/" + std::u16string(40, u'n') + u".csv"), std::u16string(31, u'n'));
}

#ifdef CELLWICK_CORPUS_DIR
TEST_F(DelimitedTextTest, CorpusFilesImportOrAreRefused) {
  const std::filesystem::path dir = std::filesystem::path(CELLWICK_CORPUS_DIR) / "csv";
  if (!std::filesystem::is_directory(dir))
    GTEST_SKIP() << "no corpus at " << dir;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (DelimitedKind kind : {DelimitedKind::Csv, DelimitedKind::Tab}) {
      SCOPED_TRACE(entry.path().string());
      fresh();
      if (import(bytes, kind)) {
        EXPECT_EQ(book->sheetCount(), 1);
        EXPECT_TRUE(ui.shown().empty());
        // What was read must survive a write and a second read unchanged.
        const std::string out = exportDelimitedText(*book, kind, {.codePage = 1252});
        std::vector<std::u16string> first;
        book->sheet(0).cells.forEach([&](model::CellRecord& c) { first.push_back(std::u16string(c.input.view())); });
        fresh();
        ASSERT_TRUE(import(out, kind));
        EXPECT_EQ(book->sheet(0).cells.count(), first.size());
      } else {
        EXPECT_TRUE(lastMessageWasInvalidData());
        EXPECT_TRUE(book->sheets.empty());
      }
    }
    ++files;
  }
  EXPECT_GT(files, 0);
}
#endif

} // namespace
} // namespace textfile
