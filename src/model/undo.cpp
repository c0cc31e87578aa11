#include "model/undo.h"

#include "model/display_text.h"
#include "platform/memory.h"

#include <algorithm>
#include <iterator>

namespace model {
namespace {

// clang-format off
// Index = action code.
constexpr std::u16string_view kUndoLabels[] = {
  u"输入内容",     u"清除",         u"剪切",         u"粘贴",
  u"删除行",       u"删除列",       u"删除工作表",   u"删除图表",
  u"插入单元格",   u"插入行",       u"插入列",       u"插入工作表",
  u"插入图表",     u"插入名称",     u"更新名称",     u"删除名称",
  u"单元格格式",   u"行高",         u"隐藏行",       u"取消隐藏行",
  u"列宽",         u"隐藏列",       u"取消隐藏列",   u"标准列宽",
  u"重命名工作表", u"网格线",       u"行号列标",     u"显示比例",
  u"保护",         u"冻结窗格",     u"取消冻结",     u"排序",
  u"删除宏",       u"插入宏",       u"显示公式",     u"删除单元格",
  u"向下填充",     u"向右填充",     u"向上填充",     u"向左填充",
  u"填充序列",     u"替换",         u"插入批注",     u"edit comment",
  u"隐藏工作表",   u"取消隐藏工作表", u"validation",  u"条件格式",
  u"单变量求解    ", u"自动筛选",     u"插入对象",     u"移动对象",
  u"对象大小",     u"删除对象",     u"设置对象格式",
};
// clang-format on
static_assert(std::size(kUndoLabels) == kUndoActionCount);

constexpr std::uint32_t kViewFlagBits = 0x7F; // bits 0-6

bool isGrid(const Sheet& s) { return s.kind == SheetKind::Worksheet || s.kind == SheetKind::Macro; }

bool lowersToUsedRows(int action) {
  return action == kUndoClear || action == kUndoCut || action == kUndoCellFormat || action == kUndoReplace;
}

} // namespace

SavedRange snapshot_range(Workbook& book, int sheetIndex, const CellRange& range, bool displayTexts) {
  const Sheet& sheet = book.sheet(sheetIndex);
  SavedRange s;
  s.range = range;
  sheet.cells.forEachIn(range, [&](CellRecord& c) {
    if (c.input.isNull() && c.formatIndex == kDefaultCellFormat)
      return;
    s.cells.push_back({c.row, c.column, std::u16string(c.input.view()), c.formatIndex, {}});
    if (displayTexts && !c.input.isNull())
      s.cells.back().display = cell_plain_text(book, sheetIndex, c);
  });
  for (const ArrayFormulaRecord& a : sheet.arrayFormulas)
    if (a.range.intersects(range))
      s.arrayFormulas.push_back(a);
  for (const DataTable& t : sheet.dataTables)
    if (t.range.intersects(range))
      s.dataTables.push_back(t);
  for (const CellRange& m : sheet.mergedRanges)
    if (m.intersects(range))
      s.mergedRanges.push_back(m);
  for (const Hyperlink& h : sheet.hyperlinks)
    if (range.contains(packedRow(h.cell), packedColumn(h.cell)))
      s.hyperlinks.push_back(h);
  const auto touches = [&](const std::vector<CellRange>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(), [&](const CellRange& r) { return r.intersects(range); });
  };
  for (const ValidationRule& v : sheet.validations)
    if (touches(v.ranges))
      s.validations.push_back(v);
  for (const ConditionalFormat& f : sheet.conditionalFormats)
    if (touches(f.ranges))
      s.conditionalFormats.push_back(f);
  for (const DrawingObject& o : sheet.objects)
    if (o.kind == kObjectComment && range.contains(o.row, o.column))
      s.comments.push_back(o);
  for (const ColumnRecord& c : sheet.columns)
    if (c.column >= range.firstColumn && c.column <= range.lastColumn)
      s.columns.push_back(c);
  return s;
}

namespace {

// Builds an entry for the sheet; throws std::bad_alloc.
std::unique_ptr<UndoEntry> entryFor(const Workbook& book, int sheetIndex, int action) {
  auto e = std::make_unique<UndoEntry>();
  const Sheet& sheet = book.sheet(sheetIndex);
  e->workbookId = book.id;
  e->action = action;
  e->sheetId = sheet.id;
  e->sheetIndex = sheetIndex;
  e->view = captureViewState(sheet);
  return e;
}

bool validSheet(const Workbook& book, int sheetIndex) {
  return sheetIndex >= 0 && sheetIndex < book.sheetCount();
}

} // namespace

