#include "model/sheet.h"

#include "platform/text_metrics.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace model {

std::uint32_t newSheetId() {
  static std::atomic<std::uint32_t> next{0};
  return ++next;
}

void sheet_init(Sheet& sheet, SheetKind kind) {
  sheet.kind = kind;
  sheet.zoom = 100;
  sheet.hidden = 0;
  sheet.versionWord = 0;
  sheet.tabColour = 0;
  if (kind == SheetKind::Chart)
    return;
  sheet.cells.clear();
  sheet.columns.clear();
  sheet.rows.clear();
  sheet.defaultColumnWidth = kDefaultColumnWidth;
  sheet.defaultRowHeight = kDefaultRowHeight;
  sheet.frozenRow = sheet.scrollPaneRow = sheet.topRow = sheet.bottomRow = 0;
  sheet.frozenColumn = sheet.scrollPaneColumn = sheet.leftColumn = sheet.rightColumn = 0;
  sheet.activeRow = 0;
  sheet.activeColumn = 0;
  sheet.selectionFirst = sheet.selectionLast = 0;
  sheet.arrayFormulas.clear();
  sheet.dataTables.clear();
  sheet.autoFilter = {};
  sheet.validations.clear();
  sheet.validationBox = {};
  sheet.mergedRanges.clear();
  sheet.hyperlinks.clear();
  sheet.pageSetup = {};
  sheet.conditionalFormats.clear();
  sheet.objects.clear();
  sheet.guts = {};
  sheet.protectionVerifier = 0;
  sheet.flags = kind == SheetKind::Worksheet ? 0x0F : 0x2F;
  sheet.selectedObject = -1;
  sheet.secondObject = -1;
}

CellTable::Search find_cell(const CellTable& table, std::uint16_t row, std::uint8_t column) {
  return table.find(row, column);
}

CellRecord* cell_at(const Sheet& sheet, std::uint16_t row, std::uint8_t column) {
  return sheet.cells.at(row, column);
}

namespace {

// A file may store one cell twice: the later record is the whole cell, with
// nothing left of the earlier one's value or formula.
void forgetLoadedCell(CellRecord& rec) {
  rec.value = CellValue();
  rec.display.reset();
  rec.precedents.reset();
  rec.isFormula = false;
  rec.keepsFileValue = false;
}

} // namespace

CellRecord* append_cell(CellTable& table, std::uint16_t row, std::uint8_t column,
                        std::u16string_view input, std::uint16_t formatIndex) {
  CellRecord* rec = table.append(row, column);
  forgetLoadedCell(*rec);
  rec->input.assignIn(table.textArena(), input);
  rec->formatIndex = formatIndex;
  rec->calcState = CalcState::NotValid;
  rec->volatility = volatilityClassOf(input);
  return rec;
}

CellRecord* append_string_cell(CellTable& table, std::uint16_t row, std::uint8_t column,
                               const CellValue& value, std::uint16_t formatIndex) {
  CellRecord* rec = table.append(row, column);
  forgetLoadedCell(*rec);
  rec->input.assignShared(value);
  rec->value = value;
  rec->formatIndex = formatIndex;
  rec->calcState = CalcState::NotValid;
  rec->volatility = volatilityClassOf(rec->input.view());
  return rec;
}

CellRecord& storeCellInput(Sheet& sheet, std::uint16_t row, std::uint8_t column,
                           std::u16string_view input, std::uint16_t formatIndex) {
  CellRecord& rec = *sheet.cells.findOrInsert(row, column);
  rec.input.assign(input); // may throw; the old text stays until this succeeds
  rec.display.reset();
  rec.value = CellValue();
  rec.precedents.reset();
  rec.formatIndex = formatIndex;
  rec.calcState = CalcState::NotValid;
  rec.volatility = volatilityClassOf(input);
  rec.isFormula = false;
  rec.keepsFileValue = false; // a new text: the file's value is gone
  removeHyperlinksAt(sheet, row, column);
  return rec;
}

// ---- row and column records ----

namespace {

template <class Vec, class Key> auto lowerBoundByKey(Vec& v, Key key) {
  return std::lower_bound(v.begin(), v.end(), key, [](const auto& r, Key k) {
    if constexpr (std::is_same_v<std::decay_t<decltype(r)>, RowRecord>)
      return r.row < k;
    else
      return r.column < k;
  });
}

} // namespace

