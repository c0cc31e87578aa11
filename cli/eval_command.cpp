#include "eval_command.h"
#include "session.h"

#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "fileformats/open_save.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "numfmt/number_format.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli eval [--locale L] [--date1904] [--file FILE] [--set A1=TEXT]... FORMULA\n"
    "Opens FILE (or a new workbook), enters each --set cell on its first sheet as\n"
    "typed, then prints the value of FORMULA, computed on that sheet, as the grid\n"
    "shows it in the General format.\n";

int usage(const char* problem) {
  if (problem)
    std::fprintf(stderr, "cellwick-cli eval: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

std::string displayText(const model::CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Number:
    return platform::toUtf8(numfmt::formatNumber(v.numberValue(), u"General").text);
  case model::ValueKind::String: return platform::toUtf8(v.stringValue());
  case model::ValueKind::Boolean: return v.booleanValue() ? "TRUE" : "FALSE";
  case model::ValueKind::Error: return platform::toUtf8(model::errorText(v.errorValue()));
  default: return "";
  }
}

} // namespace

int runEvalCommand(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> cells;
  std::string formula;
  bool haveFormula = false, date1904 = false;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--locale" && i + 1 < argc) {
      platform::setLocaleStrings(platform::loadLocaleStrings(argv[++i]));
    } else if (a == "--file" && i + 1 < argc) {
      file = argv[++i];
    } else if (a == "--date1904") {
      date1904 = true;
    } else if (a == "--set" && i + 1 < argc) {
      const std::string s = argv[++i];
      const size_t eq = s.find('=');
      if (eq == std::string::npos || eq == 0)
        return usage("--set needs CELL=TEXT");
      cells.emplace_back(s.substr(0, eq), s.substr(eq + 1));
    } else if (!haveFormula && (a.size() < 2 || a.substr(0, 2) != "--")) {
      formula = a;
      haveFormula = true;
    } else {
      return usage(("unexpected argument '" + std::string(a) + "'").c_str());
    }
  }
  if (!haveFormula)
    return usage("no formula given");

  Session session;
  if (!file.empty()) {
    if (!session.open("eval", file))
      return 1;
  } else if (!session.books.new_workbook(nullptr)) {
    return 1;
  }
  model::Workbook& book = *session.books.active();
  if (date1904)
    book.date1904 = 1;
  // The formula is read on the first sheet that holds cells.
  int sheet = 0;
  while (sheet + 1 < book.sheetCount() && !book.sheet(sheet).hasGrid())
    ++sheet;
  const char16_t ls = platform::localeStrings().listSeparator.empty()
                          ? u','
                          : platform::localeStrings().listSeparator[0];
  for (const auto& [address, text] : cells) {
    const std::u16string a = platform::fromUtf8(address);
    formula::ParsedReference ref;
    if (!formula::readA1Reference(a, 0, &book, ls, ref) || ref.end != a.size() || ref.isArea) {
      std::fprintf(stderr, "cellwick-cli eval: '%s' is not a cell address\n", address.c_str());
      return 2;
    }
    if (!model::set_cell(book, sheet, static_cast<std::uint16_t>(ref.first.row),
                         static_cast<std::uint8_t>(ref.first.column), platform::fromUtf8(text), 15,
                         false, true))
      return 1;
  }
  // The formula goes into the sheet's last cell, where it names nothing by accident.
  constexpr std::uint16_t kRow = model::kMaxRow;
  constexpr std::uint8_t kColumn = model::kMaxColumn;
  if (!model::set_cell(book, sheet, kRow, kColumn, platform::fromUtf8(formula), 15, false, false))
    return 1;
  model::CellRecord* cell = model::cell_at(book.sheet(sheet), kRow, kColumn);
  formula::computeCell(book, sheet, *cell);
  std::printf("%s\n", displayText(cell->value).c_str());
  return 0;
}

} // namespace cli
