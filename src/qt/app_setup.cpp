#include "qt/app_setup.h"

#include "fileformats/biff/workbook_reader.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/services.h"
#include "model/workbook_list.h"
#include "platform/unicode.h"

#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

namespace qtui {
namespace {

bool readFile(model::Workbook& book, const std::u16string& path, int fileType) {
  if (fileType != model::kFileXls && fileType != model::kFileXlt)
    return false;
  std::ifstream in(platform::toUtf8(path), std::ios::binary);
  if (!in)
    return false;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return biff::readBinaryWorkbook(bytes, book);
}

} // namespace

void installAppServices() {
  static bool done = false;
  if (done)
    return;
  done = true;
  formula::installFormulaEngine();
  functions::registerAllFunctions();
  functions::seedRandomFromClock();
  model::modelServices().readWorkbookFile = readFile;
  static QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
}

bool displayAvailable() {
  const auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  if (set("DISPLAY") || set("WAYLAND_DISPLAY"))
    return true;
  const char* platformName = std::getenv("QT_QPA_PLATFORM");
  const std::string_view p = platformName ? platformName : "";
  return p.starts_with("offscreen") || p.starts_with("minimal") || p.starts_with("vnc") ||
         p.starts_with("eglfs") || p.starts_with("linuxfb");
}

} // namespace qtui
