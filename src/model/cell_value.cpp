#include "model/cell_value.h"

#include "platform/unicode.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>
#include <utility>

namespace model {
namespace {

constexpr std::u16string_view kErrorTexts[kErrorCodeCount] = {
    u"#NULL!", u"#DIV/0!", u"#VALUE!", u"#REF!", u"#NAME?", u"#NUM!", u"#N/A",
};

} // namespace

std::u16string_view errorText(ErrorCode code) {
  const auto i = static_cast<size_t>(code);
  return i < std::size(kErrorTexts) ? kErrorTexts[i] : u"#VALUE!";
}

int findErrorCode(std::u16string_view text) {
  // Every error text starts with "#", which no other character folds to.
  if (text.empty() || text[0] != u'#')
    return -1;
  for (int i = 0; i < kErrorCodeCount; ++i)
    if (platform::equalsIgnoreCase(text, kErrorTexts[i]))
      return i;
  return -1;
}

static_assert(offsetof(SharedString, length) == 4);

namespace {

SharedString* makeSharedString(std::u16string_view text) {
  if (text.size() > (std::numeric_limits<std::uint32_t>::max)() / 2 - sizeof(SharedString))
    throw std::bad_alloc();
  auto* s = static_cast<SharedString*>(::operator new(sizeof(SharedString) + text.size() * 2));
  s->refs = 1;
  s->length = static_cast<std::uint32_t>(text.size());
  std::copy(text.begin(), text.end(), s->chars());
  return s;
}

void dropSharedString(SharedString* s) noexcept {
  if (--s->refs == 0)
    ::operator delete(s);
}

} // namespace

const char16_t* CellValue::retainTextBlock() const {
  ++m_payload.text->refs;
  return reinterpret_cast<const char16_t*>(&m_payload.text->length);
}

void CellValue::releaseTextBlock(const char16_t* block) noexcept {
  const auto* length = reinterpret_cast<const char*>(block);
  dropSharedString(reinterpret_cast<SharedString*>(const_cast<char*>(length) -
                                                   offsetof(SharedString, length)));
}

CellValue& CellValue::assignOwning(const CellValue& other) {
  // Copy first: a failed copy leaves this value as it was.
  if (this != &other) {
    CellValue copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void CellValue::release() noexcept {
  switch (m_kind) {
  case ValueKind::String: dropSharedString(m_payload.text); break;
  case ValueKind::MultiArea: delete m_payload.areas; break;
  case ValueKind::Array: delete m_payload.items; break;
  default: break;
  }
  m_kind = ValueKind::Empty;
}

void CellValue::copyFrom(const CellValue& other) {
  switch (other.m_kind) {
  case ValueKind::String:
    m_payload.text = other.m_payload.text;
    ++m_payload.text->refs;
    break;
  case ValueKind::MultiArea:
    m_payload.areas = new std::vector<SheetRange>(*other.m_payload.areas);
    break;
  case ValueKind::Array: m_payload.items = new std::vector<CellValue>(*other.m_payload.items); break;
  default: m_payload = other.m_payload; break;
  }
  m_rows = other.m_rows;
  m_columns = other.m_columns;
  m_kind = other.m_kind;
}

CellValue CellValue::string(std::u16string_view text) {
  CellValue v;
  v.m_payload.text = makeSharedString(text);
  v.m_kind = ValueKind::String;
  return v;
}

CellValue CellValue::nameText(std::u16string_view text) {
  CellValue v = string(text);
  v.m_columns = 1;
  return v;
}

CellValue CellValue::areas(std::vector<SheetRange> list) {
  CellValue v;
  v.m_payload.areas = new std::vector<SheetRange>(std::move(list));
  v.m_kind = ValueKind::MultiArea;
  return v;
}

CellValue CellValue::array(int rows, int columns, std::vector<CellValue> items) {
  rows = std::clamp(rows, 0, 65536);
  columns = std::clamp(columns, 0, 65535);
  items.resize(static_cast<size_t>(rows) * static_cast<size_t>(columns));
  CellValue v;
  v.m_payload.items = new std::vector<CellValue>(std::move(items));
  v.m_rows = static_cast<std::uint16_t>(columns ? 0 : std::min(rows, 65535));
  v.m_columns = static_cast<std::uint16_t>(columns);
  v.m_kind = ValueKind::Array;
  return v;
}

CellValue CellValue::jump(std::int16_t sheet, std::uint32_t packedCell) {
  CellValue v;
  v.m_payload.cells[0] = packedCell;
  v.m_payload.cells[1] = 0;
  v.m_rows = static_cast<std::uint16_t>(sheet);
  v.m_kind = ValueKind::Jump;
  return v;
}

bool operator==(const CellValue& a, const CellValue& b) {
  if (a.m_kind != b.m_kind)
    return false;
  switch (a.m_kind) {
  case ValueKind::Empty: return true;
  case ValueKind::Number: return a.m_payload.number == b.m_payload.number;
  case ValueKind::String: return a.stringValue() == b.stringValue();
  case ValueKind::Boolean:
  case ValueKind::Error: return a.m_payload.word == b.m_payload.word;
  case ValueKind::MultiArea: return *a.m_payload.areas == *b.m_payload.areas;
  case ValueKind::Array:
    return a.arrayRows() == b.arrayRows() && a.m_columns == b.m_columns &&
           *a.m_payload.items == *b.m_payload.items;
  case ValueKind::Reference:
  case ValueKind::Jump:
    return a.m_rows == b.m_rows && a.m_payload.cells[0] == b.m_payload.cells[0] &&
           a.m_payload.cells[1] == b.m_payload.cells[1];
  }
  return false;
}

} // namespace model
