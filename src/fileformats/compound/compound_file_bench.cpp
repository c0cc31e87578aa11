// Opening and saving the container of a large workbook: a 40 MB stream.

#include "fileformats/compound/compound_file.h"

#include <benchmark/benchmark.h>

namespace {

std::vector<std::uint8_t> streamBytes() {
  std::vector<std::uint8_t> s(40u << 20);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::uint8_t>(i * 31);
  return s;
}

void BM_Container_Write40MB(benchmark::State& state) {
  const auto stream = streamBytes();
  size_t size = 0;
  for (auto _ : state) {
    compound::CompoundFileWriter w;
    w.putBytes(stream.data(), stream.size());
    size = w.finishFile().size();
  }
  if (size < stream.size())
    state.SkipWithError("file smaller than its stream");
  state.SetBytesProcessed(state.iterations() * static_cast<long>(stream.size()));
}
BENCHMARK(BM_Container_Write40MB)->Unit(benchmark::kMillisecond);

void BM_Container_Read40MB(benchmark::State& state) {
  const auto stream = streamBytes();
  compound::CompoundFileWriter w;
  w.putBytes(stream.data(), stream.size());
  const auto file = w.finishFile();
  bool same = true;
  for (auto _ : state) {
    compound::WorkbookStreamReader r;
    same &= r.openWorkbookStream(file) == compound::WorkbookStreamReader::Result::Ok &&
            r.bytes()[12345] == stream[12345];
  }
  if (!same)
    state.SkipWithError("stream read back differs");
  state.SetBytesProcessed(state.iterations() * static_cast<long>(stream.size()));
}
BENCHMARK(BM_Container_Read40MB)->Unit(benchmark::kMillisecond);

} // namespace
