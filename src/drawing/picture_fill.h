#pragma once
// Shapes filled with a picture instead of a colour: a picture stretched
// over the shape, a texture tiled across it, or a pattern's tile. The
// picture rides in the object's payload (shapes, text boxes and comments
// have no payload of their own) and the fill type of the office drawing
// format, kept among the object's properties, says how it is laid out, so
// the object is written back as it came.

#include "fileformats/image/picture.h"
#include "model/drawing_objects.h"
#include "platform/canvas.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace drawing {

/// Fill types of the office drawing format that take a picture.
enum class PictureFill : std::uint8_t {
  None = 0,      // a solid colour, or a shaded fill
  Pattern = 1,   // an 8 by 8 pattern's tile
  Texture = 2,   // tiled from the top left
  Stretched = 3, // the picture over the whole shape
};

inline constexpr std::uint16_t kPropFillType = 0x0180;

/// Whether objects of the kind can have their fill made of a picture: shapes,
/// text boxes and comments, not pictures, charts or controls, whose payloads
/// are their own.
bool canHaveFillPicture(std::uint16_t kind);

/// How the object's fill is a picture; None when it has no fill picture.
PictureFill pictureFillOf(const model::DrawingObject& object);
/// The picture the object is filled with, or null.
std::shared_ptr<const image::Picture> fillPictureOf(const model::DrawingObject& object);

/// Fills the object with the picture, laid out as `fill` (not None). False,
/// changing nothing, when the kind cannot have a fill picture.
bool setFillPicture(model::DrawingObject& object, std::shared_ptr<const image::Picture> picture, PictureFill fill);
/// Back to a plain colour fill: the fill picture, and any fill type that
/// takes a picture, are dropped.
void clearFillPicture(model::DrawingObject& object);

/// The fill made of the picture for a shape of the given outline in `rect`:
/// pixels of the picture (stretched over the rectangle, or tiled from its
/// top left in tiles `tileWidth` by `tileHeight`) inside the closed runs of
/// `outline` (even-odd), clear outside. The bitmap has the rectangle's size,
/// or less for a huge rectangle (drawn stretched, it covers the same
/// place). Empty when the picture has no pixels or the rectangle is empty.
platform::Bitmap pictureFillBitmap(const platform::Bitmap& picture, PictureFill fill,
                                   std::span<const std::vector<platform::Point>> outline, const platform::Rect& rect,
                                   int tileWidth, int tileHeight);

/// Draws the object's picture fill inside the closed point runs (canvas
/// pixels) of its outline in `rect`; textures tile at the zoom. False when
/// the object has none or it cannot be drawn: the caller fills with the
/// colour then.
bool drawPictureFill(platform::Canvas& canvas, const model::DrawingObject& object,
                     std::span<const std::vector<platform::Point>> outline, const platform::Rect& rect, int zoom);

/// The picture's average colour (0x00BBGGRR), for formats that can only
/// fill with one colour; white for a picture without pixels.
std::uint32_t averageColour(const image::Picture& picture);

} // namespace drawing
