// Feeds any bytes to the container reader. Whatever stream it finds must
// survive a write and a second read unchanged.

#include "fileformats/compound/compound_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  compound::WorkbookStreamReader r;
  if (r.openWorkbookStream(std::span(data, size)) != compound::WorkbookStreamReader::Result::Ok)
    return 0;
  compound::CompoundFileWriter w(r.isWorkbookName() ? u"Workbook" : u"Book");
  w.putBytes(r.bytes().data(), r.bytes().size());
  const std::vector<std::uint8_t> file = w.finishFile();
  compound::WorkbookStreamReader again;
  if (again.openWorkbookStream(file) != compound::WorkbookStreamReader::Result::Ok)
    std::abort();
  if (again.isWorkbookName() != r.isWorkbookName() ||
      !std::equal(r.bytes().begin(), r.bytes().end(), again.bytes().begin()))
    std::abort();
  return 0;
}
