#pragma once
// The property sheet that formats a drawing object: "颜色与线条" (fill and
// line colours; for lines the arrow heads at either end), "属性" (how the
// object follows its cells) and "宏" (the macro assigned to it).

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
};

/// Whether the sheet has every page the kind needs: lines, rectangles,
/// ovals, arcs, polygons, pictures and Office shapes without text. Objects
/// with text also need the font and text pages, which are not built.
bool objectFormatAvailable(const model::DrawingObject& object);

/// Runs the sheet over a copy of the object's format; on OK the object
/// takes what the user chose and true is returned. `macroValid` judges a
/// typed macro reference (an empty one always passes).
bool showObjectFormatDialog(const model::Workbook& book, model::DrawingObject& object,
                            const std::function<bool(std::u16string_view)>& macroValid);

} // namespace dialogs
