#pragma once
// The "单元格格式" property sheet: its pages (number, alignment, font,
// border, pattern, protection) edit one FormatDialogState. The reduced form
// (state.reduced: font, border and pattern, each with "清除格式") edits the
// partial format of a conditional format.

#include "edit/cell_format.h"
#include "platform/canvas.h"
#include "platform/dialog.h"

#include <memory>
#include <string_view>

namespace dialogs {

inline constexpr std::u16string_view kFormatDialogTitle = u"单元格格式";
inline constexpr std::u16string_view kMessageFontSize = u"字号必须在 1 到 409 之间。";

/// Control ids of the pages, numbered from their page's resource.
enum FormatControl : int {
  // Number (290)
  kNumCategory = 291, kNumPlaces = 292, kNumCustom = 293, kNumCodes = 294,
  // Alignment (300)
  kAlignHorizontal = 301, kAlignVertical = 302, kAlignWrap = 303, kAlignMerge = 304,
  // Font (310)
  kFontFace = 311, kFontStyle = 312, kFontSize = 313, kFontColour = 314, kFontBold = 315,
  kFontItalic = 316, kFontUnderline = 317, kFontStrikeOut = 318, kFontPreview = 319, kFontClear = 320,
  // Border (330)
  kBorderSample = 331, kBorderStyle = 332, kBorderColour = 333, kBorderClear = 334,
  // Pattern (340)
  kPatternPicker = 341, kPatternColour1 = 342, kPatternColour2 = 343, kPatternClear = 344, kPatternSample = 345,
  // Protection (350)
  kProtectLocked = 351, kProtectHidden = 352,
};

/// The pages of each form, in order.
enum class FormatPage { Number, Alignment, Font, Border, Pattern, Protection };

/// Builds and runs the property sheet over `state` (font faces from the
/// platform, colours from the workbook's palette, codes from its number
/// formats). It opens on the page that was shown when the same form last
/// closed during this run, or on `startPage` when one is given. True for
/// OK: the state then holds what the user changed. On Cancel the state is
/// as the pages left it and must be ignored.
bool showFormatDialog(const model::Workbook& book, edit::FormatDialogState& state, int startPage = -1);

/// The "字体" page alone over the font part of `state`, for other property
/// sheets that format the font of a text (drawing objects).
platform::DialogTemplate fontPageTemplate();
std::unique_ptr<platform::DialogProcedure> makeFontPage(const model::Workbook& book, edit::FormatDialogState& state);

/// What one side of the border page shows after a click on it with the
/// chosen style and colour (the colour picker's value: a palette index,
/// kColourAutomatic or kColourNoChoice): off when it shows exactly that
/// already, else the chosen style and colour (automatic when none is
/// chosen; colour 0 with style 0).
model::Border clickedBorder(const edit::FormatAttribute<model::Border>& side, int style, int pickerColour);

} // namespace dialogs
