#include "print_command.h"
#include "session.h"

#include "model/sheet_list.h"
#include "platform/unicode.h"
#include "printing/print_job.h"

#include "qt_module.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli print FILE [--sheet NAME] [--selection] --pdf OUT\n"
    "Prints a sheet of FILE (default: the active one) as the print command\n"
    "does, into the PDF file OUT (A4, 10 mm margins): its used range from A1\n"
    "page by page, down then across, or with --selection only the selection\n"
    "saved with the workbook. A chart sheet prints on one page. A sheet with\n"
    "nothing to print writes no file.\n";

int usageError(const char* why) {
  std::fprintf(stderr, "cellwick-cli print: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

} // namespace

int runPrintCommand(int argc, char** argv) {
  const char* file = nullptr;
  const char* out = nullptr;
  std::optional<std::string> sheetName;
  bool selection = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--selection") {
      selection = true;
      continue;
    }
    if (a == "--pdf" || a == "--sheet") {
      if (i + 1 >= argc)
        return usageError("an option lacks its value");
      const char* value = argv[++i];
      if (a == "--pdf")
        out = value;
      else
        sheetName = value;
      continue;
    }
    if (file || (!a.empty() && a[0] == '-'))
      return usageError("unexpected argument");
    file = argv[i];
  }
  if (!file || !out)
    return usageError("FILE and --pdf OUT are needed");

#ifndef CELLWICK_HAVE_RASTER
  std::fputs("cellwick-cli print: this build has no PDF writer (Qt 6 was not found)\n", stderr);
  return 1;
#else
  // Fonts, before anything is measured.
  const std::unique_ptr<HeadlessPainting> painting = startHeadlessPainting("print");
  if (!painting)
    return 1;
  Session session;
  model::Workbook* book = session.open("print", file);
  if (!book)
    return 1;
  int sheet = book->activeSheet;
  if (sheetName) {
    sheet = model::find_sheet(*book, platform::fromUtf8(*sheetName));
    if (sheet < 0) {
      std::fprintf(stderr, "cellwick-cli print: %s has no sheet named '%s'\n", file, sheetName->c_str());
      return 1;
    }
  }
  if (sheet < 0 || sheet >= book->sheetCount()) {
    std::fprintf(stderr, "cellwick-cli print: %s has no sheet to print\n", file);
    return 1;
  }
  const std::string name = platform::toUtf8(book->sheet(sheet).name);
  std::unique_ptr<PdfOutput> pdf = painting->openPdf(out);
  if (!pdf) {
    std::fprintf(stderr, "cellwick-cli print: cannot write %s\n", out);
    return 1;
  }
  const printing::PrintOutcome result =
      printing::printSheet(pdf->device(), *book, sheet,
                           selection ? printing::PrintRange::Selection : printing::PrintRange::All, 96, 96);
  const bool printed = result.status == printing::PrintOutcome::Status::Printed;
  const bool kept = pdf->finish(printed);
  if (!printed) {
    if (result.status == printing::PrintOutcome::Status::Empty) {
      std::fprintf(stderr, "cellwick-cli print: sheet '%s' has nothing to print; %s was not written\n",
                   name.c_str(), out);
      return 1;
    }
    std::fprintf(stderr, "cellwick-cli print: cannot write %s\n", out);
    return 1;
  }
  if (!kept) {
    std::fprintf(stderr, "cellwick-cli print: cannot write %s\n", out);
    return 1;
  }
  std::printf("%d page%s of sheet '%s' written to %s\n", result.pages, result.pages == 1 ? "" : "s",
              name.c_str(), out);
  return 0;
#endif
}

} // namespace cli
