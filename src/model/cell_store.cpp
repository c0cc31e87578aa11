#include "model/cell_store.h"

#include "platform/unicode.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

namespace model {

// ---- OwnedText ----

OwnedText& OwnedText::operator=(const OwnedText& other) {
  if (this != &other) {
    if (other.isNull())
      reset();
    else
      assign(other.view());
  }
  return *this;
}

OwnedText& OwnedText::operator=(OwnedText&& other) noexcept {
  if (this != &other) {
    reset();
    m_bits = other.m_bits;
    other.m_bits = 0;
  }
  return *this;
}

size_t OwnedText::size() const {
  if (!m_bits)
    return 0;
  std::uint32_t n;
  std::memcpy(&n, rep(), sizeof n);
  return n;
}

std::u16string_view OwnedText::view() const {
  if (!m_bits)
    return {};
  return {rep() + 2, size()};
}

namespace {

void writeBlock(char16_t* block, std::u16string_view text) {
  const auto n = static_cast<std::uint32_t>(text.size());
  std::memcpy(block, &n, sizeof n);
  std::copy(text.begin(), text.end(), block + 2);
}

} // namespace

void OwnedText::assign(std::u16string_view text) {
  auto* block = new char16_t[text.size() + 2];
  writeBlock(block, text);
  reset();
  m_bits = reinterpret_cast<std::uintptr_t>(block);
}

void OwnedText::assignIn(TextArena& arena, std::u16string_view text) {
  char16_t* block = arena.store(text);
  reset();
  m_bits = reinterpret_cast<std::uintptr_t>(block) | kInArena;
}

void OwnedText::assignShared(const CellValue& value) {
  assert(value.isString());
  if (!value.isString()) {
    reset();
    return;
  }
  const char16_t* block = value.retainTextBlock();
  reset();
  m_bits = reinterpret_cast<std::uintptr_t>(block) | kShared;
}

void OwnedText::reset() noexcept {
  if (m_bits & kShared)
    CellValue::releaseTextBlock(rep());
  else if (!(m_bits & kInArena))
    delete[] reinterpret_cast<char16_t*>(m_bits);
  m_bits = 0;
}

// ---- text arena ----

char16_t* TextArena::store(std::u16string_view text) {
  // Length and characters, rounded up to an even count of code units so
  // that every block stays four-byte aligned and the owner bits stay free.
  const size_t units = (text.size() + 2 + 1) & ~size_t{1};
  if (units > kChunkUnits / 4) {
    // A long text gets a chunk of its own, kept behind the current one.
    m_chunks.reserve(m_chunks.size() + 1);
    m_chunks.push_back(std::make_unique_for_overwrite<char16_t[]>(units));
    char16_t* block = m_chunks.back().get();
    if (m_chunks.size() > 1)
      std::swap(m_chunks.back(), m_chunks[m_chunks.size() - 2]);
    writeBlock(block, text);
    return block;
  }
  if (m_chunks.empty() || m_capacity - m_used < units) {
    m_chunks.reserve(m_chunks.size() + 1);
    m_chunks.push_back(std::make_unique_for_overwrite<char16_t[]>(kChunkUnits));
    m_used = 0;
    m_capacity = kChunkUnits;
  }
  char16_t* block = m_chunks.back().get() + m_used;
  m_used += units;
  writeBlock(block, text);
  return block;
}

void TextArena::clear() noexcept {
  m_chunks.clear();
  m_used = m_capacity = 0;
}

// ---- volatility ----

namespace {

bool isNameChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'.' || c == u'_' || c >= 0x80;
}

char16_t upperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - 32 : c; }

} // namespace

