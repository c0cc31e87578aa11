// Reading typed text as values: a full recalculation reads every constant's
// text again, and a sheet's constants are mostly numbers written with up to
// 15 significant digits.

#include "formula/text_value.h"
#include "platform/locale_strings.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// 100,000 numbers as a sheet of measurements holds them: whole numbers,
// halves, sevenths (15 digits) and small counts, in their entry text.
std::vector<std::u16string> numberTexts() {
  const platform::LocaleStrings& locale = platform::localeStrings();
  std::vector<std::u16string> texts;
  texts.reserve(100000);
  for (int r = 0; r < 20000; ++r)
    for (const double x : {r % 2000 + 1.0, (r * 37) % 2500 + 0.5, r / 7.0, (r * 13) % 1000 * 1.0,
                           (r % 17) * 1.0}) {
      std::u16string t;
      formula::appendNumberText(x, locale, t);
      texts.push_back(std::move(t));
    }
  return texts;
}

void BM_Classify_Numbers100k(benchmark::State& state) {
  const std::vector<std::u16string> texts = numberTexts();
  const formula::TextOptions options;
  for (auto _ : state) {
    double sum = 0;
    for (const std::u16string& t : texts) {
      const formula::Classification k = formula::classifyText(t, options);
      if (k.kind != formula::TextClass::Number) {
        state.SkipWithError("a number text did not read as a number");
        return;
      }
      sum += k.value.numberValue();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(texts.size()));
}
BENCHMARK(BM_Classify_Numbers100k)->Unit(benchmark::kMillisecond);

} // namespace
