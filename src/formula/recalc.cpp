#include "formula/recalc.h"

#include "formula/chain_replay.h"

#include "formula/array_block_lookup.h"
#include "formula/compiled_formula.h"
#include "formula/core_functions.h"
#include "formula/engine_state.h"
#include "formula/function_table.h"
#include "formula/macro_seam.h"
#include "formula/moved_copy.h"
#include "formula/reader.h"
#include "formula/reference_syntax.h"
#include "formula/rewrite.h"
#include "formula/skipper.h"
#include "formula/text_value.h"
#include "formula/value_ops.h"
#include "model/array_blocks.h"
#include "model/services.h"
#include "model/undo.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace formula {

using model::CalcState;
using model::CellRecord;
using model::SheetRange;
using model::VolatilityClass;
using model::Workbook;

namespace {

char16_t listSeparator() {
  const std::u16string& s = platform::localeStrings().listSeparator;
  return s.empty() ? u',' : s[0];
}

char16_t decimalSeparator() {
  const std::u16string& s = platform::localeStrings().decimalSeparator;
  return s.empty() ? u'.' : s[0];
}

bool isTextFormat(const Workbook& book, const CellRecord& cell) {
  return cell.formatIndex < book.cellFormats.size() &&
         book.cellFormats[cell.formatIndex].numberFormatIndex == 49;
}

bool isFormulaText(std::u16string_view text) {
  if (text.empty())
    return false;
  if (text[0] == u'=')
    return isWellFormedFormula(text, listSeparator());
  if (text[0] == u'+' || text[0] == u'-')
    return classifyText(text).kind == TextClass::Formula;
  return false;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// ---- dependency index ----

// Where a cell's dependents are found. Single-cell precedents are found by
// their cell. An area of a few columns is filed under each of its columns,
// by row block when it is short and once per column when it is tall (a
// whole column); a wider area by row block when it is short, else under its
// sheet. The volatile cells every change reaches are one list. Entries are
// only hints: a lookup checks each against the cell's current precedents,
// so entries left behind by edits do no harm.
constexpr int kBlockRows = 256;
constexpr int kMaxBlocksPerEntry = 16;
constexpr int kMaxColumnsPerEntry = 8;

struct Dependent {
  std::int16_t sheet;
  std::uint32_t cell; // packed address
};

using Bucket = std::vector<Dependent>;

std::uint64_t cellKey(int sheet, int row, int column) {
  return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(sheet)) << 32) |
         model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
}

std::uint64_t tileKey(int sheet, int column, int block) {
  return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(sheet)) << 32) |
         (static_cast<std::uint64_t>(column) << 16) | static_cast<std::uint64_t>(block);
}

struct DependencyIndex {
  std::uint64_t generation = 0;
  std::unordered_map<std::uint64_t, Bucket> cells;     // single cells
  std::unordered_map<std::uint64_t, Bucket> tiles;     // narrow, short: (sheet, column, block)
  std::unordered_map<std::uint64_t, Bucket> columns;   // narrow, tall: (sheet, column)
  std::unordered_map<std::uint64_t, Bucket> rowBlocks; // wide, short: (sheet, block)
  std::unordered_map<std::uint64_t, Bucket> sheets;    // wide and tall: sheet
  Bucket volatileCells;
  size_t entries = 0;
  size_t entriesAtBuild = 0;

  void add(int sheet, const CellRecord& cell) {
    const Dependent d{static_cast<std::int16_t>(sheet), model::packCell(cell.row, cell.column)};
    if (cell.volatility == VolatilityClass::Volatile) {
      volatileCells.push_back(d);
      ++entries;
    }
    if (!cell.precedents)
      return;
    for (const SheetRange& r : *cell.precedents) {
      const int target = r.sheet < 0 ? sheet : r.sheet;
      const model::CellRange a = r.range();
      const int first = a.firstRow / kBlockRows, last = a.lastRow / kBlockRows;
      const bool tall = last - first + 1 > kMaxBlocksPerEntry;
      const bool narrow = a.lastColumn - a.firstColumn + 1 <= kMaxColumnsPerEntry;
      if (a.isSingleCell()) {
        cells[cellKey(target, a.firstRow, a.firstColumn)].push_back(d);
      } else if (narrow) {
        for (int c = a.firstColumn; c <= a.lastColumn; ++c) {
          if (tall) {
            columns[tileKey(target, c, 0)].push_back(d);
          } else {
            for (int b = first; b <= last; ++b)
              tiles[tileKey(target, c, b)].push_back(d);
          }
        }
      } else if (!tall) {
        for (int b = first; b <= last; ++b)
          rowBlocks[tileKey(target, 0, b)].push_back(d);
      } else {
        sheets[tileKey(target, 0, 0)].push_back(d);
      }
      ++entries;
    }
  }
};

DependencyIndex& indexOf(Workbook& book) {
  EngineState& state = engineStateOf(book);
  auto* index = static_cast<DependencyIndex*>(state.dependencies.get());
  const bool stale = !index || index->generation != book.structureGeneration ||
                     index->entries > 2 * index->entriesAtBuild + 65536;
  if (stale) {
    auto fresh = std::make_shared<DependencyIndex>();
    fresh->generation = book.structureGeneration;
    for (int s = 0; s < book.sheetCount(); ++s) {
      if (!book.sheet(s).hasGrid())
        continue;
      book.sheet(s).cells.forEach([&](CellRecord& c) { fresh->add(s, c); });
    }
    fresh->entriesAtBuild = fresh->entries;
    state.dependencies = fresh;
    index = fresh.get();
  }
  return *index;
}

} // namespace

EngineState& engineStateOf(Workbook& book) {
  auto* state = static_cast<EngineState*>(book.engineState.get());
  if (!state || state->structureGeneration != book.structureGeneration) {
    auto fresh = std::make_shared<EngineState>();
    fresh->structureGeneration = book.structureGeneration;
    book.engineState = fresh;
    state = fresh.get();
  }
  return *state;
}