RowRecord row_record(const Sheet& sheet, std::uint16_t row) {
  const auto it = lowerBoundByKey(sheet.rows, row);
  if (it != sheet.rows.end() && it->row == row)
    return *it;
  RowRecord r;
  r.row = row;
  r.size = sheet.defaultRowHeight;
  return r;
}

ColumnRecord column_record(const Sheet& sheet, std::uint8_t column) {
  const auto it = lowerBoundByKey(sheet.columns, column);
  if (it != sheet.columns.end() && it->column == column)
    return *it;
  ColumnRecord c;
  c.column = column;
  c.size = sheet.defaultColumnWidth;
  return c;
}

void set_row_record(Sheet& sheet, std::uint16_t row, std::uint32_t flags, std::uint16_t size) {
  auto it = lowerBoundByKey(sheet.rows, row);
  if (it == sheet.rows.end() || it->row != row) {
    RowRecord r;
    r.row = row;
    it = sheet.rows.insert(it, r);
  }
  it->flags = flags;
  it->size = size;
}

static ColumnRecord& columnRecordFor(Sheet& sheet, std::uint8_t column) {
  auto it = lowerBoundByKey(sheet.columns, column);
  if (it == sheet.columns.end() || it->column != column) {
    ColumnRecord c;
    c.column = column;
    c.size = sheet.defaultColumnWidth;
    it = sheet.columns.insert(it, c);
  }
  return *it;
}

void set_column_record(Sheet& sheet, std::uint8_t column, std::uint32_t flags, std::uint16_t size) {
  ColumnRecord& c = columnRecordFor(sheet, column);
  c.flags = flags;
  c.size = size;
}

void set_column_format(Sheet& sheet, std::uint8_t column, std::uint16_t formatIndex) {
  columnRecordFor(sheet, column).formatIndex = formatIndex;
}

std::uint16_t column_width(const Sheet& sheet, std::uint8_t column) {
  const ColumnRecord c = column_record(sheet, column);
  if (c.flags & kLineHidden)
    return 0;
  return (c.flags & kLineDefaultSize) ? sheet.defaultColumnWidth : c.size;
}

std::uint16_t row_height(const Sheet& sheet, std::uint16_t row) {
  const RowRecord r = row_record(sheet, row);
  if (r.flags & kLineHidden)
    return 0;
  return (r.flags & kLineDefaultSize) ? sheet.defaultRowHeight : r.size;
}

int column_px(const Sheet& sheet, std::uint8_t column, const PixelScale& scale) {
  return platform::mulDiv(scale.standardCharWidthPx, column_width(sheet, column), 256);
}

int row_px(const Sheet& sheet, std::uint16_t row, const PixelScale& scale) {
  return platform::mulDiv(row_height(sheet, row), scale.logicalPixelsPerInch, 1440);
}

namespace {

// Sums the pixel sizes of lines 0..limit-1: records one by one, and each run
// of lines without a record in one multiplication at the default size.
template <class Records, class SizeOf>
long long linesBefore(const Records& records, int limit, int defaultPx, SizeOf sizeOfRecord) {
  long long total = 0;
  int next = 0; // first line not yet counted
  for (const auto& r : records) {
    const int key = [&] {
      if constexpr (std::is_same_v<std::decay_t<decltype(r)>, RowRecord>)
        return static_cast<int>(r.row);
      else
        return static_cast<int>(r.column);
    }();
    if (key >= limit)
      break;
    total += static_cast<long long>(key - next) * defaultPx + sizeOfRecord(r);
    next = key + 1;
  }
  if (limit > next)
    total += static_cast<long long>(limit - next) * defaultPx;
  return total;
}

int recordColumnPx(const Sheet& s, const ColumnRecord& c, const PixelScale& scale) {
  if (c.flags & kLineHidden)
    return 0;
  const int width = (c.flags & kLineDefaultSize) ? s.defaultColumnWidth : c.size;
  return platform::mulDiv(scale.standardCharWidthPx, width, 256);
}

int recordRowPx(const Sheet& s, const RowRecord& r, const PixelScale& scale) {
  if (r.flags & kLineHidden)
    return 0;
  const int height = (r.flags & kLineDefaultSize) ? s.defaultRowHeight : r.size;
  return platform::mulDiv(height, scale.logicalPixelsPerInch, 1440);
}

} // namespace

