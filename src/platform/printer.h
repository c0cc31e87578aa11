#pragma once
// A printer as the print command sees it: its resolution and page geometry,
// and a document of pages, each drawn through a canvas in printer pixels.
// The desktop program prints through Qt's printer, the command-line tool
// writes a PDF file; tests record the pages.

#include "platform/canvas.h"
#include "platform/recording_canvas.h"

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// The page of a printer in its own pixels: the whole sheet of paper, where
/// the printable part starts on it and how large that part is. The canvas of
/// a page has its origin at the printable part's top left corner.
struct PrinterCaps {
  int dpiX = 300;
  int dpiY = 300;
  int physicalWidth = 0;
  int physicalHeight = 0;
  int offsetX = 0;
  int offsetY = 0;
  int printableWidth = 0;
  int printableHeight = 0;
};

class PrintDevice {
public:
  virtual ~PrintDevice() = default;
  virtual PrinterCaps caps() const = 0;
  /// Starts the document under the name; false when the printer refuses.
  [[nodiscard]] virtual bool beginDocument(std::u16string_view name) = 0;
  /// Starts the next page and returns its canvas, valid until endPage; null
  /// when the page could not be started.
  virtual Canvas* beginPage() = 0;
  [[nodiscard]] virtual bool endPage() = 0;
  /// Finishes the document; false when it could not be completed.
  [[nodiscard]] virtual bool endDocument() = 0;
  /// Throws away a document that was begun (the job was cancelled or failed).
  virtual void abortDocument() = 0;
  /// The file the pages go to when the user printed to a file; empty for a
  /// printer. A failure writing it is the user's to hear about.
  virtual std::u16string outputFile() const { return {}; }
};

/// Keeps every page as a RecordingCanvas, for tests.
class RecordingPrintDevice final : public PrintDevice {
public:
  explicit RecordingPrintDevice(const PrinterCaps& caps) : m_caps(caps) {}
  PrinterCaps caps() const override { return m_caps; }
  bool beginDocument(std::u16string_view name) override;
  Canvas* beginPage() override;
  bool endPage() override { return static_cast<int>(pages.size()) != failingPage; }
  bool endDocument() override;
  void abortDocument() override { aborted = true; }
  std::u16string outputFile() const override { return file; }

  std::u16string name;
  std::u16string file; // as if printing to this file
  bool begun = false, ended = false, aborted = false;
  bool refuseBegin = false;
  int failingPage = -1; // endPage of this page (from 1) fails
  std::vector<std::unique_ptr<RecordingCanvas>> pages;

private:
  PrinterCaps m_caps;
};

/// What the print command asks of the window system: the print dialog and
/// the modal box that shows the job's progress.
class PrintServices {
public:
  virtual ~PrintServices() = default;
  /// Shows the print dialog, offering all pages or the selection; sets
  /// `selectionOnly` and returns the chosen printer, or null when the user
  /// cancelled.
  virtual std::unique_ptr<PrintDevice> askPrinter(bool& selectionOnly) = 0;
  /// Opens the modal progress box with its caption and its cancel button's
  /// text; while it is open the user can do nothing but cancel.
  virtual void beginPrintProgress(std::u16string_view caption, std::u16string_view cancel) = 0;
  /// Shows the text; false once the user has cancelled.
  virtual bool printProgress(std::u16string_view text) = 0;
  virtual void endPrintProgress() = 0;
};

/// Without a window: the dialog gives the devices queued by a test (else
/// it is cancelled), and progress texts are recorded.
class HeadlessPrintServices final : public PrintServices {
public:
  std::unique_ptr<PrintDevice> askPrinter(bool& selectionOnly) override;
  void beginPrintProgress(std::u16string_view caption, std::u16string_view cancel) override;
  bool printProgress(std::u16string_view text) override;
  void endPrintProgress() override { progressOpen = false; }

  struct Answer {
    std::unique_ptr<PrintDevice> device; // null: the dialog is cancelled
    bool selectionOnly = false;
  };
  std::deque<Answer> answers;
  int dialogsShown = 0;
  std::u16string caption, cancelText;
  std::vector<std::u16string> progressTexts;
  bool progressOpen = false;
  int cancelAtProgress = -1; // printProgress call (from 1) at which the user cancels
};

/// The services in force: a HeadlessPrintServices unless another was set.
PrintServices& printServices();
/// Installs services (not owned), or the default again when given nullptr.
void setPrintServices(PrintServices* services);

} // namespace platform