namespace {

// ---- scanning ----

// Reads a name's definition as one reference, or fails.
bool nameAsReference(const Workbook& book, const model::DefinedName& name, SheetRange& out) {
  std::u16string_view f = name.formula;
  size_t p = 0;
  if (!f.empty() && f[0] == u'=')
    ++p;
  while (p < f.size() && f[p] == u' ')
    ++p;
  ParsedReference ref;
  if (!readA1Reference(f, p, &book, listSeparator(), ref))
    return false;
  size_t e = ref.end;
  while (e < f.size() && f[e] == u' ')
    ++e;
  if (e != f.size())
    return false;
  out = SheetRange::of(static_cast<std::int16_t>(ref.hasQualifier ? ref.sheet : -1), ref.range());
  return true;
}

// Whether a name's definition may read cells: anything but constants (numbers,
// strings, errors, arrays of them). One that is more than a single reference
// names no precedents of its formulas, so those are computed on every change
// instead of showing a stale value.
bool definitionReadsCells(std::u16string_view f) {
  for (size_t p = 0; p < f.size();) {
    const char16_t c = f[p];
    if (c == u'"') {
      p = stringLiteralEnd(f, p);
    } else if (c == u'#') {
      ++p;
      while (p < f.size() && (isDigit(f[p]) || f[p] == u'/' || f[p] == u'!' || f[p] == u'?' ||
                              (f[p] >= u'A' && f[p] <= u'Z') || (f[p] >= u'a' && f[p] <= u'z')))
        ++p;
    } else if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'$' || c == u'\'' ||
               c == u'_' || c == u'\\' || c >= 0x80) {
      return true;
    } else {
      ++p;
    }
  }
  return false;
}

void addPrecedent(model::PrecedentList& list, const SheetRange& r) {
  if (std::find(list.begin(), list.end(), r) == list.end())
    list.push_back(r);
}

// A reference through a range of sheets names the area on each of them.
void addReferencePrecedents(model::PrecedentList& list, const ParsedReference& ref) {
  if (!ref.hasQualifier) {
    addPrecedent(list, SheetRange::of(-1, ref.range()));
    return;
  }
  const int last = ref.lastSheet >= 0 ? ref.lastSheet : ref.sheet;
  for (int s = std::min(ref.sheet, last); s <= std::max(ref.sheet, last); ++s)
    addPrecedent(list, SheetRange::of(static_cast<std::int16_t>(s), ref.range()));
}

// A call of a function that reads the clock, random numbers, or cells it
// finds while it computes makes its formula volatile; INFO and CELL make it
// refresh on their own occasions. The strongest class met stands.
void noteVolatility(CellRecord& cell, const FunctionEntry& f) {
  static constexpr std::u16string_view kVolatile[] = {
      u"INDEX", u"INDIRECT", u"OFFSET", u"RAND", u"RANDBETWEEN", u"SUBTOTAL", u"TODAY", u"NOW"};
  if (std::find(std::begin(kVolatile), std::end(kVolatile), f.name) != std::end(kVolatile))
    cell.volatility = VolatilityClass::Volatile;
  else if (cell.volatility == VolatilityClass::None && f.name == u"INFO")
    cell.volatility = VolatilityClass::Info;
  else if (cell.volatility == VolatilityClass::None && f.name == u"CELL")
    cell.volatility = VolatilityClass::Cell;
}

bool isLaterNameChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'.' || c == u'_';
}

// A call at `p` of a function of a later version that this program does not
// have ("_xlfn.SINGLE(").
bool callsUnknownLaterFunction(std::u16string_view t, size_t p) {
  if (t.size() - p <= kLaterPrefix.size() ||
      !platform::equalsIgnoreCase(t.substr(p, kLaterPrefix.size()), kLaterPrefix))
    return false;
  size_t q = p + kLaterPrefix.size();
  while (q < t.size() && t[q] != u'(' && isLaterNameChar(t[q]))
    ++q;
  return q < t.size() && t[q] == u'(' && !findPrefixedFunction(t.substr(p, q - p));
}

} // namespace

namespace {

// The last formula scanned in each column, when it names cells only by
// plain references: a filled copy of it (the next cell of a filled column)
// reads the same cells moved along, with no word of it looked up again.
struct ScannedCopy {
  std::u16string source;
  int sheet = -1;
  int row = 0;
  int column = 0;
  std::vector<WrittenReference> refs;
  VolatilityClass volatility = VolatilityClass::None;
  std::uint64_t namesGeneration = 0;
  const void* namesData = nullptr;
  size_t namesSize = 0;
  char16_t listSeparator = 0;
  char16_t decimalSeparator = 0;
};

struct ScannedCopies {
  std::vector<ScannedCopy> byColumn = std::vector<ScannedCopy>(model::kColumnCount);
  // Whether a defined name could read as a moved reference, for these names.
  std::uint64_t namesGeneration = 0;
  const void* namesData = nullptr;
  size_t namesSize = 0;
  bool namesChecked = false;
  bool namesLookLikeCells = false;
};

ScannedCopies& scannedCopiesOf(Workbook& book) {
  EngineState& state = engineStateOf(book);
  if (!state.scannedCopies)
    state.scannedCopies = std::make_shared<ScannedCopies>();
  auto& copies = *static_cast<ScannedCopies*>(state.scannedCopies.get());
  if (!copies.namesChecked || copies.namesGeneration != book.namesGeneration ||
      copies.namesData != book.names.data() || copies.namesSize != book.names.size()) {
    copies.namesChecked = true;
    copies.namesGeneration = book.namesGeneration;
    copies.namesData = book.names.data();
    copies.namesSize = book.names.size();
    copies.namesLookLikeCells = std::any_of(book.names.begin(), book.names.end(),
                                            [](const model::DefinedName& n) { return nameCouldReadAsCell(n.name); });
  }
  return copies;
}

bool sameNames(const ScannedCopy& c, const Workbook& book) {
  return c.namesGeneration == book.namesGeneration && c.namesData == book.names.data() &&
         c.namesSize == book.names.size();
}

} // namespace

