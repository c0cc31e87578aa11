#include "fileformats/text/delimited_text.h"

#include "formula/recalc.h"
#include "functions/families.h"
#include "model/sheet.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"
#include "model/display_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
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
      {"a 65,537th line with a field", lines65536 + "x"},
      {"a 65,537th line of separators", lines65536 + ",\r\n"},
      {"a 65,537th line after empty ones", lines65536 + "\n\r\nx\n"},
  };
  for (const auto& [name, bytes] : bad) {
    SCOPED_TRACE(name);
    fresh();
    EXPECT_FALSE(import(bytes));
    EXPECT_TRUE(lastMessageWasInvalidData());
    EXPECT_TRUE(book->sheets.empty());
  }
  // The limits themselves are fine: 256 fields, and 65,536 lines with or
  // without a line end after the last (empty lines after it hold nothing).
  fresh();
  ASSERT_TRUE(import(fields256 + "\n"));
  EXPECT_EQ(input(0, 255), u"x");
  for (const std::string_view end : {"", "\n", "\r\n", "\r", "\r\n\r\n\n"}) {
    SCOPED_TRACE(testing::PrintToString(end));
    fresh();
    ASSERT_TRUE(import(lines65536.substr(0, lines65536.size() - 1) + std::string(end)));
    EXPECT_EQ(book->sheet(0).cells.count(), 65536u);
    EXPECT_EQ(input(65535, 0), u"1");
    EXPECT_TRUE(ui.shown().empty());
  }
}

// Export ends every row with CR LF, the last one too: a full-height sheet we
// write must read back.
TEST_F(DelimitedTextTest, FullHeightSheetReadsBackWhatWasWritten) {
  ASSERT_TRUE(import("top,x\n"));
  model::Sheet& sheet = book->sheet(0);
  model::append_cell(sheet.cells, 65535, 1, u"bottom", model::kDefaultCellFormat);
  model::cell_at(sheet, 65535, 1)->value = model::CellValue::string(u"bottom");
  for (DelimitedKind kind : {DelimitedKind::Csv, DelimitedKind::Tab}) {
    const std::string out = exportDelimitedText(*book, kind, {.codePage = 1252});
    ASSERT_TRUE(out.ends_with("bottom\r\n"));
    auto written = std::move(book);
    fresh();
    ASSERT_TRUE(import(out, kind)) << (kind == DelimitedKind::Csv ? "csv" : "tab");
    EXPECT_EQ(input(65535, 1), u"bottom");
    EXPECT_EQ(input(0, 0), u"top");
    EXPECT_TRUE(ui.shown().empty());
    book = std::move(written);
  }
}

struct EncodingCase {
  const char* name;
  std::string bytes;
  int codePage;
  std::vector<std::u16string> row; // the inputs of row 1, from column A
};

// A byte-order mark decides; else bytes that are valid UTF-8 with characters
// beyond ASCII are UTF-8; else the ANSI code page.
TEST_F(DelimitedTextTest, EncodingIsFoundFromTheBytes) {
  const EncodingCase cases[] = {
      {"UTF-8 without a mark under GBK", "\xE5\xBC\xA0\xE4\xB8\x89,\xD0\x9C\xD0\xBE\xD1\x81\n", 936,
       {u"张三", u"Мос"}},
      {"UTF-8 without a mark under 1252", "caf\xC3\xA9", 1252, {u"café"}},
      {"GBK bytes are no UTF-8", "\xD5\xC5\xC8\xFD", 936, {u"张三"}},
      {"1252 bytes are no UTF-8", "caf\xE9", 1252, {u"café"}},
      {"ASCII only", "a,b", 936, {u"a", u"b"}},
      {"an overlong form is no UTF-8", "\xC0\xAF", 1252, {u"À¯"}},
      {"an encoded surrogate is no UTF-8", "\xED\xA0\x80", 1252, {u"í\u00A0€"}},
      {"past U+10FFFF is no UTF-8", "\xF4\x90\x80\x80", 1252, {u"ô\u0090€€"}},
      {"a cut sequence is no UTF-8", "ok\xE5\xBC", 1252, {u"okå¼"}},
      {"four-byte UTF-8", "\xF0\x9F\x98\x80", 1252, {u"\U0001F600"}},
      {"UTF-8 mark under GBK", "\xEF\xBB\xBF\xE4\xB8\xAD", 936, {u"中"}},
      {"UTF-16 LE mark", std::string("\xFF\xFE\x2D\x4E,\0x\0", 8), 1252, {u"中", u"x"}},
      {"UTF-16 BE mark", std::string("\xFE\xFF\x4E\x2D\0,\0x", 8), 1252, {u"中", u"x"}},
      {"UTF-32 LE mark", std::string("\xFF\xFE\0\0\x2D\x4E\0\0,\0\0\0\x00\xF6\x01\0", 16), 1252,
       {u"中", u"\U0001F600"}},
      {"UTF-32 BE mark", std::string("\0\0\xFE\xFF\0\0\x4E\x2D\0\0\0,\0\0\0x", 16), 1252,
       {u"中", u"x"}},
  };
  for (const EncodingCase& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    ASSERT_TRUE(import(c.bytes, DelimitedKind::Csv, {.codePage = c.codePage}));
    EXPECT_EQ(book->sheet(0).cells.count(), c.row.size());
    for (size_t i = 0; i < c.row.size(); ++i)
      EXPECT_EQ(input(0, static_cast<int>(i)), c.row[i]) << i;
  }
  // Asked not to look, every file is in the code page.
  fresh();
  ASSERT_TRUE(import("\xEF\xBB\xBF" "a", DelimitedKind::Csv, {.codePage = 1252, .detectEncoding = false}));
  EXPECT_EQ(input(0, 0), u"ï»¿a");
}

