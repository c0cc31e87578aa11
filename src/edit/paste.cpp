#include "edit/paste.h"

#include "formula/recalc.h"
#include "formula/rewrite.h"
#include "formula/text_value.h"
#include "model/set_cell.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace edit {

using model::CellRange;
using model::CellRecord;
using model::SavedCell;
using model::SavedRange;
using model::Sheet;
using model::Workbook;

namespace {

constexpr std::uint16_t kTextNumberFormat = 49;

bool takesClipFormats(int part) {
  return part == kPasteAll || part == kPasteFormats || part == kPasteAllButBorders;
}
bool carriesMerges(int part) { return part == kPasteAll || part == kPasteFormats; }
bool carriesComments(int part) {
  return part == kPasteAll || part == kPasteComments || part == kPasteAllButBorders;
}
bool carriesValidation(int part) {
  return part == kPasteAll || part == kPasteAllButBorders || part == kPasteValidation;
}
bool carriesConditionalFormats(int part) { return takesClipFormats(part); }
bool carriesHyperlinks(int part) { return part == kPasteAll || part == kPasteAllButBorders; }
// Values and formats never make an array: only the parts that paste formulas.
bool carriesArrays(int part) {
  return part == kPasteAll || part == kPasteFormulas || part == kPasteAllButBorders;
}
bool walksCells(int part) { return part != kPasteComments && part != kPasteValidation; }

bool inside(const CellRange& inner, const CellRange& outer) {
  return inner.firstRow >= outer.firstRow && inner.lastRow <= outer.lastRow &&
         inner.firstColumn >= outer.firstColumn && inner.lastColumn <= outer.lastColumn;
}

CellRange intersection(const CellRange& a, const CellRange& b) {
  return {std::max(a.firstRow, b.firstRow), std::max(a.firstColumn, b.firstColumn),
          std::min(a.lastRow, b.lastRow), std::min(a.lastColumn, b.lastColumn)};
}

CellRange shifted(const CellRange& r, int dRow, int dColumn) {
  return {static_cast<std::uint16_t>(r.firstRow + dRow), static_cast<std::uint8_t>(r.firstColumn + dColumn),
          static_cast<std::uint16_t>(r.lastRow + dRow), static_cast<std::uint8_t>(r.lastColumn + dColumn)};
}

bool isFormula(std::u16string_view t) { return t.size() >= 2 && t.front() == u'='; }

bool readNumberText(std::u16string_view t, double& out) {
  if (!t.empty() && t.front() == u'\'')
    t.remove_prefix(1);
  return !t.empty() && formula::readNumber(t, 0, t.size(), false, out, platform::localeStrings());
}

std::u16string numberText(double x) { return formula::numberToText(x, platform::localeStrings()); }

std::u16string_view operatorText(int operation) {
  switch (operation) {
  case kOperationAdd:
    return u"+";
  case kOperationSubtract:
    return u"-";
  case kOperationMultiply:
    return u"*";
  case kOperationDivide:
    return u"/";
  default:
    return {};
  }
}

// Cell formats of another workbook, looked up or added here once each.
class FormatTranslator {
public:
  FormatTranslator(Workbook& dest, const Workbook* source) : m_dest(dest), m_source(source) {}

