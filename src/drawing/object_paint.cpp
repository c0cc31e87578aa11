#include "drawing/object_paint.h"

#include "drawing/picture_fill.h"
#include "fileformats/image/picture.h"
#include "model/set_cell.h"
#include "platform/raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

namespace drawing {

using platform::Brush;
using platform::Canvas;
using platform::Pen;
using platform::PenStyle;
using platform::Point;
using platform::Rect;

namespace {

// ---- the preset shapes ----
//
// A shape is either one of a few built-in forms or runs of points in a box
// of 21,600 units a side (the Office drawing format's coordinate space),
// taken at the shapes' default adjustments. A point {-1, -1} starts a new
// closed run, {-2, -2} a new open one (inner lines of flow-chart symbols).

enum class Form : std::uint8_t { Rect, RoundRect, Stadium, Ellipse, Arc, Line, Elbow, Curve, Can, Points };

struct P {
  int x, y;
};
constexpr P kClosed{-1, -1};
constexpr P kOpen{-2, -2};
constexpr int kUnit = 21600;

struct ShapeDef {
  std::uint16_t type;
  Form form;
  std::span<const P> points = {};
  /// Extra open runs drawn over an ellipse (summing junction, or).
  bool crossLines = false;
  bool plusLines = false;
};

constexpr P kDiamond[] = {{10800, 0}, {21600, 10800}, {10800, 21600}, {0, 10800}};
constexpr P kTriangle[] = {{10800, 0}, {21600, 21600}, {0, 21600}};
constexpr P kRightTriangle[] = {{0, 0}, {21600, 21600}, {0, 21600}};
constexpr P kParallelogram[] = {{5400, 0}, {21600, 0}, {16200, 21600}, {0, 21600}};
constexpr P kTrapezoid[] = {{0, 0}, {21600, 0}, {16200, 21600}, {5400, 21600}};
constexpr P kHexagon[] = {{5400, 0}, {16200, 0}, {21600, 10800}, {16200, 21600}, {5400, 21600}, {0, 10800}};
constexpr P kOctagon[] = {{6326, 0},      {15274, 0},     {21600, 6326}, {21600, 15274},
                          {15274, 21600}, {6326, 21600},  {0, 15274},    {0, 6326}};
constexpr P kPlus[] = {{5400, 0},      {16200, 0},     {16200, 5400}, {21600, 5400}, {21600, 16200}, {16200, 16200},
                       {16200, 21600}, {5400, 21600},  {5400, 16200}, {0, 16200},    {0, 5400},      {5400, 5400}};
constexpr P kStar5[] = {{10797, 0},    {13321, 8256},  {21600, 8256}, {14878, 13405}, {17401, 21600},
                        {10797, 16580}, {4198, 21600}, {6722, 13405}, {0, 8256},      {8278, 8256}};
constexpr P kStar4[] = {{10800, 0}, {13500, 8100}, {21600, 10800}, {13500, 13500},
                        {10800, 21600}, {8100, 13500}, {0, 10800}, {8100, 8100}};
constexpr P kStar8[] = {{10800, 0},     {12870, 5800},  {18436, 3164},  {15800, 8730},  {21600, 10800},
                        {15800, 12870}, {18436, 18436}, {12870, 15800}, {10800, 21600}, {8730, 15800},
                        {3164, 18436},  {5800, 12870},  {0, 10800},     {5800, 8730},   {3164, 3164},
                        {8730, 5800}};
constexpr P kRightArrow[] = {{0, 5400},      {16200, 5400},  {16200, 0}, {21600, 10800},
                             {16200, 21600}, {16200, 16200}, {0, 16200}};
constexpr P kLeftArrow[] = {{21600, 5400}, {5400, 5400},   {5400, 0},    {0, 10800},
                            {5400, 21600}, {5400, 16200},  {21600, 16200}};
constexpr P kDownArrow[] = {{5400, 0},      {16200, 0},     {16200, 16200}, {21600, 16200},
                            {10800, 21600}, {0, 16200},     {5400, 16200}};
constexpr P kUpArrow[] = {{10800, 0},     {21600, 5400},  {16200, 5400}, {16200, 21600},
                          {5400, 21600},  {5400, 5400},   {0, 5400}};
constexpr P kLeftRightArrow[] = {{0, 10800},     {4300, 0},      {4300, 5400},   {17300, 5400},  {17300, 0},
                                 {21600, 10800}, {17300, 21600}, {17300, 16200}, {4300, 16200},  {4300, 21600}};
constexpr P kUpDownArrow[] = {{10800, 0},     {21600, 4300},  {16200, 4300}, {16200, 17300}, {21600, 17300},
                              {10800, 21600}, {0, 17300},     {5400, 17300}, {5400, 4300},   {0, 4300}};
constexpr P kHomePlate[] = {{0, 0}, {16200, 0}, {21600, 10800}, {16200, 21600}, {0, 21600}};
constexpr P kChevron[] = {{0, 0}, {16200, 0}, {21600, 10800}, {16200, 21600}, {0, 21600}, {5400, 10800}};
constexpr P kPentagon[] = {{10800, 0}, {21600, 8259}, {17471, 21600}, {4129, 21600}, {0, 8259}};
constexpr P kCube[] = {{0, 5400},     {16200, 5400}, {16200, 21600}, {0, 21600},     kClosed,
                       {0, 5400},     {5400, 0},     {21600, 0},     {16200, 5400},  kClosed,
                       {16200, 5400}, {21600, 0},    {21600, 16200}, {16200, 21600}};
constexpr P kPlaque[] = {{3600, 0},     {18000, 0},    {18000, 1000},  {20600, 3600},  {21600, 3600},
                         {21600, 18000}, {20600, 18000}, {18000, 20600}, {18000, 21600}, {3600, 21600},
                         {3600, 20600}, {1000, 18000},  {0, 18000},     {0, 3600},      {1000, 3600},
                         {3600, 1000}};
constexpr P kBevel[] = {{0, 0},        {21600, 0},    {21600, 21600}, {0, 21600},    kOpen,
                        {2700, 2700},  {18900, 2700}, {18900, 18900}, {2700, 18900}, {2700, 2700},
                        kOpen,         {0, 0},        {2700, 2700},   kOpen,         {21600, 0},
                        {18900, 2700}, kOpen,         {21600, 21600}, {18900, 18900}, kOpen,
                        {0, 21600},    {2700, 18900}};
constexpr P kLightning[] = {{8458, 0},     {0, 3923},      {7564, 8416},  {4993, 9720},  {12197, 13904},
                            {9987, 14934}, {21600, 21600}, {14768, 12911}, {16558, 12016}, {11030, 6977},
                            {12831, 6120}};
constexpr P kRectCallout[] = {{0, 0},       {21600, 0},    {21600, 21600}, {8400, 21600},
                              {1350, 25920}, {3600, 21600}, {0, 21600}};
constexpr P kInputOutput[] = {{4321, 0}, {21600, 0}, {17204, 21600}, {0, 21600}};
constexpr P kPredefinedProcess[] = {{0, 0},     {21600, 0},    {21600, 21600}, {0, 21600}, kOpen,
                                    {2540, 0},  {2540, 21600}, kOpen,          {19060, 0}, {19060, 21600}};
constexpr P kInternalStorage[] = {{0, 0},    {21600, 0},    {21600, 21600}, {0, 21600}, kOpen,
                                  {4230, 0}, {4230, 21600}, kOpen,          {0, 4230},  {21600, 4230}};
constexpr P kDocument[] = {{0, 0},         {21600, 0},     {21600, 17322}, {18900, 16200}, {16200, 15700},
                           {13500, 15900}, {10800, 17322}, {8100, 18900},  {5400, 20100},  {2700, 20500},
                           {0, 20172}};
constexpr P kPreparation[] = {{4353, 0}, {17214, 0}, {21600, 10800}, {17214, 21600}, {4353, 21600}, {0, 10800}};
constexpr P kManualInput[] = {{0, 4292}, {21600, 0}, {21600, 21600}, {0, 21600}};
constexpr P kManualOperation[] = {{0, 0}, {21600, 0}, {17240, 21600}, {4360, 21600}};
constexpr P kPunchedCard[] = {{4321, 0}, {21600, 0}, {21600, 21600}, {0, 21600}, {0, 4321}};
constexpr P kCollate[] = {{0, 0}, {21600, 0}, {0, 21600}, {21600, 21600}};
constexpr P kSort[] = {{10800, 0}, {21600, 10800}, {10800, 21600}, {0, 10800}, kOpen, {0, 10800}, {21600, 10800}};
constexpr P kExtract[] = {{10800, 0}, {21600, 21600}, {0, 21600}};
constexpr P kMerge[] = {{0, 0}, {21600, 0}, {10800, 21600}};
constexpr P kDelay[] = {{0, 0},         {10800, 0},     {14940, 822},   {18450, 3163},  {20780, 6670},
                        {21600, 10800}, {20780, 14930}, {18450, 18437}, {14940, 20778}, {10800, 21600},
                        {0, 21600}};
constexpr P kOffpage[] = {{0, 0}, {21600, 0}, {21600, 17150}, {10800, 21600}, {0, 17150}};
constexpr P kWave[] = {{0, 1400},     {3600, 0},      {7200, 0},      {10800, 1400},  {14400, 2800},
                       {18000, 2800}, {21600, 1400},  {21600, 20200}, {18000, 21600}, {14400, 21600},
                       {10800, 20200}, {7200, 18800}, {3600, 18800},  {0, 20200}};
constexpr P kNotchedRightArrow[] = {{0, 5400},      {16200, 5400},  {16200, 0},  {21600, 10800}, {16200, 21600},
                                    {16200, 16200}, {0, 16200},     {5400, 10800}};
constexpr P kBentArrow[] = {{0, 21600},    {0, 8100},     {2400, 5700},  {15000, 5700}, {15000, 0},
                            {21600, 6075}, {15000, 12150}, {15000, 10200}, {4500, 10200}, {4500, 21600}};
constexpr P kUturnArrow[] = {{0, 21600},    {0, 8550},      {1200, 3000},   {4800, 0},      {13000, 0},
                             {16800, 3000}, {18000, 8550},  {18000, 12100}, {21600, 12100}, {15300, 21600},
                             {9000, 12100}, {12600, 12100}, {12600, 8550},  {11700, 6300},  {10400, 5400},
                             {7600, 5400},  {6300, 6300},   {5400, 8550},   {5400, 21600}};
constexpr P kFoldedCorner[] = {{0, 0},         {21600, 0},     {21600, 18900}, {18900, 21600}, {0, 21600},
                               kOpen,          {18900, 21600}, {19300, 19300}, {21600, 18900}};
constexpr P kFrame[] = {{0, 0},       {21600, 0},    {21600, 21600}, {0, 21600},    kOpen,
                        {2700, 2700}, {18900, 2700}, {18900, 18900}, {2700, 18900}, {2700, 2700}};

// Sorted by type for the lookup.
constexpr ShapeDef kShapes[] = {
    {1, Form::Rect},
    {2, Form::RoundRect},
    {3, Form::Ellipse},
    {4, Form::Points, kDiamond},
    {5, Form::Points, kTriangle},
    {6, Form::Points, kRightTriangle},
    {7, Form::Points, kParallelogram},
    {8, Form::Points, kTrapezoid},
    {9, Form::Points, kHexagon},
    {10, Form::Points, kOctagon},
    {11, Form::Points, kPlus},
    {12, Form::Points, kStar5},
    {13, Form::Points, kRightArrow},
    {15, Form::Points, kHomePlate},
    {16, Form::Points, kCube},
    {19, Form::Arc},
    {20, Form::Line},
    {21, Form::Points, kPlaque},
    {22, Form::Can},
    {32, Form::Line},
    {33, Form::Elbow},
    {34, Form::Elbow},
    {37, Form::Curve},
    {38, Form::Curve},
    {55, Form::Points, kChevron},
    {56, Form::Points, kPentagon},
    {61, Form::Points, kRectCallout},
    {64, Form::Points, kWave},
    {65, Form::Points, kFoldedCorner},
    {66, Form::Points, kLeftArrow},
    {67, Form::Points, kDownArrow},
    {68, Form::Points, kUpArrow},
    {69, Form::Points, kLeftRightArrow},
    {70, Form::Points, kUpDownArrow},
    {73, Form::Points, kLightning},
    {75, Form::Rect}, // picture frame
    {84, Form::Points, kBevel},
    {91, Form::Points, kBentArrow},
    {94, Form::Points, kNotchedRightArrow},
    {96, Form::Ellipse},
    {101, Form::Points, kUturnArrow},
    {109, Form::Rect},
    {110, Form::Points, kDiamond},
    {111, Form::Points, kInputOutput},
    {112, Form::Points, kPredefinedProcess},
    {113, Form::Points, kInternalStorage},
    {114, Form::Points, kDocument},
    {116, Form::Stadium},
    {117, Form::Points, kPreparation},
    {118, Form::Points, kManualInput},
    {119, Form::Points, kManualOperation},
    {120, Form::Ellipse},
    {121, Form::Points, kPunchedCard},
    {123, Form::Ellipse, {}, true, false},
    {124, Form::Ellipse, {}, false, true},
    {125, Form::Points, kCollate},
    {126, Form::Points, kSort},
    {127, Form::Points, kExtract},
    {128, Form::Points, kMerge},
    {135, Form::Points, kDelay},
    {176, Form::RoundRect},
    {177, Form::Points, kOffpage},
    {187, Form::Points, kStar4},
    {188, Form::Points, kStar8},
    {202, Form::Rect}, // text box
};

const ShapeDef* findShape(int type) {
  const auto it = std::lower_bound(std::begin(kShapes), std::end(kShapes), type,
                                   [](const ShapeDef& d, int t) { return d.type < t; });
  return it != std::end(kShapes) && it->type == type ? &*it : nullptr;
}

// The shape type a drawn kind stands for.
int shapeTypeOf(const model::DrawingObject& o) {
  switch (o.kind) {
  case model::kObjectLine:
    return 20;
  case model::kObjectRectangle:
    return 1;
  case model::kObjectOval:
    return 3;
  case model::kObjectArc:
    return 19;
  case model::kObjectTextBox:
    return 202;
  case model::kObjectOfficeShape:
    return o.shapeType;
  default:
    return 0;
  }
}

Point at(const Rect& r, P p) {
  // 64-bit: a hostile rectangle must not overflow.
  const auto scale = [](int origin, int size, int v) {
    return origin + static_cast<int>(static_cast<std::int64_t>(size) * v / kUnit);
  };
  return {scale(r.left, r.width(), p.x), scale(r.top, r.height(), p.y)};
}

constexpr double kPi = 3.14159265358979323846;

// Office drawing properties of a polygon's geometry.
constexpr int kPropGeoLeft = 0x140, kPropGeoBottom = 0x143, kPropVertices = 0x145;

// Points of an elliptic arc of the box centred on (cx, cy) with radii
// (rx, ry), from angle a0 to a1 (degrees, clockwise on screen from east).
void appendArc(std::vector<Point>& out, double cx, double cy, double rx, double ry, double a0, double a1,
               int steps) {
  for (int i = 0; i <= steps; ++i) {
    const double a = (a0 + (a1 - a0) * i / steps) * kPi / 180;
    out.push_back({static_cast<int>(std::lround(cx + rx * std::cos(a))),
                   static_cast<int>(std::lround(cy + ry * std::sin(a)))});
  }
}

std::vector<Point> roundRectPoints(const Rect& r, int radius) {
  const double rx = std::min(radius, r.width() / 2), ry = std::min(radius, r.height() / 2);
  std::vector<Point> pts;
  appendArc(pts, r.left + rx, r.top + ry, rx, ry, 180, 270, 6);
  appendArc(pts, r.right - rx, r.top + ry, rx, ry, 270, 360, 6);
  appendArc(pts, r.right - rx, r.bottom - ry, rx, ry, 0, 90, 6);
  appendArc(pts, r.left + rx, r.bottom - ry, rx, ry, 90, 180, 6);
  return pts;
}

std::vector<Point> ellipsePoints(const Rect& r) {
  std::vector<Point> pts;
  appendArc(pts, (r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0, r.width() / 2.0, r.height() / 2.0, 0, 360, 48);
  return pts;
}

PenStyle penStyleOf(int dashing) {
  switch (dashing) {
  case 1:
  case 6:
  case 7:
    return PenStyle::Dash;
  case 2:
  case 5:
    return PenStyle::Dot;
  case 3:
  case 8:
  case 9:
    return PenStyle::DashDot;
  case 4:
  case 10:
    return PenStyle::DashDotDot;
  default:
    return PenStyle::Solid;
  }
}

Pen penOf(const model::DrawingObject& o, int zoom) {
  if (!o.hasLine)
    return Pen{PenStyle::None, 0, 0};
  return Pen{penStyleOf(o.lineStyle), linePixels(o.lineWidth, zoom), o.lineColour};
}

// An arrow head at `tip`, pointing away from `from`.
void drawArrowHead(Canvas& canvas, Point from, Point tip, int style, const Pen& pen) {
  if (style <= 0 || style > 5 || pen.style == PenStyle::None)
    return;
  const double dx = tip.x - from.x, dy = tip.y - from.y;
  const double len = std::hypot(dx, dy);
  if (len < 1)
    return;
  const double ux = dx / len, uy = dy / len; // along the line
  const double nx = -uy, ny = ux;            // across it
  const double size = std::max(7, pen.width * 3);
  const auto pt = [&](double along, double across) {
    return Point{static_cast<int>(std::lround(tip.x + ux * along + nx * across)),
                 static_cast<int>(std::lround(tip.y + uy * along + ny * across))};
  };
  canvas.setPen(Pen{PenStyle::Solid, pen.width, pen.colour});
  canvas.setBrush(Brush::solid(pen.colour));
  switch (style) {
  case 1: { // triangle
    const Point p[] = {tip, pt(-size, size / 2), pt(-size, -size / 2)};
    canvas.drawPolygon(p);
    break;
  }
  case 2: { // stealth: a triangle notched at its back
    const Point p[] = {tip, pt(-size, size / 2), pt(-size * 0.6, 0), pt(-size, -size / 2)};
    canvas.drawPolygon(p);
    break;
  }
  case 3: { // diamond round the end
    const Point p[] = {pt(size / 2, 0), pt(0, size / 2), pt(-size / 2, 0), pt(0, -size / 2)};
    canvas.drawPolygon(p);
    break;
  }
  case 4: { // oval round the end
    const int h = static_cast<int>(size / 2);
    canvas.drawEllipse({tip.x - h, tip.y - h, tip.x + h + 1, tip.y + h + 1});
    break;
  }
  case 5: { // open: two strokes
    const Point p[] = {pt(-size, size / 2), tip, pt(-size, -size / 2)};
    canvas.drawPolyline(p);
    break;
  }
  default:
    break;
  }
}

void drawRuns(Canvas& canvas, const ShapeOutline& outline, const Pen& pen, const Brush& brush) {
  // Closed runs are filled first, then every run is outlined on top.
  for (const ShapeOutline::Run& run : outline.runs)
    if (run.closed && brush.kind != Brush::Kind::None && run.points.size() >= 3) {
      canvas.setPen(Pen{PenStyle::None, 0, 0});
      canvas.setBrush(brush);
      canvas.drawPolygon(run.points);
    }
  if (pen.style == PenStyle::None)
    return;
  canvas.setPen(pen);
  for (const ShapeOutline::Run& run : outline.runs) {
    if (run.points.size() < 2)
      continue;
    canvas.drawPolyline(run.points);
    if (run.closed) {
      const Point ends[] = {run.points.back(), run.points.front()};
      canvas.drawPolyline(ends);
    }
  }
}

// A point on the far side of the line end, so that the pixel at `to` is drawn
// too (a canvas line leaves its last point out).
void drawFullLine(Canvas& canvas, Point from, Point to) {
  const Point pts[] = {from, to};
  canvas.drawPolyline(pts);
  canvas.drawLine(to, {to.x + 1, to.y});
}

const model::Font* fontOf(const model::Workbook& book, int index) {
  if (book.fonts.empty())
    return nullptr;
  return &book.fonts[static_cast<size_t>(index) < book.fonts.size() ? static_cast<size_t>(index) : 0];
}

platform::FontSpec objectFont(const model::Workbook& book, int index, int zoom) {
  platform::FontSpec spec;
  if (const model::Font* f = fontOf(book, index))
    spec = model::fontSpecOf(*f);
  spec.heightTwips = platform::mulDiv(spec.heightTwips, zoom, 100);
  return spec;
}

// The colour of an object's font: black for automatic.
platform::Colour textColour(const model::Workbook& book, std::uint16_t fontIndex) {
  if (const model::Font* f = fontOf(book, fontIndex); f && f->colourIndex < 64)
    return book.palette[f->colourIndex];
  return platform::kBlack;
}

constexpr platform::Colour kCommentFill = 0xE1FFFF; // pale yellow, 0x00BBGGRR

void drawWrapped(Canvas& canvas, std::u16string_view text, const platform::FontSpec& font, platform::Colour colour,
                 const Rect& inner, int hAlign, int vAlign) {
  if (inner.isEmpty() || text.empty())
    return;
  const int lineHeight = std::max(1, platform::textMetrics().fontMetrics(font).heightPx);
  // Only the lines that can show are broken.
  const size_t most = static_cast<size_t>(inner.height() / lineHeight + 1);
  const std::vector<model::TextLine> lines = model::wrapText(text, font, inner.width(), most);
  const int total = static_cast<int>(lines.size()) * lineHeight;
  int y = vAlign == 2 ? inner.top + (inner.height() - total) / 2
          : vAlign == 3 ? inner.bottom - total
                        : inner.top;
  y = std::max(y, inner.top);
  const unsigned align = hAlign == 2 ? platform::kTextCentre : hAlign == 3 ? platform::kTextRight : platform::kTextLeft;
  for (const model::TextLine& l : lines) {
    if (y >= inner.bottom)
      break;
    canvas.drawText(text.substr(l.start, l.length), font, colour, {inner.left, y, inner.right, y + lineHeight},
                    align, inner);
    y += lineHeight;
  }
}

// Stacked text: each character under the one before, the text's lines
// side by side from the left; the across placement places the columns,
// the down placement the characters in each.
void drawStacked(Canvas& canvas, std::u16string_view text, const platform::FontSpec& font, platform::Colour colour,
                 const Rect& inner, int hAlign, int vAlign) {
  const int rowHeight = std::max(1, platform::textMetrics().fontMetrics(font).heightPx);
  const int columnWidth = rowHeight;
  std::vector<std::u16string_view> columns;
  for (size_t start = 0;;) {
    const size_t end = text.find(u'\n', start);
    std::u16string_view column = text.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (!column.empty() && column.back() == u'\r')
      column.remove_suffix(1);
    columns.push_back(column);
    if (end == std::u16string_view::npos || columns.size() * static_cast<size_t>(columnWidth) > 16384)
      break;
    start = end + 1;
  }
  const int total = static_cast<int>(columns.size()) * columnWidth;
  int x = hAlign == 2 ? inner.left + (inner.width() - total) / 2 : hAlign == 3 ? inner.right - total : inner.left;
  x = std::max(x, inner.left);
  for (const std::u16string_view column : columns) {
    if (x >= inner.right)
      break;
    const int height = static_cast<int>(column.size()) * rowHeight;
    int y = vAlign == 2 ? inner.top + (inner.height() - height) / 2 : vAlign == 3 ? inner.bottom - height : inner.top;
    y = std::max(y, inner.top);
    for (size_t i = 0; i < column.size() && y < inner.bottom; ++i, y += rowHeight)
      canvas.drawText(column.substr(i, 1), font, colour, {x, y, x + columnWidth, y + rowHeight}, platform::kTextCentre,
                      inner);
    x += columnWidth;
  }
}

// Turned text: laid out across a box of the turned size on a surface of its
// own, then drawn a quarter turn round (clockwise when `clockwise`, reading
// down; else reading up) in the text's colour. Nothing without a surface.
void drawTurned(Canvas& canvas, std::u16string_view text, const platform::FontSpec& font, platform::Colour colour,
                const Rect& inner, int hAlign, int vAlign, bool clockwise) {
  const int w = inner.height(), h = inner.width(); // the text's own frame
  std::unique_ptr<platform::RasterSurface> surface = platform::makeRasterSurface(w, h);
  if (!surface)
    return;
  drawWrapped(surface->canvas(), text, font, platform::kBlack, {0, 0, w, h}, hAlign, vAlign);
  const platform::Bitmap laid = surface->pixels();
  if (laid.width != w || laid.height != h)
    return;
  platform::Bitmap out{h, w, std::vector<std::uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(h))};
  const std::uint32_t ink = platform::pixelOfColour(colour) & 0x00FFFFFFu;
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      const std::uint32_t p = clockwise ? laid.at(y, h - 1 - x) : laid.at(w - 1 - y, x);
      const std::uint32_t grey = (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3;
      out.pixels[static_cast<size_t>(y) * static_cast<size_t>(out.width) + static_cast<size_t>(x)] =
          ((255 - grey) << 24) | ink;
    }
  canvas.drawBitmap(inner, out);
}

// An object's text in its box, in the direction the object gives it.
void drawDirected(Canvas& canvas, std::u16string_view text, const platform::FontSpec& font, platform::Colour colour,
                  const Rect& inner, int hAlign, int vAlign, int orientation) {
  if (inner.isEmpty() || text.empty())
    return;
  switch (orientation) {
  case 1: drawStacked(canvas, text, font, colour, inner, hAlign, vAlign); break;
  case 2: drawTurned(canvas, text, font, colour, inner, hAlign, vAlign, false); break;
  case 3: drawTurned(canvas, text, font, colour, inner, hAlign, vAlign, true); break;
  default: drawWrapped(canvas, text, font, colour, inner, hAlign, vAlign); break;
  }
}

} // namespace

std::vector<Point> polygonVertices(const model::DrawingObject& o) {
  // The geometry box the vertices are given in, and the vertices: a count,
  // the room allocated, the size of one vertex (0xFFF0: two 16-bit values),
  // then the vertices. Bytes from a file: every length is checked.
  std::int64_t geo[4] = {0, 0, 21600, 21600};
  const model::ShapeProperty* list = nullptr;
  for (const model::ShapeProperty& p : o.properties) {
    const int id = p.id & 0x3FFF;
    if (id >= kPropGeoLeft && id <= kPropGeoBottom)
      geo[id - kPropGeoLeft] = static_cast<std::int32_t>(p.value);
    else if (id == kPropVertices && (p.id & 0x8000))
      list = &p;
  }
  std::vector<Point> out;
  const std::int64_t gw = geo[2] - geo[0], gh = geo[3] - geo[1];
  if (!list || list->data.size() < 6 || gw <= 0 || gh <= 0)
    return out;
  const std::vector<std::uint8_t>& d = list->data;
  const auto u16 = [&](size_t at) { return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8)); };
  const size_t count = u16(0);
  const std::uint16_t size = u16(4);
  const size_t step = size == 0xFFF0 ? 4 : size == 8 ? 8 : size == 4 ? 4 : 0;
  if (step == 0)
    return out;
  const size_t n = std::min(count, (d.size() - 6) / step);
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const size_t at = 6 + i * step;
    std::int64_t x = 0, y = 0;
    if (step == 4) {
      x = static_cast<std::int16_t>(u16(at));
      y = static_cast<std::int16_t>(u16(at + 2));
    } else {
      x = static_cast<std::int32_t>(u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16));
      y = static_cast<std::int32_t>(u16(at + 4) | (static_cast<std::uint32_t>(u16(at + 6)) << 16));
    }
    out.push_back({static_cast<int>(std::clamp<std::int64_t>((x - geo[0]) * 16384 / gw, 0, 16384)),
                   static_cast<int>(std::clamp<std::int64_t>((y - geo[1]) * 16384 / gh, 0, 16384))});
  }
  return out;
}

