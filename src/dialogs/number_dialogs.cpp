#include "dialogs/number_dialogs.h"

#include "dialogs/prompt_dialog.h"

#include <cmath>

namespace dialogs {
namespace {

/// Asks until the text is a number in [low, high] (a whole one when asked).
std::optional<double> askNumber(std::u16string title, std::u16string label,
                                std::optional<double> current, double low, double high, bool whole,
                                std::u16string_view message) {
  Prompt p;
  p.title = std::move(title);
  p.label = std::move(label);
  if (current)
    p.initialText = dialogNumberText(*current);
  p.check = [=](std::u16string_view text) -> std::u16string_view {
    const std::optional<double> v = parseDialogNumber(text);
    if (!v || !(*v >= low && *v <= high) || (whole && std::floor(*v) != *v))
      return message;
    return {};
  };
  const std::optional<std::u16string> text = askText(p);
  if (!text)
    return std::nullopt;
  return parseDialogNumber(*text);
}

} // namespace

std::optional<int> askZoom(int currentZoom) {
  const std::optional<double> v = askNumber(u"显示比例", u"显示比例(%)：", currentZoom, kMinZoom,
                                            kMaxZoom, true, kMessageZoomRange);
  if (!v)
    return std::nullopt;
  return static_cast<int>(*v);
}

std::optional<double> askRowHeight(std::optional<double> currentPoints) {
  return askNumber(u"设置行高", u"设置行高：", currentPoints, 0, kMaxRowHeightPoints, false,
                   kMessageRowHeightRange);
}

std::optional<double> askColumnWidth(std::optional<double> currentCharacters) {
  return askNumber(u"设置列宽", u"设置列宽：", currentCharacters, 0, kMaxColumnWidthChars, false,
                   kMessageColumnWidthRange);
}

std::optional<double> askStandardWidth(double currentCharacters) {
  return askNumber(u"标准列宽", u"标准列宽：", currentCharacters, 0, kMaxColumnWidthChars, false,
                   kMessageColumnWidthRange);
}

} // namespace dialogs
