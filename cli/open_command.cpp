#include "open_command.h"
#include "session.h"

#include "model/workbook_list.h"
#include "platform/unicode.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli open FILE\n"
    "Opens FILE (.xls, .xlt, .pxl, .csv or .txt) the way the desktop program does,\n"
    "reads every stored cell and prints one line per sheet: name, cells, numbers,\n"
    "strings, other cells and the characters of their input texts, then the totals.\n"
    "Made for timing whole-process opens.\n";

struct Counts {
  size_t cells = 0, numbers = 0, strings = 0, other = 0, inputChars = 0;
  void add(const Counts& c) {
    cells += c.cells;
    numbers += c.numbers;
    strings += c.strings;
    other += c.other;
    inputChars += c.inputChars;
  }
};

void print(const std::string& name, const Counts& c) {
  std::printf("%s\t%zu cells\t%zu numbers\t%zu strings\t%zu other\t%zu input characters\n",
              name.c_str(), c.cells, c.numbers, c.strings, c.other, c.inputChars);
}

} // namespace

int runOpenCommand(int argc, char** argv) {
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (file || (!a.empty() && a[0] == '-')) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    file = argv[i];
  }
  if (!file) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Session session;
  const model::Workbook* opened = session.open("open", file);
  if (!opened)
    return 1;
  const model::Workbook& book = *opened;
  Counts total;
  for (int s = 0; s < book.sheetCount(); ++s) {
    const model::Sheet& sheet = book.sheet(s);
    Counts counts;
    sheet.cells.forEach([&](const model::CellRecord& c) {
      ++counts.cells;
      counts.inputChars += c.input.size();
      if (c.value.isNumber())
        ++counts.numbers;
      else if (c.value.isString())
        ++counts.strings;
      else
        ++counts.other;
    });
    print(platform::toUtf8(sheet.name), counts);
    total.add(counts);
  }
  print("total", total);
  return 0;
}

} // namespace cli