void scanCell(Workbook& book, int sheet, CellRecord& cell, bool fromFile) {
  // A new text: the value may change. Noted first, before anything that
  // may fail, as the cell is stale from here on.
  noteCellChange(book, sheet, cell.row, cell.column);
  cell.precedents.reset();
  cell.volatility = VolatilityClass::None;
  cell.isFormula = false;
  // A call of a later version's function this program lacks keeps the
  // file's value while the text stays the file's (a rescan, not an edit).
  const bool keptBefore = cell.keepsFileValue;
  cell.keepsFileValue = false;
  bool callsUnknownFunction = false;
  const std::u16string_view t = cell.input.view();
  if ((!fromFile && isTextFormat(book, cell)) || t.empty() || (t[0] != u'=' && t[0] != u'+' && t[0] != u'-'))
    return;
  const char16_t ls = listSeparator();
  const char16_t decimal = decimalSeparator();
  ScannedCopies& copies = scannedCopiesOf(book);
  ScannedCopy* last = cell.column < copies.byColumn.size() && !copies.namesLookLikeCells
                          ? &copies.byColumn[cell.column]
                          : nullptr;
  // A filled copy of a formula is one too: moving its plain references
  // changes digits and column letters only, so it is not read again to
  // tell.
  const bool filledCopy = last && t[0] == u'=' && last->sheet == sheet && sameNames(*last, book) &&
                          last->listSeparator == ls && last->decimalSeparator == decimal &&
                          isMovedCopy(last->source, last->refs, t, cell.row - last->row, cell.column - last->column);
  if (!filledCopy && !isFormulaText(t))
    return;
  cell.isFormula = true;
  // A filled copy's source named no other workbook.
  const bool external = !filledCopy && hasExternalReference(t);
  // Gathered in a buffer kept between cells; the cell's own list is made
  // once at its final size.
  static thread_local model::PrecedentList list;
  list.clear();
  if (filledCopy) {
    const int rows = cell.row - last->row;
    const int columns = cell.column - last->column;
    for (const WrittenReference& w : last->refs) {
      ParsedReference ref;
      ref.first = w.first;
      ref.last = w.last;
      for (RefCorner* c : {&ref.first, &ref.last}) {
        c->row += c->rowAbsolute ? 0 : rows;
        c->column += c->columnAbsolute ? 0 : columns;
      }
      addReferencePrecedents(list, ref);
    }
    cell.volatility = last->volatility;
  } else {
    // Read word by word; kept for the column's next cell when every word is
    // a function, a constant or a plain reference written as moved ones are.
    bool plain = !external;
    std::vector<WrittenReference> refs;
    char16_t written[kMaxWrittenReference];
    size_t p = t[0] == u'=' ? 1 : 0;
    while (p < t.size()) {
      const char16_t c = t[p];
      if (c == u'"') {
        p = std::min(stringLiteralEnd(t, p), t.size());
        continue;
      }
      if (c == u'\'') {
        plain = false;
        ParsedReference ref;
        QualifiedName local;
        if (readA1ReferenceOrSheetRange(t, p, &book, ls, ref)) {
          addReferencePrecedents(list, ref);
          p = ref.end;
        } else if (readQualifiedName(t, p, &book, ls, local)) {
          SheetRange nameRef;
          const model::DefinedName& name = book.names[static_cast<size_t>(local.index)];
          if (nameAsReference(book, name, nameRef))
            addPrecedent(list, nameRef);
          else if (definitionReadsCells(name.formula))
            cell.volatility = VolatilityClass::Volatile;
          p = local.end;
        } else {
          while (p < t.size() && t[p] != ls && t[p] != u')')
            ++p;
        }
        continue;
      }
      if (isDigit(c) || c == decimal) {
        while (p < t.size() && (isDigit(t[p]) || t[p] == decimal))
          ++p;
        continue;
      }
      if (isIdentifierTerminator(c, ls) || c == u'{' || c == u'}') {
        ++p;
        continue;
      }
      // A word: a name, a reference, a function.
      model::NameLookup n = model::find_name(book, t, p, sheet);
      if (QualifiedName local; n.index < 0 && readQualifiedName(t, p, &book, ls, local))
        n.index = local.index;
      SheetRange nameRef;
      ParsedReference ref;
      const FunctionEntry* f = nullptr;
      if (n.index >= 0)
        plain = false;
      if (n.index >= 0 && nameAsReference(book, book.names[static_cast<size_t>(n.index)], nameRef)) {
        addPrecedent(list, nameRef);
      } else if (n.index >= 0 && definitionReadsCells(book.names[static_cast<size_t>(n.index)].formula)) {
        cell.volatility = VolatilityClass::Volatile;
      } else if (readA1ReferenceOrSheetRange(t, p, &book, ls, ref)) {
        addReferencePrecedents(list, ref);
        if (plain && !ref.hasQualifier) {
          const WrittenReference w{static_cast<std::uint32_t>(ref.begin), static_cast<std::uint32_t>(ref.end),
                                   ref.first, ref.isArea ? ref.last : ref.first, ref.isArea};
          const size_t length = writeMovedReference(w, 0, 0, written);
          plain = length != 0 && t.substr(ref.begin, ref.end - ref.begin) == std::u16string_view(written, length);
          refs.push_back(w);
        } else {
          plain = false;
        }
        p = ref.end;
        continue;
      } else if (f = lookupFunctionAt(t, p); f && isAddIn(*f)) {
        plain = false;
        model::addAddInName(book, f->name);
      } else if (f && isPrefixed(*f)) {
        plain = false;
        model::addLaterFunctionName(book, std::u16string(kLaterPrefix) + std::u16string(f->name));
      } else if (!f && callsUnknownLaterFunction(t, p)) {
        callsUnknownFunction = true;
      }
      if (!f && n.index >= 0)
        f = lookupFunctionAt(t, p);
      if (f)
        noteVolatility(cell, *f);
      while (p < t.size() && !isIdentifierTerminator(t[p], ls) && t[p] != u'"' && t[p] != u'{')
        ++p;
    }
    if (last && callsUnknownFunction)
      plain = false;
    if (last && plain) {
      last->source.assign(t);
      last->sheet = sheet;
      last->row = cell.row;
      last->column = cell.column;
      last->refs = std::move(refs);
      last->volatility = cell.volatility;
      last->namesGeneration = book.namesGeneration;
      last->namesData = book.names.data();
      last->namesSize = book.names.size();
      last->listSeparator = ls;
      last->decimalSeparator = decimal;
    }
  }
  cell.keepsFileValue = external || (callsUnknownFunction && (fromFile || keptBefore));
  if (!list.empty())
    cell.precedents = std::make_unique<model::PrecedentList>(list.begin(), list.end());
  if (auto* index = static_cast<DependencyIndex*>(engineStateOf(book).dependencies.get()))
    index->add(sheet, cell);
}

