// The format dialog's pages: what they show for a gathered state and what
// the user's steps leave in it.

#include "dialogs/format_dialog.h"

#include "model/workbook_list.h"
#include "numfmt/builtin_formats.h"
#include "platform/dialog.h"
#include "platform/ui_services.h"
#include "view/control_paint.h"
#include "view/pickers.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using edit::FormatDialogState;
using platform::DialogAction;

constexpr int kNumber = 0, kFont = 2, kBorder = 3, kPattern = 4, kProtection = 5;
constexpr int kReducedFont = 0, kReducedBorder = 1, kReducedPattern = 2;
// The border sample's left side in its template bounds (130 x 110).
constexpr platform::Point kLeftSide{16, 50};

class FormatDialog : public ::testing::Test {
protected:
  FormatDialog() : m_uiScope(ui), m_hostScope(host) { EXPECT_TRUE(books.new_workbook(nullptr)); }

  model::Workbook& book() { return *books.active(); }
  bool run(FormatDialogState& s, std::vector<DialogAction> script) {
    host.queue(std::move(script));
    return showFormatDialog(book(), s);
  }
  const platform::ControlState& afterInit(int page) { return host.runs().back().afterInit.at(static_cast<size_t>(page)); }

  static FormatDialogState known() {
    FormatDialogState s;
    s.face = {true, false, u"Arial"};
    s.sizeTwips = {true, false, 200};
    s.bold = {true, false, false};
    s.italic = {true, false, false};
    return s;
  }

  platform::HeadlessUiServices ui;
  platform::ScriptedDialogHost host;
  model::WorkbookList books;

private:
  platform::ScopedUiServices m_uiScope;
  platform::ScopedDialogHost m_hostScope;
};

TEST_F(FormatDialog, FullAndReducedFormsHaveTheirPages) {
  FormatDialogState s;
  run(s, {});
  EXPECT_EQ(host.runs().back().title, kFormatDialogTitle);
  EXPECT_EQ(host.runs().back().afterInit.size(), 6u);
  EXPECT_FALSE(afterInit(kFont).has(kFontClear));
  EXPECT_TRUE(afterInit(kFont).enabled(kFontFace));

  s.reduced = true;
  run(s, {});
  EXPECT_EQ(host.runs().back().afterInit.size(), 3u);
  EXPECT_TRUE(afterInit(kReducedFont).has(kFontClear));
  EXPECT_TRUE(afterInit(kReducedBorder).has(kBorderClear));
  EXPECT_TRUE(afterInit(kReducedPattern).has(kPatternClear));
  EXPECT_FALSE(afterInit(kReducedFont).enabled(kFontFace));
  EXPECT_FALSE(afterInit(kReducedFont).enabled(kFontSize));
}

TEST_F(FormatDialog, CheckBoxesAreThreeStateOnlyWhenTheSelectionDiffers) {
  FormatDialogState s = known();
  s.bold.present = false;
  ASSERT_TRUE(run(s, {DialogAction::ok()}));
  EXPECT_EQ(afterInit(kFont).checkState(kFontBold), platform::kIndeterminate);
  EXPECT_EQ(afterInit(kFont).checkState(kFontItalic), platform::kUnchecked);
  EXPECT_FALSE(s.bold.changed) << "an indeterminate box leaves the attribute alone";
  EXPECT_FALSE(s.italic.changed);
  EXPECT_FALSE(s.sizeTwips.changed) << "an untouched size box changes nothing";
  EXPECT_FALSE(s.face.changed);

  ASSERT_TRUE(run(s, {DialogAction::check(kFontBold, true, kFont), DialogAction::ok()}));
  EXPECT_TRUE(s.bold.changed);
  EXPECT_TRUE(s.bold.value);
}

TEST_F(FormatDialog, FontSizesOutside1To409AreRefusedAndThePageStaysOpen) {
  const struct {
    std::u16string_view text;
    bool accepted;
    int twips;
  } rows[] = {
      {u"12", true, 240}, {u"1", true, 20}, {u"409", true, 8180}, {u"0", false, 0},
      {u"410", false, 0}, {u"abc", false, 0}, {u"", false, 0},    {u"-5", false, 0},
  };
  for (const auto& row : rows) {
    FormatDialogState s = known();
    ui.clearShown();
    const bool ok = run(s, {DialogAction::setText(kFontSize, row.text, kFont), DialogAction::ok()});
    EXPECT_EQ(ok, row.accepted) << std::string(row.text.begin(), row.text.end());
    if (row.accepted) {
      EXPECT_EQ(s.sizeTwips.value, row.twips);
      EXPECT_TRUE(ui.shown().empty());
    } else {
      ASSERT_EQ(ui.shown().size(), 1u);
      EXPECT_EQ(ui.shown()[0].text, kMessageFontSize);
      EXPECT_EQ(host.runs().back().refusedOks, 1);
    }
  }
}

TEST_F(FormatDialog, ClickingASideTwiceWithTheSameStyleTurnsItOff) {
  FormatDialogState s;
  ASSERT_TRUE(run(s, {DialogAction::clickAt(kBorderSample, kLeftSide, kBorder),
                      DialogAction::clickAt(kBorderSample, kLeftSide, kBorder), DialogAction::ok()}));
  EXPECT_TRUE(s.borders[edit::kSideLeft].changed);
  EXPECT_EQ(s.borders[edit::kSideLeft].value, (model::Border{0, 0}));
  EXPECT_FALSE(s.borders[edit::kSideTop].changed);

  ASSERT_TRUE(run(s, {DialogAction::choose(kBorderStyle, 5, kBorder), DialogAction::choose(kBorderColour, 10, kBorder),
                      DialogAction::clickAt(kBorderSample, kLeftSide, kBorder), DialogAction::ok()}));
  EXPECT_EQ(s.borders[edit::kSideLeft].value, (model::Border{5, 10}));
}

