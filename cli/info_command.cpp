#include "info_command.h"

#include "model/workbook_list.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <string>

namespace cli {
namespace {

std::string u8(std::u16string_view s) { return platform::toUtf8(s); }

const char* kindName(model::SheetKind k) {
  switch (k) {
  case model::SheetKind::Worksheet: return "worksheet";
  case model::SheetKind::Chart: return "chart";
  case model::SheetKind::Macro: return "macro";
  case model::SheetKind::Module: return "module";
  }
  return "?";
}

} // namespace

int runInfoCommand(std::FILE* out) {
  model::WorkbookList books;
  if (!books.new_workbook(nullptr))
    return 1;
  const model::Workbook& b = *books.active();
  const platform::LocaleStrings& loc = platform::localeStrings();

  std::fprintf(out, "workbook\t%s\nlocale\t%s\ncode page\t%u\n1904 dates\t%s\n", u8(b.path).c_str(),
               loc.localeId.c_str(), b.codePage, b.date1904 ? "yes" : "no");

  std::fprintf(out, "\nfonts\t%zu\n", b.fonts.size());
  for (size_t i = 0; i < b.fonts.size(); ++i) {
    const model::Font& f = b.fonts[i];
    std::fprintf(out, "  %zu\t%s\t%u twips\tweight %u\tcolour 0x%04X\tattributes 0x%04X\n", i,
                 u8(f.face).c_str(), f.heightTwips, f.weight, f.colourIndex, f.attributes);
  }

  std::fprintf(out, "\ncell formats\t%zu\n", b.cellFormats.size());
  for (size_t i = 0; i < b.cellFormats.size(); ++i) {
    const model::CellFormat& f = b.cellFormats[i];
    std::fprintf(out, "  %zu\tfont %u\tnumber format %u\tflags 0x%X%s\n", i, f.fontIndex,
                 f.numberFormatIndex, f.flags, i == model::kDefaultCellFormat ? "\t(default)" : "");
  }

  std::fprintf(out, "\nstyles\t%zu\n", b.styles.size());
  for (const model::StyleRecord& s : b.styles)
    std::fprintf(out, "  cell format %u\tbuilt-in style %u\tlevel %u\n", s.cellFormat & 0x7FFF,
                 s.builtinStyle, s.outlineLevel);

  std::fprintf(out, "\nnumber formats\t%zu\n", b.numberFormats.size());
  for (const model::NumberFormat& f : b.numberFormats)
    std::fprintf(out, "  %u\t%s%s\n", f.index, u8(f.code).c_str(),
                 (f.flags & model::kNumberFormatBuiltin) ? "" : "\t(added)");

  std::fprintf(out, "\nsheets\t%d\n", b.sheetCount());
  for (int i = 0; i < b.sheetCount(); ++i) {
    const model::Sheet& s = b.sheet(i);
    std::fprintf(out, "  %d\t%s\t%s\tflags 0x%02X\tzoom %u%s\n", i, u8(s.name).c_str(),
                 kindName(s.kind), s.flags, s.zoom, i == b.activeSheet ? "\t(active)" : "");
  }
  return 0;
}

} // namespace cli
