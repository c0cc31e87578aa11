#include "model/undo.h"

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
  u"单变量求解    ",
};
// clang-format on
static_assert(std::size(kUndoLabels) == kUndoActionCount);

constexpr std::uint32_t kViewFlagBits = 0x7F; // bits 0-6

bool isGrid(const Sheet& s) { return s.kind == SheetKind::Worksheet || s.kind == SheetKind::Macro; }

bool lowersToUsedRows(int action) {
  return action == kUndoClear || action == kUndoCut || action == kUndoCellFormat || action == kUndoReplace;
}

SavedRange snapshotOf(const Sheet& sheet, const CellRange& range) {
  SavedRange s;
  s.range = range;
  sheet.cells.forEachIn(range, [&](const CellRecord& c) {
    if (c.input.isNull() && c.formatIndex == kDefaultCellFormat)
      return;
    s.cells.push_back({c.row, c.column, std::u16string(c.input.view()), c.formatIndex});
  });
  for (const ArrayFormulaRecord& a : sheet.arrayFormulas)
    if (a.range.intersects(range))
      s.arrayFormulas.push_back(a);
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
  if (m_entries.size() >= kCapacity)
    m_entries.erase(m_entries.begin());
  m_entries.push_back(std::move(entry));
  return true;
}

std::unique_ptr<UndoEntry> UndoList::popNewest() {
  if (m_entries.empty())
    return nullptr;
  std::unique_ptr<UndoEntry> e = std::move(m_entries.back());
  m_entries.pop_back();
  return e;
}

void UndoList::dropWorkbook(std::uint64_t workbookId) {
  std::erase_if(m_entries, [&](const std::unique_ptr<UndoEntry>& e) { return e->workbookId == workbookId; });
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
  if (lowersToUsedRows(action)) {
    const int last = lastUsedRow(sheet);
    r.lastRow = static_cast<std::uint16_t>(std::max<int>(r.firstRow, std::min<int>(r.lastRow, last)));
  }
  std::unique_ptr<UndoEntry> e;
  if (!platform::withAllocation([&] {
        e = entryFor(book, sheetIndex, action);
        e->snapshot = snapshotOf(sheet, r);
      }))
    return false;
  return undoList().push(std::move(e));
}

namespace {

template <class Records, class Line>
bool saveRecords(const Workbook& book, int sheetIndex, const Records& records, Records UndoEntry::*slot,
                 Line inRange) {
  UndoEntry* e = undoList().newest();
  if (!e || !validSheet(book, sheetIndex) || e->sheetId != book.sheet(sheetIndex).id ||
      e->workbookId != book.id)
    return false;
  const bool ok = platform::withAllocation([&] {
    for (const auto& r : records)
      if (inRange(r))
        (e->*slot).push_back(r);
  });
  if (!ok)
    (void)undoList().popNewest(); // no half entry: the command will not run
  return ok;
}

} // namespace

bool save_row_records(const Workbook& book, int sheetIndex, const CellRange& range) {
  if (!validSheet(book, sheetIndex))
    return false;
  return saveRecords(book, sheetIndex, book.sheet(sheetIndex).rows, &UndoEntry::rows, [&](const RowRecord& r) {
    return r.row >= range.firstRow && r.row <= range.lastRow;
  });
}

bool save_column_records(const Workbook& book, int sheetIndex, const CellRange& range) {
  if (!validSheet(book, sheetIndex))
    return false;
  return saveRecords(book, sheetIndex, book.sheet(sheetIndex).columns, &UndoEntry::columns,
                     [&](const ColumnRecord& c) {
                       return c.column >= range.firstColumn && c.column <= range.lastColumn;
                     });
}

void keep_detached_sheet(std::unique_ptr<Sheet> sheet) {
  UndoEntry* e = undoList().newest();
  if (!sheet || !e || e->sheetId != sheet->id || e->detachedSheet)
    return;
  const bool deletion = e->action == kUndoDeleteWorksheet || e->action == kUndoDeleteChart ||
                        e->action == kUndoDeleteMacroSheet;
  if (deletion)
    e->detachedSheet = std::move(sheet);
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

int sheetIndexOfId(const Workbook& book, std::uint32_t sheetId) {
  for (int i = 0; i < book.sheetCount(); ++i)
    if (book.sheet(i).id == sheetId)
      return i;
  return -1;
}

} // namespace model