TEST_F(FormatDialog, ClickedBorderRule) {
  using A = edit::FormatAttribute<model::Border>;
  const struct {
    A side;
    int style, colour;
    model::Border expected;
  } rows[] = {
      {A{}, 1, view::kColourNoChoice, {1, 64}},               // no colour chosen: automatic
      {A{true, false, {1, 64}}, 1, view::kColourNoChoice, {0, 0}}, // the same again: off
      {A{true, false, {1, 64}}, 1, 12, {1, 12}},             // another colour: taken
      {A{false, false, {1, 64}}, 1, view::kColourNoChoice, {1, 64}}, // not present: taken
      {A{}, 0, 12, {0, 0}},                                  // style none: colour 0
  };
  for (const auto& row : rows)
    EXPECT_EQ(clickedBorder(row.side, row.style, row.colour), row.expected);
}

TEST_F(FormatDialog, BorderSampleSidesAreFoundWherePressed) {
  const platform::Rect r{0, 0, 130, 110};
  EXPECT_EQ(view::borderSampleSideAt(r, {60, 13}), edit::kSideTop);
  EXPECT_EQ(view::borderSampleSideAt(r, kLeftSide), edit::kSideLeft);
  EXPECT_EQ(view::borderSampleSideAt(r, {40, 96}), edit::kSideBottom);
  EXPECT_EQ(view::borderSampleSideAt(r, {113, 30}), edit::kSideRight);
  EXPECT_EQ(view::borderSampleSideAt(r, {64, 30}), edit::kSideInsideVertical);
  EXPECT_EQ(view::borderSampleSideAt(r, {35, 55}), edit::kSideInsideHorizontal);
  EXPECT_EQ(view::borderSampleSideAt(r, {40, 33}), -1) << "inside a cell, away from every side";
}

TEST_F(FormatDialog, AColourWithoutAPatternSelectsSolid) {
  FormatDialogState s;
  s.pattern = {true, false, 0};
  s.colour1 = {true, false, 64};
  ASSERT_TRUE(run(s, {DialogAction::choose(kPatternColour1, 10, kPattern), DialogAction::ok()}));
  EXPECT_FALSE(afterInit(kPattern).enabled(kPatternColour2));
  EXPECT_TRUE(s.pattern.changed);
  EXPECT_EQ(s.pattern.value, 1);
  EXPECT_EQ(s.colour1.value, 10);
  EXPECT_FALSE(s.colour2.changed);
}

TEST_F(FormatDialog, ClearFormatTakesTheReducedPagesBackToNotPresent) {
  FormatDialogState s = known();
  s.reduced = true;
  s.bold = {true, true, true};
  s.fontColour = {true, true, 10};
  s.borders[edit::kSideTop] = {true, true, {1, 64}};
  s.pattern = {true, true, 1};
  ASSERT_TRUE(run(s, {DialogAction::press(kFontClear, kReducedFont), DialogAction::press(kBorderClear, kReducedBorder),
                      DialogAction::press(kPatternClear, kReducedPattern), DialogAction::ok()}));
  EXPECT_FALSE(s.bold.present || s.bold.changed);
  EXPECT_FALSE(s.fontColour.present || s.fontColour.changed);
  EXPECT_FALSE(s.borders[edit::kSideTop].present || s.borders[edit::kSideTop].changed);
  EXPECT_FALSE(s.pattern.present || s.pattern.changed);
}

TEST_F(FormatDialog, NumberPageComposesItsChoice) {
  FormatDialogState s;
  ASSERT_TRUE(run(s, {DialogAction::select(kNumCategory, numfmt::kCategoryNumber, kNumber),
                      DialogAction::setText(kNumPlaces, u"3", kNumber), DialogAction::ok()}));
  EXPECT_TRUE(s.number.changed);
  EXPECT_EQ(s.number.value.category, numfmt::kCategoryNumber);
  EXPECT_EQ(s.number.value.places, 3);

  ui.clearShown();
  EXPECT_FALSE(run(s, {DialogAction::select(kNumCategory, numfmt::kCategoryNumber, kNumber),
                       DialogAction::setText(kNumPlaces, u"16", kNumber), DialogAction::ok()}));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, numfmt::kMessageDecimalPlaces);
}

TEST_F(FormatDialog, TheLastPageOfEachFormIsRemembered) {
  FormatDialogState s;
  ASSERT_TRUE(run(s, {DialogAction::check(kProtectHidden, true, kProtection), DialogAction::ok()}));
  run(s, {});
  EXPECT_EQ(host.runs().back().shownPage, kProtection);
  FormatDialogState reduced;
  reduced.reduced = true;
  run(reduced, {DialogAction::press(kPatternClear, kReducedPattern)});
  run(reduced, {});
  EXPECT_EQ(host.runs().back().shownPage, kReducedPattern);
  run(s, {});
  EXPECT_EQ(host.runs().back().shownPage, kProtection) << "each form keeps its own";
}

} // namespace
} // namespace dialogs
