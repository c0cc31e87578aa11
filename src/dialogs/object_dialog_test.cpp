#include "dialogs/object_dialog.h"

#include "dialogs/format_dialog.h"
#include "drawing/picture_fill.h"
#include "platform/dialog.h"
#include "platform/ui_services.h"
#include "view/pickers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace dialogs {
namespace {

using platform::DialogAction;

class ObjectDialog : public ::testing::Test {
protected:
  ObjectDialog() : uiScope(ui), hostScope(host) { model::seedWorkbookTables(book, model::Font{}); }

  model::Workbook book;
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices uiScope;
  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope;
};

TEST_F(ObjectDialog, ColoursArrowsPlacementAndMacroReachTheObject) {
  model::DrawingObject line;
  line.kind = model::kObjectLine;
  line.hasFill = false;
  host.queue({DialogAction::choose(kObjectLine, 10), DialogAction::select(kObjectEndArrow, 1),
              DialogAction::check(kObjectFixed, true, 1), DialogAction::setText(kObjectMacro, u"Go", 2), DialogAction::ok()});
  EXPECT_TRUE(showObjectFormatDialog(book, line, [](std::u16string_view t) { return t == u"Go"; }));
  EXPECT_EQ(line.lineColour, book.palette[10]);
  EXPECT_EQ(line.endArrow, 1);
  EXPECT_EQ(line.startArrow, 0);
  EXPECT_EQ(line.placement, model::ObjectPlacement::Fixed);
  EXPECT_EQ(line.macro, u"Go");
  EXPECT_FALSE(line.hasFill); // a line has no fill to choose
}

TEST_F(ObjectDialog, NoFillAndCancelAndABlankButton) {
  model::DrawingObject box;
  box.kind = model::kObjectRectangle;
  box.fillColour = 0x123456; // not in the palette: the button starts blank
  host.queue({DialogAction::choose(kObjectLine, view::kColourNone), DialogAction::ok()});
  EXPECT_TRUE(showObjectFormatDialog(book, box, nullptr));
  EXPECT_FALSE(box.hasLine);
  EXPECT_TRUE(box.hasFill);
  EXPECT_EQ(box.fillColour, 0x123456u);
  host.queue({DialogAction::choose(kObjectFill, view::kColourNone), DialogAction::cancel()});
  EXPECT_FALSE(showObjectFormatDialog(book, box, nullptr));
  EXPECT_TRUE(box.hasFill);
}

// A picture fill stays unless a colour (or no fill) is chosen in its place.
TEST_F(ObjectDialog, PictureFillGivesWayOnlyToAChosenFill) {
  const auto picture = std::make_shared<const image::Picture>(image::Picture{image::PictureKind::Png, {1}, {1, 1, {0xFF00FF00u}}});
  struct Case {
    int choice; // -1: the fill button left alone
    bool pictured, filled;
  };
  for (const Case c : {Case{-1, true, true}, Case{10, false, true}, Case{view::kColourNone, false, false}}) {
    SCOPED_TRACE(c.choice);
    model::DrawingObject box;
    box.kind = model::kObjectRectangle;
    ASSERT_TRUE(drawing::setFillPicture(box, picture, drawing::PictureFill::Texture));
    std::vector<DialogAction> actions;
    if (c.choice != -1)
      actions.push_back(DialogAction::choose(kObjectFill, c.choice));
    actions.push_back(DialogAction::choose(kObjectLine, 10));
    actions.push_back(DialogAction::ok());
    host.queue(actions);
    EXPECT_TRUE(showObjectFormatDialog(book, box, nullptr));
    EXPECT_EQ(drawing::fillPictureOf(box) != nullptr, c.pictured);
    EXPECT_EQ(drawing::pictureFillOf(box), c.pictured ? drawing::PictureFill::Texture : drawing::PictureFill::None);
    EXPECT_EQ(box.hasFill, c.filled);
    EXPECT_EQ(box.lineColour, book.palette[10]);
    if (c.choice == 10) {
      EXPECT_EQ(box.fillColour, book.palette[10]);
    }
    EXPECT_EQ(std::count_if(box.properties.begin(), box.properties.end(),
                            [](const model::ShapeProperty& p) { return p.id == drawing::kPropFillType; }),
              c.pictured ? 1 : 0);
  }
}

TEST_F(ObjectDialog, InvalidMacroReferenceKeepsTheSheetOpen) {
  model::DrawingObject box;
  box.kind = model::kObjectOval;
  host.queue({DialogAction::setText(kObjectMacro, u"nowhere", 2), DialogAction::ok(), DialogAction::cancel()});
  EXPECT_FALSE(showObjectFormatDialog(book, box, [](std::u16string_view) { return false; }));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageMacroInvalid);
  EXPECT_TRUE(box.macro.empty());
}

