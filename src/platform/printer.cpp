#include "platform/printer.h"

namespace platform {

bool RecordingPrintDevice::beginDocument(std::u16string_view n) {
  name = n;
  begun = !refuseBegin;
  return begun;
}

Canvas* RecordingPrintDevice::beginPage() {
  pages.push_back(std::make_unique<RecordingCanvas>());
  return pages.back().get();
}

bool RecordingPrintDevice::endDocument() {
  ended = true;
  return true;
}

std::unique_ptr<PrintDevice> HeadlessPrintServices::askPrinter(bool& selectionOnly) {
  ++dialogsShown;
  selectionOnly = false;
  if (answers.empty())
    return nullptr;
  Answer a = std::move(answers.front());
  answers.pop_front();
  selectionOnly = a.selectionOnly;
  return std::move(a.device);
}

void HeadlessPrintServices::beginPrintProgress(std::u16string_view c, std::u16string_view cancel) {
  caption = c;
  cancelText = cancel;
  progressOpen = true;
}

bool HeadlessPrintServices::printProgress(std::u16string_view text) {
  progressTexts.emplace_back(text);
  return static_cast<int>(progressTexts.size()) != cancelAtProgress;
}

namespace {
PrintServices* g_services = nullptr;
}

PrintServices& printServices() {
  static HeadlessPrintServices fallback;
  return g_services ? *g_services : fallback;
}

void setPrintServices(PrintServices* services) { g_services = services; }

} // namespace platform
