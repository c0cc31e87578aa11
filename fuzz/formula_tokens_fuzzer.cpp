// Feeds any bytes to the formula token reader as a token array and its extra
// data, in both BIFF versions, with and without link tables from a file, in
// a workbook whose first sheet has cells for label tokens to name. The
// first byte picks the version, the file kind and the link tables; the second
// where the tokens end and the extra data begins.
//
// Invariants: reading never fails by crashing; text the reader produces
// compiles back into tokens; and after one round (text -> tokens -> text) the
// text is a fixed point of the round trip.

#include "fileformats/biff/formula_tokens.h"
#include "model/sheet.h"
#include "model/workbook.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

const model::Workbook& fuzzBook() {
  static const std::unique_ptr<model::Workbook> book = [] {
    auto b = std::make_unique<model::Workbook>();
    for (const char16_t* name : {u"Sheet1", u"My Sheet", u"It's", u"2009", u"Macro1"}) {
      auto sheet = std::make_unique<model::Sheet>();
      sheet->name = name;
      b->sheets.push_back(std::move(sheet));
    }
    b->sheet(4).kind = model::SheetKind::Macro;
    // Label tokens name cells of the current sheet by position and take their
    // entry texts: the first rows and columns hold words, a phrase, quotes, a
    // number, a formula and a long text.
    const std::u16string kLabels[] = {u"Price", u"Unit cost", u"'007", u"say \"hi\"",
                                      u"12", u"=A1+1", std::u16string(255, u'x'), u"Total"};
    for (std::uint16_t row = 0; row < 4; ++row)
      for (std::uint8_t column = 0; column < 2; ++column)
        model::append_cell(b->sheet(0).cells, row, column, kLabels[row * 2 + column],
                           model::kDefaultCellFormat);
    for (const auto& [name, formula] : {std::pair{u"Total", u"=Sheet1!$A$1"},
                                        std::pair{u"Start", u"=Macro1!$A$1"},
                                        std::pair{u"Rate", u"=0.5"}}) {
      model::DefinedName n;
      n.name = name;
      n.formula = formula;
      b->names.push_back(n);
    }
    b->addInNames = {u"EDATE", u"EOMONTH", u"NOSUCHADDIN"};
    return b;
  }();
  return *book;
}

const biff::LinkTable& fileLinks() {
  static const biff::LinkTable links = [] {
    biff::LinkTable t;
    t.externSheets = {{0, 0, 0}, {1, biff::kNoSheet, biff::kNoSheet}, {0, 1, 3}, {2, 0, 0},
                      {0, 4, 4}, {0, 9, 9}};
    t.addInBook = 1;
    t.ownBook = 0;
    t.externNames = {u"EOMONTH", u"EDATE"};
    return t;
  }();
  return links;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2)
    return 0;
  const std::uint8_t flags = data[0];
  const std::span<const std::uint8_t> rest(data + 2, size - 2);
  const size_t split = rest.size() * data[1] / 255;
  biff::TokenContext ctx;
  ctx.book = &fuzzBook();
  ctx.version = (flags & 1) ? 7 : 8;
  ctx.fileKind = (flags & 2) ? 1 : 2;
  ctx.links = (flags & 4) ? &fileLinks() : nullptr;
  ctx.sheet = 0;
  const auto row = static_cast<std::uint16_t>(flags & 0x08 ? 0xFFF0 : 5);
  const auto column = static_cast<std::uint8_t>(flags & 0x10 ? 250 : 2);

  std::u16string text;
  if (!biff::tokensToFormulaText(rest.first(split), rest.subspan(split), row, column, ctx, text))
    return 0;
  check(!text.empty() && text[0] == u'=');

  // Our own tokens are read without the file's link tables.
  ctx.links = nullptr;
  const biff::WriteOptions options;
  biff::TokenArray tokens;
  if (!biff::formulaTextToTokens(text, ctx, options, tokens))
    return 0; // more than 64 KB of tokens: the format cannot hold it
  std::u16string once;
  check(biff::tokensToFormulaText(tokens.tokens, tokens.extra, 0, 0, ctx, once));
  biff::TokenArray again;
  check(biff::formulaTextToTokens(once, ctx, options, again));
  std::u16string twice;
  check(biff::tokensToFormulaText(again.tokens, again.extra, 0, 0, ctx, twice));
  check(twice == once);
  return 0;
}