// Characters the code page lacks used to go out as "?"; now the file is
// written in UTF-8 after a byte-order mark, and reads back as it was.
TEST_F(DelimitedTextTest, TextTheCodePageCannotHoldIsWrittenAsUtf8) {
  const struct {
    const char* name;
    int codePage;
    std::u16string row;        // fields of one line, comma-separated
    const char* expected;      // the file
    bool unrepresentable;
  } cases[] = {
      {"Chinese and Russian in 1252", 1252, u"张三,Москва",
       "\xEF\xBB\xBF\xE5\xBC\xA0\xE4\xB8\x89,\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0\r\n", true},
      {"Chinese in GBK", 936, u"张三,x", "\xD5\xC5\xC8\xFD,x\r\n", false},
      {"Thai in GBK", 936, u"中,ไทย", "\xEF\xBB\xBF\xE4\xB8\xAD,\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2\r\n", true},
      {"accents in 1252", 1252, u"café,x", "caf\xE9,x\r\n", false},
      // Code-page bytes that pass for UTF-8 would read back as other text.
      {"1252 text whose bytes are UTF-8", 1252, u"Ã©", "\xEF\xBB\xBF\xC3\x83\xC2\xA9\r\n", false},
      // ... or begin like a byte-order mark (found by the text fuzzer).
      {"1252 text beginning like a UTF-16 mark", 1252, u"ÿþx",
       "\xEF\xBB\xBF\xC3\xBF\xC3\xBEx\r\n", false},
      {"a quoted field", 1252, u"\"张\"\"三\"", "\xEF\xBB\xBF\"\xE5\xBC\xA0\"\"\xE4\xB8\x89\"\r\n", true},
      {"a character outside the first plane", 1252, u"\U0001F600",
       "\xEF\xBB\xBF\xF0\x9F\x98\x80\r\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (DelimitedKind kind : {DelimitedKind::Csv, DelimitedKind::Tab}) {
      const DelimitedOptions options{.codePage = c.codePage};
      fresh();
      const std::string utf8 = platform::toUtf8(c.row);
      ASSERT_TRUE(import("\xEF\xBB\xBF" + utf8, DelimitedKind::Csv, options));
      std::vector<std::u16string> before;
      book->sheet(0).cells.forEach(
          [&](model::CellRecord& cell) { before.emplace_back(cell.input.view()); });
      bool unrepresentable = !c.unrepresentable;
      const std::string out = exportDelimitedText(*book, kind, options, &unrepresentable);
      EXPECT_EQ(unrepresentable, c.unrepresentable);
      std::string expected = c.expected;
      if (kind == DelimitedKind::Tab)
        std::replace(expected.begin(), expected.end(), ',', '\t');
      EXPECT_EQ(out, expected);
      // Both ways: what was written reads back the same.
      fresh();
      ASSERT_TRUE(import(out, kind, options));
      std::vector<std::u16string> after;
      book->sheet(0).cells.forEach(
          [&](model::CellRecord& cell) { after.emplace_back(cell.input.view()); });
      EXPECT_EQ(after, before);
    }
  }
}