namespace {

bool inArrayBlock(const Workbook& book, int sheet, const CellRecord& cell) {
  return arrayBlockAt(book, sheet, cell.row, cell.column) != nullptr;
}

// ---- deferred computation of deep chains ----

// A formula that reaches a stale cell while it computes (INDIRECT of
// computed text, a name's formula) computes that cell on a nested stack.
// Nesting is bounded by levels and by the C++ stack used since the
// outermost computation; past either bound the cell is not computed: the
// formula is abandoned, and the stack below it computes the cells it met
// and then the formula again.
constexpr size_t kMaxNestedLevels = 32;
constexpr std::uintptr_t kMaxStackUse = 512 * 1024;

struct Deferral {
  bool active = false;
  std::vector<std::pair<int, CellRecord*>> cells; // stale cells met, in order
};
thread_local Deferral t_deferral;
thread_local ComputedChain* t_recording = nullptr;
thread_local size_t t_level = 0;             // nested computations running
thread_local std::uintptr_t t_stackBase = 0; // frame address of the outermost one

std::uintptr_t frameAddress() {
#if defined(__GNUC__) || defined(__clang__)
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
#else
  volatile char here = 0;
  return reinterpret_cast<std::uintptr_t>(&here);
#endif
}

std::uintptr_t stackUsed() {
  const std::uintptr_t now = frameAddress();
  return now < t_stackBase ? t_stackBase - now : now - t_stackBase;
}

void defer(int sheet, CellRecord& cell) {
  t_deferral.active = true;
  for (const auto& [s, c] : t_deferral.cells)
    if (c == &cell)
      return;
  t_deferral.cells.emplace_back(sheet, &cell);
}

void clearDeferral() {
  t_deferral.active = false;
  t_deferral.cells.clear();
}

void record(int sheet, CellRecord& cell) {
  ComputedChain& chain = *t_recording;
  // A cell computed inside another's formula was reached through text the
  // input may change; a volatile one may read anything.
  if (t_level > 1 || cell.volatility == VolatilityClass::Volatile)
    chain.replayable = false;
  if (chain.replayable && !platform::withAllocationQuiet([&] { chain.cells.emplace_back(sheet, &cell); }))
    chain.replayable = false;
}

// A formula's value, from the chain's prepared steps, the cell's kept steps
// or the reader. False when the formula was abandoned. `text` may be left
// empty for a prepared cell: it is read only when needed.
bool formulaValue(Workbook& book, int sheet, CellRecord& cell, bool macroRunning, std::u16string_view text,
                  KeptChain* chain, size_t chainIndex, CellValue& value) {
  EvalContext ctx;
  ctx.book = &book;
  ctx.sheet = sheet;
  ctx.row = cell.row;
  ctx.column = cell.column;
  ctx.arrayMode = inArrayBlock(book, sheet, cell);
  ctx.macroRunning = macroRunning;
  const bool computed = platform::withAllocationQuiet([&] {
    std::optional<CellValue> kept;
    if (chain)
      kept = chain->compute(chainIndex, ctx);
    if (!kept) {
      if (text.empty())
        text = cell.input.view();
      kept = computeKept(book, cell, text, ctx);
    }
    value = kept ? std::move(*kept) : evaluateFormula(text, ctx);
    if (value.isEmpty())
      value = CellValue::number(0);
    else if (value.isNameText())
      value = CellValue::string(value.stringValue());
  });
  if (!computed) {
    // Out of memory: what was built is freed, and the formula's value is
    // the error the evaluator gives any value it cannot build.
    clearDeferral();
    value = CellValue::error(ErrorCode::NA);
  } else if (t_deferral.active) {
    return false;
  }
  return true;
}

// Computes one cell's value from its text, its precedents already current.
// False when the formula was abandoned (the cell keeps its state). The
// index-th cell of a prepared chain may be computed from its steps.
bool evaluateCell(Workbook& book, int sheet, CellRecord& cell, bool macroRunning, KeptChain* chain = nullptr,
                  size_t chainIndex = 0) {
  if (cell.isFormula && cell.keepsFileValue) {
    // Another workbook's values, or a function this program lacks: the
    // value the file cached stays.
    cell.display.reset();
    cell.calcState = CalcState::ValueValid;
    return true;
  }
  CellValue value;
  if (chain && cell.isFormula && chain->prepared(chainIndex)) {
    if (!formulaValue(book, sheet, cell, macroRunning, {}, chain, chainIndex, value))
      return false;
  } else {
    const std::u16string_view text = cell.input.view();
    if (cell.input.isNull() || text.empty()) {
      value = CellValue();
    } else if (!cell.isFormula && isTextFormat(book, cell)) {
      // Still text: a file's string that looks like a number arrives with the
      // apostrophe that keeps it text, and the apostrophe is not its value.
      value = CellValue::string(text.substr(text[0] == u'\'' ? 1 : 0));
    } else {
      TextOptions options;
      options.date1904 = book.date1904 != 0;
      // A scanned formula is not classified again on every computation.
      Classification k;
      if (cell.isFormula)
        k.kind = TextClass::Formula;
      else
        k = classifyText(text, options);
      if (k.kind == TextClass::Formula) {
        if (!formulaValue(book, sheet, cell, macroRunning, text, nullptr, 0, value))
          return false;
      } else if (k.kind == TextClass::Text) {
        value = CellValue::string(text.substr(!text.empty() && text[0] == u'\'' ? 1 : 0));
      } else {
        value = std::move(k.value);
      }
    }
  }
  if (!(value == cell.value))
    noteCellChange(book, sheet, cell.row, cell.column);
  cell.value = std::move(value);
  cell.display.reset();
  cell.calcState = CalcState::ValueValid;
  if (t_recording)
    record(sheet, cell);
  return true;
}

struct Frame {
  int sheet;
  CellRecord* cell;
  size_t area = 0;                    // index into the precedent list
  model::CellTable::Position cursor;  // next cell to look at inside that area
  bool started = false;               // the cursor is set for this area
  bool pending = false;               // met by an abandoned formula; not begun
};

// An area of precedents found to hold no stale cell. Many formulas name the
// same large area (a lookup table): once it has been walked, it is not
// walked again until a cell of it changes (marking a cell stale counts as a
// change), so each formula does not pay for the whole table.
class UpToDateArea : public RangeCache {
public:
  size_t cost() const override { return 1; }
};
constexpr int kUpToDateArea = 5; // the range cache kind
constexpr size_t kMinRememberedArea = 64;

RangeCacheKey upToDateKey(int sheet, const model::CellRange& a) {
  return RangeCacheKey{sheet, a, kUpToDateArea};
}

// The next stale precedent of the frame's cell, or null; the frame keeps its
// place so a long area is walked once.
CellRecord* nextStalePrecedent(Workbook& book, Frame& f, int& sheetOut) {
  if (!f.cell->precedents)
    return nullptr;
  const model::PrecedentList& list = *f.cell->precedents;
  for (; f.area < list.size(); ++f.area, f.started = false) {
    const SheetRange& r = list[f.area];
    const int s = r.sheet < 0 ? f.sheet : r.sheet;
    if (s < 0 || s >= book.sheetCount() || book.sheet(s).kind != model::SheetKind::Worksheet)
      continue;
    const model::CellTable& cells = book.sheet(s).cells;
    const model::CellRange a = r.range();
    const bool large = static_cast<size_t>(a.rowCount()) * a.columnCount() >= kMinRememberedArea;
    if (!f.started) {
      if (large && findRangeCacheEntry(book, upToDateKey(s, a)))
        continue;
      f.cursor = cells.find(a.firstRow, a.firstColumn).position;
      f.started = true;
    }
    for (; !cells.isEnd(f.cursor); f.cursor = cells.next(f.cursor)) {
      CellRecord* c = cells.at(f.cursor);
      if (c->row > a.lastRow)
        break;
      if (c->column < a.firstColumn || c->column > a.lastColumn)
        continue;
      if (c->calcState == CalcState::NotValid) {
        sheetOut = s;
        return c;
      }
    }
    // Every cell met was up to date (computing never makes a cell stale).
    if (large)
      storeRangeCache(book, upToDateKey(s, a), std::make_unique<UpToDateArea>(),
                      rangeStamp(book, s, a));
  }
  return nullptr;
}

void runStack(Workbook& book, std::vector<Frame>& stack, bool macroRunning) {
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.pending) {
      if (top.cell->calcState != CalcState::NotValid) {
        stack.pop_back(); // computed meanwhile
        continue;
      }
      top.cell->calcState = CalcState::OnPath;
      top.pending = false;
    }
    int s = 0;
    if (CellRecord* stale = nextStalePrecedent(book, top, s)) {
      stale->calcState = CalcState::OnPath;
      stack.push_back(Frame{s, stale, 0, {}, false, false});
      continue;
    }
    if (evaluateCell(book, top.sheet, *top.cell, macroRunning)) {
      stack.pop_back();
      continue;
    }
    // Abandoned: the cells it met go on top, the first met computed first;
    // the formula stays below them and is computed again.
    std::vector<std::pair<int, CellRecord*>> met;
    met.swap(t_deferral.cells);
    t_deferral.active = false;
    for (auto it = met.rbegin(); it != met.rend(); ++it)
      stack.push_back(Frame{it->first, it->second, 0, {}, false, true});
  }
}

} // namespace