TEST_F(ObjectDialog, KindsWithTextGetTheFontAndTextPages) {
  model::DrawingObject o;
  o.kind = model::kObjectOfficeShape;
  EXPECT_FALSE(hasTextPages(o)); // a shape without text
  o.text = u"x";
  EXPECT_TRUE(hasTextPages(o));
  for (int kind : {model::kObjectLine, model::kObjectRectangle, model::kObjectPicture, model::kObjectPolygon,
                   model::kObjectTextBox, model::kObjectComment, model::kObjectOfficeShape}) {
    o.kind = static_cast<std::uint16_t>(kind);
    EXPECT_TRUE(objectFormatAvailable(o)) << kind;
  }
  // Controls have their own sheet, charts theirs.
  for (int kind : {model::kObjectButton, model::kObjectCheckBox, model::kObjectChart}) {
    o.kind = static_cast<std::uint16_t>(kind);
    EXPECT_FALSE(objectFormatAvailable(o)) << kind;
  }
}

TEST_F(ObjectDialog, CommentTakesFontAndPlacementAndHasNoMacroPage) {
  model::DrawingObject comment;
  comment.kind = model::kObjectComment;
  comment.text = u"note";
  const size_t fonts = book.fonts.size();
  host.queue({DialogAction::setText(kFontSize, u"14", 0), DialogAction::check(kFontItalic, true, 0),
              DialogAction::select(kObjectTextAlign, 4, 1), DialogAction::select(kObjectTextVerticalAlign, 1, 1),
              DialogAction::ok()});
  ASSERT_TRUE(showObjectFormatDialog(book, comment, nullptr));
  ASSERT_EQ(host.runs().size(), 1u);
  EXPECT_EQ(host.runs()[0].afterInit.size(), 4u); // 字体, 文本, 颜色与线条, 属性
  EXPECT_EQ(host.runs()[0].badActions, 0);
  EXPECT_EQ(comment.textAlign, model::kTextAlignDistributed);
  EXPECT_EQ(comment.textVerticalAlign, model::kTextAlignMiddle);
  ASSERT_EQ(book.fonts.size(), fonts + 1);
  ASSERT_EQ(comment.fontIndex, fonts);
  EXPECT_EQ(book.fonts[fonts].heightTwips, 280);
  EXPECT_TRUE(book.fonts[fonts].attributes & model::kFontItalic);
  EXPECT_EQ(book.fonts[fonts].face, book.fonts[0].face);

  // The same font again is found, not added; an untouched font page keeps the index.
  model::DrawingObject other = comment;
  other.fontIndex = 0;
  host.queue({DialogAction::setText(kFontSize, u"14", 0), DialogAction::check(kFontItalic, true, 0), DialogAction::ok()});
  ASSERT_TRUE(showObjectFormatDialog(book, other, nullptr));
  EXPECT_EQ(other.fontIndex, comment.fontIndex);
  host.queue({DialogAction::ok()});
  ASSERT_TRUE(showObjectFormatDialog(book, other, nullptr));
  EXPECT_EQ(other.fontIndex, comment.fontIndex);
  EXPECT_EQ(book.fonts.size(), fonts + 1);
}

} // namespace
} // namespace dialogs
