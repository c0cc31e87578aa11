// Insert > 图表 (a chart sheet, or a chart on the worksheet) and the chart
// settings dialog through Format (Ctrl+1), as the menu and keys run them.

#include "app/app_test_util.h"
#include "app/command_table.h"
#include "app/menu_state.h"
#include "charts/chart_model.h"
#include "dialogs/chart_dialog.h"
#include "model/undo.h"
#include "platform/dialog.h"

namespace app {
namespace {

using platform::DialogAction;

constexpr int kChartSheet = 164, kChartObject = 165, kFormat = 190;

class ChartCommands : public AppTest {
protected:
  ChartCommands() : hostScope(host) {
    model::undoList().clear();
    // A header row over a label column and two columns of numbers: A1:C5.
    const char16_t* rows[5][3] = {{u"", u"North", u"South"},
                                  {u"Jan", u"1", u"5"},
                                  {u"Feb", u"2", u"6"},
                                  {u"Mar", u"3", u"7"},
                                  {u"Apr", u"4", u"8"}};
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 3; ++c)
        if (*rows[r][c]) {
          EXPECT_TRUE(model::set_cell(book(), 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                                      rows[r][c], 15, false, true));
        }
  }
  ~ChartCommands() override { model::undoList().clear(); }

  bool run(int id, CommandSource source = CommandSource::Menu) { return dispatch_command(app, id, source); }
  void select(int r1, int c1, int r2, int c2) {
    sheet().activeRow = static_cast<std::uint16_t>(r1);
    sheet().activeColumn = static_cast<std::uint8_t>(c1);
    sheet().selectionFirst = model::packCell(static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1));
    sheet().selectionLast = model::packCell(static_cast<std::uint16_t>(r2), static_cast<std::uint8_t>(c2));
  }
  bool enabled(int id) { return update_menu(app).items[id].enabled; }
  std::u16string undoLabel() { return model::undoList().newestLabel().value_or(u""); }
  size_t undoCount() { return model::undoList().size(); }

  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope;
};

TEST_F(ChartCommands, AsANewSheetAddsAChartSheetAtTheEndAsOneUndoEntry) {
  select(1, 0, 4, 1); // labels and one column of numbers
  EXPECT_TRUE(enabled(kChartSheet));
  const int sheets = book().sheetCount();
  ASSERT_TRUE(run(kChartSheet));
  ASSERT_EQ(book().sheetCount(), sheets + 1);
  EXPECT_EQ(book().activeSheet, sheets);
  EXPECT_EQ(sheet().kind, model::SheetKind::Chart);
  EXPECT_EQ(sheet().name, u"Chart1");
  const charts::ChartModel* c = charts::chartOfSheet(sheet());
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->seriesCount(), 1);
  const std::u16string source = book().sheet(0).name;
  EXPECT_EQ(c->series[0].categories, u"=" + source + u"!$A$2:$A$5");
  EXPECT_EQ(c->series[0].values, u"=" + source + u"!$B$2:$B$5");
  EXPECT_TRUE(host.runs().empty()); // the series was guessed: no dialog
  EXPECT_TRUE(book().modified);
  EXPECT_EQ(undoCount(), 1u);
  EXPECT_EQ(undoLabel(), u"插入图表");
  ASSERT_TRUE(run(kCmdUndo));
  EXPECT_EQ(book().sheetCount(), sheets);
  EXPECT_EQ(book().activeSheet, 0);
}

TEST_F(ChartCommands, FromAChartSheetTheFirstWorksheetIsTheSource) {
  select(1, 1, 1, 2); // one row: values only
  ASSERT_TRUE(run(kChartSheet));
  ASSERT_TRUE(run(kChartSheet));
  EXPECT_EQ(sheet().name, u"Chart2");
  const charts::ChartModel* c = charts::chartOfSheet(sheet());
  ASSERT_EQ(c->seriesCount(), 1);
  EXPECT_FALSE(c->series[0].categories);
  EXPECT_EQ(c->series[0].values, u"=" + book().sheet(0).name + u"!$B$2:$C$2");
}