int linePixels(std::uint32_t widthEmu, int zoom) {
  const std::int64_t px = (static_cast<std::int64_t>(widthEmu) * std::max(zoom, 1) / 100 + 4762) / 9525;
  return static_cast<int>(std::clamp<std::int64_t>(px, 1, 64));
}

bool isSupportedShapeType(int shapeType) { return findShape(shapeType) != nullptr; }

void lineEnds(const Rect& r, int flip, Point& from, Point& to) {
  // The rectangle's right and bottom edges are exclusive: the line ends on
  // the last pixel inside it.
  const int left = r.left, right = std::max(r.left, r.right - 1);
  const int top = r.top, bottom = std::max(r.top, r.bottom - 1);
  from = {(flip & 1) ? right : left, (flip & 2) ? bottom : top};
  to = {(flip & 1) ? left : right, (flip & 2) ? top : bottom};
}

ShapeOutline shapeOutline(int shapeType, const Rect& r, int flip) {
  ShapeOutline out;
  const ShapeDef* def = findShape(shapeType);
  if (!def || r.isEmpty())
    return out;
  const auto closed = [&](std::vector<Point> pts) { out.runs.push_back({std::move(pts), true}); };
  const auto open = [&](std::vector<Point> pts) { out.runs.push_back({std::move(pts), false}); };
  const int w = r.width(), h = r.height();
  switch (def->form) {
  case Form::Rect:
    closed({{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}});
    break;
  case Form::RoundRect:
    closed(roundRectPoints({r.left, r.top, r.right - 1, r.bottom - 1}, (std::min(w, h) + 3) / 6));
    break;
  case Form::Stadium:
    closed(roundRectPoints({r.left, r.top, r.right - 1, r.bottom - 1}, std::min(w, h) / 2));
    break;
  case Form::Ellipse:
    closed(ellipsePoints({r.left, r.top, r.right - 1, r.bottom - 1}));
    if (def->crossLines || def->plusLines) {
      const double cx = (r.left + r.right - 1) / 2.0, cy = (r.top + r.bottom - 1) / 2.0;
      const double rx = (w - 1) / 2.0, ry = (h - 1) / 2.0;
      const double a = def->crossLines ? 45 : 0;
      for (double base : {a, a + 90}) {
        std::vector<Point> pts;
        appendArc(pts, cx, cy, rx, ry, base, base + 180, 1);
        open(std::move(pts));
      }
    }
    break;
  case Form::Arc: {
    // A quarter of the ellipse round the bottom left corner, from the top
    // left corner to the bottom right one.
    std::vector<Point> pts;
    appendArc(pts, r.left, r.bottom - 1, w - 1, h - 1, 270, 360, 24);
    open(std::move(pts));
    break;
  }
  case Form::Line: {
    Point a, b;
    lineEnds(r, flip, a, b);
    open({a, b});
    break;
  }
  case Form::Elbow: {
    Point a, b;
    lineEnds(r, flip, a, b);
    const int mx = (a.x + b.x) / 2;
    open({a, {mx, a.y}, {mx, b.y}, b});
    break;
  }
  case Form::Curve: {
    Point a, b;
    lineEnds(r, flip, a, b);
    std::vector<Point> pts;
    // An S between the ends: two quarter ellipses meeting in the middle.
    for (int i = 0; i <= 16; ++i) {
      const double t = i / 16.0;
      const double s = (1 - std::cos(t * kPi)) / 2; // eases in and out across
      pts.push_back({static_cast<int>(std::lround(a.x + (b.x - a.x) * t)),
                     static_cast<int>(std::lround(a.y + (b.y - a.y) * s))});
    }
    open(std::move(pts));
    break;
  }
  case Form::Can: {
    const int capH = std::max(1, h / 6);
    const Rect top{r.left, r.top, r.right - 1, r.top + capH};
    std::vector<Point> body;
    appendArc(body, (r.left + r.right - 1) / 2.0, r.top + capH / 2.0, (w - 1) / 2.0, capH / 2.0, 180, 360, 16);
    appendArc(body, (r.left + r.right - 1) / 2.0, r.bottom - 1 - capH / 2.0, (w - 1) / 2.0, capH / 2.0, 0, 180, 16);
    closed(std::move(body));
    closed(ellipsePoints(top));
    break;
  }
  case Form::Points: {
    std::vector<Point> pts;
    bool isClosed = true;
    const Rect inner{r.left, r.top, r.right - 1, r.bottom - 1};
    for (const P& p : def->points) {
      if (p.x < 0) {
        if (!pts.empty())
          out.runs.push_back({std::move(pts), isClosed});
        pts.clear();
        isClosed = p.x == kClosed.x;
        continue;
      }
      pts.push_back(at(inner, p));
    }
    if (!pts.empty())
      out.runs.push_back({std::move(pts), isClosed});
    break;
  }
  }
  return out;
}

