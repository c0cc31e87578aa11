#include "app/status_bar.h"

#include "app/navigation.h"

#include "formula/text_value.h"
#include "model/services.h"
#include "platform/locale_strings.h"

#include <algorithm>

namespace app {

std::u16string summary_text(model::Workbook& book, int sheetIndex, int function) {
  if (function <= kSummaryNone || function > kSummarySum || sheetIndex < 0 ||
      sheetIndex >= book.sheetCount())
    return {};
  model::Sheet& sheet = book.sheet(sheetIndex);
  if ((sheet.kind != model::SheetKind::Worksheet && sheet.kind != model::SheetKind::Macro) ||
      sheet.cells.count() <= 1)
    return {};
  const model::CellRange range = selection(sheet);

  const model::ModelServices& services = model::modelServices();
  long long inputs = 0, numbers = 0;
  double sum = 0, maximum = 0, minimum = 0;
  sheet.cells.forEachIn(range, [&](model::CellRecord& cell) {
    if (!cell.input.isNull() && cell.input.size() > 0)
      ++inputs;
    if (function == kSummaryCount)
      return;
    if (cell.calcState < model::CalcState::ValueValid && services.computeCell)
      services.computeCell(book, sheetIndex, cell);
    if (!cell.value.isNumber())
      return;
    const double x = cell.value.numberValue();
    maximum = numbers == 0 ? x : std::max(maximum, x);
    minimum = numbers == 0 ? x : std::min(minimum, x);
    sum += x;
    ++numbers;
  });

  const long long items = function == kSummaryCount ? inputs : numbers;
  if (items <= 1)
    return {};
  double result = 0;
  switch (function) {
  case kSummaryAverage:
    result = sum / static_cast<double>(numbers);
    break;
  case kSummaryCount:
    result = static_cast<double>(inputs);
    break;
  case kSummaryCountNumbers:
    result = static_cast<double>(numbers);
    break;
  case kSummaryMax:
    result = maximum;
    break;
  case kSummaryMin:
    result = minimum;
    break;
  default:
    result = sum;
    break;
  }
  std::u16string text(kSummaryNames[function]);
  text += u'=';
  text += formula::numberToText(result, platform::localeStrings());
  return text;
}

void update_status_summary(App& app) {
  model::Workbook* book = app.book();
  if (!app.bars.statusBar || !book || book->sheetCount() == 0) {
    app.set_status_text(kStatusSummaryPart, u"");
    return;
  }
  app.set_status_text(kStatusSummaryPart,
                      summary_text(*book, book->activeSheet, app.bars.summaryFunction));
}

std::optional<int> status_bar_menu(App& app, platform::Point at) {
  // Item ids are the function number + 1: id 0 means the menu was dismissed.
  std::vector<platform::PopupItem> items;
  for (int f = kSummaryNone; f <= kSummarySum; ++f)
    items.push_back({f + 1, std::u16string(kSummaryNames[f]), true, f == app.bars.summaryFunction});
  const int chosen = app.window.trackPopupMenu(items, at);
  if (chosen < 1 || chosen > kSummarySum + 1)
    return std::nullopt;
  app.bars.summaryFunction = chosen - 1;
  update_status_summary(app);
  return chosen - 1;
}

} // namespace app