TEST_F(DelimitedTextTest, SavingAsUtf8SaysSoOnce) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("cellwick_text_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::u16string path = platform::fromUtf8((dir / "out.csv").string());
  ASSERT_TRUE(import("\xEF\xBB\xBF\xE5\xBC\xA0\xE4\xB8\x89,\xE4\xB8\xAD\n\xE6\x96\x87\n"));
  ui.clearShown();
  ASSERT_TRUE(saveDelimitedText(*book, path, DelimitedKind::Csv, {.codePage = 1252}));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageSavedAsUtf8);
  std::ifstream in(dir / "out.csv", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "\xEF\xBB\xBF\xE5\xBC\xA0\xE4\xB8\x89,\xE4\xB8\xAD\r\n\xE6\x96\x87,\r\n");
  // What the code page holds is saved in it, without a word.
  fresh();
  ASSERT_TRUE(import("caf\xE9\n"));
  ASSERT_TRUE(saveDelimitedText(*book, path, DelimitedKind::Tab, {.codePage = 1252}));
  EXPECT_TRUE(ui.shown().empty());
  std::filesystem::remove_all(dir);
}

// Fields that start like a formula stay live formulas, computed on opening;
// none of them may call out of the program or run a macro.
TEST_F(DelimitedTextTest, FormulasComputeButNeverCallOutOrRunMacros) {
  ASSERT_TRUE(import("=1+2,\"=CALL(\"\"kernel32\"\",\"\"WinExec\"\",\"\"JCJ\"\",\"\"calc\"\",0)\","
                     "\"=ALERT(\"\"hi\"\")\",\"=EXEC(\"\"calc\"\")\",=HALT(),"
                     "\"=REGISTER(\"\"kernel32\"\",\"\"WinExec\"\",\"\"JCJ\"\")\",\"=RUN(\"\"A1\"\")\",=A1*2,"
                     "\"+CALL(\"\"kernel32\"\",\"\"WinExec\"\",\"\"JCJ\"\",\"\"calc\"\",0)\"\n"));
  const struct {
    int column;
    model::CellValue value;
  } kCells[] = {
      {0, model::CellValue::number(3)},
      {1, model::CellValue::error(model::ErrorCode::Value)},
      {2, model::CellValue::boolean(false)},
      {3, model::CellValue::boolean(false)},
      {4, model::CellValue::boolean(false)},
      {5, model::CellValue::boolean(false)},
      {6, model::CellValue::boolean(false)},
      {7, model::CellValue::number(6)},
      {8, model::CellValue::error(model::ErrorCode::Value)}, // the other formula start
  };
  for (const auto& c : kCells) {
    SCOPED_TRACE(c.column);
    model::CellRecord* rec = cell(0, c.column);
    ASSERT_NE(rec, nullptr);
    EXPECT_TRUE(rec->isFormula);
    EXPECT_EQ(model::cell_plain_text(*book, 0, *rec), model::cell_display_text(*book, 0, *rec, -1));
    EXPECT_EQ(rec->value, c.value);
  }
  EXPECT_TRUE(ui.shown().empty());
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

// A lead byte before a quoted field's CR LF takes the CR, which is no trail
// byte: the pair turns into a replacement character and the CR stays in the
// cell before the line feed. Written back, that CR LF is one line break and
// reads as one line feed (found by the text fuzzer).
TEST_F(DelimitedTextTest, LeadByteBeforeALineBreakInAQuotedField) {
  DelimitedOptions gbk;
  gbk.codePage = 936;
  ASSERT_TRUE(import("\"\xF4\r\nx\",y\r\n", DelimitedKind::Csv, gbk));
  EXPECT_EQ(input(0, 0), u"\uFFFD\r\nx");
  EXPECT_EQ(input(0, 1), u"y");
  // The replacement character has no GBK bytes, so the file is UTF-8.
  const std::string out = exportDelimitedText(*book, DelimitedKind::Csv, gbk);
  EXPECT_EQ(out, "\xEF\xBB\xBF\"\xEF\xBF\xBD\r\nx\",y\r\n");
  fresh();
  ASSERT_TRUE(import(out, DelimitedKind::Csv, gbk));
  EXPECT_EQ(input(0, 0), u"\uFFFD\nx");
  EXPECT_EQ(input(0, 1), u"y");
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