TEST_F(ChartCommands, AsAnObjectUsesTheRegionAroundOneCellAndOpensTheDialogWhenItCannotGuess) {
  select(2, 1, 2, 1); // one cell: the region A1:C5 is 3 columns by 5 rows
  EXPECT_TRUE(enabled(kChartObject));
  host.queue({DialogAction::press(dialogs::kChartSeriesNew, dialogs::kChartSeriesPage), DialogAction::ok()});
  host.queue({DialogAction::setText(dialogs::kSeriesValues, u"B2:B5", 1), DialogAction::ok()});
  ASSERT_TRUE(run(kChartObject));
  ASSERT_EQ(host.runs().size(), 2u);
  EXPECT_EQ(host.runs()[1].title, dialogs::kChartDialogTitle);
  ASSERT_EQ(sheet().objects.size(), 1u);
  EXPECT_EQ(sheet().selectedObject, 0);
  const model::DrawingObject& o = sheet().objects[0];
  EXPECT_EQ(o.kind, model::kObjectChart);
  // Placed right of the block, level with its top.
  const platform::Rect r = model::anchorToPixels(sheet(), o.anchor, model::unzoomedScale());
  EXPECT_GT(r.left, model::column_offset_px(sheet(), 3, 0, model::unzoomedScale()) - 1);
  EXPECT_EQ(r.top, 0);
  EXPECT_GT(r.width(), 100);
  const charts::ChartModel* c = charts::chartOf(o);
  ASSERT_EQ(c->seriesCount(), 1);
  EXPECT_EQ(c->series[0].values, u"B2:B5");
  EXPECT_EQ(undoCount(), 1u);
  ASSERT_TRUE(run(kCmdUndo));
  EXPECT_TRUE(sheet().objects.empty());
}

TEST_F(ChartCommands, TheDialogOpensOnItsTypePageAndCancelKeepsAChartWithoutSeries) {
  select(0, 0, 4, 2);
  ASSERT_TRUE(run(kChartObject));
  ASSERT_EQ(host.runs().size(), 1u);
  EXPECT_EQ(host.runs()[0].shownPage, dialogs::kChartTypePage);
  ASSERT_EQ(sheet().objects.size(), 1u);
  EXPECT_EQ(charts::chartOf(sheet().objects[0])->seriesCount(), 0);
}

TEST_F(ChartCommands, FormatEditsTheChartSheetsChartAsOneUndoEntry) {
  select(1, 0, 4, 1);
  ASSERT_TRUE(run(kChartSheet));
  model::undoList().clear();
  EXPECT_TRUE(enabled(kFormat));
  // Cancel changes nothing and records nothing.
  host.queue({DialogAction::setText(dialogs::kChartTitle, u"Sales", dialogs::kChartTitlesPage), DialogAction::cancel()});
  ASSERT_TRUE(run(kFormat, CommandSource::Accelerator));
  EXPECT_EQ(undoCount(), 0u);
  EXPECT_FALSE(charts::chartOfSheet(sheet())->title);
  host.queue({DialogAction::setText(dialogs::kChartTitle, u"Sales", dialogs::kChartTitlesPage),
              DialogAction::check(dialogs::kChartTypeFirst + charts::kChartBar), DialogAction::ok()});
  ASSERT_TRUE(run(kFormat, CommandSource::Accelerator));
  EXPECT_EQ(charts::chartOfSheet(sheet())->title, u"Sales");
  EXPECT_EQ(charts::chartOfSheet(sheet())->type, charts::kChartBar);
  EXPECT_EQ(undoCount(), 1u);
  ASSERT_TRUE(run(kCmdUndo));
  EXPECT_EQ(sheet().kind, model::SheetKind::Chart);
  ASSERT_NE(charts::chartOfSheet(sheet()), nullptr);
  EXPECT_FALSE(charts::chartOfSheet(sheet())->title);
  EXPECT_EQ(charts::chartOfSheet(sheet())->type, charts::kChartColumn);
}

TEST_F(ChartCommands, FormatWithAnEmbeddedChartSelectedEditsIt) {
  select(1, 0, 4, 1);
  ASSERT_TRUE(run(kChartObject));
  EXPECT_TRUE(enabled(kFormat));
  host.queue({DialogAction::check(dialogs::kChartShowLegend, false, dialogs::kChartLegendPage), DialogAction::ok()});
  ASSERT_TRUE(run(kFormat));
  ASSERT_FALSE(host.runs().empty());
  EXPECT_EQ(host.runs().back().title, dialogs::kChartDialogTitle);
  EXPECT_EQ(charts::chartOf(sheet().objects[0])->showLegend, 0);
  EXPECT_EQ(undoCount(), 2u);
  ASSERT_TRUE(run(kCmdUndo));
  EXPECT_EQ(charts::chartOf(sheet().objects[0])->showLegend, 1);
}

TEST_F(ChartCommands, AProtectedSheetRefusesTheChartObject) {
  select(1, 0, 4, 1);
  sheet().flags |= model::kSheetProtected;
  ASSERT_TRUE(run(kChartObject));
  EXPECT_TRUE(sheet().objects.empty());
  EXPECT_EQ(undoCount(), 0u);
}

} // namespace
} // namespace app
