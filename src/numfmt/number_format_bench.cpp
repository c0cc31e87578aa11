#include "numfmt/number_format.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The codes of a typical sheet, compiled once as the workbook keeps them.
constexpr std::array<std::u16string_view, 10> kMixedCodes = {
    u"General",       u"0.00",    u"#,##0", u"#,##0.00_);[Red](#,##0.00)",
    u"m/d/yy",        u"0%",      u"0.00%", u"# ?/?",
    u"h:mm:ss AM/PM", u"General",
};

std::vector<double> sampleValues(size_t n) {
  std::vector<double> values;
  values.reserve(n);
  unsigned state = 12345;
  for (size_t i = 0; i < n; ++i) {
    state = state * 1103515245u + 12345u;
    const double r = static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
    switch (i % 4) {
    case 0:
      values.push_back(r * 100000 - 20000);
      break; // amounts, some negative
    case 1:
      values.push_back(r);
      break; // ratios
    case 2:
      values.push_back(36526 + r * 9000);
      break; // dates with times
    default:
      values.push_back(static_cast<double>(static_cast<int>(r * 1000)));
      break;
    }
  }
  return values;
}

void failIf(bool bad, const char *what) {
  if (bad) {
    std::fprintf(stderr, "benchmark check failed: %s\n", what);
    std::abort();
  }
}

// Formatting a screen of mixed cells: General, fixed, grouped, currency with a
// red negative section, dates, percentages, fractions and times.
void BM_FormatNumber_MixedCodes(benchmark::State &state) {
  std::vector<numfmt::CompiledFormat> formats;
  for (std::u16string_view code : kMixedCodes)
    formats.push_back(numfmt::compileFormat(code));
  const std::vector<double> values = sampleValues(4096);
  numfmt::FormatOptions options;
  numfmt::FormatResult result;
  size_t i = 0;
  size_t totalLength = 0;
  for (auto _ : state) {
    const double v = values[i % values.size()];
    numfmt::formatNumber(v, formats[i % formats.size()], options, result);
    totalLength += result.text.size();
    benchmark::DoNotOptimize(result.text.data());
    ++i;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  failIf(state.iterations() > 0 && totalLength == 0, "no text produced");
  numfmt::formatNumber(-1234.5, formats[3], options, result);
  failIf(result.text != u"(1,234.50)" || result.colourName() != u"Red", "currency section");
  numfmt::formatNumber(36526.75, formats[4], options, result);
  failIf(result.text != u"1/1/00", "date");
}
BENCHMARK(BM_FormatNumber_MixedCodes);

// A long column under "#,##0.00", the commonest custom code.
void BM_FormatNumber_GroupedColumn(benchmark::State &state) {
  const numfmt::CompiledFormat format = numfmt::compileFormat(u"#,##0.00");
  const std::vector<double> values = sampleValues(4096);
  numfmt::FormatOptions options;
  numfmt::FormatResult result;
  size_t i = 0;
  for (auto _ : state) {
    numfmt::formatNumber(values[i++ % values.size()], format, options, result);
    benchmark::DoNotOptimize(result.text.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  numfmt::formatNumber(1234567.891, format, options, result);
  failIf(result.text != u"1,234,567.89", "grouped column");
}
BENCHMARK(BM_FormatNumber_GroupedColumn);

// General fitted to a 64-pixel cell, as the grid paints unformatted numbers.
void BM_FormatNumber_GeneralFitted(benchmark::State &state) {
  const numfmt::CompiledFormat format = numfmt::compileFormat(u"General");
  const std::vector<double> values = sampleValues(4096);
  numfmt::FormatOptions options;
  options.availableWidthPx = 64;
  numfmt::FormatResult result;
  size_t i = 0;
  for (auto _ : state) {
    numfmt::formatNumber(values[i++ % values.size()], format, options, result);
    benchmark::DoNotOptimize(result.text.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  numfmt::formatNumber(3.14159265358979, format, options, result);
  failIf(result.text != u"3.1415927", "fitted General"); // nine 7-pixel characters
}
BENCHMARK(BM_FormatNumber_GeneralFitted);

// Compiling the codes of a workbook when it is opened.
void BM_CompileFormat_MixedCodes(benchmark::State &state) {
  size_t i = 0;
  size_t tokens = 0;
  for (auto _ : state) {
    const numfmt::CompiledFormat f = numfmt::compileFormat(kMixedCodes[i++ % kMixedCodes.size()]);
    tokens += f.compiled[0].tokens.size();
    benchmark::DoNotOptimize(tokens);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  failIf(state.iterations() > 0 && tokens == 0, "no tokens compiled");
}
BENCHMARK(BM_CompileFormat_MixedCodes);

} // namespace