  std::uint16_t operator()(std::uint16_t index) {
    if (!m_source || m_source == &m_dest)
      return index;
    if (auto it = m_cache.find(index); it != m_cache.end())
      return it->second;
    std::uint16_t out = model::kDefaultCellFormat;
    if (index < m_source->cellFormats.size()) {
      model::CellFormat f = m_source->cellFormats[index];
      if (f.fontIndex < m_source->fonts.size()) {
        const int font = model::findOrAddFont(m_dest, m_source->fonts[f.fontIndex]);
        f.fontIndex = static_cast<std::uint16_t>(std::max(font, 0));
      }
      const std::u16string_view code = model::numberFormatCode(*m_source, f.numberFormatIndex);
      if (model::numberFormatCode(m_dest, f.numberFormatIndex) != code) {
        const int number = model::findOrAddFormat(m_dest, code);
        f.numberFormatIndex = static_cast<std::uint16_t>(std::max(number, 0));
      }
      f.flags &= ~model::kFormatStyle;
      const int added = model::findOrAddCellFormat(m_dest, f);
      if (added >= 0)
        out = static_cast<std::uint16_t>(added);
    }
    m_cache.emplace(index, out);
    return out;
  }

private:
  Workbook& m_dest;
  const Workbook* m_source;
  std::unordered_map<std::uint16_t, std::uint16_t> m_cache;
};

std::uint16_t withBordersOf(Workbook& book, std::uint16_t format, std::uint16_t bordersFrom) {
  if (format >= book.cellFormats.size() || bordersFrom >= book.cellFormats.size())
    return format;
  model::CellFormat f = book.cellFormats[format];
  if (f.borders == book.cellFormats[bordersFrom].borders)
    return format;
  f.borders = book.cellFormats[bordersFrom].borders;
  f.flags &= ~model::kFormatStyle;
  const int i = model::findOrAddCellFormat(book, f);
  return i >= 0 ? static_cast<std::uint16_t>(i) : format;
}

std::uint16_t unlocked(Workbook& book, std::uint16_t format) {
  if (format >= book.cellFormats.size() || !(book.cellFormats[format].flags & model::kFormatLocked))
    return format;
  model::CellFormat f = book.cellFormats[format];
  f.flags &= ~(model::kFormatLocked | model::kFormatStyle);
  const int i = model::findOrAddCellFormat(book, f);
  return i >= 0 ? static_cast<std::uint16_t>(i) : format;
}

std::uint16_t columnDefault(const Sheet& sheet, int column) {
  return model::column_record(sheet, static_cast<std::uint8_t>(column)).formatIndex;
}

// Removes a stored cell; true when there was one.
bool removeCell(Sheet& sheet, int row, int column) {
  const model::CellTable::Search f =
      sheet.cells.find(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  if (!f.found)
    return false;
  sheet.cells.erase(f.position);
  return true;
}

template <class Rule> void cutOutOfRules(std::vector<Rule>& rules, const CellRange& hole) {
  for (Rule& rule : rules) {
    if (std::none_of(rule.ranges.begin(), rule.ranges.end(), [&](const CellRange& r) { return r.intersects(hole); }))
      continue;
    std::vector<CellRange> kept;
    for (const CellRange& r : rule.ranges)
      for (const CellRange& piece : subtractRange(r, hole))
        kept.push_back(piece);
    rule.ranges = std::move(kept);
  }
  std::erase_if(rules, [](const Rule& rule) { return rule.ranges.empty(); });
}

// A pasted rule joins an equal rule of the sheet, or comes in as a new one.
template <class Rule> void addRuleRanges(std::vector<Rule>& rules, const Rule& like, std::vector<CellRange> ranges) {
  if (ranges.empty())
    return;
  for (Rule& rule : rules) {
    Rule probe = rule;
    probe.ranges = like.ranges;
    if (probe == like) {
      rule.ranges.insert(rule.ranges.end(), ranges.begin(), ranges.end());
      return;
    }
  }
  Rule copy = like;
  copy.ranges = std::move(ranges);
  rules.push_back(std::move(copy));
}

// Puts kept rules back over a range. The command may have cut the range out
// of them, added pasted ranges inside it, or left them alone; cutting the
// range out of every rule now gives each kept rule's outside part, which
// finds the rule it became, and the kept rule takes its place whole. A rule
// that lay wholly inside the range comes back as a new one.
template <class Rule> void putBackRules(std::vector<Rule>& rules, const std::vector<Rule>& kept, const CellRange& range) {
  cutOutOfRules(rules, range);
  for (const Rule& k : kept) {
    std::vector<Rule> outside{k};
    cutOutOfRules(outside, range);
    auto same = rules.end();
    if (!outside.empty())
      same = std::find(rules.begin(), rules.end(), outside.front());
    if (same != rules.end())
      *same = k;
    else
      rules.push_back(k);
  }
}

void removeComments(Sheet& sheet, const CellRange& range) {
  const size_t before = sheet.objects.size();
  std::erase_if(sheet.objects, [&](const model::DrawingObject& o) {
    return o.kind == model::kObjectComment && range.contains(o.row, o.column);
  });
  if (sheet.objects.size() != before) {
    sheet.selectedObject = -1;
    sheet.secondObject = -1;
  }
}

model::DrawingObject movedComment(const model::DrawingObject& o, int dRow, int dColumn) {
  model::DrawingObject c = o;
  c.row = static_cast<std::uint16_t>(o.row + dRow);
  c.column = static_cast<std::uint8_t>(o.column + dColumn);
  const auto moveCorner = [&](model::AnchorCorner& k) {
    k.row = static_cast<std::uint16_t>(std::clamp<int>(k.row + dRow, 0, model::kMaxRow));
    k.column = static_cast<std::uint16_t>(std::clamp<int>(k.column + dColumn, 0, model::kMaxColumn));
  };
  moveCorner(c.anchor.first);
  moveCorner(c.anchor.last);
  return c;
}

} // namespace

bool partReplacesContents(int part) {
  return part == kPasteAll || part == kPasteFormulas || part == kPasteValues || part == kPasteAllButBorders;
}

std::vector<CellRange> subtractRange(const CellRange& r, const CellRange& hole) {
  if (!r.intersects(hole))
    return {r};
  const CellRange h = intersection(r, hole);
  std::vector<CellRange> out;
  if (h.firstRow > r.firstRow) // the band above, full width
    out.push_back({r.firstRow, r.firstColumn, static_cast<std::uint16_t>(h.firstRow - 1), r.lastColumn});
  if (h.lastRow < r.lastRow) // the band below, full width
    out.push_back({static_cast<std::uint16_t>(h.lastRow + 1), r.firstColumn, r.lastRow, r.lastColumn});
  if (h.firstColumn > r.firstColumn) // left of the hole, its rows
    out.push_back({h.firstRow, r.firstColumn, h.lastRow, static_cast<std::uint8_t>(h.firstColumn - 1)});
  if (h.lastColumn < r.lastColumn) // right of the hole, its rows
    out.push_back({h.firstRow, static_cast<std::uint8_t>(h.lastColumn + 1), h.lastRow, r.lastColumn});
  return out;
}

bool isCellSheet(const Workbook& book, int sheetIndex) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return false;
  const model::SheetKind k = book.sheet(sheetIndex).kind;
  return k == model::SheetKind::Worksheet || k == model::SheetKind::Macro;
}

