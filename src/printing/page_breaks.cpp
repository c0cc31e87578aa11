#include "printing/page_breaks.h"

#include "model/drawing_objects.h"
#include "platform/text_metrics.h"

#include <algorithm>

namespace printing {

platform::Rect printableRect(const platform::PrinterCaps& c, int screenDpiX, int screenDpiY) {
  // A negative offset means the printable part starts before the paper: the
  // page's corner is then moved onto the paper.
  platform::Rect r;
  r.left = c.offsetX < 0 ? -c.offsetX : 0;
  r.top = c.offsetY < 0 ? -c.offsetY : 0;
  r.right = c.physicalWidth - std::max(c.physicalWidth - c.printableWidth - c.offsetX, 0) - c.offsetX;
  r.bottom = c.physicalHeight - std::max(c.physicalHeight - c.printableHeight - c.offsetY, 0) - c.offsetY;
  if (screenDpiX > 0)
    r.left += platform::mulDiv(2, c.dpiX, screenDpiX);
  if (screenDpiY > 0)
    r.top += platform::mulDiv(2, c.dpiY, screenDpiY);
  return r;
}

bool printBlock(const model::Sheet& sheet, PrintRange range, model::CellRange& out) {
  model::CellRange used;
  if (!sheet.hasGrid() || !model::usedRange(sheet, used))
    return false;
  if (range == PrintRange::Selection) {
    const auto row = [](std::uint32_t packed) { return static_cast<int>(packed & 0xFFFF); };
    const auto column = [](std::uint32_t packed) { return static_cast<int>((packed >> 16) & 0xFF); };
    out = {static_cast<std::uint16_t>(std::min(row(sheet.selectionFirst), row(sheet.selectionLast))),
           static_cast<std::uint8_t>(std::min(column(sheet.selectionFirst), column(sheet.selectionLast))),
           static_cast<std::uint16_t>(std::max(row(sheet.selectionFirst), row(sheet.selectionLast))),
           static_cast<std::uint8_t>(std::max(column(sheet.selectionFirst), column(sheet.selectionLast)))};
    return true;
  }
  // An embedded chart or a picture beside the data belongs on the paper too.
  int lastRow = used.lastRow, lastColumn = used.lastColumn;
  for (const model::DrawingObject& o : sheet.objects) {
    if (o.kind == model::kObjectComment || o.filterArrow)
      continue;
    lastRow = std::max<int>(lastRow, std::max(o.anchor.first.row, o.anchor.last.row));
    lastColumn = std::max<int>(lastColumn, std::max(o.anchor.first.column, o.anchor.last.column));
  }
  out = {0, 0, static_cast<std::uint16_t>(std::min(lastRow, model::kMaxRow)),
         static_cast<std::uint8_t>(std::min(lastColumn, model::kMaxColumn))};
  return true;
}

namespace {

// Bands over lines first..last: each takes whole shown lines from its start
// while they fit in `room`, at least one, going no further than `reach`.
template <class SizeOf, class NextShown>
std::vector<Band> bandsOf(int first, int last, int reach, int room, SizeOf sizeOf, NextShown nextShown) {
  std::vector<Band> out;
  for (int start = nextShown(first); start <= last;) {
    long long used = 0;
    int end = start;
    for (int line = start; line <= reach; line = nextShown(line + 1)) {
      const int size = sizeOf(line);
      if (line != start && used + size > room)
        break;
      used += size;
      end = line;
    }
    out.push_back({start, end});
    start = nextShown(end + 1);
  }
  return out;
}

} // namespace

model::CellRange PageBreaks::page(std::size_t index) const {
  if (rows.empty() || columns.empty())
    return {};
  const Band& r = rows[index % rows.size()];
  const Band& c = columns[std::min(index / rows.size(), columns.size() - 1)];
  return {static_cast<std::uint16_t>(r.first), static_cast<std::uint8_t>(c.first),
          static_cast<std::uint16_t>(r.last), static_cast<std::uint8_t>(c.last)};
}

PageBreaks breakPages(const model::Sheet& sheet, const model::CellRange& block, bool columnsToSheetEnd,
                      const model::PixelScale& scale, int width, int height) {
  PageBreaks out;
  out.rows = bandsOf(
      block.firstRow, block.lastRow, block.lastRow, height,
      [&](int r) { return model::row_px(sheet, static_cast<std::uint16_t>(r), scale); },
      [&](int r) { return model::nextShownRow(sheet, r); });
  if (out.rows.empty())
    return out;
  out.columns = bandsOf(
      block.firstColumn, block.lastColumn, columnsToSheetEnd ? model::kMaxColumn : block.lastColumn, width,
      [&](int c) { return model::column_px(sheet, static_cast<std::uint8_t>(c), scale); },
      [&](int c) { return model::nextShownColumn(sheet, c); });
  if (out.columns.empty())
    out.rows.clear();
  return out;
}

} // namespace printing