int column_offset_px(const Sheet& sheet, int column, int fraction, const PixelScale& scale) {
  column = std::clamp(column, 0, kColumnCount);
  long long px = 0;
  if (const LineIndex* index = sheet.columns.index()) {
    px = index->offset(column, sheet.defaultColumnWidth, scale.standardCharWidthPx, 256);
  } else {
    const int defaultPx = platform::mulDiv(scale.standardCharWidthPx, sheet.defaultColumnWidth, 256);
    px = linesBefore(sheet.columns.items(), column, defaultPx,
                     [&](const ColumnRecord& c) { return recordColumnPx(sheet, c, scale); });
  }
  if (fraction > 0 && column <= kMaxColumn)
    px += static_cast<long long>(column_px(sheet, static_cast<std::uint8_t>(column), scale)) *
          fraction / 1024;
  return static_cast<int>(px);
}

int row_offset_px(const Sheet& sheet, int row, int fraction, const PixelScale& scale) {
  row = std::clamp(row, 0, kRowCount);
  long long px = 0;
  if (const LineIndex* index = sheet.rows.index()) {
    px = index->offset(row, sheet.defaultRowHeight, scale.logicalPixelsPerInch, 1440);
  } else {
    const int defaultPx = platform::mulDiv(sheet.defaultRowHeight, scale.logicalPixelsPerInch, 1440);
    px = linesBefore(sheet.rows.items(), row, defaultPx,
                     [&](const RowRecord& r) { return recordRowPx(sheet, r, scale); });
  }
  if (fraction > 0 && row <= kMaxRow)
    px += static_cast<long long>(row_px(sheet, static_cast<std::uint16_t>(row), scale)) *
          fraction / 256;
  return static_cast<int>(px);
}

int nextShownRow(const Sheet& sheet, int row) {
  if (const LineIndex* index = sheet.rows.index())
    return std::min(index->nextShown(row), kRowCount);
  while (row < kRowCount && (row_record(sheet, static_cast<std::uint16_t>(row)).flags & kLineHidden))
    ++row;
  return row;
}

int nextShownColumn(const Sheet& sheet, int column) {
  if (const LineIndex* index = sheet.columns.index())
    return std::min(index->nextShown(column), kColumnCount);
  while (column < kColumnCount && (column_record(sheet, static_cast<std::uint8_t>(column)).flags & kLineHidden))
    ++column;
  return column;
}

int blockEdge(const Sheet& sheet, bool rows, int fixed, int start, int delta) {
  const int limit = rows ? kMaxRow : kMaxColumn;
  const auto step = [&](int from) {
    for (int i = from + delta; i >= 0 && i <= limit; i += delta)
      if (rows ? row_height(sheet, static_cast<std::uint16_t>(i)) != 0
               : column_width(sheet, static_cast<std::uint8_t>(i)) != 0)
        return i;
    return -1;
  };
  const auto filled = [&](int i) {
    const CellRecord* c = rows ? cell_at(sheet, static_cast<std::uint16_t>(i), static_cast<std::uint8_t>(fixed))
                               : cell_at(sheet, static_cast<std::uint16_t>(fixed), static_cast<std::uint8_t>(i));
    return c && !c->input.isNull() && c->input.size() > 0;
  };
  int target = step(start);
  if (target < 0)
    return -1;
  if (filled(start) && filled(target)) {
    for (int n = step(target); n >= 0 && filled(n); n = step(n))
      target = n;
  } else {
    for (int n = target; !filled(target) && (n = step(target)) >= 0;)
      target = n;
  }
  return target;
}

void unhideRows(Sheet& sheet, std::uint16_t first, std::uint16_t last) {
  for (RowRecord& r : sheet.rows)
    if (r.row >= first && r.row <= last && (r.flags & kLineHidden)) {
      r.flags &= ~(kLineHidden | kLineFilterHidden);
      if (r.size == 0)
        r.flags |= kLineDefaultSize;
    }
}

void unhideColumns(Sheet& sheet, std::uint8_t first, std::uint8_t last) {
  for (ColumnRecord& c : sheet.columns)
    if (c.column >= first && c.column <= last && (c.flags & kLineHidden)) {
      c.flags &= ~kLineHidden;
      if (c.size == 0)
        c.flags |= kLineDefaultSize;
    }
}

