#include "dialogs/sheet_dialogs.h"

#include "dialogs/prompt_dialog.h"
#include "model/sheet_list.h"

#include <cstdio>
#include <vector>

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;
using platform::kIdCancel;
using platform::kIdOk;
using platform::Notification;

void addOkCancel(platform::DialogTemplate& t, int y) {
  t.controls.push_back(
      {kIdOk, ControlKind::Button, u"确定", t.width - 114, y, 50, 14, platform::kStyleDefault});
  t.controls.push_back({kIdCancel, ControlKind::Button, u"取消", t.width - 57, y, 50, 14});
}

/// A list of items, the first selected; a double click chooses like OK.
class ListProcedure : public platform::DialogProcedure {
public:
  ListProcedure(int listId, std::vector<std::u16string> items)
      : m_listId(listId), m_items(std::move(items)) {}

  void onInit(DialogControls& c) override {
    c.setItems(m_listId, m_items);
    c.setSelection(m_listId, 0);
  }
  int onCommand(DialogControls&, int id, Notification what) override {
    return id == m_listId && what == Notification::DoubleClicked ? kIdOk : 0;
  }
  bool onOk(DialogControls& c) override {
    m_chosen = c.selection(m_listId);
    return true;
  }
  int chosen() const { return m_chosen; }

protected:
  int m_listId;
  std::vector<std::u16string> m_items;
  int m_chosen = -1;
};

class MoveOrCopyProcedure final : public ListProcedure {
public:
  using ListProcedure::ListProcedure;
  bool onOk(DialogControls& c) override {
    m_copy = c.checked(kCopyCheck);
    return ListProcedure::onOk(c);
  }
  bool copy() const { return m_copy; }

private:
  bool m_copy = false;
};

class TabColourProcedure final : public ListProcedure {
public:
  TabColourProcedure(const model::Workbook& book, std::vector<std::u16string> items, int initial)
      : ListProcedure(kTabColourList, std::move(items)), m_book(book), m_initial(initial) {}
  void onInit(DialogControls& c) override {
    ListProcedure::onInit(c);
    for (int i = kFirstTabColour; i <= kLastTabColour; ++i)
      c.setItemColour(kTabColourList, i - kFirstTabColour + 1,
                      m_book.palette[static_cast<size_t>(i)]);
    c.setSelection(kTabColourList, m_initial);
  }

private:
  const model::Workbook& m_book;
  int m_initial;
};

std::u16string colourText(std::uint32_t bgr) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF,
                (bgr >> 16) & 0xFF);
  return std::u16string(buffer, buffer + 7);
}

} // namespace

std::optional<std::u16string> askSheetName(const model::Workbook& book, int sheet) {
  if (sheet < 0 || sheet >= book.sheetCount())
    return std::nullopt;
  Prompt p;
  p.title = u"重命名工作表";
  p.label = u"名称：";
  p.initialText = book.sheet(sheet).name;
  p.limit = model::kMaxSheetNameLength;
  p.check = [&book, sheet](std::u16string_view name) {
    return model::checkSheetName(book, name, sheet);
  };
  return askText(p);
}

std::optional<int> askUnhideSheet(const model::Workbook& book) {
  std::vector<std::u16string> names;
  std::vector<int> indexes;
  for (int i = 0; i < book.sheetCount(); ++i)
    if (book.sheet(i).hidden) {
      names.push_back(book.sheet(i).name);
      indexes.push_back(i);
    }
  if (names.empty())
    return std::nullopt;
  platform::DialogTemplate t;
  t.title = u"取消隐藏";
  t.width = 160;
  t.height = 120;
  t.controls = {
      {kSheetListLabel, ControlKind::Static, u"取消隐藏工作表", 7, 7, 146, 10},
      {kSheetList, ControlKind::ListBox, {}, 7, 19, 146, 74},
  };
  addOkCancel(t, 99);
  ListProcedure procedure(kSheetList, std::move(names));
  if (platform::dialogHost().run(t, procedure) != kIdOk || procedure.chosen() < 0)
    return std::nullopt;
  return indexes[static_cast<size_t>(procedure.chosen())];
}

std::optional<MoveOrCopy> askMoveOrCopy(const model::Workbook& book) {
  std::vector<std::u16string> names;
  std::vector<int> indexes;
  for (int i = 0; i < book.sheetCount(); ++i)
    if (!book.sheet(i).hidden) {
      names.push_back(book.sheet(i).name);
      indexes.push_back(i);
    }
  names.emplace_back(kMoveToEndItem);
  indexes.push_back(book.sheetCount());
  platform::DialogTemplate t;
  t.title = u"移动或复制工作表";
  t.width = 170;
  t.height = 150;
  t.controls = {
      {kSheetListLabel, ControlKind::Static, u"将选定工作表移至", 7, 7, 156, 10},
      {kSheetListBeforeLabel, ControlKind::Static, u"下列选定工作表之前：", 7, 19, 156, 10},
      {kSheetList, ControlKind::ListBox, {}, 7, 31, 156, 74},
      {kCopyCheck, ControlKind::CheckBox, u"建立副本", 7, 110, 156, 12},
  };
  addOkCancel(t, 129);
  MoveOrCopyProcedure procedure(kSheetList, std::move(names));
  if (platform::dialogHost().run(t, procedure) != kIdOk || procedure.chosen() < 0)
    return std::nullopt;
  return MoveOrCopy{indexes[static_cast<size_t>(procedure.chosen())], procedure.copy()};
}

std::optional<std::uint8_t> askTabColour(const model::Workbook& book, std::uint8_t current) {
  std::vector<std::u16string> items{std::u16string(kNoTabColourItem)};
  for (int i = kFirstTabColour; i <= kLastTabColour; ++i)
    items.push_back(colourText(book.palette[static_cast<size_t>(i)]));
  // Indexes below the offered range name colours the list does not show;
  // nothing is selected for them, so OK without a choice keeps them.
  const int initial = current == 0 ? 0
                      : current >= kFirstTabColour && current <= kLastTabColour
                          ? current - kFirstTabColour + 1
                          : -1;
  platform::DialogTemplate t;
  t.title = u"标签颜色";
  t.width = 140;
  t.height = 150;
  t.controls = {
      {kSheetListLabel, ControlKind::Static, u"标签颜色：", 7, 7, 126, 10},
      {kTabColourList, ControlKind::ListBox, {}, 7, 19, 126, 104},
  };
  addOkCancel(t, 129);
  TabColourProcedure procedure(book, std::move(items), initial);
  if (platform::dialogHost().run(t, procedure) != kIdOk || procedure.chosen() < 0)
    return std::nullopt;
  const int chosen = procedure.chosen();
  return static_cast<std::uint8_t>(chosen == 0 ? 0 : chosen - 1 + kFirstTabColour);
}

} // namespace dialogs
