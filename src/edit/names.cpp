#include "edit/names.h"

#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "model/undo.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/unicode.h"

#include <algorithm>
#include <vector>

namespace edit {
namespace {

char16_t listSeparator() {
  const std::u16string& s = platform::localeStrings().listSeparator;
  return s.empty() ? u',' : s[0];
}

/// The global name of this text (without regard to case), or -1.
int findGlobalName(const model::Workbook& book, std::u16string_view name) {
  for (size_t i = 0; i < book.names.size(); ++i)
    if (book.names[i].sheetIndex == 0 && platform::equalsIgnoreCase(book.names[i].name, name))
      return static_cast<int>(i);
  return -1;
}

std::u16string_view withoutEquals(std::u16string_view text) {
  return !text.empty() && text[0] == u'=' ? text.substr(1) : text;
}

/// The whole text read as one reference, or false.
bool readWholeReference(const model::Workbook& book, std::u16string_view text, formula::ParsedReference& out) {
  const std::u16string_view body = withoutEquals(text);
  return !body.empty() && formula::readA1Reference(body, 0, &book, listSeparator(), out) && out.end == body.size();
}

char16_t fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool mentions(std::u16string_view text, std::u16string_view upperName) {
  if (upperName.empty() || text.size() < upperName.size())
    return false;
  const size_t last = text.size() - upperName.size();
  for (size_t i = 0; i <= last; ++i) {
    if (fold(text[i]) != upperName[0])
      continue;
    size_t k = 1;
    while (k < upperName.size() && fold(text[i + k]) == upperName[k])
      ++k;
    if (k == upperName.size())
      return true;
  }
  return false;
}

/// Command macro and shortcut by the definition: a reference to a cell of a
/// macro sheet makes the name a command macro.
void setMacroFlag(const model::Workbook& book, model::DefinedName& n, char16_t shortcut) {
  formula::ParsedReference ref;
  const bool macro = readWholeReference(book, n.formula, ref) && ref.sheet >= 0 && ref.sheet < book.sheetCount() &&
                     book.sheet(ref.sheet).kind == model::SheetKind::Macro;
  if (macro) {
    n.flags |= model::kNameCommandMacro;
    n.shortcut = shortcut;
  } else {
    n.flags &= ~model::kNameCommandMacro;
    n.shortcut = 0;
  }
}

} // namespace

bool isValidTypedName(std::u16string_view name) {
  if (name.empty() || (name[0] >= u'0' && name[0] <= u'9'))
    return false;
  const char16_t ls = listSeparator();
  for (const char16_t c : name)
    if (c == u' ' || c == u'!' || formula::isIdentifierTerminator(c, ls))
      return false;
  if (platform::equalsIgnoreCase(name, u"TRUE") || platform::equalsIgnoreCase(name, u"FALSE"))
    return false;
  formula::ParsedReference ref;
  return !(formula::readA1Reference(name, 0, nullptr, ls, ref) && ref.end == name.size());
}

std::u16string absoluteReference(const model::Workbook& book, int sheetIndex, const model::CellRange& range) {
  std::u16string out = u"=";
  if (sheetIndex >= 0 && sheetIndex < book.sheetCount())
    formula::appendSheetQualifier(out, book.sheet(sheetIndex).name, false);
  formula::appendCellAddress(out, {range.firstRow, range.firstColumn, true, true});
  if (!range.isSingleCell()) {
    out += u':';
    formula::appendCellAddress(out, {range.lastRow, range.lastColumn, true, true});
  }
  return out;
}

std::u16string canonicalDefinition(const model::Workbook& book, int sheetIndex, std::u16string_view text) {
  formula::ParsedReference ref;
  if (readWholeReference(book, text, ref))
    return absoluteReference(book, ref.sheet >= 0 ? ref.sheet : sheetIndex, ref.range());
  // Names keep formula text, which starts with "=".
  if (!text.empty() && text[0] == u'=')
    return std::u16string(text);
  return u"=" + std::u16string(text);
}

void refreshNameUsers(model::Workbook& book, std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& c : upper)
    c = fold(c);
  std::vector<std::uint32_t> users;
  for (int s = 0; s < book.sheetCount(); ++s) {
    model::Sheet& sheet = book.sheet(s);
    if (!sheet.hasGrid())
      continue;
    users.clear();
    sheet.cells.forEach([&](model::CellRecord& c) {
      const std::u16string_view t = c.input.view();
      if (t.empty() || !(c.isFormula || t[0] == u'=') || !mentions(t, upper))
        return;
      users.push_back(model::packCell(c.row, c.column));
    });
    for (const std::uint32_t p : users) {
      model::CellRecord* c = model::cell_at(sheet, model::packedRow(p), model::packedColumn(p));
      formula::scanCell(book, s, *c);
      c->calcState = model::CalcState::NotValid;
      c->display.reset();
    }
    // Every user is stale before the change spreads, so no dependent is
    // computed from a user's old value.
    formula::propagateChanges(book, s, users);
  }
}

bool storeName(model::Workbook& book, int sheetIndex, std::u16string_view name,
               std::optional<std::u16string_view> definition, char16_t shortcut) {
  const int found = findGlobalName(book, name);
  if (found < 0 && !definition)
    return false;
  const auto action = found < 0 ? model::kUndoInsertName : definition ? model::kUndoUpdateName : model::kUndoDeleteName;
  if (!model::push_undo(book, sheetIndex, action))
    return false;
  model::UndoEntry& entry = *model::undoList().newest();
  std::u16string text;
  const bool ok = platform::withAllocation([&] {
    if (found >= 0) {
      model::DefinedName& n = book.names[static_cast<size_t>(found)];
      entry.nameIndex = found;
      entry.savedName = n;
      text = n.name;
      if (definition) {
        n.formula.assign(*definition);
        n.fileBytes.clear();
        setMacroFlag(book, n, shortcut);
      } else {
        book.names.erase(book.names.begin() + found);
      }
      return;
    }
    model::DefinedName n;
    n.name.assign(name);
    n.formula.assign(*definition);
    setMacroFlag(book, n, shortcut);
    text = n.name;
    book.names.push_back(std::move(n));
    entry.nameIndex = static_cast<int>(book.names.size() - 1);
  });
  if (!ok) {
    // Nothing was changed: the entry would undo nothing.
    (void)model::undoList().popNewest();
    return false;
  }
  model::undoList().remeasureNewest();
  model::names_changed(book);
  model::mark_modified(book);
  refreshNameUsers(book, text);
  return true;
}

void undoNameEntry(model::Workbook& book, const model::UndoEntry& e) {
  const int i = e.nameIndex;
  std::u16string text;
  if (e.action == model::kUndoInsertName) {
    if (i < 0 || i >= static_cast<int>(book.names.size()))
      return;
    text = book.names[static_cast<size_t>(i)].name;
    book.names.erase(book.names.begin() + i);
  } else if (e.savedName) {
    text = e.savedName->name;
    if (e.action == model::kUndoUpdateName && i >= 0 && i < static_cast<int>(book.names.size()))
      book.names[static_cast<size_t>(i)] = *e.savedName;
    else if (e.action == model::kUndoDeleteName && i >= 0 && i <= static_cast<int>(book.names.size()))
      book.names.insert(book.names.begin() + i, *e.savedName);
    else
      return;
  } else {
    return;
  }
  model::names_changed(book);
  refreshNameUsers(book, text);
}

} // namespace edit