namespace {

struct SheetArrayIndex {
  const model::ArrayFormulaRecord* blocks = nullptr; // the list indexed, to see it is the same
  size_t count = 0;
  model::ArrayBlockIndex index;
};

struct ArrayBlockIndexes {
  int scopes = 0;
  std::unordered_map<const model::Sheet*, std::unique_ptr<SheetArrayIndex>> bySheet;
};
thread_local ArrayBlockIndexes t_arrayIndexes;

} // namespace

ArrayBlockScope::ArrayBlockScope() { ++t_arrayIndexes.scopes; }

ArrayBlockScope::~ArrayBlockScope() {
  if (--t_arrayIndexes.scopes == 0)
    t_arrayIndexes.bySheet.clear();
}

const model::CellRange* arrayBlockAt(const Workbook& book, int sheet, int row, int column) {
  if (sheet < 0 || sheet >= book.sheetCount())
    return nullptr;
  const model::Sheet& s = book.sheet(sheet);
  const std::vector<model::ArrayFormulaRecord>& blocks = s.arrayFormulas;
  if (blocks.empty())
    return nullptr;
  if (t_arrayIndexes.scopes > 0) {
    const model::ArrayBlockIndex* index = nullptr;
    const bool built = platform::withAllocationQuiet([&] {
      std::unique_ptr<SheetArrayIndex>& entry = t_arrayIndexes.bySheet[&s];
      if (!entry || entry->blocks != blocks.data() || entry->count != blocks.size())
        entry = std::make_unique<SheetArrayIndex>(
            SheetArrayIndex{blocks.data(), blocks.size(), model::ArrayBlockIndex(blocks)});
      index = &entry->index;
    });
    if (built) {
      const int found = index->find(row, column);
      return found < 0 ? nullptr : &blocks[static_cast<size_t>(found)].range;
    }
    t_arrayIndexes.bySheet.erase(&s); // no room for an index: the walk below answers
  }
  for (const model::ArrayFormulaRecord& a : blocks)
    if (a.range.contains(row, column))
      return &a.range;
  return nullptr;
}

void noteCircularReference(Workbook& book) {
  if (t_recording)
    t_recording->replayable = false;
  if (!t_deferral.active)
    book.circular = 1;
}

ChainRecording::ChainRecording(ComputedChain& chain) : m_outer(t_recording) { t_recording = &chain; }

ChainRecording::~ChainRecording() { t_recording = m_outer; }

namespace {

void replayChain(Workbook& book, const ComputedChain& chain, KeptChain* kept) {
  if (t_level == 0)
    t_stackBase = frameAddress();
  const ArrayBlockScope arrayBlocks;
  struct LevelGuard {
    LevelGuard() { ++t_level; }
    ~LevelGuard() { --t_level; }
  } guard;
  for (size_t i = 0; i < chain.cells.size(); ++i) {
    const auto [sheet, cell] = chain.cells[i];
    cell->calcState = CalcState::OnPath;
    if (!evaluateCell(book, sheet, *cell, false, kept, i)) {
      // Cannot happen for a replayable chain; stale is the safe state.
      clearDeferral();
      cell->calcState = CalcState::NotValid;
    }
  }
}

} // namespace

