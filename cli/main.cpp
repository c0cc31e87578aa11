// cellwick-cli: the headless tool on the same core as the desktop program.

#include "convert_command.h"
#include "dump_command.h"
#include "eval_command.h"
#include "format_command.h"
#include "info_command.h"
#include "open_command.h"
#include "render_command.h"

#include "platform/ui_services.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  info        create a new workbook and print its tables\n"
    "              (fonts, cell formats, styles, number formats, sheets)\n"
    "  dump [--recalc] [--summary] FILE\n"
    "              print every stored cell of an .xls or .xlt file\n"
    "  open FILE   open a file as the desktop program does and count its cells\n"
    "  convert IN OUT [--excel95] [--recalc]\n"
    "              convert between .xls, .xlt, .pxl, .csv and .txt by extension\n"
    "  eval [--locale L] [--date1904] [--file FILE] [--set A1=TEXT]... FORMULA\n"
    "              enter cells, then print the value of FORMULA\n"
    "  format [--locale L] [--date1904] VALUE CODE\n"
    "              print VALUE formatted with the number format CODE\n"
    "  render FILE [--sheet NAME] --png OUT [--size WxH]\n"
    "              paint a sheet as the desktop window shows it into a PNG image\n"
    "\n"
    "options:\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Messages the program would show in a box are printed on stderr.\n"
    "CELLWICK_LOCALE (e.g. en-US, zh-CN) pins the regional settings.\n";

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("cellwick-cli %s\n", CELLWICK_VERSION);
    return 0;
  }
  if (command == "info")
    return cli::runInfoCommand(stdout);
  if (command == "dump")
    return cli::runDumpCommand(argc - 1, argv + 1);
  if (command == "open")
    return cli::runOpenCommand(argc - 1, argv + 1);
  if (command == "convert")
    return cli::runConvertCommand(argc - 1, argv + 1);
  if (command == "eval")
    return cli::runEvalCommand(argc - 1, argv + 1);
  if (command == "format")
    return cli::runFormatCommand(argc - 1, argv + 1);
  if (command == "render")
    return cli::runRenderCommand(argc - 1, argv + 1);
  std::fprintf(stderr, "cellwick-cli: unknown command '%s' (try --help)\n", argv[1]);
  return 2;
}