std::u16string_view undo_label(int action) {
  return action >= 0 && action < kUndoActionCount ? kUndoLabels[action] : std::u16string_view();
}

SheetViewState captureViewState(const Sheet& s) {
  SheetViewState v;
  v.name = s.name;
  v.zoom = s.zoom;
  if (!isGrid(s))
    return v;
  v.flags = s.flags & kViewFlagBits;
  v.defaultColumnWidth = s.defaultColumnWidth;
  v.defaultRowHeight = s.defaultRowHeight;
  v.frozenRow = s.frozenRow;
  v.scrollPaneRow = s.scrollPaneRow;
  v.topRow = s.topRow;
  v.bottomRow = s.bottomRow;
  v.frozenColumn = s.frozenColumn;
  v.scrollPaneColumn = s.scrollPaneColumn;
  v.leftColumn = s.leftColumn;
  v.rightColumn = s.rightColumn;
  v.activeRow = s.activeRow;
  v.activeColumn = s.activeColumn;
  v.selectionFirst = s.selectionFirst;
  v.selectionLast = s.selectionLast;
  v.protectionVerifier = s.protectionVerifier;
  return v;
}

void restoreViewState(Sheet& s, const SheetViewState& v) {
  s.name = v.name;
  s.zoom = v.zoom;
  if (!isGrid(s))
    return;
  s.flags = (s.flags & ~kViewFlagBits) | (v.flags & kViewFlagBits);
  s.defaultColumnWidth = v.defaultColumnWidth;
  s.defaultRowHeight = v.defaultRowHeight;
  s.frozenRow = v.frozenRow;
  s.scrollPaneRow = v.scrollPaneRow;
  s.topRow = v.topRow;
  s.bottomRow = v.bottomRow;
  s.frozenColumn = v.frozenColumn;
  s.scrollPaneColumn = v.scrollPaneColumn;
  s.leftColumn = v.leftColumn;
  s.rightColumn = v.rightColumn;
  s.activeRow = v.activeRow;
  s.activeColumn = v.activeColumn;
  s.selectionFirst = v.selectionFirst;
  s.selectionLast = v.selectionLast;
  s.protectionVerifier = v.protectionVerifier;
}

std::optional<std::u16string> UndoList::newestLabel() const {
  if (m_entries.empty())
    return std::nullopt;
  return std::u16string(undo_label(m_entries.back()->action));
}

bool UndoList::push(std::unique_ptr<UndoEntry> entry) {
  if (!entry)
    return false;
  // Room first, so a failure leaves the list as it was.
  if (!platform::withAllocation([&] { m_entries.reserve(m_entries.size() + 1); }))
    return false;
  if (!platform::withAllocation([&] { m_bytes.reserve(m_entries.size() + 1); }))
    return false;
  if (m_entries.size() >= kCapacity) {
    m_entries.erase(m_entries.begin());
    m_bytes.erase(m_bytes.begin());
  }
  m_bytes.push_back(undoEntryBytes(*entry));
  m_entries.push_back(std::move(entry));
  trimToCap();
  return true;
}

size_t UndoList::bytes() const {
  size_t total = 0;
  for (size_t b : m_bytes)
    total += b;
  return total;
}

void UndoList::remeasureNewest() {
  if (m_entries.empty())
    return;
  m_bytes.back() = undoEntryBytes(*m_entries.back());
  trimToCap();
}

void UndoList::trimToCap() {
  // The newest entry always stays: its command is about to run.
  while (m_entries.size() > 1 && bytes() > m_byteCap) {
    m_entries.erase(m_entries.begin());
    m_bytes.erase(m_bytes.begin());
  }
}

std::unique_ptr<UndoEntry> UndoList::popNewest() {
  if (m_entries.empty())
    return nullptr;
  std::unique_ptr<UndoEntry> e = std::move(m_entries.back());
  m_entries.pop_back();
  m_bytes.pop_back();
  return e;
}

