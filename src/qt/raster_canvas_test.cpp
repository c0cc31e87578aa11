// Pictures made without a window: the QImage surface behind the raster
// factory, and a sheet painted into it as the headless render does.

#include "qt/raster_canvas.h"

#include "drawing/object_paint.h"
#include "drawing/picture_fill.h"
#include "fileformats/image/metafile.h"
#include "fileformats/image/picture.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"
#include "view/grid_painter.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

// Fontconfig and Qt's platform plugin keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\n";
}

namespace qtui {
namespace {

namespace fs = std::filesystem;

class RasterTest : public ::testing::Test {
protected:
  RasterTest() : scope(ui) {}
  ~RasterTest() override { fs::remove(path); }

  QImage saved(platform::RasterSurface& surface) {
    EXPECT_TRUE(surface.savePng(platform::fromUtf8(path.string())));
    return QImage(QString::fromStdString(path.string()));
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  fs::path path = fs::temp_directory_path() / ("cellwick_raster_" + std::to_string(::getpid()) + ".png");
};

TEST_F(RasterTest, SurfacesExistOnlyWhileARendererIsInstalledAndAtSaneSizes) {
  EXPECT_EQ(platform::makeRasterSurface(10, 10), nullptr) << "no renderer yet";
  {
    HeadlessGui gui;
    const struct {
      int width, height;
      bool made;
    } rows[] = {{1, 1, true}, {300, 20, true}, {16384, 1, true}, {0, 10, false},
                {10, -1, false}, {16385, 1, false}, {1, 16385, false}};
    for (const auto& row : rows) {
      const auto surface = platform::makeRasterSurface(row.width, row.height);
      EXPECT_EQ(surface != nullptr, row.made) << row.width << "x" << row.height;
      if (surface) {
        EXPECT_EQ(surface->width(), row.width);
        EXPECT_EQ(surface->height(), row.height);
      }
    }
  }
  EXPECT_EQ(platform::makeRasterSurface(10, 10), nullptr) << "the renderer leaves with the GUI";
}

TEST_F(RasterTest, WhatIsDrawnIsWhatTheSavedPictureHolds) {
  HeadlessGui gui;
  const auto surface = platform::makeRasterSurface(40, 30);
  ASSERT_NE(surface, nullptr);
  surface->canvas().setClip({0, 0, 40, 30});
  surface->canvas().fillRect({10, 5, 20, 15}, platform::Brush::solid(0x0000FF)); // 0x00BBGGRR: red
  const QImage image = saved(*surface);
  ASSERT_EQ(image.size(), QSize(40, 30));
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255)) << "a new picture is white";
  EXPECT_EQ(image.pixel(10, 5), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(19, 14), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(20, 15), qRgb(255, 255, 255)) << "right and bottom edges are outside";
  EXPECT_FALSE(surface->savePng(u"/nonexistent-folder/x.png"));
}

TEST_F(RasterTest, PixelsReadBackAndBitmapsDrawStretched) {
  HeadlessGui gui;
  const auto surface = platform::makeRasterSurface(8, 6);
  ASSERT_NE(surface, nullptr);
  platform::Canvas& canvas = surface->canvas();
  canvas.setClip({0, 0, 8, 6});
  canvas.fillRect({0, 0, 2, 1}, platform::Brush::solid(0xFF0000)); // blue
  // Two pixels, red and half-transparent green, stretched over 4 x 2 pixels.
  const platform::Bitmap bitmap{2, 1, {0xFFFF0000, 0x8000FF00}};
  canvas.drawBitmap({4, 2, 8, 4}, bitmap);
  canvas.drawBitmap({0, 4, 0, 6}, bitmap); // empty rectangle: nothing
  canvas.drawBitmap({0, 4, 2, 6}, platform::Bitmap{3, 3, {1}}); // pixels short of the size: nothing
  const platform::Bitmap pixels = surface->pixels();
  ASSERT_EQ(pixels.width, 8);
  ASSERT_EQ(pixels.height, 6);
  EXPECT_EQ(pixels.at(0, 0), 0xFF0000FFu);
  EXPECT_EQ(pixels.at(3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(pixels.at(4, 2), 0xFFFF0000u);
  const std::uint32_t blended = pixels.at(7, 3);
  EXPECT_NEAR(static_cast<int>((blended >> 16) & 0xFF), 127, 3) << std::hex << blended;
  EXPECT_EQ((blended >> 8) & 0xFF, 0xFFu);
  EXPECT_EQ(pixels.at(0, 5), 0xFFFFFFFFu);
  EXPECT_EQ(pixels.at(1, 4), 0xFFFFFFFFu);
  // What the file holds is what the pixels say.
  const QImage image = saved(*surface);
  EXPECT_EQ(image.pixel(4, 2), qRgb(255, 0, 0));
}

TEST_F(RasterTest, AMetafilePlaysIntoItsPictureBitmap) {
  HeadlessGui gui;
  // A placeable Windows metafile, 200 x 100 units at 100 an inch (192 x 96
  // pixels): a solid red brush filling the right half with a rectangle.
  std::vector<std::uint8_t> wmf;
  const auto u16 = [&](unsigned v) {
    wmf.push_back(static_cast<std::uint8_t>(v));
    wmf.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  for (unsigned v : {0xCDD7u, 0x9AC6u, 0u, 0u, 0u, 200u, 100u, 100u, 0u, 0u, 0u})
    u16(v);
  for (unsigned v : {1u, 9u, 0x300u, 0u, 0u, 1u, 0u, 0u, 0u})
    u16(v);
  for (unsigned v : {7u, 0u, 0x02FCu, 0u, 0x00FFu, 0u, 0u}) // brush: solid red
    u16(v);
  for (unsigned v : {4u, 0u, 0x012Du, 0u}) // select it
    u16(v);
  for (unsigned v : {7u, 0u, 0x041Bu, 100u, 200u, 0u, 100u}) // rectangle: right half
    u16(v);
  for (unsigned v : {3u, 0u, 0u})
    u16(v);
  const image::Picture picture = image::pictureFromBytes(image::PictureKind::Wmf, wmf);
  EXPECT_EQ(picture.bytes, wmf);
  ASSERT_EQ(picture.bitmap.width, 192);
  ASSERT_EQ(picture.bitmap.height, 96);
  EXPECT_EQ(picture.bitmap.at(20, 48), 0xFFFFFFFFu) << "the left half stays white";
  EXPECT_EQ(picture.bitmap.at(150, 48), 0xFFFF0000u);
}

TEST_F(RasterTest, ASheetPaintedIntoAPictureShowsItsFillsAndGridlines) {
  HeadlessGui gui;
  model::WorkbookList books;
  ASSERT_TRUE(books.new_workbook(nullptr));
  model::Workbook& book = *books.active();
  model::CellFormat green = book.cellFormats[15];
  green.fillPattern = 1;
  green.patternColour = 3; // palette green, 0x00FF00
  book.cellFormats.push_back(green);
  const auto format = static_cast<std::uint16_t>(book.cellFormats.size() - 1);
  ASSERT_TRUE(model::set_cell(book, 0, 1, 1, u"", format, false, false));
  book.sheet(0).activeRow = 1; // selected, yet the picture shows no selection
  book.sheet(0).activeColumn = 1;
  book.sheet(0).selectionFirst = book.sheet(0).selectionLast = model::packCell(1, 1);

  const auto surface = platform::makeRasterSurface(500, 300);
  ASSERT_NE(surface, nullptr);
  view::paintSheetPicture(surface->canvas(), book, 0, 500, 300);
  const QImage image = saved(*surface);
  const view::GridLayout layout = view::relayout(book, 0, view::LayoutInput{{0, 0, 500, 300}});
  const platform::Rect b2 = view::cellRect(book.sheet(0), layout, 1, 1);
  const platform::Rect c3 = view::cellRect(book.sheet(0), layout, 2, 2);
  ASSERT_FALSE(b2.isEmpty());
  const QPoint b2Centre((b2.left + b2.right) / 2, (b2.top + b2.bottom) / 2);
  const QPoint c3Centre((c3.left + c3.right) / 2, (c3.top + c3.bottom) / 2);
  EXPECT_EQ(image.pixel(b2Centre), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(b2.left + 1, b2.top + 1), qRgb(0, 255, 0)) << "no active-cell frame";
  EXPECT_EQ(image.pixel(c3Centre), qRgb(255, 255, 255));
  // The gridline below C3 is the light grey of the grid.
  EXPECT_EQ(image.pixel(c3Centre.x(), c3.bottom - 1), qRgb(192, 192, 192));
}

// An oval filled with a picture, drawn into a picture by the Qt raster
// renderer: the picture's four quarters inside the oval, the ground outside.
TEST_F(RasterTest, APictureFilledOvalShowsThePictureInsideItsOutline) {
  HeadlessGui gui;
  model::Workbook book;
  model::seedWorkbookTables(book, model::Font{});
  constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kYellow = 0xFFFFFF00u;
  model::DrawingObject oval;
  oval.kind = model::kObjectOval;
  oval.lineColour = 0x000000;
  ASSERT_TRUE(drawing::setFillPicture(
      oval, std::make_shared<const image::Picture>(image::Picture{image::PictureKind::Png, {1}, {2, 2, {kRed, kGreen, kBlue, kYellow}}}),
      drawing::PictureFill::Stretched));
  const auto surface = platform::makeRasterSurface(240, 200);
  ASSERT_NE(surface, nullptr);
  surface->canvas().setClip({0, 0, 240, 200});
  const platform::Rect r{20, 20, 220, 170};
  ASSERT_TRUE(drawing::drawObject(surface->canvas(), book, oval, r, 100));
  const platform::Bitmap pixels = surface->pixels();
  const auto at = [&](double fx, double fy) {
    return pixels.at(r.left + static_cast<int>(r.width() * fx), r.top + static_cast<int>(r.height() * fy));
  };
  EXPECT_EQ(at(0.3, 0.3), kRed);
  EXPECT_EQ(at(0.7, 0.3), kGreen);
  EXPECT_EQ(at(0.3, 0.7), kBlue);
  EXPECT_EQ(at(0.7, 0.7), kYellow);
  // The rectangle's corners lie outside the oval: the white ground shows.
  for (const auto& [fx, fy] : {std::pair{0.03, 0.03}, {0.97, 0.03}, {0.03, 0.97}, {0.97, 0.97}})
    EXPECT_EQ(at(fx, fy), 0xFFFFFFFFu) << fx << "," << fy;
  EXPECT_EQ(at(0.02, 0.45), kRed) << "the oval reaches its rectangle's left edge";
  EXPECT_EQ(pixels.at(r.left + r.width() / 2, r.top), 0xFF000000u) << "the outline is drawn over the picture";
}

} // namespace
} // namespace qtui
