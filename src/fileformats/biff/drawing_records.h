#pragma once
// Drawing records of binary workbooks: the office drawing records inside
// MSODRAWINGGROUP (globals) and MSODRAWING (sheets), the OBJ record that
// follows each shape, and the older OBJ layout of BIFF5. This module is the
// one home of those records; for now it knows what embedded charts need:
// a shape's anchor and its object type on reading, and the drawing of a
// sheet whose objects are charts on writing.

#include "model/drawing_objects.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace biff {

inline constexpr std::uint16_t rtMSODRAWINGGROUP = 0x00EB;
inline constexpr std::uint16_t rtMSODRAWING = 0x00EC;
inline constexpr std::uint16_t rtOBJ = 0x005D;

/// The client anchors of the shapes in an MSODRAWING body, in order. A
/// shape without one gets none; damaged lengths end the walk.
std::vector<model::ObjectAnchor> readClientAnchors(std::span<const std::uint8_t> body);

struct ObjInfo {
  std::uint16_t type = 0xFFFF; // object type (5 = chart); 0xFFFF when unreadable
  std::uint16_t id = 0;
  /// BIFF5 objects carry their anchor in the OBJ record itself.
  std::optional<model::ObjectAnchor> anchor;
};

/// Reads an OBJ record: BIFF8 sub-records (`version` 8) or the BIFF5 layout.
ObjInfo readObjRecord(std::span<const std::uint8_t> body, int version);

/// One record as the writer should emit it.
struct DrawingRecord {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> body;
};

/// The drawing group of the globals for `drawings` sheets with `shapes[i]`
/// shapes each (drawing numbers from 1 in order).
DrawingRecord drawingGroupRecord(const std::vector<int>& shapes);

/// The drawing records of one sheet's charts, each followed by its OBJ: the
/// first MSODRAWING opens the sheet's drawing (with `drawing` its 1-based
/// number and `count` shapes in all); `index` is the object's 0-based place.
/// BIFF5 gets one OBJ of the old layout instead.
std::vector<DrawingRecord> chartObjectRecords(const model::ObjectAnchor& anchor, int drawing, int index,
                                              int count, int version);

} // namespace biff
