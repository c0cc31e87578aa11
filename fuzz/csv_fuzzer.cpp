// Imports arbitrary bytes as comma-, semicolon- and tab-separated text in a
// single-byte and a double-byte code page, the encoding found from the bytes (byte-order
// marks, UTF-8). Whatever imports must survive an export and a second import
// with the same cell texts.

#include "fileformats/text/delimited_text.h"
#include "formula/recalc.h"
#include "platform/ui_services.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Cell {
  std::uint16_t row;
  std::uint8_t column;
  std::u16string text;
  bool operator==(const Cell&) const = default;
};

std::unique_ptr<model::Workbook> import(std::span<const std::uint8_t> bytes,
                                        textfile::DelimitedKind kind,
                                        const textfile::DelimitedOptions& options) {
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  if (!textfile::importDelimitedText(bytes, kind, *book, u"fuzz", options))
    return nullptr;
  return book;
}

std::vector<Cell> cellsOf(model::Workbook& book) {
  std::vector<Cell> out;
  book.sheet(0).cells.forEach([&](model::CellRecord& c) {
    out.push_back({c.row, c.column, std::u16string(c.input.view())});
  });
  return out;
}

// A cell's line breaks as they read back: CR LF and a lone CR are one LF.
std::u16string oneLineFeed(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
      continue;
    out += text[i] == u'\r' ? u'\n' : text[i];
  }
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static platform::HeadlessUiServices ui;
  static platform::ScopedUiServices scoped(ui);
  static const bool installed = (formula::installFormulaEngine(), true);
  (void)installed;
  ui.clearShown();
  const std::span<const std::uint8_t> bytes(data, size);
  using enum textfile::DelimitedKind;
  struct Setting {
    int codePage;
    textfile::DelimitedKind kind;
    char16_t listSeparator;
  };
  // Where the decimal point is a comma, files are separated by semicolons.
  constexpr Setting kSettings[] = {{1252, Csv, u','}, {1252, Tab, u','}, {936, Csv, u','},
                                   {936, Tab, u','},  {1252, Csv, u';'}};
  for (const auto [codePage, kind, listSeparator] : kSettings) {
    const textfile::DelimitedOptions options{.codePage = codePage, .listSeparator = listSeparator};
    auto book = import(bytes, kind, options);
    if (!book)
      continue;
    // Formula texts round-trip as typed; displayed values need not.
    book->sheet(0).flags |= model::kSheetShowFormulas;
    // What the code page cannot hold goes out as UTF-8 with a byte-order
    // mark, and code-page bytes that would pass for it do too: every text
    // reads back exactly, but for line breaks, which come back as one line
    // feed each. (A CR gets into a cell as the second byte of a pair that
    // begins with a lead byte of the double-byte page.)
    const std::string out = textfile::exportDelimitedText(*book, kind, options);
    const std::span<const std::uint8_t> again(reinterpret_cast<const std::uint8_t*>(out.data()),
                                              out.size());
    auto second = import(again, kind, options);
    if (!second)
      std::abort();
    std::vector<Cell> a = cellsOf(*book);
    for (Cell& c : a)
      c.text = oneLineFeed(c.text);
    if (a != cellsOf(*second))
      std::abort();
  }
  return 0;
}
