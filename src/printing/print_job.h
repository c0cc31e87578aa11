#pragma once
// Printing a sheet: a worksheet or macro sheet as pages of its cells, a
// chart sheet as one page with its chart. Pages are the size the screen
// shows at 100 %: rows and columns are measured on the printer (twips at
// its resolution, character widths with the workbook's default font at its
// resolution), and the one grid painter draws each page in printer pixels.

#include "model/workbook.h"
#include "platform/printer.h"
#include "printing/page_breaks.h"

#include <functional>
#include <string_view>

namespace printing {

/// What one print command works with.
struct PrintJob {
  platform::PrinterCaps caps;
  int screenDpiX = 96;
  int screenDpiY = 96;
  platform::Rect printable;  // printer pixels, from the printable part's corner
  int zeroWidth = 1;         // of "0" in the workbook's default font, printer pixels
  model::PixelScale scale;   // rows and columns on the printer
  int fontZoom = 100;        // percent that takes a font from the screen to the printer
  int pixelRatio = 1;        // printer pixels per screen pixel, for lines
};

/// Measures the printer and the workbook's default font for a job.
PrintJob makePrintJob(const model::Workbook& book, const platform::PrinterCaps& caps, int screenDpiX,
                      int screenDpiY);

/// A row's height and a column's width on the printer: twips at the
/// printer's vertical resolution, 1/256 characters in widths of "0".
int rowHeightOnPrinter(const model::Sheet& sheet, int row, const PrintJob& job);
int columnWidthOnPrinter(const model::Sheet& sheet, int column, const PrintJob& job);

/// Draws the cells of `page` (rows and columns of a worksheet) at the top
/// left of the printable rectangle: fills, borders or grey gridlines, texts
/// by the grid's rules with their conditional formats, and the drawing
/// objects over them, cut at the page's edges.
void printWorksheetPage(platform::Canvas& canvas, model::Workbook& book, int sheet, const PrintJob& job,
                        const model::CellRange& page);

/// The name the print spooler shows for a document.
inline constexpr std::u16string_view kDocumentName = u"Cellwick";

struct PrintOutcome {
  enum class Status {
    Printed,   // every page went to the printer
    Empty,     // the sheet prints no pages; no document was started
    Cancelled, // the user stopped it; the document was thrown away
    Failed,    // the printer refused a document or a page
  };
  Status status = Status::Empty;
  int pages = 0; // pages finished
};

/// Called before each page with its number (from 1) and the page count;
/// returning false cancels the job.
using PrintProgress = std::function<bool(int page, int pageCount)>;

/// Prints a sheet of the workbook on the device: the worksheet's pages of
/// `range`, or a chart sheet's one page, its chart filling the printable
/// area at the screen's sizes. Other sheets, and sheets without cells, print
/// nothing and start no document.
PrintOutcome printSheet(platform::PrintDevice& device, model::Workbook& book, int sheet, PrintRange range,
                        int screenDpiX, int screenDpiY, const PrintProgress& progress = {});

} // namespace printing