void recomputeChain(Workbook& book, const ComputedChain& chain) { replayChain(book, chain, nullptr); }

ChainReplay::ChainReplay(Workbook& book, const ComputedChain& chain)
    : m_book(book), m_chain(chain), m_kept(std::make_unique<KeptChain>(book, chain.cells)) {}

ChainReplay::~ChainReplay() = default;

void ChainReplay::recompute() { replayChain(m_book, m_chain, m_kept.get()); }

bool evaluationAbandoned() { return t_deferral.active; }

bool computeMacroCell(Workbook& book, int sheet, CellRecord& cell) {
  if (t_level == 0)
    t_stackBase = frameAddress();
  const CellValue before = cell.value;
  cell.calcState = CalcState::OnPath;
  if (!evaluateCell(book, sheet, cell, true)) {
    cell.calcState = CalcState::NotValid;
    return false;
  }
  return !(before == cell.value);
}

void computeCell(Workbook& book, int sheet, CellRecord& cell, bool macroRunning) {
  if (cell.calcState != CalcState::NotValid)
    return;
  if (t_deferral.active) {
    // The formula asking is being abandoned: note the cell for later.
    if (!platform::withAllocationQuiet([&] { defer(sheet, cell); }))
      clearDeferral();
    return;
  }
  if (t_level == 0) {
    t_stackBase = frameAddress();
  } else if (t_level >= kMaxNestedLevels || stackUsed() > kMaxStackUse) {
    if (!platform::withAllocationQuiet([&] { defer(sheet, cell); }))
      clearDeferral();
    return;
  }
  // Each nesting level reuses a stack of its own; the deque keeps the
  // stacks of the levels below in place while it grows.
  static thread_local std::deque<std::vector<Frame>> stacks;
  const ArrayBlockScope arrayBlocks;
  struct LevelGuard {
    LevelGuard() { ++t_level; }
    ~LevelGuard() { --t_level; }
  } guard;
  const size_t level = t_level - 1;
  std::vector<Frame>* stack = nullptr;
  const bool ran = platform::withAllocationQuiet([&] {
    if (stacks.size() <= level)
      stacks.resize(level + 1);
    stack = &stacks[level];
    stack->clear();
    cell.calcState = CalcState::OnPath;
    stack->push_back(Frame{sheet, &cell, 0, {}, false, false});
    runStack(book, *stack, macroRunning);
  });
  if (ran)
    return;
  // Out of memory outside any one formula (a stack could not grow): the
  // cells begun get the error value, the others stay stale.
  clearDeferral();
  auto fail = [](CellRecord& c) {
    if (c.calcState != CalcState::OnPath)
      return;
    c.value = CellValue::error(ErrorCode::NA);
    c.display.reset();
    c.calcState = CalcState::ValueValid;
  };
  fail(cell);
  if (stack) {
    for (Frame& f : *stack)
      fail(*f.cell);
    stack->clear();
  }
}

namespace {

bool dependsOn(const CellRecord& y, int ySheet, int sheet, int row, int column) {
  if (y.volatility == VolatilityClass::Volatile)
    return true;
  if (!y.precedents)
    return false;
  for (const SheetRange& r : *y.precedents) {
    const int s = r.sheet < 0 ? ySheet : r.sheet;
    if (s == sheet && r.range().contains(row, column))
      return true;
  }
  return false;
}

struct Position {
  int sheet;
  int row;
  int column;
};

void propagateFrom(Workbook& book, std::vector<Position> stack) {
  DependencyIndex& index = indexOf(book);
  bool repaint = false;
  // Marks y when it depends on the position; false when the entry can be
  // dropped from this propagation's lists (y was marked, is stale already,
  // or is gone): a stale cell is never marked again, so every entry is
  // looked at a bounded number of times however many positions share it.
  auto visit = [&](const Dependent& d, const Position& pos) {
    if (d.sheet < 0 || d.sheet >= book.sheetCount())
      return false;
    model::Sheet& ys = book.sheet(d.sheet);
    if (ys.kind != model::SheetKind::Worksheet)
      return false;
    CellRecord* y = ys.cells.at(model::packedRow(d.cell), model::packedColumn(d.cell));
    if (!y || y->calcState == CalcState::NotValid)
      return false;
    if (!dependsOn(*y, d.sheet, pos.sheet, pos.row, pos.column))
      return true;
    y->calcState = CalcState::NotValid;
    y->display.reset();
    noteCellChange(book, d.sheet, y->row, y->column);
    repaint |= d.sheet == book.activeSheet;
    stack.push_back({d.sheet, y->row, y->column});
    return false;
  };
  // Lists shared by many positions are copied once per propagation and
  // shrink as their entries are dealt with. Visiting reads the index and
  // never adds to it, so its buckets stay where they are meanwhile.
  std::unordered_map<const Bucket*, Bucket> working;
  auto visitShared = [&](const std::unordered_map<std::uint64_t, Bucket>& map,
                         std::uint64_t key, const Position& pos) {
    const auto found = map.find(key);
    if (found == map.end())
      return;
    auto [it, fresh] = working.try_emplace(&found->second);
    if (fresh)
      it->second = found->second;
    Bucket& list = it->second;
    for (size_t i = 0; i < list.size();) {
      if (visit(list[i], pos)) {
        ++i;
      } else {
        list[i] = list.back();
        list.pop_back();
      }
    }
  };
  bool volatileDone = false;
  while (!stack.empty()) {
    const Position pos = stack.back();
    stack.pop_back();
    // Each cell is marked once, so its own dependents are looked up once.
    if (auto it = index.cells.find(cellKey(pos.sheet, pos.row, pos.column));
        it != index.cells.end())
      for (const Dependent& d : it->second)
        (void)visit(d, pos);
    const int block = pos.row / kBlockRows;
    visitShared(index.tiles, tileKey(pos.sheet, pos.column, block), pos);
    visitShared(index.columns, tileKey(pos.sheet, pos.column, 0), pos);
    visitShared(index.rowBlocks, tileKey(pos.sheet, 0, block), pos);
    visitShared(index.sheets, tileKey(pos.sheet, 0, 0), pos);
    // Volatile cells depend on every change: one pass marks them all.
    if (!volatileDone) {
      volatileDone = true;
      for (const Dependent& d : index.volatileCells)
        (void)visit(d, pos);
    }
  }
  if (repaint)
    platform::ui().requestRepaint(platform::kRepaintGrid);
}

} // namespace