void emptyRangeContents(Sheet& sheet, const CellRange& range, std::vector<std::uint32_t>& removed) {
  const size_t first = removed.size();
  sheet.cells.forEachIn(range, [&](const CellRecord& c) { removed.push_back(model::packCell(c.row, c.column)); });
  for (size_t i = first; i < removed.size(); ++i)
    removeCell(sheet, model::packedRow(removed[i]), model::packedColumn(removed[i]));
  std::erase_if(sheet.arrayFormulas, [&](const model::ArrayFormulaRecord& a) { return inside(a.range, range); });
  std::erase_if(sheet.dataTables, [&](const model::DataTable& t) { return t.range.intersects(range); });
  std::erase_if(sheet.mergedRanges.edit(), [&](const CellRange& m) { return inside(m, range); });
  std::erase_if(sheet.hyperlinks, [&](const model::Hyperlink& h) {
    return range.contains(model::packedRow(h.cell), model::packedColumn(h.cell));
  });
  removeComments(sheet, range);
  cutOutOfValidations(sheet, range);
  cutOutOfConditionalFormats(sheet, range);
}

void cutOutOfValidations(Sheet& sheet, const CellRange& range) { cutOutOfRules(sheet.validations.edit(), range); }
void cutOutOfConditionalFormats(Sheet& sheet, const CellRange& range) {
  cutOutOfRules(sheet.conditionalFormats.edit(), range);
}

std::u16string operateTexts(std::u16string_view d, std::u16string_view c, int operation) {
  const std::u16string_view op = operatorText(operation);
  if (op.empty())
    return std::u16string(c);
  double dn = 0, cn = 0;
  const bool dFormula = isFormula(d);
  const bool dNumber = !dFormula && readNumberText(d, dn);
  if (isFormula(c)) {
    const std::u16string_view cBody = c.substr(1);
    if (dFormula)
      return u"=(" + std::u16string(d.substr(1)) + u")" + std::u16string(op) + u"(" + std::u16string(cBody) + u")";
    if (dNumber)
      return u"=" + numberText(dn) + std::u16string(op) + u"(" + std::u16string(cBody) + u")";
    return std::u16string(d);
  }
  if (readNumberText(c, cn)) {
    if (dFormula)
      return u"=(" + std::u16string(d.substr(1)) + u")" + std::u16string(op) + numberText(cn);
    if (d.empty() || dNumber) {
      double r = 0;
      switch (operation) {
      case kOperationAdd:
        r = dn + cn;
        break;
      case kOperationSubtract:
        r = dn - cn;
        break;
      case kOperationMultiply:
        r = dn * cn;
        break;
      default:
        if (cn == 0)
          return u"#DIV/0!";
        r = dn / cn;
        break;
      }
      return numberText(r);
    }
  }
  return std::u16string(d);
}