VolatilityClass volatilityClassOf(std::u16string_view input) {
  if (input.empty() || input[0] != u'=')
    return VolatilityClass::None;
  bool info = false, cell = false;
  bool inString = false;
  for (size_t i = 1; i < input.size(); ++i) {
    const char16_t c = input[i];
    if (c == u'"') {
      inString = !inString;
      continue;
    }
    if (inString || c != u'(')
      continue;
    size_t start = i;
    while (start > 1 && isNameChar(input[start - 1]))
      --start;
    // The names below have 3 to 11 letters; a word is folded into a buffer
    // rather than a string, as this runs for every formula loaded.
    constexpr size_t kLongest = 11;
    if (i - start < 3 || i - start > kLongest)
      continue;
    char16_t folded[kLongest];
    for (size_t k = start; k < i; ++k)
      folded[k - start] = upperAscii(input[k]);
    const std::u16string_view name(folded, i - start);
    if (name == u"INDEX" || name == u"INDIRECT" || name == u"OFFSET" || name == u"RAND" ||
        name == u"RANDBETWEEN" || name == u"SUBTOTAL" || name == u"TODAY" || name == u"NOW")
      return VolatilityClass::Volatile;
    info |= name == u"INFO";
    cell |= name == u"CELL";
  }
  // A formula naming both INFO and CELL is kept as INFO: it is then refreshed
  // on scrolling, which is the more frequent of the two triggers.
  if (info)
    return VolatilityClass::Info;
  if (cell)
    return VolatilityClass::Cell;
  return VolatilityClass::None;
}

// ---- record pool ----

// Records come from slabs so that a sheet of a million numbers does not pay
// the allocator's per-block overhead a million times. Freed records go on a
// free list and are reused.
class CellTable::RecordPool {
public:
  static constexpr size_t kSlabRecords = 1024;

  ~RecordPool() {
    for (void* s : m_slabs)
      ::operator delete(s);
  }

  CellRecord* make() {
    void* slot;
    if (m_free) {
      slot = m_free;
      m_free = *static_cast<void**>(m_free);
    } else {
      if (m_used == kSlabRecords || m_slabs.empty()) {
        m_slabs.reserve(m_slabs.size() + 1);
        m_slabs.push_back(::operator new(kSlabRecords * sizeof(CellRecord)));
        m_used = 0;
      }
      slot = static_cast<char*>(m_slabs.back()) + m_used * sizeof(CellRecord);
      ++m_used;
    }
    return new (slot) CellRecord();
  }

  void destroy(CellRecord* rec) noexcept {
    rec->~CellRecord();
    *reinterpret_cast<void**>(rec) = m_free;
    m_free = rec;
  }

private:
  std::vector<void*> m_slabs;
  size_t m_used = 0;
  void* m_free = nullptr;
};

// ---- CellTable ----

CellTable::CellTable() : m_pool(std::make_unique<RecordPool>()) {}

CellTable::~CellTable() { clear(); }

void CellTable::clear() {
  for (auto& b : m_blocks)
    for (std::uint32_t i = 0; i < b->count; ++i)
      m_pool->destroy(b->cells[i]);
  m_blocks.clear();
  m_lastKeys.clear();
  m_count = 0;
  m_columnCounts.fill(0);
  m_texts.clear();
}

CellTable::Search CellTable::find(std::uint16_t row, std::uint8_t column) const {
  const std::uint32_t key = (static_cast<std::uint32_t>(row) << 8) | column;
  std::uint32_t block = m_hintBlock;
  const bool hintHolds = block < m_lastKeys.size() && key <= m_lastKeys[block] &&
                         (block == 0 || key > m_lastKeys[block - 1]);
  if (!hintHolds) {
    const auto outer = std::lower_bound(m_lastKeys.begin(), m_lastKeys.end(), key);
    if (outer == m_lastKeys.end())
      return {false, end()};
    block = static_cast<std::uint32_t>(outer - m_lastKeys.begin());
    m_hintBlock = block;
  }
  const Block& b = *m_blocks[block];
  const std::uint32_t* k = std::lower_bound(b.keys, b.keys + b.count, key);
  const auto offset = static_cast<std::uint32_t>(k - b.keys);
  return {*k == key, {block, offset}};
}

CellRecord* CellTable::at(std::uint16_t row, std::uint8_t column) const {
  const Search s = find(row, column);
  return s.found ? at(s.position) : nullptr;
}

CellTable::Position CellTable::end() const { return {static_cast<std::uint32_t>(m_blocks.size()), 0}; }

CellTable::Position CellTable::next(Position p) const {
  if (++p.offset >= m_blocks[p.block]->count)
    return {p.block + 1, 0};
  return p;
}

CellRecord* CellTable::last() const {
  if (m_blocks.empty())
    return nullptr;
  const Block& b = *m_blocks.back();
  return b.cells[b.count - 1];
}

