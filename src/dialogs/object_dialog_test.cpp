#include "dialogs/object_dialog.h"

#include "platform/dialog.h"
#include "platform/ui_services.h"
#include "view/pickers.h"

#include <gtest/gtest.h>

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

TEST_F(ObjectDialog, InvalidMacroReferenceKeepsTheSheetOpen) {
  model::DrawingObject box;
  box.kind = model::kObjectOval;
  host.queue({DialogAction::setText(kObjectMacro, u"nowhere", 2), DialogAction::ok(), DialogAction::cancel()});
  EXPECT_FALSE(showObjectFormatDialog(book, box, [](std::u16string_view) { return false; }));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kMessageMacroInvalid);
  EXPECT_TRUE(box.macro.empty());
}

TEST_F(ObjectDialog, KindsWithTextWaitForTheirTextPages) {
  model::DrawingObject o;
  for (int kind : {model::kObjectLine, model::kObjectRectangle, model::kObjectPicture, model::kObjectPolygon}) {
    o.kind = static_cast<std::uint16_t>(kind);
    EXPECT_TRUE(objectFormatAvailable(o)) << kind;
  }
  for (int kind : {model::kObjectTextBox, model::kObjectComment, model::kObjectButton, model::kObjectChart}) {
    o.kind = static_cast<std::uint16_t>(kind);
    EXPECT_FALSE(objectFormatAvailable(o)) << kind;
  }
}

} // namespace
} // namespace dialogs
