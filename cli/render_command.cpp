#include "render_command.h"
#include "session.h"

#include "model/sheet_list.h"
#include "platform/raster.h"
#include "platform/unicode.h"
#include "view/grid_painter.h"

#include "qt_module.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli render FILE [--sheet NAME] --png OUT [--size WxH]\n"
    "Paints a sheet of FILE as the desktop window shows it (headers, cells with\n"
    "their formats, charts over the cells, tabs; no selection) into the PNG image\n"
    "OUT, without a display. A chart sheet shows its chart.\n"
    "--sheet names the sheet (default: the active one); --size is the picture's\n"
    "size in pixels (default 1024x768, at most 16384 on each side).\n";

constexpr int kDefaultWidth = 1024;
constexpr int kDefaultHeight = 768;

// "WxH" with both between 1 and 16384.
bool parseSize(std::string_view text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos || x == 0 || x + 1 >= text.size())
    return false;
  const auto number = [](std::string_view digits, int& out) {
    if (digits.empty() || digits.size() > 5)
      return false;
    int v = 0;
    for (char c : digits) {
      if (c < '0' || c > '9')
        return false;
      v = v * 10 + (c - '0');
    }
    out = v;
    return v >= 1 && v <= 16384;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

int usageError(const char* why) {
  std::fprintf(stderr, "cellwick-cli render: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

} // namespace

int runRenderCommand(int argc, char** argv) {
  const char* file = nullptr;
  const char* out = nullptr;
  std::optional<std::string> sheetName;
  int width = kDefaultWidth, height = kDefaultHeight;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--png" || a == "--sheet" || a == "--size") {
      if (i + 1 >= argc)
        return usageError("an option lacks its value");
      const char* value = argv[++i];
      if (a == "--png")
        out = value;
      else if (a == "--sheet")
        sheetName = value;
      else if (!parseSize(value, width, height))
        return usageError("--size wants WxH, each from 1 to 16384");
      continue;
    }
    if (file || (!a.empty() && a[0] == '-'))
      return usageError("unexpected argument");
    file = argv[i];
  }
  if (!file || !out)
    return usageError("FILE and --png OUT are needed");

#ifndef CELLWICK_HAVE_RASTER
  std::fputs("cellwick-cli render: this build has no image renderer (Qt 6 was not found)\n", stderr);
  return 1;
#else
  // Fonts and the raster renderer, before anything is measured.
  const std::unique_ptr<HeadlessPainting> painting = startHeadlessPainting("render");
  if (!painting)
    return 1;
  Session session;
  model::Workbook* book = session.open("render", file);
  if (!book)
    return 1;
  int sheet = book->activeSheet;
  if (sheetName) {
    sheet = model::find_sheet(*book, platform::fromUtf8(*sheetName));
    if (sheet < 0) {
      std::fprintf(stderr, "cellwick-cli render: %s has no sheet named '%s'\n", file, sheetName->c_str());
      return 1;
    }
  }
  if (sheet < 0 || sheet >= book->sheetCount()) {
    std::fprintf(stderr, "cellwick-cli render: %s has no sheet to render\n", file);
    return 1;
  }
  std::unique_ptr<platform::RasterSurface> surface = platform::makeRasterSurface(width, height);
  if (!surface) {
    std::fprintf(stderr, "cellwick-cli render: cannot make a %dx%d image\n", width, height);
    return 1;
  }
  // The tabs mark the sheet drawn, as the window's would after a click on it.
  book->activeSheet = sheet;
  view::paintSheetPicture(surface->canvas(), *book, sheet, width, height);
  if (!surface->savePng(platform::fromUtf8(out))) {
    std::fprintf(stderr, "cellwick-cli render: cannot write %s\n", out);
    return 1;
  }
  std::printf("rendered sheet '%s' (%dx%d) to %s\n", platform::toUtf8(book->sheet(sheet).name).c_str(), width,
              height, out);
  return 0;
#endif
}

} // namespace cli