bool paste_snapshot(Workbook& book, int sheetIndex, const SavedRange& clip, const CellRange& dest,
                    const Workbook* source, const PasteOptions& o) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount() || !book.sheet(sheetIndex).hasGrid())
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  const int part = o.part;
  const CellRange& cr = clip.range;
  const int clipRows = cr.rowCount(), clipColumns = cr.columnCount();
  const Workbook& formatsOf = source ? *source : book;
  FormatTranslator translate(book, source);
  std::vector<std::uint32_t> changed;
  bool ok = platform::withAllocation([&] {
    // Make room: what the parts re-create goes first.
    if (partReplacesContents(part)) {
      std::erase_if(sheet.arrayFormulas, [&](const model::ArrayFormulaRecord& a) { return inside(a.range, dest); });
      std::erase_if(sheet.dataTables, [&](const model::DataTable& t) { return t.range.intersects(dest); });
      std::erase_if(sheet.hyperlinks, [&](const model::Hyperlink& h) {
        return dest.contains(model::packedRow(h.cell), model::packedColumn(h.cell));
      });
    }
    if (carriesMerges(part))
      std::erase_if(sheet.mergedRanges.edit(), [&](const CellRange& m) { return inside(m, dest); });
    if (carriesComments(part))
      removeComments(sheet, dest);
    if (carriesValidation(part))
      cutOutOfValidations(sheet, dest);
    if (carriesConditionalFormats(part))
      cutOutOfConditionalFormats(sheet, dest);

    // Whole columns bring their column formats, so their empty cells need
    // not be stored one by one.
    const bool wholeColumns = cr.firstRow == 0 && cr.lastRow == model::kMaxRow && dest.firstRow == 0 &&
                              dest.lastRow == model::kMaxRow;
    std::vector<std::uint16_t> clipDefaults(static_cast<size_t>(clipColumns), model::kDefaultCellFormat);
    for (const model::ColumnRecord& c : clip.columns)
      if (c.column >= cr.firstColumn && c.column <= cr.lastColumn)
        clipDefaults[static_cast<size_t>(c.column - cr.firstColumn)] = translate(c.formatIndex);
    if (wholeColumns && takesClipFormats(part))
      for (int c = dest.firstColumn; c <= dest.lastColumn; ++c)
        model::set_column_format(sheet, static_cast<std::uint8_t>(c),
                                 clipDefaults[static_cast<size_t>((c - dest.firstColumn) % clipColumns)]);

    if (walksCells(part)) {
      std::unordered_map<std::uint32_t, const SavedCell*> clipCells;
      clipCells.reserve(clip.cells.size());
      for (const SavedCell& c : clip.cells)
        clipCells.emplace(model::packCell(c.row, c.column), &c);
      const auto clipCellAt = [&](int row, int column) -> const SavedCell* {
        const auto it = clipCells.find(model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)));
        return it == clipCells.end() ? nullptr : it->second;
      };

      // The cells that can change: those stored there now and the images of
      // the clip's cells; every cell of the range only when a missing clip
      // cell would leave a format of its own.
      bool everyCell = false;
      if (takesClipFormats(part) && !o.skipBlanks)
        for (int c = dest.firstColumn; c <= dest.lastColumn && !everyCell; ++c)
          everyCell = clipDefaults[static_cast<size_t>((c - dest.firstColumn) % clipColumns)] != columnDefault(sheet, c);
      std::vector<std::uint32_t> visit;
      if (everyCell) {
        visit.reserve(static_cast<size_t>(dest.rowCount()) * static_cast<size_t>(dest.columnCount()));
        for (int r = dest.firstRow; r <= dest.lastRow; ++r)
          for (int c = dest.firstColumn; c <= dest.lastColumn; ++c)
            visit.push_back((static_cast<std::uint32_t>(r) << 8) | static_cast<std::uint32_t>(c));
      } else {
        sheet.cells.forEachIn(dest, [&](const CellRecord& c) { visit.push_back(c.key()); });
        for (int tr = dest.firstRow; tr <= dest.lastRow; tr += clipRows)
          for (int tc = dest.firstColumn; tc <= dest.lastColumn; tc += clipColumns)
            for (const SavedCell& c : clip.cells) {
              const int r = tr + (c.row - cr.firstRow), col = tc + (c.column - cr.firstColumn);
              if (r <= dest.lastRow && col <= dest.lastColumn)
                visit.push_back((static_cast<std::uint32_t>(r) << 8) | static_cast<std::uint32_t>(col));
            }
        std::sort(visit.begin(), visit.end());
        visit.erase(std::unique(visit.begin(), visit.end()), visit.end());
      }

      const bool sheetProtected = (sheet.flags & model::kSheetProtected) != 0;
      std::u16string text;
      for (const std::uint32_t key : visit) {
        const int r = static_cast<int>(key >> 8), c = static_cast<int>(key & 0xFF);
        const int clipRow = cr.firstRow + (r - dest.firstRow) % clipRows;
        const int clipColumn = cr.firstColumn + (c - dest.firstColumn) % clipColumns;
        const SavedCell* cc = clipCellAt(clipRow, clipColumn);
        if (o.skipBlanks && (!cc || cc->input.empty()))
          continue;
        const CellRecord* existing = sheet.cells.at(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
        const std::u16string_view d = existing && !existing->input.isNull() ? existing->input.view() : std::u16string_view();
        const std::uint16_t destFormat = existing ? existing->formatIndex : columnDefault(sheet, c);

        if (part == kPasteFormats) {
          text.assign(d);
        } else {
          std::u16string_view source = !cc ? std::u16string_view() : part == kPasteValues ? std::u16string_view(cc->display)
                                                                                           : std::u16string_view(cc->input);
          std::u16string moved;
          if (part != kPasteValues && isFormula(source) && (r != clipRow || c != clipColumn) && cc &&
              cc->formatIndex < formatsOf.cellFormats.size() &&
              formatsOf.cellFormats[cc->formatIndex].numberFormatIndex != kTextNumberFormat) {
            std::optional<std::u16string> rewritten = formula::rewriteFormula(
                formula::RewriteMode::Offset, book, sheetIndex, source, {}, r - clipRow, c - clipColumn);
            if (!rewritten)
              throw std::bad_alloc();
            moved = std::move(*rewritten);
            source = moved;
          }
          text = o.operation != kOperationNone ? operateTexts(d, source, o.operation) : std::u16string(source);
        }

        std::uint16_t format = destFormat;
        if (takesClipFormats(part)) {
          format = cc ? translate(cc->formatIndex) : clipDefaults[static_cast<size_t>(clipColumn - cr.firstColumn)];
          if (part == kPasteAllButBorders)
            format = withBordersOf(book, format, destFormat);
        }
        if (sheetProtected)
          format = unlocked(book, format);

        if (part == kPasteFormats && existing && !d.empty()) {
          // Only the format changes: the cell keeps its input, value and link.
          CellRecord* rec = sheet.cells.at(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
          if (rec->formatIndex != format) {
            rec->formatIndex = format;
            rec->display.reset();
            if (rec->calcState == model::CalcState::DisplayValid)
              rec->calcState = model::CalcState::ValueValid;
          }
          continue;
        }
        if (!text.empty()) {
          if (!model::set_cell(book, sheetIndex, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), text,
                               format, false, false))
            throw std::bad_alloc();
          changed.push_back(model::packCell(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c)));
        } else if (format == columnDefault(sheet, c)) {
          if (removeCell(sheet, r, c))
            changed.push_back(model::packCell(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c)));
        } else if (!existing || !d.empty() || existing->input.isNull() || existing->formatIndex != format) {
          if (!model::set_cell(book, sheetIndex, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c), u"",
                               format, false, false))
            throw std::bad_alloc();
          changed.push_back(model::packCell(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c)));
        }
      }
    }

    // The records that go with the cells, once for each repetition of the clip.
    for (int tr = dest.firstRow; tr <= dest.lastRow; tr += clipRows)
      for (int tc = dest.firstColumn; tc <= dest.lastColumn; tc += clipColumns) {
        const int dRow = tr - cr.firstRow, dColumn = tc - cr.firstColumn;
        const CellRange tile = intersection(shifted(cr, dRow, dColumn), dest);
        const auto place = [&](const CellRange& r, CellRange& out) {
          if (!r.intersects(cr))
            return false;
          out = shifted(intersection(r, cr), dRow, dColumn);
          return inside(out, tile);
        };
        CellRange at{};
        if (carriesMerges(part))
          for (const CellRange& m : clip.mergedRanges)
            if (place(m, at) && !at.isSingleCell())
              (void)model::addMergedRange(sheet, at);
        if (carriesArrays(part))
          for (const model::ArrayFormulaRecord& a : clip.arrayFormulas)
            if (place(a.range, at))
              sheet.arrayFormulas.push_back({at, a.text});
        if (carriesComments(part))
          for (const model::DrawingObject& obj : clip.comments)
            if (cr.contains(obj.row, obj.column) && tile.contains(obj.row + dRow, obj.column + dColumn))
              sheet.objects.push_back(movedComment(obj, dRow, dColumn));
        if (carriesHyperlinks(part))
          for (const model::Hyperlink& h : clip.hyperlinks) {
            const int r = model::packedRow(h.cell) + dRow, c = model::packedColumn(h.cell) + dColumn;
            if (cr.contains(model::packedRow(h.cell), model::packedColumn(h.cell)) && tile.contains(r, c)) {
              model::removeHyperlinksAt(sheet, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
              sheet.hyperlinks.push_back({model::packCell(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c)), h.target});
            }
          }
        const auto carryRules = [&](const auto& from, auto& to) {
          for (const auto& rule : from) {
            std::vector<CellRange> ranges;
            for (const CellRange& r : rule.ranges)
              if (place(r, at))
                ranges.push_back(at);
            addRuleRanges(to, rule, std::move(ranges));
          }
        };
        if (carriesValidation(part))
          carryRules(clip.validations, sheet.validations.edit());
        if (carriesConditionalFormats(part))
          carryRules(clip.conditionalFormats, sheet.conditionalFormats.edit());
      }
  });
  // Whatever was stored before memory ran out is brought up to date too.
  model::fitRowsOfRange(book, sheetIndex, dest);
  model::mark_modified(book);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, sheetIndex, changed); });
  return ok;
}

