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
    "usage: cellwick-cli dump [--recalc] [--summary] [--objects] FILE\n"
    "Prints one line per stored cell: sheet, address, kind, value, input text and\n"
    "number format, separated by tabs. --recalc recomputes every worksheet first;\n"
    "--summary prints one line per sheet with its cell count instead; --objects\n"
    "prints one line per drawing object instead: sheet, \"object\", its number, kind,\n"
    "the cells its corners lie in, and its text (comments: their cell and author).\n";

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

const char* objectKindName(int kind) {
  switch (kind) {
  case model::kObjectGroup: return "group";
  case model::kObjectLine: return "line";
  case model::kObjectRectangle: return "rectangle";
  case model::kObjectOval: return "oval";
  case model::kObjectArc: return "arc";
  case model::kObjectChart: return "chart";
  case model::kObjectTextBox: return "text box";
  case model::kObjectButton: return "button";
  case model::kObjectPicture: return "picture";
  case model::kObjectPolygon: return "polygon";
  case model::kObjectCheckBox: return "check box";
  case model::kObjectOptionButton: return "option button";
  case model::kObjectLabel: return "label";
  case model::kObjectSpinner: return "spinner";
  case model::kObjectScrollBar: return "scroll bar";
  case model::kObjectListBox: return "list box";
  case model::kObjectGroupBox: return "group box";
  case model::kObjectComboBox: return "combo box";
  case model::kObjectComment: return "comment";
  case model::kObjectOfficeShape: return "shape";
  default: return "unknown";
  }
}

std::string cellName(int row, int column) {
  return platform::toUtf8(formula::columnLetters(static_cast<std::uint8_t>(std::min(column, 255)))) +
         std::to_string(row + 1);
}

void dumpObjects(const std::string& sheetName, const model::Sheet& sheet) {
  for (size_t i = 0; i < sheet.objects.size(); ++i) {
    const model::DrawingObject& o = sheet.objects[i];
    std::string kind = objectKindName(o.kind);
    if (o.kind == model::kObjectOfficeShape)
      kind += " " + std::to_string(o.shapeType);
    if (o.filterArrow)
      kind = "filter arrow";
    std::string where = cellName(o.anchor.first.row, o.anchor.first.column) + ":" +
                        cellName(o.anchor.last.row, o.anchor.last.column);
    if (o.kind == model::kObjectComment)
      where = cellName(o.row, o.column) + "\t" + escaped(o.author);
    std::printf("%s\tobject\t%zu\t%s\t%s\t%s\n", sheetName.c_str(), i + 1, kind.c_str(), where.c_str(),
                escaped(o.text).c_str());
  }
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
  bool recalc = false, summary = false, objects = false;
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
    else if (a == "--objects")
      objects = true;
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
    if (objects) {
      dumpObjects(name, sheet);
      continue;
    }
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