bool drawShape(Canvas& canvas, const model::DrawingObject& o, const Rect& r, int zoom) {
  const int type = shapeTypeOf(o);
  const ShapeDef* def = findShape(type);
  if (!def)
    return false;
  const Pen pen = penOf(o, zoom);
  Brush brush = o.hasFill ? Brush::solid(o.fillColour) : Brush::none();
  if (o.hasFill && def->form != Form::Line && def->form != Form::Elbow && def->form != Form::Curve &&
      fillPictureOf(o)) {
    // A picture fill is laid inside the outline; the outline is drawn over it.
    std::vector<std::vector<Point>> areas;
    for (ShapeOutline::Run& run : shapeOutline(type, r, o.flip).runs)
      if (run.closed || def->form == Form::Arc) {
        if (def->form == Form::Arc)
          run.points.push_back({r.left, r.bottom - 1});
        areas.push_back(std::move(run.points));
      }
    if (drawPictureFill(canvas, o, areas, r, zoom))
      brush = Brush::none();
  }
  switch (def->form) {
  case Form::Rect:
    canvas.setPen(pen);
    canvas.setBrush(brush);
    canvas.drawRectangle(r);
    return true;
  case Form::Ellipse:
    if (!def->crossLines && !def->plusLines) {
      canvas.setPen(pen);
      canvas.setBrush(brush);
      canvas.drawEllipse(r);
      return true;
    }
    break;
  case Form::Arc: {
    const ShapeOutline outline = shapeOutline(type, r, o.flip);
    if (outline.runs.empty())
      return true;
    if (brush.kind != Brush::Kind::None) {
      // Filled, an arc is the wedge between it and its centre.
      std::vector<Point> wedge = outline.runs[0].points;
      wedge.push_back({r.left, r.bottom - 1});
      canvas.setPen(Pen{PenStyle::None, 0, 0});
      canvas.setBrush(brush);
      canvas.drawPolygon(wedge);
    }
    if (pen.style != PenStyle::None) {
      canvas.setPen(pen);
      canvas.drawPolyline(outline.runs[0].points);
    }
    return true;
  }
  case Form::Line:
  case Form::Elbow:
  case Form::Curve: {
    const ShapeOutline outline = shapeOutline(type, r, o.flip);
    if (outline.runs.empty() || pen.style == PenStyle::None)
      return true;
    const std::vector<Point>& pts = outline.runs[0].points;
    canvas.setPen(pen);
    if (pts.size() == 2)
      drawFullLine(canvas, pts[0], pts[1]);
    else
      canvas.drawPolyline(pts);
    drawArrowHead(canvas, pts[1], pts[0], o.startArrow, pen);
    drawArrowHead(canvas, pts[pts.size() - 2], pts.back(), o.endArrow, pen);
    return true;
  }
  default:
    break;
  }
  drawRuns(canvas, shapeOutline(type, r, o.flip), pen, brush);
  return true;
}