bool put_back_range(Workbook& book, int sheetIndex, const SavedRange& saved) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount() || !book.sheet(sheetIndex).hasGrid())
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  const CellRange& range = saved.range;
  std::vector<std::uint32_t> changed;
  const bool ok = platform::withAllocation([&] {
    sheet.cells.forEachIn(range, [&](const CellRecord& c) { changed.push_back(model::packCell(c.row, c.column)); });
    for (const std::uint32_t p : changed)
      removeCell(sheet, model::packedRow(p), model::packedColumn(p));
    std::erase_if(sheet.arrayFormulas, [&](const model::ArrayFormulaRecord& a) { return a.range.intersects(range); });
    std::erase_if(sheet.dataTables, [&](const model::DataTable& t) { return t.range.intersects(range); });
    std::erase_if(sheet.mergedRanges.edit(), [&](const CellRange& m) { return m.intersects(range); });
    std::erase_if(sheet.hyperlinks, [&](const model::Hyperlink& h) {
      return range.contains(model::packedRow(h.cell), model::packedColumn(h.cell));
    });
    removeComments(sheet, range);

    for (const SavedCell& c : saved.cells) {
      if (!model::set_cell(book, sheetIndex, c.row, c.column, c.input, c.formatIndex, false, false))
        throw std::bad_alloc();
      changed.push_back(model::packCell(c.row, c.column));
    }
    sheet.arrayFormulas.insert(sheet.arrayFormulas.end(), saved.arrayFormulas.begin(), saved.arrayFormulas.end());
    sheet.dataTables.insert(sheet.dataTables.end(), saved.dataTables.begin(), saved.dataTables.end());
    sheet.mergedRanges.insert(sheet.mergedRanges.end(), saved.mergedRanges.begin(), saved.mergedRanges.end());
    sheet.hyperlinks.insert(sheet.hyperlinks.end(), saved.hyperlinks.begin(), saved.hyperlinks.end());
    putBackRules(sheet.validations.edit(), saved.validations, range);
    putBackRules(sheet.conditionalFormats.edit(), saved.conditionalFormats, range);
    sheet.objects.insert(sheet.objects.end(), saved.comments.begin(), saved.comments.end());
    if (range.firstRow == 0 && range.lastRow == model::kMaxRow) {
      std::erase_if(sheet.columns.edit(), [&](const model::ColumnRecord& c) {
        return c.column >= range.firstColumn && c.column <= range.lastColumn;
      });
      for (const model::ColumnRecord& c : saved.columns) {
        const auto at = std::lower_bound(sheet.columns.begin(), sheet.columns.end(), c.column,
                                         [](const model::ColumnRecord& r, int k) { return r.column < k; });
        sheet.columns.insert(at, c);
      }
    }
  });
  std::sort(changed.begin(), changed.end());
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
  model::fitRowsOfRange(book, sheetIndex, range);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, sheetIndex, changed); });
  return ok;
}

} // namespace edit
