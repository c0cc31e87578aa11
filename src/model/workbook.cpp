#include "model/workbook.h"

#include "numfmt/builtin_formats.h"
#include "numfmt/number_format.h"
#include "platform/memory.h"
#include "platform/unicode.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>

namespace model {

std::uint64_t newWorkbookId() {
  static std::atomic<std::uint64_t> next{0};
  return ++next;
}

namespace {

constexpr std::uint32_t bgr(std::uint32_t rgb) {
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

} // namespace

// clang-format off
const std::array<std::uint32_t, 64> kDefaultPalette = {
  bgr(0x000000), bgr(0xFFFFFF), bgr(0xFF0000), bgr(0x00FF00), bgr(0x0000FF), bgr(0xFFFF00), bgr(0xFF00FF), bgr(0x00FFFF),
  bgr(0x000000), bgr(0xFFFFFF), bgr(0xFF0000), bgr(0x00FF00), bgr(0x0000FF), bgr(0xFFFF00), bgr(0xFF00FF), bgr(0x00FFFF),
  bgr(0x800000), bgr(0x008000), bgr(0x000080), bgr(0x808000), bgr(0x800080), bgr(0x008080), bgr(0xC0C0C0), bgr(0x808080),
  bgr(0x9999FF), bgr(0x993366), bgr(0xFFFFCC), bgr(0xCCFFFF), bgr(0x660066), bgr(0xFF8080), bgr(0x0066CC), bgr(0xCCCCFF),
  bgr(0x000080), bgr(0xFF00FF), bgr(0xFFFF00), bgr(0x00FFFF), bgr(0x800080), bgr(0x800000), bgr(0x008080), bgr(0x0000FF),
  bgr(0x00CCFF), bgr(0xCCFFFF), bgr(0xCCFFCC), bgr(0xFFFF99), bgr(0x99CCFF), bgr(0xFF99CC), bgr(0xCC99FF), bgr(0xFFCC99),
  bgr(0x3366FF), bgr(0x33CCCC), bgr(0x99CC00), bgr(0xFFCC00), bgr(0xFF9900), bgr(0xFF6600), bgr(0x666699), bgr(0x969696),
  bgr(0x003366), bgr(0x339966), bgr(0x003300), bgr(0x333300), bgr(0x993300), bgr(0x993366), bgr(0x333399), bgr(0x333333),
};
// clang-format on

std::u16string_view fileNamePart(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

void mark_modified(Workbook& book) { book.modified = 1; }

void seedWorkbookTables(Workbook& book, const Font& defaultFont) {
  book.palette = kDefaultPalette;

  book.numberFormats.clear();
  book.numberFormats.reserve(std::size(numfmt::kBuiltinFormats));
  const numfmt::LocaleFormats& local = numfmt::localeFormats();
  for (const numfmt::BuiltinFormat& b : numfmt::kBuiltinFormats) {
    const std::u16string* code = local.codeFor(b.index);
    std::u16string text = code ? *code : std::u16string(b.code);
    book.numberFormats.push_back({b.index, kNumberFormatBuiltin, text, text});
  }

  // Formats 16-20 back the built-in styles Comma, Comma [0], Currency,
  // Currency [0] and Percent.
  constexpr std::uint16_t kStyleNumberFormats[5] = {43, 41, 44, 42, 9};
  book.cellFormats.assign(21, CellFormat{});
  for (int i = 0; i < 21; ++i) {
    CellFormat& f = book.cellFormats[static_cast<size_t>(i)];
    f.fontIndex = (i == 1 || i == 2 || i >= 16) ? 1 : (i == 3 || i == 4) ? 2 : 0;
    f.numberFormatIndex = i >= 16 ? kStyleNumberFormats[i - 16] : 0;
    f.flags = kFormatLocked | (i == kDefaultCellFormat ? 0u : std::uint32_t{kFormatStyle});
  }

  constexpr std::pair<std::uint16_t, std::uint8_t> kStyles[6] = {
      {16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}};
  book.styles.clear();
  for (const auto& [format, style] : kStyles)
    book.styles.push_back({static_cast<std::uint16_t>(format | 0x8000), style, 255});

  book.fonts.assign(4, defaultFont);
}

int numberFormatPosition(const Workbook& book, std::uint16_t index) {
  for (size_t i = 0; i < book.numberFormats.size(); ++i)
    if (book.numberFormats[i].index == index)
      return static_cast<int>(i);
  return -1;
}

std::u16string_view numberFormatCode(const Workbook& book, std::uint16_t index) {
  const int pos = numberFormatPosition(book, index);
  return pos < 0 ? std::u16string_view(u"General")
                 : std::u16string_view(book.numberFormats[static_cast<size_t>(pos)].code);
}

namespace {

const numfmt::CompiledFormat& compiledGeneral() {
  static const numfmt::CompiledFormat general = numfmt::compileFormat(u"General");
  return general;
}

} // namespace

const numfmt::CompiledFormat& compiledNumberFormat(const Workbook& book, std::uint16_t index) {
  const int pos = numberFormatPosition(book, index);
  if (pos < 0)
    return compiledGeneral();
  const NumberFormat& entry = book.numberFormats[static_cast<size_t>(pos)];
  CompiledFormatCache& cache = entry.compiled;
  if (!cache.format || cache.code != entry.code) {
    // Build both before replacing either, so a failure leaves a matching pair.
    std::shared_ptr<const numfmt::CompiledFormat> made;
    std::u16string code;
    if (!platform::withAllocation([&] {
          made = std::make_shared<const numfmt::CompiledFormat>(numfmt::compileFormat(entry.code));
          code = entry.code;
        }))
      return compiledGeneral();
    cache.format = std::move(made);
    cache.code = std::move(code);
  }
  return *cache.format;
}

int findOrAddFormat(Workbook& book, std::u16string_view code) {
  int largest = 49;
  for (const NumberFormat& f : book.numberFormats) {
    if (f.code == code)
      return f.index;
    largest = std::max<int>(largest, f.index);
  }
  // Indexes are 16-bit in files; a list that has used them all takes no more.
  if (largest >= 0xFFFF)
    return -1;
  const bool added = platform::withAllocation([&] {
    NumberFormat f{static_cast<std::uint16_t>(largest + 1), 0, std::u16string(code),
                   std::u16string(code)};
    book.numberFormats.push_back(std::move(f));
  });
  return added ? largest + 1 : -1;
}

int findOrAddCellFormat(Workbook& book, const CellFormat& format) {
  CellFormat f = format;
  f.flags &= ~static_cast<std::uint32_t>(kFormatStyle);
  for (size_t i = 0; i < book.cellFormats.size(); ++i)
    if (book.cellFormats[i] == f)
      return static_cast<int>(i);
  // Cell format indexes are 12-bit in files.
  if (book.cellFormats.size() >= 4050)
    return -1;
  return platform::withAllocation([&] { book.cellFormats.push_back(f); })
             ? static_cast<int>(book.cellFormats.size() - 1)
             : -1;
}

int findOrAddFont(Workbook& book, const Font& font) {
  for (size_t i = 0; i < book.fonts.size(); ++i)
    if (book.fonts[i] == font)
      return static_cast<int>(i);
  if (book.fonts.size() >= 0x7FFF)
    return -1;
  return platform::withAllocation([&] { book.fonts.push_back(font); })
             ? static_cast<int>(book.fonts.size() - 1)
             : -1;
}

int composeFormatCode(Workbook& book, int category, int places, std::u16string_view customText) {
  if (category == numfmt::kCategoryGeneral)
    return 0;
  const std::u16string code =
      numfmt::composeCodeText(category, places, customText, platform::localeStrings());
  if (code.empty())
    return 0;
  return findOrAddFormat(book, code);
}

void addAddInName(Workbook& book, std::u16string_view name) {
  for (const std::u16string& n : book.addInNames)
    if (platform::equalsIgnoreCase(n, name))
      return;
  book.addInNames.emplace_back(name);
}

void addLaterFunctionName(Workbook& book, std::u16string_view fileName) {
  const int found = find_name_text(book, fileName, -1);
  if (found >= 0 && book.names[static_cast<size_t>(found)].sheetIndex == 0)
    return;
  DefinedName n;
  n.flags = kNameLaterFunction;
  n.name = fileName;
  n.formula = u"=#NAME?";
  book.names.push_back(std::move(n));
}

namespace {

bool isNameBreak(char16_t c, std::u16string_view listSeparator) {
  if (c == u' ' || c == u'%' || c == u'&' || (c >= u'(' && c <= u'-') || c == u'/' ||
      c == u':' || (c >= u'<' && c <= u'>') || c == u'^')
    return true;
  return listSeparator.size() == 1 && c == listSeparator[0];
}

} // namespace

struct NameIndex {
  const DefinedName* data = nullptr;
  size_t size = 0;
  std::uint64_t generation = 0;
  // Folded text -> the names of that text, in list order.
  std::unordered_map<std::u16string, std::vector<int>> byText;
};

void names_changed(Workbook& book) {
  ++book.namesGeneration;
  book.nameIndex.reset();
}

namespace {

const NameIndex& nameIndexOf(const Workbook& book) {
  const NameIndex* index = book.nameIndex.get();
  if (index && index->data == book.names.data() && index->size == book.names.size() &&
      index->generation == book.namesGeneration)
    return *index;
  auto fresh = std::make_shared<NameIndex>();
  fresh->data = book.names.data();
  fresh->size = book.names.size();
  fresh->generation = book.namesGeneration;
  fresh->byText.reserve(book.names.size());
  for (size_t i = 0; i < book.names.size(); ++i)
    fresh->byText[platform::foldCase(book.names[i].name)].push_back(static_cast<int>(i));
  book.nameIndex = fresh;
  return *fresh;
}

} // namespace

int find_name_text(const Workbook& book, std::u16string_view name, int sheet) {
  if (book.names.empty())
    return -1;
  const NameIndex& index = nameIndexOf(book);
  const auto found = index.byText.find(platform::foldCase(name));
  if (found == index.byText.end())
    return -1;
  int global = -1, other = -1;
  for (const int i : found->second) {
    const std::int32_t scope = book.names[static_cast<size_t>(i)].sheetIndex;
    if (sheet >= 0 && scope == sheet + 1)
      return i;
    if (scope == 0 && global < 0)
      global = i;
    if (other < 0)
      other = i;
  }
  return global >= 0 ? global : other;
}

NameLookup find_name(const Workbook& book, std::u16string_view text, size_t start, int sheet) {
  // Most workbooks define no names, and every word of every formula asks.
  if (book.names.empty())
    return NameLookup{-1, std::min(start, text.size())};
  const std::u16string_view sep = platform::localeStrings().listSeparator;
  size_t i = std::min(start, text.size());
  if (i < text.size() && text[i] == u'=')
    ++i;
  while (i < text.size() && text[i] == u' ')
    ++i;
  const size_t wordStart = i;
  // A word also stops at "!", so that a sheet qualifier is seen as one.
  while (i < text.size() && text[i] != u'!' && !isNameBreak(text[i], sep))
    ++i;
  NameLookup result;
  result.end = i;
  if (i == wordStart || (i < text.size() && text[i] == u'!'))
    return result;
  result.index = find_name_text(book, text.substr(wordStart, i - wordStart), sheet);
  size_t j = i;
  while (j < text.size() && text[j] == u' ')
    ++j;
  if (j > i && j < text.size() && isNameBreak(text[j], sep))
    result.end = j;
  return result;
}

int find_sheet(const Workbook& book, std::u16string_view name) {
  for (size_t i = 0; i < book.sheets.size(); ++i)
    if (platform::equalsIgnoreCase(book.sheets[i]->name, name))
      return static_cast<int>(i);
  return -1;
}

} // namespace model