void drawObjectText(Canvas& canvas, const model::Workbook& book, const model::DrawingObject& o, const Rect& r,
                    int zoom) {
  const int margin = std::max(2, 3 * zoom / 100);
  const Rect inner{r.left + margin, r.top + margin, r.right - margin, r.bottom - margin};
  const platform::Colour colour = textColour(book, o.fontIndex);
  drawDirected(canvas, o.text, objectFont(book, o.fontIndex, zoom), colour, inner, o.textAlign, o.textVerticalAlign,
               o.textOrientation);
}

void drawCommentBox(Canvas& canvas, const model::Workbook& book, const model::DrawingObject& c, const Rect& r,
                    int zoom) {
  const std::vector<Point> box[] = {{{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}}};
  const bool pictured = c.hasFill && drawPictureFill(canvas, c, box, r, zoom);
  canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
  canvas.setBrush(pictured ? Brush::none() : Brush::solid(c.hasFill ? c.fillColour : kCommentFill));
  canvas.drawRectangle(r);
  const int margin = std::max(2, 3 * zoom / 100);
  const Rect inner{r.left + margin, r.top + margin, r.right - margin, r.bottom - margin};
  if (inner.isEmpty())
    return;
  platform::FontSpec font = objectFont(book, c.fontIndex, zoom);
  int y = inner.top;
  if (!c.author.empty()) {
    platform::FontSpec bold = font;
    bold.weight = 700;
    const int h = platform::textMetrics().fontMetrics(bold).heightPx;
    canvas.drawText(c.author + u":", bold, platform::kBlack, {inner.left, y, inner.right, y + h}, platform::kTextLeft,
                    inner);
    y += h;
  }
  drawDirected(canvas, c.text, font, textColour(book, c.fontIndex), {inner.left, y, inner.right, inner.bottom},
               c.textAlign, c.textVerticalAlign, c.textOrientation);
}

