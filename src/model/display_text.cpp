#include "model/display_text.h"

#include "model/services.h"
#include "model/set_cell.h"
#include "numfmt/number_format.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/text_metrics.h"

#include <algorithm>
#include <vector>

namespace model {

namespace {

// Room kept between a cell's text and its gridlines.
constexpr int kTextMarginPx = 3;
constexpr int kMaxColumnChars = 255;

bool validSheet(const Workbook& book, int sheet) {
  return sheet >= 0 && sheet < book.sheetCount() && book.sheet(sheet).hasGrid();
}

const CellFormat* cellFormatAt(const Workbook& book, std::uint16_t index) {
  return index < book.cellFormats.size() ? &book.cellFormats[index] : nullptr;
}

// Whether the format's text for this value changes with the room it is given:
// General shrinks to it and "*" fills it.
bool dependsOnWidth(const numfmt::CompiledFormat& f, const CellValue& value) {
  using numfmt::SectionKind;
  if (value.isNumber()) {
    // General stands in for the sections unless the first is plain and the
    // second has no condition (see the section choice of the engine).
    if (f.sections[0].kind != SectionKind::Plain || f.sections[1].kind == SectionKind::Conditional)
      return true;
    for (size_t i = 0; i < 3; ++i)
      if (f.sections[i].kind >= SectionKind::Plain &&
          (f.compiled[i].needsValue || f.compiled[i].hasFill))
        return true;
    return false;
  }
  if (value.isString())
    return f.sections[3].kind >= SectionKind::Plain &&
           f.sections[3].text.find(u'*') != std::u16string::npos;
  return false;
}

// Whether the format shows every number as its General text: no code at
// all, or General alone with neither colour nor condition.
bool isPlainGeneral(const numfmt::CompiledFormat& f) {
  using numfmt::SectionKind;
  const numfmt::FormatSection& first = f.sections[0];
  if (first.kind == SectionKind::Absent)
    return true;
  return first.kind == SectionKind::Plain && first.colour == numfmt::kNoColour &&
         f.sections[1].kind == SectionKind::Absent && first.text == u"General";
}

// Widths come at the sheet's zoom, so the text is measured at it too.
platform::FontSpec zoomedFont(const Workbook& book, int sheetIndex, const CellRecord& cell) {
  const Font& font = fontOfFormat(book, cell.formatIndex);
  platform::FontSpec spec = fontSpecOf(font);
  const int zoom = validSheet(book, sheetIndex) ? book.sheet(sheetIndex).zoom : 100;
  if (zoom > 0 && zoom != 100)
    spec.heightTwips = platform::mulDiv(font.heightTwips, zoom, 100);
  return spec;
}

// The engine's result is reused across calls, so formatting a screen of
// numbers allocates only the cells' own copies of their texts.
numfmt::FormatResult& scratchResult() {
  static thread_local numfmt::FormatResult result;
  return result;
}

// The text of the cell's value, fitted to `availableWidth` as measured in
// `font` (null: the cell's own font at the sheet's zoom); a section colour,
// when the format sets one, goes to `colour`. The view may point into a
// buffer the next call reuses.
std::u16string_view buildText(const Workbook& book, int sheetIndex, const CellRecord& cell,
                              int availableWidth, const platform::FontSpec* font,
                              const numfmt::CompiledFormat& format, std::int16_t& colour) {
  const CellValue& value = cell.value;
  switch (value.kind()) {
  case ValueKind::Number:
  case ValueKind::String: {
    numfmt::FormatOptions options;
    options.date1904 = book.date1904 != 0;
    if (availableWidth >= 0) {
      options.availableWidthPx = availableWidth;
      options.font = font ? *font : zoomedFont(book, sheetIndex, cell);
    }
    numfmt::FormatResult& result = scratchResult();
    if (value.isNumber())
      numfmt::formatNumber(value.numberValue(), format, options, result);
    else
      result = numfmt::formatText(std::u16string_view(value.stringValue()), format, options);
    if (result.hasColour())
      colour = static_cast<std::int16_t>(result.paletteIndex());
    return result.text;
  }
  case ValueKind::Boolean:
    return value.booleanValue() ? u"TRUE" : u"FALSE";
  case ValueKind::Error:
    return errorText(value.errorValue());
  default:
    // Empty, and the evaluator's kinds that never stay in a cell.
    return {};
  }
}

// Brings the cell's value up to date and gives its number format; `cached`
// says whether the text kept in the cell is the one to show.
const numfmt::CompiledFormat& prepareCell(Workbook& book, int sheetIndex, CellRecord& cell,
                                          bool& cached) {
  if (cell.calcState < CalcState::ValueValid && validSheet(book, sheetIndex)) {
    const ModelServices& services = modelServices();
    if (services.computeCell)
      services.computeCell(book, sheetIndex, cell);
  }
  const CellFormat* cf = cellFormatAt(book, cell.formatIndex);
  const numfmt::CompiledFormat& format =
      compiledNumberFormat(book, cf ? cf->numberFormatIndex : std::uint16_t{0});
  cached = cell.calcState == CalcState::DisplayValid && !dependsOnWidth(format, cell.value);
  return format;
}

std::u16string_view displayText(Workbook& book, int sheetIndex, CellRecord& cell,
                                int availableWidth, const platform::FontSpec* font) {
  bool cached = false;
  const numfmt::CompiledFormat& format = prepareCell(book, sheetIndex, cell, cached);
  if (cached)
    return cell.display.view();

  std::int16_t colour = static_cast<std::int16_t>(fontOfFormat(book, cell.formatIndex).colourIndex);
  const std::u16string_view text =
      buildText(book, sheetIndex, cell, availableWidth, font, format, colour);
  cell.displayColour = colour;
  if (text.empty()) {
    cell.display.reset();
  } else if (!platform::withAllocation([&] { cell.display.assign(text); })) {
    // Without memory the old text stays, and so does the state that says it
    // is stale, so the next paint tries again.
    if (cell.calcState == CalcState::DisplayValid)
      cell.calcState = CalcState::ValueValid;
    return cell.display.view();
  }
  // A cell still being computed (a loop reached it) keeps its mark.
  if (cell.calcState != CalcState::OnPath)
    cell.calcState = CalcState::DisplayValid;
  return cell.display.view();
}

} // namespace

std::u16string_view cell_display_text(Workbook& book, int sheetIndex, CellRecord& cell,
                                      int availableWidth) {
  return displayText(book, sheetIndex, cell, availableWidth, nullptr);
}

std::u16string_view cell_plain_text(Workbook& book, int sheetIndex, CellRecord& cell) {
  bool cached = false;
  const numfmt::CompiledFormat& format = prepareCell(book, sheetIndex, cell, cached);
  if (cached)
    return cell.display.view();
  // A string shows as it is unless the format has a text section.
  if (cell.value.isString() && format.sections[3].kind < numfmt::SectionKind::Plain)
    return cell.value.stringValue();
  // A number in plain General is its General text, signed: the bulk of most
  // sheets, written without going through the sections.
  if (cell.value.isNumber() && isPlainGeneral(format)) {
    std::u16string& text = scratchResult().text;
    numfmt::generalText(cell.value.numberValue(), 15, platform::localeStrings(), text);
    return text;
  }
  std::int16_t colour = 0;
  return buildText(book, sheetIndex, cell, -1, nullptr, format, colour);
}

std::u16string_view cell_fitted_text(Workbook& book, int sheetIndex, CellRecord& cell,
                                     int availableWidth, const platform::FontSpec* drawnIn) {
  const std::u16string_view text = displayText(book, sheetIndex, cell, availableWidth, drawnIn);
  if (availableWidth < 0 || !cell.value.isNumber())
    return text;
  static thread_local std::u16string hashes;
  return numfmt::fitNumberText(text, availableWidth, platform::textMetrics(),
                               drawnIn ? *drawnIn : zoomedFont(book, sheetIndex, cell), hashes);
}

int availableWidthPx(const Workbook& book, int sheetIndex, const CellRecord& cell,
                     const PixelScale& scale) {
  if (!validSheet(book, sheetIndex))
    return 0;
  const Sheet& sheet = book.sheet(sheetIndex);
  int width = 0;
  const int merged = merged_range_at(sheet, cell.row, cell.column);
  const CellFormat* cf = cellFormatAt(book, cell.formatIndex);
  if (merged >= 0) {
    const CellRange& m = sheet.mergedRanges[static_cast<size_t>(merged)];
    for (int c = m.firstColumn; c <= m.lastColumn; ++c)
      width += column_px(sheet, static_cast<std::uint8_t>(c), scale);
  } else {
    width = column_px(sheet, cell.column, scale);
    if (cf && cf->horizontalAlignment == kAlignCentreAcrossSelection) {
      for (int c = cell.column + 1; c <= kMaxColumn; ++c) {
        const auto column = static_cast<std::uint8_t>(c);
        const CellRecord* next = cell_at(sheet, cell.row, column);
        // An absent cell has its column's default format.
        const std::uint16_t formatIndex =
            next ? next->formatIndex : column_record(sheet, column).formatIndex;
        const CellFormat* nf = cellFormatAt(book, formatIndex);
        if ((next && !next->value.isEmpty()) || !nf ||
            nf->horizontalAlignment != kAlignCentreAcrossSelection)
          break;
        width += column_px(sheet, column, scale);
      }
    }
  }
  return std::max(0, width - kTextMarginPx);
}

void fitColumnWidths(Workbook& book, int sheetIndex, std::uint8_t firstColumn,
                     std::uint8_t lastColumn, std::uint16_t firstRow, std::uint16_t lastRow) {
  if (!validSheet(book, sheetIndex) || firstColumn > lastColumn || firstRow > lastRow)
    return;
  Sheet& sheet = book.sheet(sheetIndex);
  const platform::TextMetrics& tm = platform::textMetrics();
  const int charPx = unzoomedScale().standardCharWidthPx;
  if (charPx <= 0)
    return;
  const bool showFormulas = (sheet.flags & kSheetShowFormulas) != 0;
  std::vector<int> widest(static_cast<size_t>(lastColumn - firstColumn + 1), -1);
  sheet.cells.forEachIn(CellRange{firstRow, firstColumn, lastRow, lastColumn}, [&](CellRecord& cell) {
    const int merged = merged_range_at(sheet, cell.row, cell.column);
    if (merged >= 0 && sheet.mergedRanges[static_cast<size_t>(merged)].columnCount() > 1)
      return;
    const std::u16string_view text =
        showFormulas ? cell.input.view() : cell_display_text(book, sheetIndex, cell, -1);
    if (text.empty())
      return;
    const int px = tm.textWidthPx(fontSpecOf(fontOfFormat(book, cell.formatIndex)), text);
    int& slot = widest[static_cast<size_t>(cell.column - firstColumn)];
    slot = std::max(slot, px);
  });
  bool changed = false;
  for (int c = firstColumn; c <= lastColumn; ++c) {
    const int px = widest[static_cast<size_t>(c - firstColumn)];
    if (px < 0)
      continue;
    const double chars =
        std::min(static_cast<double>(px + kTextMarginPx) / charPx, double{kMaxColumnChars});
    const auto size = static_cast<std::uint16_t>(chars * 256 + 0.5);
    const auto column = static_cast<std::uint8_t>(c);
    const ColumnRecord old = column_record(sheet, column);
    set_column_record(sheet, column, old.flags & ~(kLineDefaultSize | kLineHidden), size);
    changed = true;
  }
  if (changed)
    mark_modified(book);
}

} // namespace model
