#include "model/set_cell.h"

#include "model/display_text.h"
#include "model/services.h"
#include "platform/memory.h"

#include <algorithm>

namespace model {

platform::FontSpec fontSpecOf(const Font& font) {
  platform::FontSpec spec;
  spec.face = font.face;
  spec.heightTwips = font.heightTwips;
  spec.weight = font.weight;
  spec.italic = (font.attributes & kFontItalic) != 0;
  spec.strikeOut = (font.attributes & kFontStrikeOut) != 0;
  spec.underline = font.underline != 0;
  return spec;
}

const Font& fontOfFormat(const Workbook& book, std::uint16_t formatIndex) {
  static const Font kFallback;
  if (formatIndex >= book.cellFormats.size())
    return book.fonts.empty() ? kFallback : book.fonts[0];
  const std::uint16_t fontIndex = book.cellFormats[formatIndex].fontIndex;
  if (fontIndex < book.fonts.size())
    return book.fonts[fontIndex];
  return book.fonts.empty() ? kFallback : book.fonts[0];
}

PixelScale unzoomedScale() {
  const platform::TextMetrics& tm = platform::textMetrics();
  PixelScale s;
  s.logicalPixelsPerInch = tm.logicalPixelsPerInch();
  // The grid's own measure: a font's average width may differ from its
  // "0", and a column fitted with the one would be drawn too narrow with
  // the other.
  s.standardCharWidthPx = std::max(1, tm.textWidthPx(tm.defaultFont(), u"0"));
  return s;
}

namespace {

bool inMultiRowMerge(const Sheet& sheet, const CellRecord& cell) {
  const int m = merged_range_at(sheet, cell.row, cell.column);
  return m >= 0 && sheet.mergedRanges[static_cast<size_t>(m)].rowCount() > 1;
}

bool isMerged(const Sheet& sheet, const CellRecord& cell) {
  return merged_range_at(sheet, cell.row, cell.column) >= 0;
}

} // namespace

std::vector<TextLine> wrapText(std::u16string_view text, const platform::FontSpec& font, int widthPx,
                               size_t maxLines) {
  const platform::TextMetrics& tm = platform::textMetrics();
  // A character, or a whole surrogate pair.
  const auto unitAt = [&](std::u16string_view s, size_t i) -> size_t {
    return i + 1 < s.size() && (s[i] & 0xFC00) == 0xD800 && (s[i + 1] & 0xFC00) == 0xDC00 ? 2 : 1;
  };
  std::vector<TextLine> lines;
  size_t paragraphStart = 0;
  while (lines.size() < maxLines) {
    const size_t lf = text.find(u'\n', paragraphStart);
    const size_t paragraphEnd = lf == std::u16string_view::npos ? text.size() : lf;
    const std::u16string_view para = text.substr(paragraphStart, paragraphEnd - paragraphStart);
    // Greedy fill: take as many words as fit; a word wider than the line is
    // broken between characters. Widths add up character by character, which
    // keeps long texts linear.
    size_t lineStart = 0;
    while (lines.size() < maxLines) {
      size_t fit = lineStart;
      size_t lastSpace = std::u16string_view::npos;
      int width = 0;
      while (fit < para.size()) {
        const size_t unit = unitAt(para, fit);
        width += tm.textWidthPx(font, para.substr(fit, unit));
        if (width > widthPx)
          break;
        if (para[fit] == u' ')
          lastSpace = fit;
        fit += unit;
      }
      if (fit >= para.size()) {
        lines.push_back({paragraphStart + lineStart, para.size() - lineStart});
        break;
      }
      size_t next;
      if (lastSpace != std::u16string_view::npos && lastSpace > lineStart) {
        lines.push_back({paragraphStart + lineStart, lastSpace - lineStart});
        next = lastSpace + 1;
      } else {
        next = std::max(fit, lineStart + unitAt(para, lineStart));
        lines.push_back({paragraphStart + lineStart, next - lineStart});
      }
      lineStart = next;
      if (lineStart >= para.size())
        break;
    }
    if (lf == std::u16string_view::npos)
      break;
    paragraphStart = lf + 1;
  }
  return lines;
}

int wrappedLineCount(std::u16string_view text, const platform::FontSpec& font, int widthPx) {
  return static_cast<int>(wrapText(text, font, widthPx).size());
}

void fitRowHeights(Workbook& book, int sheetIndex, std::uint16_t first, std::uint16_t last) {
  Sheet& sheet = book.sheet(sheetIndex);
  const platform::TextMetrics& tm = platform::textMetrics();
  const PixelScale scale = unzoomedScale();
  std::vector<int> needed(static_cast<size_t>(last - first + 1), 0);
  // A line of text needs the same height in every cell of one format: the
  // font is measured once per format met in a row, not once per cell.
  int lastFormat = -1;
  int lineTwips = 0;
  sheet.cells.forEachIn(CellRange{first, 0, last, static_cast<std::uint8_t>(kMaxColumn)},
                        [&](CellRecord& cell) {
                          if (inMultiRowMerge(sheet, cell))
                            return;
                          const bool wraps =
                              cell.formatIndex < book.cellFormats.size() &&
                              (book.cellFormats[cell.formatIndex].flags & kFormatWrapText);
                          if (!wraps && cell.formatIndex == lastFormat) {
                            int& slot = needed[static_cast<size_t>(cell.row - first)];
                            slot = std::max(slot, lineTwips);
                            return;
                          }
                          const platform::FontSpec font =
                              fontSpecOf(fontOfFormat(book, cell.formatIndex));
                          int lines = 1;
                          if (wraps && cell.value.isString() && !isMerged(sheet, cell)) {
                            const int width = column_px(sheet, cell.column, scale) - 3;
                            // Wrapped as shown: a text section may add to the string.
                            lines = wrappedLineCount(
                                cell_display_text(book, sheetIndex, cell, -1), font, width);
                          }
                          const int px = lines * tm.fontMetrics(font).heightPx + 1;
                          const int twips =
                              platform::mulDiv(px, 1440, tm.logicalPixelsPerInch());
                          if (!wraps) {
                            lastFormat = cell.formatIndex;
                            lineTwips = twips;
                          }
                          int& slot = needed[static_cast<size_t>(cell.row - first)];
                          slot = std::max(slot, twips);
                        });
  for (int r = first; r <= last; ++r) {
    const auto row = static_cast<std::uint16_t>(r);
    const int height = needed[static_cast<size_t>(r - first)];
    const RowRecord old = row_record(sheet, row);
    if (height == 0) {
      const bool hasRecord = std::any_of(sheet.rows.begin(), sheet.rows.end(),
                                         [&](const RowRecord& rr) { return rr.row == row; });
      if (hasRecord)
        set_row_record(sheet, row, (old.flags | kLineDefaultSize) & ~kLineCustomHeight, old.size);
      continue;
    }
    const int clamped = std::clamp<int>(height, kDefaultRowHeight, kMaxFittedRowHeight);
    // A row the filter hides stays hidden until the filter lets it through.
    const std::uint32_t keep = (old.flags & kLineFilterHidden) ? kLineHidden | kLineFilterHidden : 0;
    set_row_record(sheet, row,
                   (old.flags & ~(kLineDefaultSize | kLineHidden | kLineCustomHeight | kLineFilterHidden)) |
                       (old.flags & keep),
                   static_cast<std::uint16_t>(clamped));
  }
  mark_modified(book);
}

void fitRowsOfRange(Workbook& book, int sheetIndex, const CellRange& r) {
  Sheet& s = book.sheet(sheetIndex);
  CellRange used{};
  const int last = usedRange(s, used) ? std::min<int>(r.lastRow, used.lastRow) : r.firstRow;
  int runStart = -1;
  for (int row = r.firstRow; row <= last + 1; ++row) {
    const bool fit = row <= last && !(row_record(s, static_cast<std::uint16_t>(row)).flags & kLineCustomHeight);
    if (fit && runStart < 0)
      runStart = row;
    if (!fit && runStart >= 0) {
      fitRowHeights(book, sheetIndex, static_cast<std::uint16_t>(runStart), static_cast<std::uint16_t>(row - 1));
      runStart = -1;
    }
  }
}

bool set_cell(Workbook& book, int sheetIndex, std::uint16_t row, std::uint8_t column,
              std::u16string_view input, std::uint16_t formatIndex, bool autofitRow,
              bool propagate) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount() || !book.sheet(sheetIndex).hasGrid())
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  CellRecord* cell = nullptr;
  if (!platform::withAllocation(
          [&] { cell = &storeCellInput(sheet, row, column, input, formatIndex); }))
    return false;
  const ModelServices& services = modelServices();
  // A cell whose precedents could not be stored keeps its input and is
  // computed without them.
  if (services.scanPrecedents)
    (void)platform::withAllocation([&] { services.scanPrecedents(book, sheetIndex, *cell); });
  if (services.computeCell)
    services.computeCell(book, sheetIndex, *cell);
  if (propagate && services.propagateChange)
    services.propagateChange(book, sheetIndex, *cell);
  if (autofitRow && !(row_record(sheet, row).flags & kLineCustomHeight))
    fitRowHeights(book, sheetIndex, row, row);
  return true;
}

} // namespace model
