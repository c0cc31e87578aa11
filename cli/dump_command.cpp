#include "dump_command.h"

#include "fileformats/biff/workbook_reader.h"
#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "functions/families.h"
#include "model/workbook.h"
#include "platform/files.h"
#include "platform/text_metrics.h"
#include "platform/unicode.h"

#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli dump [--recalc] [--summary] FILE\n"
    "Prints one line per stored cell: sheet, address, kind, value, input text and\n"
    "number format, separated by tabs. --recalc recomputes every worksheet first;\n"
    "--summary prints one line per sheet with its cell count instead.\n";

std::string escaped(std::u16string_view text) {
  std::string out;
  for (char c : platform::toUtf8(text)) {
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

const char* kindName(const model::CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Number: return "number";
  case model::ValueKind::String: return "string";
  case model::ValueKind::Boolean: return "boolean";
  case model::ValueKind::Error: return "error";
  default: return "empty";
  }
}

std::string valueText(const model::CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Number: {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v.numberValue());
    return buf;
  }
  case model::ValueKind::String: return escaped(v.stringValue());
  case model::ValueKind::Boolean: return v.booleanValue() ? "TRUE" : "FALSE";
  case model::ValueKind::Error: return platform::toUtf8(model::errorText(v.errorValue()));
  default: return "";
  }
}

} // namespace

int runDumpCommand(int argc, char** argv) {
  bool recalc = false, summary = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--recalc")
      recalc = true;
    else if (a == "--summary")
      summary = true;
    else if (!path)
      path = argv[i];
    else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (!path) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  platform::FileBytes bytes;
  if (!platform::readWholeFile(platform::fromUtf8(path), bytes)) {
    std::fprintf(stderr, "cellwick-cli dump: cannot open '%s'\n", path);
    return 1;
  }
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  model::Workbook book;
  model::seedWorkbookTables(book, model::Font{});
  if (!biff::readBinaryWorkbook(bytes.bytes(), book))
    return 1;
  if (recalc)
    formula::recalcAll(book);
  for (int s = 0; s < book.sheetCount(); ++s) {
    model::Sheet& sheet = book.sheet(s);
    if (!sheet.hasGrid()) {
      if (summary)
        std::printf("%s\tchart sheet\n", escaped(sheet.name).c_str());
      continue;
    }
    const std::string name = escaped(sheet.name);
    if (summary) {
      std::printf("%s\t%zu cells\n", name.c_str(), sheet.cells.count());
      continue;
    }
    sheet.cells.forEach([&](model::CellRecord& c) {
      if (c.calcState == model::CalcState::NotValid)
        formula::computeCell(book, s, c);
      std::string address = platform::toUtf8(formula::columnLetters(c.column));
      address += std::to_string(c.row + 1);
      const std::uint16_t format =
          c.formatIndex < book.cellFormats.size() ? book.cellFormats[c.formatIndex].numberFormatIndex : 0;
      std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", name.c_str(), address.c_str(), kindName(c.value),
                  valueText(c.value).c_str(), escaped(c.input.view()).c_str(),
                  escaped(model::numberFormatCode(book, format)).c_str());
    });
  }
  return 0;
}

} // namespace cli