void propagateChange(Workbook& book, int sheet, CellRecord& cell) {
  if (sheet == book.activeSheet)
    platform::ui().requestRepaint(platform::kRepaintGrid);
  propagateFrom(book, {{sheet, cell.row, cell.column}});
}

void propagateChanges(Workbook& book, int sheet, const std::vector<std::uint32_t>& cells) {
  if (cells.empty() || sheet < 0 || sheet >= book.sheetCount())
    return;
  std::vector<Position> starts;
  starts.reserve(cells.size());
  for (const std::uint32_t p : cells) {
    noteCellChange(book, sheet, model::packedRow(p), model::packedColumn(p));
    starts.push_back({sheet, model::packedRow(p), model::packedColumn(p)});
  }
  if (sheet == book.activeSheet)
    platform::ui().requestRepaint(platform::kRepaintGrid);
  propagateFrom(book, std::move(starts));
}

void refreshVolatile(Workbook& book, int sheet, bool includeInfo) {
  if (sheet < 0 || sheet >= book.sheetCount() || !book.sheet(sheet).hasGrid())
    return;
  std::vector<Position> starts;
  book.sheet(sheet).cells.forEach([&](CellRecord& c) {
    const bool wanted = c.volatility == VolatilityClass::Volatile ||
                        (includeInfo && c.volatility == VolatilityClass::Info);
    if (!wanted || c.calcState == CalcState::NotValid)
      return;
    c.calcState = CalcState::NotValid;
    c.display.reset();
    noteCellChange(book, sheet, c.row, c.column);
    starts.push_back({sheet, c.row, c.column});
  });
  if (!starts.empty()) {
    if (sheet == book.activeSheet)
      platform::ui().requestRepaint(platform::kRepaintGrid);
    propagateFrom(book, std::move(starts));
  }
}

void computeStaleFormulas(Workbook& book) {
  const ArrayBlockScope arrayBlocks; // one index per sheet for the whole walk
  for (int i = 0; i < book.sheetCount(); ++i) {
    if (!book.sheet(i).hasGrid())
      continue;
    // Positions first: computing never adds or removes cells, but the list
    // keeps the walk independent of that.
    std::vector<CellRecord*> stale;
    book.sheet(i).cells.forEach([&](CellRecord& c) {
      if (c.calcState == CalcState::NotValid)
        stale.push_back(&c);
    });
    for (CellRecord* c : stale)
      computeCell(book, i, *c);
  }
}

void recalcSheet(Workbook& book, int sheet) {
  if (sheet < 0 || sheet >= book.sheetCount() || !book.sheet(sheet).hasGrid())
    return;
  book.sheet(sheet).cells.forEach([](CellRecord& c) {
    c.calcState = CalcState::NotValid;
    c.display.reset();
  });
  noteSheetChange(book, sheet);
  if (sheet == book.activeSheet)
    platform::ui().requestRepaint(platform::kRepaintGrid);
}

void forgetDependencies(Workbook& book) { book.engineState.reset(); }

void recalcAll(Workbook& book) {
  for (int s = 0; s < book.sheetCount(); ++s)
    if (book.sheet(s).kind == model::SheetKind::Worksheet)
      recalcSheet(book, s);
}

