#pragma once
// The property sheet that formats a drawing object: "字体" and "文本" (the
// font and where the text sits) for objects with text, "颜色与线条" (fill
// and line colours; for lines the arrow heads at either end), "属性" (how
// the object follows its cells) and "宏" (the macro assigned to it).

#include "model/drawing_objects.h"
#include "model/workbook.h"

#include <functional>
#include <string_view>

namespace dialogs {

inline constexpr std::u16string_view kObjectDialogTitle = u"设置绘图格式";
inline constexpr std::u16string_view kPictureDialogTitle = u"Format Picture";
inline constexpr std::u16string_view kMessageMacroInvalid = u"相关数据无效！";

/// Control ids of the pages.
enum ObjectFormatControl : int {
  // Colours and lines (400)
  kObjectFill = 401, kObjectLine = 402, kObjectStartArrow = 403, kObjectEndArrow = 404,
  // Properties (410)
  kObjectMoveAndSize = 411, kObjectMoveOnly = 412, kObjectFixed = 413,
  // Macro (420)
  kObjectMacro = 421,
  // Text (430)
  kObjectTextAlign = 431, kObjectTextVerticalAlign = 432,
};

/// Whether the sheet has every page the kind needs: shapes, text boxes,
/// comments and pictures; form controls have their own sheet and charts
/// theirs.
bool objectFormatAvailable(const model::DrawingObject& object);

/// Whether the object has the font and text pages: text boxes, comments and
/// Office shapes that carry text.
bool hasTextPages(const model::DrawingObject& object);

/// Runs the sheet over a copy of the object's format; on OK the object
/// takes what the user chose and true is returned. A changed font is looked
/// up among the workbook's fonts and appended when absent. `macroValid`
/// judges a typed macro reference (an empty one always passes).
bool showObjectFormatDialog(model::Workbook& book, model::DrawingObject& object,
                            const std::function<bool(std::u16string_view)>& macroValid);

} // namespace dialogs
