// cellwick-cli: the headless tool on the same core as the desktop program.

#include "convert_command.h"
#include "dump_command.h"
#include "eval_command.h"
#include "format_command.h"
#include "info_command.h"
#include "open_command.h"
#include "print_command.h"
#include "render_command.h"
#include "run_command.h"

#include "platform/ui_services.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
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
    "  print FILE [--sheet NAME] [--selection] --pdf OUT\n"
    "              print a sheet into a PDF file as the print command lays out its pages\n"
    "  run FILE MACRO [--save OUT] [--answer TEXT]...\n"
    "              run a macro of FILE headless (no other command runs one)\n"
    "\n"
    "options:\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Messages the program would show in a box are printed on stderr.\n"
    "CELLWICK_LOCALE (e.g. en-US, zh-CN) pins the regional settings.\n";

#if CELLWICK_HUGE_PAGE_HEAP
// Faulting in a large workbook's records 4 KB at a time takes more time
// than reading the file where every fault is costly, as on virtual
// machines (over half of a 655,360-cell conversion). The heap is grown once
// by far more than a conversion needs, which costs address space only, and
// that part asks the kernel for huge pages where it gives them on request.
// Freed memory is kept for the next pass rather than given back and faulted
// in again. Without room to grow, the allocator carries on as usual.
void prepareHeap() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 256 << 20);
  const auto from = reinterpret_cast<std::uintptr_t>(sbrk(0));
  void* volatile grow = std::malloc(4 << 20); // more than the heap holds yet: it grows by the pad
  const auto to = reinterpret_cast<std::uintptr_t>(sbrk(0));
  std::free(grow);
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t start = (from + page - 1) / page * page;
  if (from != static_cast<std::uintptr_t>(-1) && to > start)
    (void)madvise(reinterpret_cast<void*>(start), to - start, MADV_HUGEPAGE);
}
#endif

} // namespace

int main(int argc, char** argv) {
#if CELLWICK_HUGE_PAGE_HEAP
  prepareHeap();
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
  if (command == "run")
    return cli::runRunCommand(argc - 1, argv + 1);
  if (command == "render")
    return cli::runRenderCommand(argc - 1, argv + 1);
  if (command == "print")
    return cli::runPrintCommand(argc - 1, argv + 1);
  std::fprintf(stderr, "cellwick-cli: unknown command '%s' (try --help)\n", argv[1]);
  return 2;
}
