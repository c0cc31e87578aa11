#pragma once
// The dialogs that ask for one number in a range: zoom, row height, column
// width and standard column width. Each refuses anything else with its
// message and stays open.

#include <optional>
#include <string_view>

namespace dialogs {

inline constexpr std::u16string_view kMessageZoomRange = u"显示比例必须在 10-400 之间";
inline constexpr std::u16string_view kMessageRowHeightRange = u"行高值必须在 0-409 之间";
inline constexpr std::u16string_view kMessageColumnWidthRange = u"列宽值必须在 0-255 之间";

inline constexpr int kMinZoom = 10;
inline constexpr int kMaxZoom = 400;
inline constexpr double kMaxRowHeightPoints = 409;
inline constexpr double kMaxColumnWidthChars = 255;

/// A whole percent from 10 to 400, starting from the current zoom.
std::optional<int> askZoom(int currentZoom);

/// Points from 0 to 409; the edit starts with `current`, or empty when the
/// selected rows differ.
std::optional<double> askRowHeight(std::optional<double> currentPoints);

/// Characters from 0 to 255; the edit starts with `current`, or empty when
/// the selected columns differ.
std::optional<double> askColumnWidth(std::optional<double> currentCharacters);

/// The sheet's standard column width in characters, 0 to 255.
std::optional<double> askStandardWidth(double currentCharacters);

} // namespace dialogs