void setColumnWidthChars(Sheet& sheet, std::uint8_t first, std::uint8_t last, double characters) {
  characters = std::clamp(characters, 0.0, 255.0);
  for (int c = first; c <= last; ++c) {
    const auto column = static_cast<std::uint8_t>(c);
    const ColumnRecord old = column_record(sheet, column);
    if (characters == 0) {
      set_column_record(sheet, column, old.flags | kLineHidden, old.size);
    } else {
      const auto size = static_cast<std::uint16_t>(characters * 256 + 0.5);
      set_column_record(sheet, column, old.flags & ~(kLineDefaultSize | kLineHidden), size);
    }
  }
}

void setRowHeightPoints(Sheet& sheet, std::uint16_t first, std::uint16_t last, double points) {
  points = std::clamp(points, 0.0, 409.0);
  if (first == 0 && last == kMaxRow && points > 0) {
    sheet.defaultRowHeight = static_cast<std::uint16_t>(points * 20 + 0.5);
    sheet.flags &= ~kSheetGlobalRowHeight;
    for (RowRecord& r : sheet.rows)
      r.flags = (r.flags | kLineDefaultSize) & ~kLineCustomHeight;
    return;
  }
  for (int r = first; r <= last; ++r) {
    const auto row = static_cast<std::uint16_t>(r);
    const RowRecord old = row_record(sheet, row);
    // A row hidden or sized by hand is the user's from now on, not the filter's.
    if (points == 0)
      set_row_record(sheet, row, (old.flags | kLineHidden) & ~kLineFilterHidden, old.size);
    else
      set_row_record(sheet, row,
                     (old.flags & ~(kLineDefaultSize | kLineHidden | kLineFilterHidden)) | kLineCustomHeight,
                     static_cast<std::uint16_t>(points * 20 + 0.5));
  }
}

// ---- merged ranges, hyperlinks ----

int merged_range_at(const Sheet& sheet, std::uint16_t row, std::uint8_t column) {
  if (const RangeIndex* index = sheet.mergedRanges.index())
    return index->find(row, column);
  for (size_t i = 0; i < sheet.mergedRanges.size(); ++i)
    if (sheet.mergedRanges[i].contains(row, column))
      return static_cast<int>(i);
  return -1;
}

bool addMergedRange(Sheet& sheet, const CellRange& range) {
  if (range.firstRow > range.lastRow || range.firstColumn > range.lastColumn)
    return false;
  if (const RangeIndex* index = sheet.mergedRanges.index()) {
    if (index->findIntersecting(range) >= 0)
      return false;
  } else {
    for (const CellRange& m : sheet.mergedRanges)
      if (m.intersects(range))
        return false;
  }
  sheet.mergedRanges.push_back(range);
  return true;
}

void removeHyperlinksAt(Sheet& sheet, std::uint16_t row, std::uint8_t column) {
  const std::uint32_t packed = packCell(row, column);
  std::erase_if(sheet.hyperlinks, [packed](const Hyperlink& h) { return h.cell == packed; });
}

const Hyperlink* hyperlinkAt(const Sheet& sheet, std::uint16_t row, std::uint8_t column) {
  const std::uint32_t packed = packCell(row, column);
  for (const Hyperlink& h : sheet.hyperlinks)
    if (h.cell == packed)
      return &h;
  return nullptr;
}

std::uint16_t passwordVerifier(std::u16string_view password) {
  if (password.empty())
    return 0;
  const size_t n = std::min<size_t>(password.size(), 255);
  std::uint32_t v = 0;
  for (size_t i = 1; i <= n; ++i) {
    const std::uint32_t c = password[i - 1];
    const unsigned shift = i % 15;
    v ^= ((c << shift) & 0x7FFF) | (c >> (15 - shift));
  }
  v ^= static_cast<std::uint32_t>(n);
  v ^= 0xCE4B;
  return static_cast<std::uint16_t>(v);
}

bool usedRange(const Sheet& sheet, CellRange& out) {
  if (sheet.cells.empty())
    return false;
  out = {0, 0, sheet.cells.last()->row, static_cast<std::uint8_t>(std::max(0, sheet.cells.lastColumn()))};
  return true;
}

} // namespace model
