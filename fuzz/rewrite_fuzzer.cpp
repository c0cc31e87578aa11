// Feeds any text and offsets through formula rewriting in every mode. The
// first eight bytes pick the offsets and the moved block; the rest is the
// formula text in UTF-8.
//
// Invariants: a zero paste offset changes nothing; moving relative parts by
// +k and back by -k restores the text when no reference fell off the sheet
// (exactly when the text is already in the form references are written in,
// otherwise the second round trip reproduces the first).

#include "formula/rewrite.h"
#include "model/workbook.h"
#include "platform/unicode.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

const model::Workbook &fuzzBook() {
  static const std::unique_ptr<model::Workbook> book = [] {
    auto b = std::make_unique<model::Workbook>();
    for (const char16_t *name : {u"Sheet1", u"Sheet2", u"My Sheet", u"It's", u"2009"}) {
      auto sheet = std::make_unique<model::Sheet>();
      sheet->name = name;
      b->sheets.push_back(std::move(sheet));
    }
    model::DefinedName name;
    name.name = u"Total";
    name.formula = u"=Sheet1!$A$1";
    b->names.push_back(name);
    return b;
  }();
  return *book;
}

bool hasRefError(std::u16string_view text) {
  return platform::toUpper(text).find(u"#REF!") != std::u16string::npos;
}

// Rewritten references come out upper case, with ":" and without leading
// zeros; a text already written so must come back character for character.
bool isWrittenForm(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= u'a' && c <= u'z')
      return false;
    if (c == u'.' && i + 1 < text.size() && text[i + 1] == u'.')
      return false;
    if (c == u'0' && i > 0 && ((text[i - 1] >= u'A' && text[i - 1] <= u'Z') || text[i - 1] == u'$'))
      return false;
  }
  return true;
}

std::u16string rewrite(formula::RewriteMode mode, std::u16string_view text, int movedSheet,
                       const model::CellRange &moved, int rows, int columns) {
  const auto result =
      formula::rewriteFormula(mode, fuzzBook(), 0, text, movedSheet, moved, rows, columns);
  check(result.has_value());
  return *result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 8)
    return 0;
  const int rows = static_cast<int16_t>(data[0] | (data[1] << 8));
  const int columns = static_cast<int8_t>(data[2]);
  const int movedSheet = data[3] % 3;
  const auto firstRow = static_cast<uint16_t>(data[4] << 8 | data[4]);
  const auto firstColumn = static_cast<uint8_t>(data[5]);
  const auto lastRow = static_cast<uint16_t>(data[6] < data[4] ? 65535 : data[6] << 8 | 0xFF);
  const auto lastColumn = static_cast<uint8_t>(data[7] < data[5] ? 255 : data[7]);
  const model::CellRange moved{firstRow, firstColumn, std::max(firstRow, lastRow),
                               std::max(firstColumn, lastColumn)};
  const std::u16string text =
      platform::fromUtf8(std::string_view(reinterpret_cast<const char *>(data + 8), size - 8));

  using formula::RewriteMode;
  for (const RewriteMode mode :
       {RewriteMode::Move, RewriteMode::Offset, RewriteMode::Relative, RewriteMode::SecondPass}) {
    rewrite(mode, text, movedSheet, moved, rows, columns);
    rewrite(mode, text, movedSheet, moved, rows, 0);
    rewrite(mode, text, movedSheet, moved, 0, columns);
  }
  check(rewrite(RewriteMode::Offset, text, movedSheet, moved, 0, 0) == text);

  if (hasRefError(text))
    return 0;
  const std::u16string there = rewrite(RewriteMode::Relative, text, 0, moved, rows, columns);
  if (hasRefError(there))
    return 0;
  const std::u16string back = rewrite(RewriteMode::Relative, there, 0, moved, -rows, -columns);
  if (isWrittenForm(text))
    check(back == text);
  check(rewrite(RewriteMode::Relative, back, 0, moved, rows, columns) == there);
  return 0;
}
