#pragma once
// Drawing shared by the program's own controls: the classic 3-D frames of
// buttons and wells, the small solid triangles of arrow buttons, and the
// font sample.

#include "platform/canvas.h"

namespace view {

inline constexpr platform::Colour kFaceGrey = 0xC0C0C0;
inline constexpr platform::Colour kShadowGrey = 0x808080;

/// A button face: light grey, white and light edges at the top left, grey
/// and black at the bottom right. Fills all of `r`. Each edge is `edge`
/// pixels thick (more than one where the box is drawn larger, on a page).
void drawRaisedBox(platform::Canvas& canvas, const platform::Rect& r, int edge = 1);

/// A pushed button: the face with a single grey outline.
void drawPushedBox(platform::Canvas& canvas, const platform::Rect& r);

/// The frame of a well (an edit box, a picker button): grey and black at the
/// top left, light and white at the bottom right. Draws only the frame, two
/// edges of `edge` pixels; the caller fills the inside.
void drawSunkenFrame(platform::Canvas& canvas, const platform::Rect& r, int edge = 1);

enum class ArrowDirection { Up, Down, Left, Right };

/// A solid triangle of rows 7, 5, 3 and 1 pixels long, centred on `centre`,
/// its point towards `direction`; `scale` times as long and as deep.
void drawArrowTriangle(platform::Canvas& canvas, platform::Point centre, ArrowDirection direction,
                       platform::Colour colour, int scale = 1);

/// The font sample of the format dialog ("FontPreview"): "AaBbCc" in the
/// font, centred in `r` on white, clipped to `r`.
void paintFontPreview(platform::Canvas& canvas, const platform::Rect& r,
                      const platform::FontSpec& font, platform::Colour colour = platform::kBlack);

} // namespace view

namespace view {

/// One side of the border sample of the format dialog: its line style
/// (0 none) and its colour.
struct SampleSide {
  int style = 0;
  platform::Colour colour = platform::kBlack;
};

/// The clickable border sample: a box of two by two cells on white, with
/// grey corner ticks and the six sides (top, left, bottom, right, inside
/// vertical, inside horizontal) drawn in their styles.
void paintBorderSample(platform::Canvas& canvas, const platform::Rect& r, const SampleSide (&sides)[6]);

/// The side of the sample nearest to `p` (0-5 in the order above), or -1
/// when the press is not near any side.
int borderSampleSideAt(const platform::Rect& r, platform::Point p);

} // namespace view
