#include "fileformats/biff/workbook_reader.h"

#include "fileformats/compound/compound_file.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
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
