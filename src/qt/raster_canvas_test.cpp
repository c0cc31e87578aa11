// Pictures made without a window: the QImage surface behind the raster
// factory, and a sheet painted into it as the headless render does.

#include "qt/raster_canvas.h"

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

} // namespace
} // namespace qtui
