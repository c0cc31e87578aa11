// The Qt side of the painting commands, built as a module of its own (see
// qt_module.h). Its calls into the tool's core resolve against the
// program that loads it.

#include "qt_module.h"

#include "qt/qt_print_device.h"
#include "qt/raster_canvas.h"

#include <QPdfWriter>

#include <optional>

namespace cli {
namespace {

class QtPdfOutput final : public PdfOutput {
public:
  explicit QtPdfOutput(const char* utf8Path)
      : m_target(QString::fromUtf8(utf8Path)), m_writer(std::in_place, m_target.partialPath()) {
    qtui::setUpPdfWriter(*m_writer);
    m_device.emplace(*m_writer);
  }
  ~QtPdfOutput() override {
    if (m_writer)
      (void)finish(false);
  }

  platform::PrintDevice& device() override { return *m_device; }

  bool finish(bool keep) override {
    // The writer completes the file when it goes.
    m_device.reset();
    m_writer.reset();
    if (keep)
      return m_target.commit();
    m_target.discard();
    return true;
  }

private:
  qtui::PrintToFile m_target;
  std::optional<QPdfWriter> m_writer;
  std::optional<qtui::QtPrintDevice> m_device;
};

class QtPainting final : public HeadlessPainting {
public:
  std::unique_ptr<PdfOutput> openPdf(const char* utf8Path) override {
    return std::make_unique<QtPdfOutput>(utf8Path);
  }

private:
  qtui::HeadlessGui m_gui;
};

} // namespace
} // namespace cli

extern "C" __attribute__((visibility("default"))) cli::HeadlessPainting* cellwickStartPainting() {
  return new cli::QtPainting();
}
