#include "dialogs/names_dialog.h"

#include "edit/names.h"
#include "formula/reference_syntax.h"
#include "platform/dialog.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;
using platform::Notification;

constexpr size_t kMaxNameLength = 255;

/// The sheet whose selection the definition starts with: the active one
/// when it has cells, else the first worksheet or macro sheet.
int definitionSheet(const model::Workbook& book) {
  if (book.activeSheet >= 0 && book.activeSheet < book.sheetCount() && book.sheet(book.activeSheet).hasGrid() &&
      book.sheet(book.activeSheet).kind != model::SheetKind::Module)
    return book.activeSheet;
  for (int i = 0; i < book.sheetCount(); ++i)
    if (book.sheet(i).kind == model::SheetKind::Worksheet || book.sheet(i).kind == model::SheetKind::Macro)
      return i;
  return -1;
}

model::CellRange selectionOf(const model::Sheet& s) {
  const int r1 = model::packedRow(s.selectionFirst), r2 = model::packedRow(s.selectionLast);
  const int c1 = model::packedColumn(s.selectionFirst), c2 = model::packedColumn(s.selectionLast);
  return {static_cast<std::uint16_t>(std::min(r1, r2)), static_cast<std::uint8_t>(std::min(c1, c2)),
          static_cast<std::uint16_t>(std::max(r1, r2)), static_cast<std::uint8_t>(std::max(c1, c2))};
}

/// The name box's text as a name: at most 255 characters, trailing spaces off.
std::u16string nameOf(std::u16string_view text) {
  std::u16string name(text.substr(0, std::min(text.size(), kMaxNameLength)));
  while (!name.empty() && name.back() == u' ')
    name.pop_back();
  return name;
}

class DefineNamesProcedure final : public platform::DialogProcedure {
public:
  explicit DefineNamesProcedure(model::Workbook& book) : m_book(book) {}

  bool changed() const { return m_changed; }

  void onInit(DialogControls& c) override {
    fill(c);
    const int sheet = definitionSheet(m_book);
    if (sheet >= 0)
      c.setText(kNamesDefinition, edit::absoluteReference(m_book, sheet, selectionOf(m_book.sheet(sheet))));
  }

  int onCommand(DialogControls& c, int id, Notification what) override {
    if (id == kNamesList && what == Notification::SelectionChanged) {
      const int item = c.selection(kNamesList);
      if (item < 0 || item >= static_cast<int>(m_items.size()))
        return 0;
      const model::DefinedName& n = m_book.names[static_cast<size_t>(m_items[static_cast<size_t>(item)].index)];
      c.setText(kNamesName, m_items[static_cast<size_t>(item)].text);
      c.setText(kNamesDefinition, n.formula);
      c.setText(kNamesShortcut, (n.flags & model::kNameCommandMacro) && n.shortcut
                                    ? std::u16string(1, n.shortcut)
                                    : std::u16string());
    } else if (id == kNamesAdd) {
      (void)add(c);
    } else if (id == kNamesDelete) {
      const std::u16string name = nameOf(c.text(kNamesName));
      if (!name.empty() && edit::storeName(m_book, sheetForUndo(), name, std::nullopt, 0))
        m_changed = true;
      fill(c);
      c.setText(kNamesName, u"");
      c.setText(kNamesDefinition, u"");
    }
    return 0;
  }

  bool onOk(DialogControls& c) override { return add(c); }

private:
  int sheetForUndo() const { return std::max(0, m_book.activeSheet); }

  /// Add and OK: false when the name is refused (the dialog stays open).
  bool add(DialogControls& c) {
    const std::u16string name = nameOf(c.text(kNamesName));
    if (name.empty())
      return true;
    if (!edit::isValidTypedName(name)) {
      platform::ui().messageBox(edit::kMessageBadName, std::nullopt, platform::MessageButtons::Ok,
                                platform::MessageIcon::None);
      c.selectText(kNamesName, 0, static_cast<int>(name.size()));
      return false;
    }
    const std::u16string typed = c.text(kNamesDefinition);
    const int sheet = definitionSheet(m_book);
    const std::u16string definition = typed.empty() ? typed : edit::canonicalDefinition(m_book, std::max(sheet, 0), typed);
    const std::u16string shortcut = c.text(kNamesShortcut);
    if (edit::storeName(m_book, sheetForUndo(), name,
                        typed.empty() ? std::nullopt : std::optional<std::u16string_view>(definition),
                        shortcut.empty() ? char16_t{0} : shortcut[0]))
      m_changed = true;
    fill(c);
    c.setText(kNamesDefinition, definition);
    return true;
  }

  void fill(DialogControls& c) {
    m_items = nameListItems(m_book);
    std::vector<std::u16string> texts;
    for (const NameListItem& i : m_items)
      texts.push_back(i.text);
    c.setItems(kNamesList, texts);
  }

  model::Workbook& m_book;
  std::vector<NameListItem> m_items;
  bool m_changed = false;
};

} // namespace

std::vector<NameListItem> nameListItems(const model::Workbook& book) {
  std::vector<NameListItem> items;
  for (size_t i = 0; i < book.names.size(); ++i) {
    const model::DefinedName& n = book.names[i];
    // Names through which files call a later version's functions are the
    // file's plumbing, not the user's.
    if (n.flags & model::kNameLaterFunction)
      continue;
    NameListItem item;
    item.index = static_cast<int>(i);
    if (n.sheetIndex > 0 && n.sheetIndex <= book.sheetCount())
      formula::appendSheetQualifier(item.text, book.sheet(n.sheetIndex - 1).name, false);
    item.text += n.name;
    items.push_back(std::move(item));
  }
  std::stable_sort(items.begin(), items.end(), [](const NameListItem& a, const NameListItem& b) {
    return platform::toUpper(a.text) < platform::toUpper(b.text);
  });
  return items;
}

bool defineNames(model::Workbook& book) {
  platform::DialogTemplate t;
  t.title = u"定义名称";
  t.width = 220;
  t.height = 170;
  t.controls = {
      {kNamesLabel, ControlKind::Static, u"在当前工作簿中的名称：", 7, 7, 150, 10},
      {kNamesName, ControlKind::Edit, {}, 7, 19, 150, 13, 0, static_cast<int>(kMaxNameLength)},
      {kNamesList, ControlKind::ListBox, {}, 7, 35, 150, 80},
      {kNamesDefinitionLabel, ControlKind::Static, u"引用位置：", 7, 120, 150, 10},
      {kNamesDefinition, ControlKind::Edit, {}, 7, 132, 206, 13},
      {platform::kIdOk, ControlKind::Button, u"确定", 163, 7, 50, 14, platform::kStyleDefault},
      {platform::kIdCancel, ControlKind::Button, u"取消", 163, 24, 50, 14},
      {kNamesAdd, ControlKind::Button, u"添加", 163, 41, 50, 14},
      {kNamesDelete, ControlKind::Button, u"删除", 163, 58, 50, 14},
      {kNamesShortcutLabel, ControlKind::Static, u"控制键：", 7, 152, 40, 10},
      {kNamesShortcut, ControlKind::Edit, {}, 50, 150, 20, 13, 0, 1},
  };
  DefineNamesProcedure procedure(book);
  platform::dialogHost().run(t, procedure);
  return procedure.changed();
}

} // namespace dialogs