bool drawObject(Canvas& canvas, const model::Workbook& book, const model::DrawingObject& o, const Rect& r, int zoom) {
  switch (o.kind) {
  case model::kObjectLine:
  case model::kObjectRectangle:
  case model::kObjectOval:
  case model::kObjectArc:
  case model::kObjectOfficeShape:
    // A shape of a type not known here is kept (and saved) but not drawn.
    (void)drawShape(canvas, o, r, zoom);
    if (o.kind == model::kObjectOfficeShape && !o.text.empty())
      drawObjectText(canvas, book, o, r, zoom);
    return true;
  case model::kObjectTextBox:
    (void)drawShape(canvas, o, r, zoom);
    drawObjectText(canvas, book, o, r, zoom);
    return true;
  case model::kObjectPolygon: {
    std::vector<Point> vertices = polygonVertices(o);
    if (vertices.size() < 2)
      return true;
    std::vector<Point> pts;
    pts.reserve(vertices.size());
    for (const Point& v : vertices) {
      const auto scale = [](int origin, int size, int at) {
        return origin + static_cast<int>(static_cast<std::int64_t>(size) * std::clamp(at, 0, 16384) / 16384);
      };
      pts.push_back({scale(r.left, r.width() - 1, v.x), scale(r.top, r.height() - 1, v.y)});
    }
    ShapeOutline outline;
    const bool closed = vertices.front() == vertices.back() && pts.size() >= 3;
    if (closed)
      pts.pop_back();
    const bool pictured = o.hasFill && closed && drawPictureFill(canvas, o, std::span(&pts, 1), r, zoom);
    outline.runs.push_back({std::move(pts), closed});
    drawRuns(canvas, outline, penOf(o, zoom),
             o.hasFill && closed && !pictured ? Brush::solid(o.fillColour) : Brush::none());
    return true;
  }
  case model::kObjectPicture: {
    const auto* picture = dynamic_cast<const image::PicturePayload*>(o.payload.get());
    if (picture && !picture->picture().bitmap.isEmpty()) {
      canvas.drawBitmap(r, picture->picture().bitmap);
    } else {
      // A picture that could not be decoded keeps its place as a grey box
      // with a cross, so that it can still be selected, moved and deleted.
      canvas.setPen(Pen{PenStyle::Solid, 1, 0x808080});
      canvas.setBrush(Brush::solid(0xE0E0E0));
      canvas.drawRectangle(r);
      canvas.drawLine({r.left, r.top}, {r.right - 1, r.bottom - 1});
      canvas.drawLine({r.right - 1, r.top}, {r.left, r.bottom - 1});
    }
    if (o.hasLine) {
      canvas.setPen(penOf(o, zoom));
      canvas.setBrush(Brush::none());
      canvas.drawRectangle(r);
    }
    return true;
  }
  case model::kObjectComment:
    drawCommentBox(canvas, book, o, r, zoom);
    return true;
  default:
    return false;
  }
}

} // namespace drawing
