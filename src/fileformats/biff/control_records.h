#pragma once
// The form-control parts of a BIFF8 OBJ record: check box, option button,
// scroll bar and list data, the group box's options, the linked cell, input
// range and macro as parsed formulas. Reading fills a control's payload
// (clamped: files may say anything); writing gives the sub-records that
// follow the common object data.

#include "fileformats/biff/drawing_records.h"
#include "model/drawing_objects.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace model {
struct Sheet;
}

namespace biff {

inline constexpr std::uint16_t ftCbls = 0x000A;
inline constexpr std::uint16_t ftRbo = 0x000B;
inline constexpr std::uint16_t ftSbs = 0x000C;
inline constexpr std::uint16_t ftSbsFmla = 0x000E;
inline constexpr std::uint16_t ftGboData = 0x000F;
inline constexpr std::uint16_t ftEdoData = 0x0010;
inline constexpr std::uint16_t ftRboData = 0x0011;
inline constexpr std::uint16_t ftCblsData = 0x0012;
inline constexpr std::uint16_t ftCblsFmla = 0x0014;

/// Formula text (with or without its "=") of a reference's tokens.
using ControlFormulaText = std::function<std::u16string(std::span<const std::uint8_t> tokens)>;
/// The tokens of a reference's text; empty when it cannot be compiled.
using ControlFormulaTokens = std::function<std::vector<std::uint8_t>(std::u16string_view text)>;

/// Reads what an OBJ says about a control into the object: its payload
/// (made when the object has none), clamped. Objects that are no control
/// are left alone; the macro is the drawing reader's.
void readControlSubRecords(model::DrawingObject& object, const ObjRecord& obj, const ControlFormulaText& formulaText);

/// The sub-records of the control at `index` of the sheet that follow the
/// common data and the macro: with the end sub-record, except for list and
/// combo boxes, which end with their list data. Empty for objects that are
/// no control.
std::vector<std::uint8_t> writeControlSubRecords(const model::Sheet& sheet, int index,
                                                 const ControlFormulaTokens& formulaTokens);

/// Excel 95 keeps a control's state in its OBJ record itself: after the
/// common fields and the frame (from byte 44 on) come fixed fields by kind,
/// the macro, the linked cell and the input range as sized formulas, and
/// the caption in the code page. Check boxes, option buttons, group boxes,
/// scroll bars, spinners, list and combo boxes; empty for other objects.
using ControlNarrowText = std::function<std::string(std::u16string_view)>;
using ControlWideText = std::function<std::u16string(std::span<const std::uint8_t>)>;
/// `textFlags` is the caption's alignment word, as the drawing writer packs
/// it; `name` the object's name in the code page (readers look for one
/// before the macro), whose length the common fields give.
std::vector<std::uint8_t> writeBiff5ControlFields(const model::Sheet& sheet, int index, std::uint16_t textFlags,
                                                  std::string_view name,
                                                  const ControlFormulaTokens& formulaTokens,
                                                  const ControlNarrowText& narrowText);
/// Reads those fields of a whole Excel 95 OBJ body into the control
/// (its payload made when missing, clamped, its caption and its macro).
void readBiff5ControlFields(model::DrawingObject& object, std::span<const std::uint8_t> body,
                            const ControlFormulaText& formulaText, const ControlWideText& wideText);

} // namespace biff
