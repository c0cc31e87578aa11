#include "app/command_table.h"

#include "fileformats/open_save.h"
#include "model/workbook_list.h"
#include "platform/printer.h"
#include "platform/ui_services.h"
#include "platform/text_metrics.h"
#include "platform/unicode.h"
#include "printing/print_job.h"

#include <string>

namespace app {

void printCommand(App& app, int) {
  model::Workbook* book = app.book();
  if (!book || book->activeSheet < 0 || book->activeSheet >= book->sheetCount())
    return;
  platform::PrintServices& services = platform::printServices();
  bool selectionOnly = false;
  std::unique_ptr<platform::PrintDevice> device = services.askPrinter(selectionOnly);
  if (!device)
    return;
  // The box is modal and shows between pages only: nothing else of the
  // program runs while the pages are drawn, so the workbook and its sheet
  // stay as they were when the job began.
  bool boxOpen = false; // opened with the first page: an empty sheet prints none
  const int dpi = platform::textMetrics().logicalPixelsPerInch();
  const printing::PrintOutcome outcome = printing::printSheet(*device, *book, book->activeSheet,
                             selectionOnly ? printing::PrintRange::Selection : printing::PrintRange::All, dpi,
                             dpi, [&](int page, int) {
                               if (!boxOpen)
                                 services.beginPrintProgress(u"打印", u"取消");
                               boxOpen = true;
                               std::u16string text = u"正在打印第 ";
                               text += platform::fromUtf8(std::to_string(page));
                               text += u" 页…";
                               return services.printProgress(text);
                             });
  if (boxOpen)
    services.endPrintProgress();
  // A printer that fails says so itself; a file that cannot be written is
  // only noticed here, and silence would read as a printed document.
  if (outcome.status == printing::PrintOutcome::Status::Failed && !device->outputFile().empty())
    platform::ui().messageBox(model::formatMessage(fileformats::kMessageCannotSaveFile, device->outputFile()),
                              std::nullopt, platform::MessageButtons::Ok, platform::MessageIcon::None);
}

} // namespace app