namespace {

// Applies `rename` (see renameSheetQualifiers) to every formula text of
// the workbook: cells, names, and the references objects keep (a chart's
// series, a control's linked cell) on chart sheets as on worksheets. Calls
// changedCell for each cell rewritten. Each text as it was goes into
// `journal` when given, before it changes.
template <class Rename, class Changed>
void rewriteQualifiers(Workbook& book, const Rename& rename, const Changed& changedCell,
                       model::StructuralUndo* journal) {
  const char16_t ls = listSeparator();
  const std::function<bool(formula::SheetQualifierNames&)> fn = rename;
  for (int s = 0; s < book.sheetCount(); ++s) {
    if (!book.sheet(s).hasGrid())
      continue;
    const std::uint32_t sheetId = book.sheet(s).id;
    book.sheet(s).cells.forEach([&](CellRecord& c) {
      const std::u16string_view t = c.input.view();
      if (t.empty() || (t[0] != u'=' && t[0] != u'+' && t[0] != u'-'))
        return;
      bool changed = false;
      std::u16string rewritten = renameSheetQualifiers(t, ls, fn, changed);
      if (changed) {
        if (journal)
          journal->texts.push_back({sheetId, c.row, c.column, std::u16string(t)});
        c.input.assign(rewritten);
        changedCell(s, c);
      }
    });
  }
  // Rule formulas: the sheet's records are kept whole before the first of
  // its rules changes.
  for (int s = 0; s < book.sheetCount(); ++s) {
    model::Sheet& sheet = book.sheet(s);
    if (!sheet.hasGrid())
      continue;
    bool saved = false;
    const auto renameIn = [&](std::u16string& text, bool& changed) {
      if (text.empty() || text[0] != u'=')
        return std::u16string();
      bool here = false;
      std::u16string rewritten = renameSheetQualifiers(text, ls, fn, here);
      changed |= here;
      return here ? rewritten : text;
    };
    const auto keep = [&] {
      if (journal && !saved)
        journal->sheets.push_back(model::save_sheet_records(sheet));
      saved = true;
    };
    for (size_t i = 0; i < sheet.validations.size(); ++i) {
      model::ValidationRule& v = sheet.validations[i];
      bool changed = false;
      std::u16string f1 = v.allow == model::kAllowList && v.plainList ? v.formula1 : renameIn(v.formula1, changed);
      std::u16string f2 = renameIn(v.formula2, changed);
      if (!changed)
        continue;
      keep();
      if (!f1.empty())
        v.formula1 = std::move(f1);
      if (!f2.empty())
        v.formula2 = std::move(f2);
    }
    for (size_t i = 0; i < sheet.conditionalFormats.size(); ++i) {
      std::vector<model::FormatCondition> conditions = sheet.conditionalFormats[i].conditions;
      bool changed = false;
      for (model::FormatCondition& c : conditions)
        for (std::u16string* operand : {&c.operand1, &c.operand2})
          if (std::u16string r = renameIn(*operand, changed); !r.empty())
            *operand = std::move(r);
      if (!changed)
        continue;
      keep();
      sheet.conditionalFormats[i].conditions = std::move(conditions);
    }
  }
  bool namesChanged = false;
  for (model::DefinedName& n : book.names) {
    bool changed = false;
    std::u16string rewritten = renameSheetQualifiers(n.formula, ls, fn, changed);
    if (!changed)
      continue;
    if (journal && !journal->namesSaved) {
      model::save_names(*journal, book);
    }
    n.formula = std::move(rewritten);
    namesChanged = true;
  }
  if (namesChanged)
    model::names_changed(book);
  for (int s = 0; s < book.sheetCount(); ++s) {
    const std::uint32_t sheetId = book.sheet(s).id;
    std::vector<model::DrawingObject>& objects = book.sheet(s).objects;
    for (size_t i = 0; i < objects.size(); ++i) {
      model::ObjectPayload* payload = objects[i].payload.get();
      if (!payload)
        continue;
      std::uint32_t ordinal = 0;
      payload->forEachReference([&](std::u16string& t) {
        bool changed = false;
        std::u16string rewritten = renameSheetQualifiers(t, ls, fn, changed);
        if (changed) {
          if (journal)
            journal->objectTexts.push_back({sheetId, static_cast<std::uint32_t>(i), ordinal, t});
          t = std::move(rewritten);
        }
        ++ordinal;
      });
    }
  }
}

void renameSheetInFormulas(Workbook& book, std::u16string_view oldName, std::u16string_view newName,
                           model::StructuralUndo* journal) {
  auto rename = [&](formula::SheetQualifierNames& names) {
    bool changed = false;
    for (std::u16string* name : {&names.first, &names.last})
      if (!name->empty() && platform::equalsIgnoreCase(*name, oldName)) {
        name->assign(newName);
        changed = true;
      }
    return changed;
  };
  rewriteQualifiers(book, rename, [](int, CellRecord&) {}, journal);
}

// Before a sheet goes, a range of sheets that ends on it ends on the next
// sheet inside the range; one that names it alone is left to become #REF!.
void narrowSheetRangesEndingOn(Workbook& book, int removed, model::StructuralUndo* journal) {
  if (removed < 0 || removed >= book.sheetCount())
    return;
  const std::u16string name = book.sheet(removed).name;
  auto narrow = [&](formula::SheetQualifierNames& names) {
    if (!names.isRange)
      return false;
    const bool firstGoes = platform::equalsIgnoreCase(names.first, name);
    const bool lastGoes = platform::equalsIgnoreCase(names.last, name);
    if (firstGoes == lastGoes)
      return false;
    const int other = model::find_sheet(book, firstGoes ? names.last : names.first);
    if (other < 0)
      return false;
    const int step = other > removed ? 1 : -1;
    (firstGoes ? names.first : names.last) = book.sheet(removed + step).name;
    return true;
  };
  std::vector<std::vector<std::uint32_t>> changed(static_cast<size_t>(book.sheetCount()));
  rewriteQualifiers(book, narrow, [&](int s, CellRecord& c) {
    scanCell(book, s, c);
    c.calcState = CalcState::NotValid;
    c.display.reset();
    changed[static_cast<size_t>(s)].push_back(model::packCell(c.row, c.column));
  }, journal);
  for (int s = 0; s < book.sheetCount(); ++s)
    propagateChanges(book, s, changed[static_cast<size_t>(s)]);
}

// After a sheet of this name appears, formulas naming it are scanned again
// (their references to it become valid) and computed anew; so are formulas
// through a range of sheets, which the new or moved sheet may join or leave.
void rescanFormulasNamingOrThrow(Workbook& book, std::u16string_view sheetName) {
  const std::u16string upperName = platform::toUpper(sheetName);
  const char16_t ls = listSeparator();
  for (int s = 0; s < book.sheetCount(); ++s) {
    if (!book.sheet(s).hasGrid())
      continue;
    std::vector<std::uint32_t> rescanned;
    book.sheet(s).cells.forEach([&](CellRecord& c) {
      const std::u16string_view t = c.input.view();
      const std::u16string upper = platform::toUpper(t);
      if (upper.find(upperName) == std::u16string::npos &&
          !(upper.find(u'!') != std::u16string::npos && hasSheetRangeQualifier(t, ls)))
        return;
      scanCell(book, s, c);
      c.calcState = CalcState::NotValid;
      c.display.reset();
      rescanned.push_back(model::packCell(c.row, c.column));
    });
    // Cells that read these take the new values too.
    propagateChanges(book, s, rescanned);
  }
}

// The sheets changed already (a sheet came or moved): without memory to
// scan the formulas again, every one is computed afresh instead.
void rescanFormulasNaming(Workbook& book, std::u16string_view sheetName) {
  if (platform::withAllocationQuiet([&] { rescanFormulasNamingOrThrow(book, sheetName); }))
    return;
  forgetDependencies(book);
  (void)platform::withAllocationQuiet([&] { recalcAll(book); });
}

} // namespace

void installFormulaEngine() {
  model::ModelServices& m = model::modelServices();
  m.scanPrecedents = [](Workbook& b, int s, CellRecord& c) { scanCell(b, s, c); };
  m.computeCell = [](Workbook& b, int s, CellRecord& c) { computeCell(b, s, c); };
  m.propagateChange = [](Workbook& b, int s, CellRecord& c) { propagateChange(b, s, c); };
  m.renameSheetInFormulas = renameSheetInFormulas;
  m.rescanFormulasNaming = rescanFormulasNaming;
  m.sheetRemoving = narrowSheetRangesEndingOn;
  // The sheets changed already: a recalculation without memory leaves the
  // cells stale and the dependencies to be found again.
  m.recalcAfterSheetChange = [](Workbook& b) {
    if (!platform::withAllocationQuiet([&] { recalcAll(b); }))
      forgetDependencies(b);
  };
  registerCoreFunctions();
}

} // namespace formula
