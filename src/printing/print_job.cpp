#include "printing/print_job.h"

#include "charts/chart_render.h"
#include "model/set_cell.h"
#include "view/grid_painter.h"

#include <algorithm>

namespace printing {

PrintJob makePrintJob(const model::Workbook& book, const platform::PrinterCaps& caps, int screenDpiX,
                      int screenDpiY) {
  PrintJob job;
  job.caps = caps;
  job.screenDpiX = std::max(1, screenDpiX);
  job.screenDpiY = std::max(1, screenDpiY);
  job.caps.dpiX = std::max(1, caps.dpiX);
  job.caps.dpiY = std::max(1, caps.dpiY);
  job.printable = printableRect(job.caps, job.screenDpiX, job.screenDpiY);
  // The metrics measure at the screen's resolution: a font as many times
  // larger as the printer's pixels are smaller has the printer's widths.
  const platform::TextMetrics& tm = platform::textMetrics();
  platform::FontSpec font = book.fonts.empty() ? tm.defaultFont() : model::fontSpecOf(book.fonts[0]);
  font.heightTwips = platform::mulDiv(font.heightTwips, job.caps.dpiX, tm.logicalPixelsPerInch());
  job.zeroWidth = std::max(1, tm.textWidthPx(font, u"0"));
  job.scale.standardCharWidthPx = job.zeroWidth;
  job.scale.logicalPixelsPerInch = job.caps.dpiY;
  job.fontZoom = std::max(1, platform::mulDiv(100, job.caps.dpiY, tm.logicalPixelsPerInch()));
  job.pixelRatio = std::max(1, platform::mulDiv(1, job.caps.dpiY, job.screenDpiY));
  return job;
}

int rowHeightOnPrinter(const model::Sheet& sheet, int row, const PrintJob& job) {
  if (row < 0 || row > model::kMaxRow)
    return 0;
  return model::row_px(sheet, static_cast<std::uint16_t>(row), job.scale);
}

int columnWidthOnPrinter(const model::Sheet& sheet, int column, const PrintJob& job) {
  if (column < 0 || column > model::kMaxColumn)
    return 0;
  return model::column_px(sheet, static_cast<std::uint8_t>(column), job.scale);
}

void printWorksheetPage(platform::Canvas& canvas, model::Workbook& book, int sheet, const PrintJob& job,
                        const model::CellRange& page) {
  const int margin = job.printable.left - std::max(0, -job.caps.offsetX);
  const view::GridLayout layout = view::pageLayout(book, sheet, page, job.scale, job.fontZoom, job.pixelRatio,
                                                   job.printable, std::max(0, margin));
  if (layout.sheet < 0)
    return;
  view::PaintOverlays overlays;
  overlays.selection = false;
  view::paint(canvas, book, layout, layout.grid, overlays);
}

namespace {

PrintOutcome runPages(platform::PrintDevice& device, int pageCount, const PrintProgress& progress,
                      const std::function<void(platform::Canvas&, int page)>& drawPage) {
  PrintOutcome out;
  if (pageCount <= 0)
    return out;
  if (!device.beginDocument(kDocumentName)) {
    out.status = PrintOutcome::Status::Failed;
    return out;
  }
  for (int i = 0; i < pageCount; ++i) {
    if (progress && !progress(i + 1, pageCount)) {
      device.abortDocument();
      out.status = PrintOutcome::Status::Cancelled;
      return out;
    }
    platform::Canvas* canvas = device.beginPage();
    if (!canvas) {
      device.abortDocument();
      out.status = PrintOutcome::Status::Failed;
      return out;
    }
    drawPage(*canvas, i);
    if (!device.endPage()) {
      device.abortDocument();
      out.status = PrintOutcome::Status::Failed;
      return out;
    }
    ++out.pages;
  }
  out.status = device.endDocument() ? PrintOutcome::Status::Printed : PrintOutcome::Status::Failed;
  return out;
}

} // namespace

PrintOutcome printSheet(platform::PrintDevice& device, model::Workbook& book, int sheet, PrintRange range,
                        int screenDpiX, int screenDpiY, const PrintProgress& progress) {
  if (sheet < 0 || sheet >= book.sheetCount())
    return {};
  const PrintJob job = makePrintJob(book, device.caps(), screenDpiX, screenDpiY);
  if (job.printable.isEmpty())
    return {PrintOutcome::Status::Failed, 0};
  const model::Sheet& s = book.sheet(sheet);
  if (s.kind == model::SheetKind::Chart) {
    const charts::ChartScale ratio{static_cast<double>(job.caps.dpiX) / job.screenDpiX,
                                   static_cast<double>(job.caps.dpiY) / job.screenDpiY};
    return runPages(device, 1, progress, [&](platform::Canvas& canvas, int) {
      canvas.setClip(job.printable);
      charts::drawChartSheet(canvas, book, sheet, job.printable, &ratio);
    });
  }
  if (s.kind != model::SheetKind::Worksheet && s.kind != model::SheetKind::Macro)
    return {};
  model::CellRange block;
  if (!printBlock(s, range, block))
    return {};
  const PageBreaks breaks = breakPages(s, block, range == PrintRange::All, job.scale, job.printable.width(),
                                       job.printable.height());
  const auto count = static_cast<int>(std::min<std::size_t>(breaks.pageCount(), 1u << 30));
  return runPages(device, count, progress, [&](platform::Canvas& canvas, int page) {
    printWorksheetPage(canvas, book, sheet, job, breaks.page(static_cast<std::size_t>(page)));
  });
}

} // namespace printing