void CellTable::splitBlock(std::uint32_t block) {
  auto fresh = std::make_unique<Block>();
  Block& old = *m_blocks[block];
  const std::uint32_t keep = old.count / 2;
  fresh->count = old.count - keep;
  std::copy(old.keys + keep, old.keys + old.count, fresh->keys);
  std::copy(old.cells + keep, old.cells + old.count, fresh->cells);
  m_blocks.reserve(m_blocks.size() + 1);
  m_lastKeys.reserve(m_lastKeys.size() + 1);
  m_blocks.insert(m_blocks.begin() + block + 1, std::move(fresh));
  m_lastKeys.insert(m_lastKeys.begin() + block + 1, m_lastKeys[block]);
  old.count = keep;
  m_lastKeys[block] = old.keys[keep - 1];
}

void CellTable::placeAt(Position p, CellRecord* rec) {
  // An insert past the last key goes to the end of the last block.
  if (p.block >= m_blocks.size()) {
    if (m_blocks.empty() || m_blocks.back()->count == kBlockSize) {
      m_blocks.reserve(m_blocks.size() + 1);
      m_lastKeys.reserve(m_lastKeys.size() + 1);
      m_blocks.push_back(std::make_unique<Block>());
      m_lastKeys.push_back(0);
    }
    p.block = static_cast<std::uint32_t>(m_blocks.size() - 1);
    p.offset = m_blocks.back()->count;
  } else if (m_blocks[p.block]->count == kBlockSize) {
    splitBlock(p.block);
    const std::uint32_t keep = m_blocks[p.block]->count;
    if (p.offset > keep) {
      p.offset -= keep;
      ++p.block;
    }
  }
  Block& b = *m_blocks[p.block];
  std::copy_backward(b.keys + p.offset, b.keys + b.count, b.keys + b.count + 1);
  std::copy_backward(b.cells + p.offset, b.cells + b.count, b.cells + b.count + 1);
  b.keys[p.offset] = rec->key();
  b.cells[p.offset] = rec;
  ++b.count;
  m_lastKeys[p.block] = b.keys[b.count - 1];
  ++m_count;
  ++m_columnCounts[rec->column];
}

int CellTable::lastColumn() const {
  for (int c = 255; c >= 0; --c)
    if (m_columnCounts[static_cast<size_t>(c)] != 0)
      return c;
  return -1;
}

CellRecord* CellTable::insert(Position p, std::uint16_t row, std::uint8_t column) {
  CellRecord* rec = m_pool->make();
  rec->row = row;
  rec->column = column;
  try {
    placeAt(p, rec);
  } catch (...) {
    m_pool->destroy(rec);
    throw;
  }
  return rec;
}

CellRecord* CellTable::findOrInsert(std::uint16_t row, std::uint8_t column) {
  const Search s = find(row, column);
  return s.found ? at(s.position) : insert(s.position, row, column);
}

CellRecord* CellTable::append(std::uint16_t row, std::uint8_t column) {
  const std::uint32_t key = (static_cast<std::uint32_t>(row) << 8) | column;
  if (!m_lastKeys.empty() && key <= m_lastKeys.back())
    return findOrInsert(row, column);
  return insert(end(), row, column);
}

void CellTable::erase(Position p) {
  Block& b = *m_blocks[p.block];
  --m_columnCounts[b.cells[p.offset]->column];
  m_pool->destroy(b.cells[p.offset]);
  std::copy(b.keys + p.offset + 1, b.keys + b.count, b.keys + p.offset);
  std::copy(b.cells + p.offset + 1, b.cells + b.count, b.cells + p.offset);
  --b.count;
  --m_count;
  if (b.count == 0) {
    m_blocks.erase(m_blocks.begin() + p.block);
    m_lastKeys.erase(m_lastKeys.begin() + p.block);
  } else {
    m_lastKeys[p.block] = b.keys[b.count - 1];
  }
}

