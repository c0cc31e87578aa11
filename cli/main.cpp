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

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#define CELLWICK_HUGE_PAGE_HEAP 1
#endif

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

#if CELLWICK_HUGE_PAGE_HEAP
// Where the kernel gives huge pages only to memory that asks for them,
// faulting in a large workbook's records 4 KB at a time takes more time
// than reading the file (over half of a 655,360-cell conversion on a
// virtual machine). The C library's allocator asks for them only when told
// so before the process starts, so the program starts itself again once,
// told so. Nothing changes where the kernel decides alone, or when the
// restart fails.
void restartWithHugePageHeap(char** argv) {
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables && std::strstr(tunables, "glibc.malloc.hugetlb"))
    return; // already asked, by us or by the user
  std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
  const std::string modes((std::istreambuf_iterator<char>(mode)), std::istreambuf_iterator<char>());
  if (modes.find("[madvise]") == std::string::npos)
    return;
  const std::string before = tunables ? tunables : "";
  const std::string asked =
      before.empty() ? "glibc.malloc.hugetlb=1" : before + ":glibc.malloc.hugetlb=1";
  if (setenv("GLIBC_TUNABLES", asked.c_str(), 1) != 0)
    return;
  execv("/proc/self/exe", argv);
  if (tunables)
    setenv("GLIBC_TUNABLES", before.c_str(), 1);
  else
    unsetenv("GLIBC_TUNABLES");
}
#endif

} // namespace

int main(int argc, char** argv) {
#if CELLWICK_HUGE_PAGE_HEAP
  // Only where files are read or written: the other commands are over
  // before a restart would pay for itself.
  if (argc >= 2) {
    const std::string_view c = argv[1];
    if (c == "convert" || c == "dump" || c == "open" || c == "render")
      restartWithHugePageHeap(argv);
  }
#endif
#if defined(__GLIBC__)
  // A conversion reads, computes and writes tens of megabytes in passes
  // that free what the pass before built. Freed blocks stay in the heap for
  // the next pass instead of going back to the system and being faulted in
  // again page by page (over a tenth of the time of a converted workbook).
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
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
