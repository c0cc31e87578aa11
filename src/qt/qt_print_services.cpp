#include "qt/qt_print_services.h"

#include "qt/modal.h"
#include "qt/qt_canvas.h"
#include "qt/qt_print_device.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace qtui {
namespace {

// The printer lives as long as the job it prints. Printing to a file goes
// through a partial file: a PDF printer cannot take back pages it has
// written when the job is cancelled.
class PrinterDevice final : public platform::PrintDevice {
public:
  explicit PrinterDevice(std::unique_ptr<QPrinter> printer)
      : m_printer(std::move(printer)), m_device(*m_printer, [p = m_printer.get()] { p->abort(); }) {}
  platform::PrinterCaps caps() const override { return m_device.caps(); }
  bool beginDocument(std::u16string_view name) override {
    m_printer->setDocName(qStringOf(name));
    if (!m_printer->outputFileName().isEmpty()) {
      m_file.emplace(m_printer->outputFileName());
      m_printer->setOutputFileName(m_file->partialPath());
    }
    if (m_device.beginDocument(name))
      return true;
    discard();
    return false;
  }
  platform::Canvas* beginPage() override { return m_device.beginPage(); }
  bool endPage() override { return m_device.endPage(); }
  bool endDocument() override {
    if (!m_device.endDocument()) {
      discard();
      return false;
    }
    return !m_file || m_file->commit();
  }
  void abortDocument() override {
    m_device.abortDocument();
    discard();
  }
  std::u16string outputFile() const override {
    return m_file ? m_file->target().toStdU16String() : m_printer->outputFileName().toStdU16String();
  }

private:
  void discard() {
    if (m_file)
      m_file->discard();
  }

  std::unique_ptr<QPrinter> m_printer;
  QtPrintDevice m_device;
  std::optional<PrintToFile> m_file;
};

} // namespace

std::unique_ptr<platform::PrintDevice> printerDevice(std::unique_ptr<QPrinter> printer) {
  return std::make_unique<PrinterDevice>(std::move(printer));
}

QtPrintServices::~QtPrintServices() { delete m_box; }

std::unique_ptr<platform::PrintDevice> QtPrintServices::askPrinter(bool& selectionOnly) {
  selectionOnly = false;
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintDialog dialog(printer.get(), m_parent);
  // All pages or the selection; no page numbers, no current page.
  dialog.setOption(QAbstractPrintDialog::PrintSelection, true);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  if (execModal(dialog) != QDialog::Accepted)
    return nullptr;
  selectionOnly = dialog.printRange() == QAbstractPrintDialog::Selection;
  return printerDevice(std::move(printer));
}

void QtPrintServices::beginPrintProgress(std::u16string_view caption, std::u16string_view cancel) {
  delete m_box;
  m_cancelled = false;
  m_box = new QDialog(m_parent);
  m_box->setWindowTitle(qStringOf(caption));
  m_box->setWindowModality(Qt::ApplicationModal);
  m_box->setObjectName(QStringLiteral("printProgress"));
  auto* layout = new QVBoxLayout(m_box);
  m_label = new QLabel(m_box);
  m_label->setMinimumWidth(220);
  layout->addWidget(m_label);
  auto* row = new QHBoxLayout;
  row->addStretch();
  auto* button = new QPushButton(qStringOf(cancel), m_box);
  row->addWidget(button);
  layout->addLayout(row);
  QObject::connect(button, &QPushButton::clicked, m_box, [this] { m_cancelled = true; });
  // Closing the box is cancelling too; it stays open until the job ends.
  QObject::connect(m_box, &QDialog::rejected, m_box, [this] {
    m_cancelled = true;
    if (m_box)
      m_box->show();
  });
  m_box->show();
}

bool QtPrintServices::printProgress(std::u16string_view text) {
  if (m_box && m_label) {
    m_label->setText(qStringOf(text));
    // The box is application modal, so the window system gives input only
    // to it: the user may press its button, nothing else. Handed files
    // wait on their socket until the job ends.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
  }
  return !m_cancelled;
}

void QtPrintServices::endPrintProgress() {
  if (!m_box)
    return;
  const FocusReturn focus(m_parent);
  m_box->hide();
  m_box->deleteLater();
  m_box = nullptr;
  m_label = nullptr;
}

} // namespace qtui
