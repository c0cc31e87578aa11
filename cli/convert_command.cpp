#include "convert_command.h"
#include "session.h"

#include "fileformats/open_save.h"
#include "formula/recalc.h"
#include "model/workbook_list.h"
#include "platform/unicode.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli convert IN OUT [--excel95] [--recalc]\n"
    "Reads IN and writes OUT, each in the format of its extension: .xls (Excel 97,\n"
    "or Excel 95 with --excel95), .xlt, .pxl, .csv or .txt (ANSI code page).\n"
    "A text file takes the active sheet only. --recalc recomputes every formula first.\n";

// Freeing a large workbook costs a good share of a conversion, and the
// process ends right after the file is written and closed: the workbook is
// left to the system, except where the sanitizers look for leaks.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFreeAtExit = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kFreeAtExit = true;
#else
constexpr bool kFreeAtExit = false;
#endif
#else
constexpr bool kFreeAtExit = false;
#endif

} // namespace

int runConvertCommand(int argc, char** argv) {
  bool excel95 = false;
  bool recalc = false;
  const char* in = nullptr;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--excel95")
      excel95 = true;
    else if (a == "--recalc")
      recalc = true;
    else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "cellwick-cli convert: unknown option '%s'\n", argv[i]);
      return 2;
    } else if (!in)
      in = argv[i];
    else if (!out)
      out = argv[i];
    else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (!in || !out) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::u16string inPath = platform::fromUtf8(in);
  const std::u16string outPath = platform::fromUtf8(out);
  const int outType = model::fileTypeOf(outPath);
  if (outType == model::kFileUnsupported || outType == model::kFileBmp) {
    std::fprintf(stderr, "cellwick-cli convert: cannot write files of this type: %s\n", out);
    return 2;
  }

  auto session = std::make_unique<Session>();
  model::Workbook* opened = session->open("convert", in);
  if (!opened)
    return 1;
  model::Workbook& book = *opened;
  if (recalc)
    formula::recalcAll(book);
  fileformats::setVersionFields(book, outType, excel95);
  if (!fileformats::writeWorkbookFile(book, outPath, outType)) {
    std::fprintf(stderr, "cellwick-cli convert: cannot write %s\n", out);
    return 1;
  }
  if (!kFreeAtExit)
    (void)session.release();
  return 0;
}

} // namespace cli