void CellTable::moveBlock(const CellRange& block, int rowOffset, int columnOffset) {
  if (m_count == 0 || (rowOffset == 0 && columnOffset == 0))
    return;
  struct Entry {
    std::uint32_t key;
    CellRecord* rec;
    bool moved;
  };
  // Everything that can fail is allocated before the first record changes.
  std::vector<Entry> all;
  all.reserve(m_count);
  std::vector<CellRecord*> lost;
  std::vector<std::unique_ptr<Block>> blocks;
  blocks.reserve((m_count + kBlockSize - 1) / kBlockSize);
  for (size_t i = 0; i < (m_count + kBlockSize - 1) / kBlockSize; ++i)
    blocks.push_back(std::make_unique<Block>());
  std::vector<std::uint32_t> lastKeys;
  lastKeys.reserve(blocks.size());
  // Whole rows moving up or down keep the table's order; any other move may
  // need the sort below, its list of kept records and the records that lose
  // their cell to a moved one.
  const bool keepsOrder = columnOffset == 0 && block.firstColumn == 0 && block.lastColumn == kMaxColumn;
  size_t leaving = 0;
  for (const auto& b : m_blocks)
    for (std::uint32_t i = 0; i < b->count; ++i) {
      const CellRecord* c = b->cells[i];
      leaving += block.contains(c->row, c->column) && !isValidCell(c->row + rowOffset, c->column + columnOffset);
    }
  std::vector<Entry> kept;
  if (!keepsOrder)
    kept.reserve(m_count);
  lost.reserve(leaving + (keepsOrder ? 0 : m_count));

  bool sorted = true;
  for (const auto& b : m_blocks)
    for (std::uint32_t i = 0; i < b->count; ++i) {
      CellRecord* c = b->cells[i];
      const bool moved = block.contains(c->row, c->column);
      if (moved) {
        const int r = c->row + rowOffset, col = c->column + columnOffset;
        if (!isValidCell(r, col)) {
          lost.push_back(c);
          continue;
        }
        c->row = static_cast<std::uint16_t>(r);
        c->column = static_cast<std::uint8_t>(col);
      }
      const std::uint32_t key = c->key();
      if (!all.empty() && key <= all.back().key)
        sorted = false;
      all.push_back({key, c, moved});
    }
  if (!sorted) {
    std::stable_sort(all.begin(), all.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    // Of two records on one cell the moved one stays: the other stood in
    // the destination.
    kept.reserve(all.size()); // reserved above unless a move of whole rows came out of order
    for (const Entry& e : all) {
      if (!kept.empty() && kept.back().key == e.key) {
        if (kept.back().moved) {
          lost.push_back(e.rec);
          continue;
        }
        lost.push_back(kept.back().rec);
        kept.back() = e;
        continue;
      }
      kept.push_back(e);
    }
    all.swap(kept);
  }

  m_columnCounts.fill(0);
  size_t used = 0;
  for (size_t i = 0; i < all.size(); i += kBlockSize) {
    Block& b = *blocks[used++];
    b.count = static_cast<std::uint32_t>(std::min<size_t>(kBlockSize, all.size() - i));
    for (std::uint32_t k = 0; k < b.count; ++k) {
      b.keys[k] = all[i + k].key;
      b.cells[k] = all[i + k].rec;
      ++m_columnCounts[all[i + k].rec->column];
    }
    lastKeys.push_back(b.keys[b.count - 1]);
  }
  blocks.resize(used);
  m_blocks.swap(blocks);
  m_lastKeys.swap(lastKeys);
  m_count = all.size();
  m_hintBlock = 0;
  for (CellRecord* c : lost)
    m_pool->destroy(c);
}

bool CellTable::placeRun(std::uint16_t firstRow, std::uint16_t lastRow,
                         std::vector<std::pair<std::uint32_t, CellRecord*>>& run) {
  if (run.empty())
    return true;
  const std::uint32_t lo = static_cast<std::uint32_t>(firstRow) << 8;
  const std::uint32_t hi = (static_cast<std::uint32_t>(lastRow) << 8) | 0xFF;
  std::sort(run.begin(), run.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < run.size(); ++i)
    if (run[i].first < lo || run[i].first > hi || (i > 0 && run[i].first == run[i - 1].first))
      return false;
  // The run fills the same positions it held, in its new order.
  Position p = find(firstRow, 0).position;
  for (const auto& [key, rec] : run) {
    Block& b = *m_blocks[p.block];
    --m_columnCounts[rec->column];
    rec->row = static_cast<std::uint16_t>(key >> 8);
    rec->column = static_cast<std::uint8_t>(key & 0xFF);
    ++m_columnCounts[rec->column];
    b.keys[p.offset] = key;
    b.cells[p.offset] = rec;
    if (p.offset + 1 == b.count)
      m_lastKeys[p.block] = key;
    p = next(p);
  }
  return true;
}

} // namespace model