void UndoList::dropWorkbook(std::uint64_t workbookId) {
  for (size_t i = m_entries.size(); i-- > 0;)
    if (m_entries[i]->workbookId == workbookId) {
      m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
      m_bytes.erase(m_bytes.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

UndoList& undoList() {
  static UndoList list;
  return list;
}

bool push_undo(Workbook& book, int sheetIndex, UndoAction action) {
  if (!validSheet(book, sheetIndex))
    return false;
  std::unique_ptr<UndoEntry> e;
  if (!platform::withAllocation([&] { e = entryFor(book, sheetIndex, action); }))
    return false;
  return undoList().push(std::move(e));
}

bool push_undo_range(Workbook& book, int sheetIndex, UndoAction action, const CellRange& range) {
  if (!validSheet(book, sheetIndex))
    return false;
  const Sheet& sheet = book.sheet(sheetIndex);
  CellRange r = range;
  if (r.firstRow > r.lastRow || r.firstColumn > r.lastColumn)
    return false;
  if (lowersToUsedRows(action)) {
    const int last = lastUsedRow(sheet);
    r.lastRow = static_cast<std::uint16_t>(std::max<int>(r.firstRow, std::min<int>(r.lastRow, last)));
  }
  std::unique_ptr<UndoEntry> e;
  if (!platform::withAllocation([&] {
        e = entryFor(book, sheetIndex, action);
        e->snapshot = snapshot_range(book, sheetIndex, r, false);
      }))
    return false;
  return undoList().push(std::move(e));
}

namespace {

template <class Records, class Line>
bool saveRecords(const Workbook& book, int sheetIndex, const Records& records, Records UndoEntry::*slot,
                 const CellRange& range, Line inRange) {
  UndoEntry* e = undoList().newest();
  if (!e || !validSheet(book, sheetIndex) || e->sheetId != book.sheet(sheetIndex).id ||
      e->workbookId != book.id)
    return false;
  const bool ok = platform::withAllocation([&] {
    for (const auto& r : records)
      if (inRange(r))
        (e->*slot).push_back(r);
    e->lineRange = range;
  });
  if (!ok)
    (void)undoList().popNewest(); // no half entry: the command will not run
  else
    undoList().remeasureNewest();
  return ok;
}

} // namespace

bool save_row_records(const Workbook& book, int sheetIndex, const CellRange& range) {
  if (!validSheet(book, sheetIndex))
    return false;
  return saveRecords(book, sheetIndex, book.sheet(sheetIndex).rows.items(), &UndoEntry::rows, range, [&](const RowRecord& r) {
    return r.row >= range.firstRow && r.row <= range.lastRow;
  });
}

bool save_column_records(const Workbook& book, int sheetIndex, const CellRange& range) {
  if (!validSheet(book, sheetIndex))
    return false;
  return saveRecords(book, sheetIndex, book.sheet(sheetIndex).columns.items(), &UndoEntry::columns, range,
                     [&](const ColumnRecord& c) {
                       return c.column >= range.firstColumn && c.column <= range.lastColumn;
                     });
}

bool save_auto_filter(const Workbook& book, int sheetIndex, const CellRange& rows) {
  if (!save_row_records(book, sheetIndex, rows))
    return false;
  UndoEntry* e = undoList().newest();
  const Sheet& sheet = book.sheet(sheetIndex);
  const bool ok = platform::withAllocation(
      [&] { e->autoFilter = SavedAutoFilter{sheet.autoFilter, sheet.flags & kSheetAutoFilter}; });
  if (!ok)
    (void)undoList().popNewest();
  else
    undoList().remeasureNewest();
  return ok;
}

bool save_objects(const Workbook& book, int sheetIndex) {
  UndoEntry* e = undoList().newest();
  if (!e)
    return false;
  const Sheet& sheet = book.sheet(sheetIndex);
  const bool ok = platform::withAllocation([&] { e->objects = sheet.objects; });
  if (!ok)
    (void)undoList().popNewest();
  else
    undoList().remeasureNewest();
  return ok;
}

void keep_detached_sheet(std::unique_ptr<Sheet> sheet) {
  UndoEntry* e = undoList().newest();
  if (!sheet || !e || e->sheetId != sheet->id || e->detachedSheet)
    return;
  const bool deletion = e->action == kUndoDeleteWorksheet || e->action == kUndoDeleteChart ||
                        e->action == kUndoDeleteMacroSheet;
  if (deletion) {
    e->detachedSheet = std::move(sheet);
    undoList().remeasureNewest();
  }
}

namespace {

size_t textBytes(std::u16string_view t) { return t.empty() ? 0 : (t.size() + 1) * sizeof(char16_t); }

size_t rangesBytes(const std::vector<CellRange>& v) { return v.size() * sizeof(CellRange); }

} // namespace

size_t savedRangeBytes(const SavedRange& s) {
  size_t n = sizeof(SavedRange) + s.cells.size() * sizeof(SavedCell);
  for (const SavedCell& c : s.cells)
    n += textBytes(c.input) + textBytes(c.display);
  for (const ArrayFormulaRecord& a : s.arrayFormulas)
    n += sizeof a + textBytes(a.text);
  n += s.dataTables.size() * sizeof(DataTable);
  n += rangesBytes(s.mergedRanges);
  for (const Hyperlink& h : s.hyperlinks)
    n += sizeof h + textBytes(h.target);
  for (const ValidationRule& v : s.validations)
    n += sizeof v + rangesBytes(v.ranges) + textBytes(v.formula1) + textBytes(v.formula2) +
         textBytes(v.inputMessage) + textBytes(v.errorMessage);
  for (const ConditionalFormat& f : s.conditionalFormats)
    n += sizeof f + rangesBytes(f.ranges) + f.conditions.size() * sizeof(FormatCondition);
  for (const DrawingObject& o : s.comments)
    n += sizeof o + textBytes(o.text);
  n += s.columns.size() * sizeof(ColumnRecord);
  return n;
}

size_t undoEntryBytes(const UndoEntry& e) {
  size_t n = sizeof(UndoEntry) + e.rows.size() * sizeof(RowRecord) + e.columns.size() * sizeof(ColumnRecord);
  if (e.snapshot)
    n += savedRangeBytes(*e.snapshot);
  if (e.detachedSheet) {
    const Sheet& s = *e.detachedSheet;
    n += sizeof(Sheet) + s.rows.size() * sizeof(RowRecord) + s.columns.size() * sizeof(ColumnRecord);
    s.cells.forEach([&](const CellRecord& c) {
      n += sizeof(CellRecord) + sizeof(void*) + textBytes(c.input.view()) + textBytes(c.display.view());
    });
    n += s.objects.size() * sizeof(DrawingObject);
  }
  if (e.savedName)
    n += sizeof(DefinedName) + textBytes(e.savedName->formula);
  if (e.objects)
    for (const DrawingObject& o : *e.objects) {
        n += sizeof o + textBytes(o.text);
        for (const ShapeProperty& p : o.properties)
          n += sizeof p + p.data.size();
    }
  if (e.autoFilter)
    n += e.autoFilter->state.criteria.size() * sizeof(FilterCriterion);
  if (e.structure) {
    const StructuralUndo& u = *e.structure;
    n += sizeof u + u.texts.size() * sizeof(StructuralUndo::Text);
    for (const StructuralUndo::Text& t : u.texts)
      n += textBytes(t.input);
    for (const StructuralUndo::ObjectText& t : u.objectTexts)
      n += sizeof t + textBytes(t.text);
    for (const DefinedName& d : u.names)
      n += sizeof d + textBytes(d.name) + textBytes(d.formula);
    for (const SavedSheetRecords& r : u.sheets)
      n += sizeof r + r.rows.size() * sizeof(RowRecord) + r.columns.size() * sizeof(ColumnRecord) +
           rangesBytes(r.mergedRanges) + r.objects.size() * sizeof(DrawingObject) +
           r.hyperlinks.size() * sizeof(Hyperlink) + r.validations.size() * sizeof(ValidationRule) +
           r.conditionalFormats.size() * sizeof(ConditionalFormat);
  }
  return n;
}

int lastUsedRow(const Sheet& sheet) {
  int last = -1;
  if (const CellRecord* c = sheet.cells.last())
    last = c->row;
  if (!sheet.rows.empty())
    last = std::max<int>(last, sheet.rows.back().row);
  for (const CellRange& m : sheet.mergedRanges)
    last = std::max<int>(last, m.lastRow);
  return last;
}

void save_names(StructuralUndo& journal, const Workbook& book) {
  journal.names = book.names;
  journal.namedSheets.clear();
  journal.namedSheets.reserve(static_cast<size_t>(book.sheetCount()));
  for (int i = 0; i < book.sheetCount(); ++i)
    journal.namedSheets.push_back(book.sheet(i).id);
  journal.namesSaved = true;
}

int sheetIndexOfId(const Workbook& book, std::uint32_t sheetId) {
  for (int i = 0; i < book.sheetCount(); ++i)
    if (book.sheet(i).id == sheetId)
      return i;
  return -1;
}

SavedSheetRecords save_sheet_records(const Sheet& s) {
  SavedSheetRecords r;
  r.sheetId = s.id;
  r.rows = s.rows;
  r.columns = s.columns;
  r.arrayFormulas = s.arrayFormulas;
  r.dataTables = s.dataTables;
  r.autoFilter = s.autoFilter;
  r.autoFilterFlag = s.flags & kSheetAutoFilter;
  r.validations = s.validations;
  r.mergedRanges = s.mergedRanges;
  r.hyperlinks = s.hyperlinks;
  r.conditionalFormats = s.conditionalFormats;
  r.objects = s.objects;
  return r;
}

void put_sheet_records(Sheet& s, const SavedSheetRecords& r) {
  s.rows = r.rows;
  s.columns = r.columns;
  s.arrayFormulas = r.arrayFormulas;
  s.dataTables = r.dataTables;
  s.autoFilter = r.autoFilter;
  s.flags = (s.flags & ~kSheetAutoFilter) | r.autoFilterFlag;
  s.validations = r.validations;
  s.mergedRanges = r.mergedRanges;
  s.hyperlinks = r.hyperlinks;
  s.conditionalFormats = r.conditionalFormats;
  s.objects = r.objects;
  s.selectedObject = s.secondObject = -1;
}

void put_back_texts(Workbook& book, const StructuralUndo& journal,
                    std::vector<std::pair<int, std::uint32_t>>& cells) {
  for (auto t = journal.texts.rbegin(); t != journal.texts.rend(); ++t) {
    const int s = sheetIndexOfId(book, t->sheetId);
    if (s < 0 || !book.sheet(s).hasGrid())
      continue;
    if (CellRecord* c = cell_at(book.sheet(s), t->row, t->column)) {
      c->input.assign(t->input);
      cells.emplace_back(s, packCell(t->row, t->column));
    }
  }
  for (auto t = journal.objectTexts.rbegin(); t != journal.objectTexts.rend(); ++t) {
    const int s = sheetIndexOfId(book, t->sheetId);
    if (s < 0 || t->object >= book.sheet(s).objects.size())
      continue;
    ObjectPayload* payload = book.sheet(s).objects[t->object].payload.get();
    if (!payload)
      continue;
    std::uint32_t ordinal = 0;
    payload->forEachReference([&](std::u16string& text) {
      if (ordinal++ == t->ordinal)
        text = t->text;
    });
  }
  if (journal.namesSaved) {
    // Local names go back to their sheets where these are now; a sheet made
    // since (a copy) keeps its own, and those of a sheet gone since go too.
    std::vector<DefinedName> names;
    names.reserve(journal.names.size() + book.names.size());
    for (const DefinedName& n : journal.names) {
      if (n.sheetIndex <= 0) {
        names.push_back(n);
        continue;
      }
      const auto saved = static_cast<size_t>(n.sheetIndex - 1);
      const int now = saved < journal.namedSheets.size() ? sheetIndexOfId(book, journal.namedSheets[saved])
                                                         : n.sheetIndex - 1;
      if (now < 0)
        continue;
      names.push_back(n);
      names.back().sheetIndex = now + 1;
    }
    if (!journal.namedSheets.empty())
      for (const DefinedName& n : book.names)
        if (n.sheetIndex > 0 && n.sheetIndex <= book.sheetCount() &&
            std::find(journal.namedSheets.begin(), journal.namedSheets.end(), book.sheet(n.sheetIndex - 1).id) ==
                journal.namedSheets.end())
          names.push_back(n);
    book.names = std::move(names);
    names_changed(book);
  }
  for (const SavedSheetRecords& r : journal.sheets)
    if (const int s = sheetIndexOfId(book, r.sheetId); s >= 0)
      put_sheet_records(book.sheet(s), r);
}

} // namespace model
