#include "platform/code_page.h"

#include "platform/locale_strings.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

struct CodePageEntry {
  int codePage;
  const char *converter; // ICU's canonical name, so no alias lookup can pick another table
};

// ICU tables that match Windows' own for each code page. The single-byte
// windows-125x aliases resolve to these IBM names; windows-31j is ibm-943_P15A.
constexpr CodePageEntry kCodePages[] = {
    // clang-format off
    {437,   "ibm-437_P100-1995"},
    {850,   "ibm-850_P100-1995"},
    {874,   "windows-874-2000"},
    {932,   "ibm-943_P15A-2003"},
    {936,   "windows-936-2000"},
    {949,   "windows-949-2000"},
    {950,   "windows-950-2000"},
    {1250,  "ibm-5346_P100-1998"},
    {1251,  "ibm-5347_P100-1998"},
    {1252,  "ibm-5348_P100-1997"},
    {1253,  "ibm-5349_P100-1998"},
    {1254,  "ibm-5350_P100-1998"},
    {1255,  "ibm-9447_P100-2002"},
    {1256,  "ibm-9448_X100-2005"},
    {1257,  "ibm-9449_P100-2002"},
    {1258,  "ibm-5354_P100-1998"},
    // Old Macintosh workbooks: Roman, Greek, Cyrillic (Ukrainian is its
    // variant), Central European and Turkish, as ICU names them.
    {10000, "macos-0_2-10.2"},
    {10006, "macos-6_2-10.4"},
    {10007, "macos-7_3-10.2"},
    {10017, "macos-7_3-10.2"},
    {10029, "macos-29-10.2"},
    {10081, "macos-35-10.2"},
    {65001, "UTF-8"},
    // clang-format on
};
static_assert(std::ranges::is_sorted(kCodePages, {}, &CodePageEntry::codePage));

constexpr size_t kCodePageCount = std::size(kCodePages);

int indexOf(int codePage) {
  const auto it = std::ranges::lower_bound(kCodePages, codePage, {}, &CodePageEntry::codePage);
  return it != std::end(kCodePages) && it->codePage == codePage
             ? static_cast<int>(it - std::begin(kCodePages))
             : -1;
}

// Converters hold state between calls, so one opened per code page is shared
// under a lock; each conversion starts from a reset.
std::mutex g_lock;
std::array<UConverter *, kCodePageCount> g_converters{};
std::array<bool, kCodePageCount> g_failed{};

UConverter *converterFor(int index) {
  if (g_converters[index] || g_failed[index])
    return g_converters[index];
  UErrorCode status = U_ZERO_ERROR;
  UConverter *conv = ucnv_open(kCodePages[index].converter, &status);
  if (U_SUCCESS(status) && conv) {
    // Unmappable characters become '?' as Windows' default character; no
    // best-fit lookalikes, so what is written reads back as what it is.
    ucnv_setSubstChars(conv, "?", 1, &status);
    ucnv_setFallback(conv, false);
  }
  if (U_FAILURE(status)) {
    ucnv_close(conv);
    conv = nullptr;
  }
  g_converters[index] = conv;
  g_failed[index] = conv == nullptr;
  return conv;
}

// Substitutes U+FFFD for every byte sequence that is illegal, unassigned or
// cut off, whatever substitution character the table itself declares.
void U_CALLCONV replacementCallback(const void *, UConverterToUnicodeArgs *args, const char *,
                                    int32_t, UConverterCallbackReason reason, UErrorCode *status) {
  if (reason > UCNV_IRREGULAR)
    return;
  *status = U_ZERO_ERROR;
  const UChar replacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, status);
}

std::string languageOf(std::string_view tag, std::string &script, std::string &region) {
  std::string language;
  size_t part = 0;
  size_t i = 0;
  while (i <= tag.size()) {
    size_t j = i;
    while (j < tag.size() && tag[j] != '-' && tag[j] != '_')
      ++j;
    std::string sub(tag.substr(i, j - i));
    for (char &c : sub)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (part == 0)
      language = sub;
    else if (sub.size() == 4 && script.empty() && region.empty())
      script = sub;
    else if ((sub.size() == 2 || sub.size() == 3) && region.empty())
      region = sub;
    ++part;
    i = j + 1;
  }
  return language;
}

bool isOneOf(const std::string &s, std::initializer_list<std::string_view> list) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

} // namespace

int ansiCodePageForLocale(std::string_view localeId) {
  std::string script, region;
  const std::string language = languageOf(localeId, script, region);
  if (language == "zh") {
    if (script == "hant")
      return 950;
    if (script == "hans")
      return 936;
    return isOneOf(region, {"tw", "hk", "mo"}) ? 950 : 936;
  }
  if (language == "ja")
    return 932;
  if (language == "ko")
    return 949;
  if (language == "th")
    return 874;
  // Languages written in either script follow the script, and without one
  // the script the language is usually written in.
  if (language == "sr")
    return script == "latn" ? 1250 : 1251;
  if (language == "bs")
    return script == "cyrl" ? 1251 : 1250;
  if (language == "az" || language == "uz")
    return script == "cyrl" ? 1251 : 1254;
  if (isOneOf(language, {"cs", "pl", "hu", "sk", "sl", "hr", "ro", "sq", "tk"}))
    return 1250;
  if (isOneOf(language, {"ru", "uk", "bg", "be", "mk", "kk", "ky", "mn", "tt", "ba", "sah", "tg"}))
    return 1251;
  if (language == "el")
    return 1253;
  if (language == "tr")
    return 1254;
  if (language == "he" || language == "iw" || language == "yi")
    return 1255;
  if (isOneOf(language, {"ar", "fa", "ur", "ps", "ug", "ckb", "prs", "sd"}))
    return 1256;
  if (isOneOf(language, {"et", "lv", "lt"}))
    return 1257;
  if (language == "vi")
    return 1258;
  return 1252;
}

int systemAnsiCodePage() {
  if (const char *pinned = std::getenv("CELLWICK_CODEPAGE"); pinned && *pinned) {
    const std::string_view text(pinned);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size() && value > 0)
      return value;
  }
  return ansiCodePageForLocale(userLocaleId());
}

bool isSupportedCodePage(int codePage) {
  const int index = indexOf(codePage);
  if (index < 0)
    return false;
  std::lock_guard lock(g_lock);
  return converterFor(index) != nullptr;
}

bool toUtf16(int codePage, std::string_view bytes, std::u16string &out) {
  out.clear();
  const int index = indexOf(codePage);
  if (index < 0)
    return false;
  std::lock_guard lock(g_lock);
  UConverter *conv = converterFor(index);
  if (!conv)
    return false;
  ucnv_reset(conv);
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv, replacementCallback, nullptr, nullptr, nullptr, &status);
  // No code page here turns one byte into more than one UTF-16 unit except
  // UTF-8's four-byte sequences (two units), so the input length bounds the
  // output; the loop still copes should a table ever do otherwise.
  out.resize(bytes.size() + 1);
  const char *source = bytes.data();
  const char *const sourceEnd = bytes.data() + bytes.size();
  size_t written = 0;
  for (;;) {
    UChar *target = reinterpret_cast<UChar *>(out.data()) + written;
    UChar *const targetStart = target;
    status = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &target, reinterpret_cast<UChar *>(out.data()) + out.size(), &source,
                   sourceEnd, nullptr, /*flush=*/true, &status);
    written += static_cast<size_t>(target - targetStart);
    if (status != U_BUFFER_OVERFLOW_ERROR)
      break;
    out.resize(out.size() * 2 + 16);
  }
  out.resize(written);
  if (U_FAILURE(status)) {
    // The callback handles every malformed input, so only an internal ICU
    // failure lands here; what was converted is kept, the rest is lost.
    out.push_back(0xFFFD);
  }
  return true;
}

bool fromUtf16(int codePage, std::u16string_view text, std::string &out) {
  out.clear();
  const int index = indexOf(codePage);
  if (index < 0)
    return false;
  std::lock_guard lock(g_lock);
  UConverter *conv = converterFor(index);
  if (!conv)
    return false;
  ucnv_reset(conv);
  out.resize(text.size() * static_cast<size_t>(ucnv_getMaxCharSize(conv)) + 1);
  const UChar *source = reinterpret_cast<const UChar *>(text.data());
  const UChar *const sourceEnd = source + text.size();
  size_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  for (;;) {
    char *target = out.data() + written;
    char *const targetStart = target;
    status = U_ZERO_ERROR;
    ucnv_fromUnicode(conv, &target, out.data() + out.size(), &source, sourceEnd, nullptr,
                     /*flush=*/true, &status);
    written += static_cast<size_t>(target - targetStart);
    if (status != U_BUFFER_OVERFLOW_ERROR)
      break;
    out.resize(out.size() * 2 + 16);
  }
  out.resize(written);
  if (U_FAILURE(status))
    out.push_back('?');
  return true;
}

bool fromUtf16Within(int codePage, std::u16string_view text, size_t limit, std::string &out,
                     bool &cut) {
  cut = false;
  if (!fromUtf16(codePage, text, out))
    return false;
  if (out.size() <= limit)
    return true;
  cut = true;
  // The longest start that fits: a longer start never converts to fewer
  // bytes, so halving finds it in a few conversions even for long texts.
  const auto whole = [&](size_t units) {
    return units > 0 && units < text.size() && text[units - 1] >= 0xD800 && text[units - 1] < 0xDC00
               ? units - 1
               : units;
  };
  size_t fits = 0, tooLong = text.size();
  std::string bytes;
  while (tooLong - fits > 1) {
    const size_t guess = fits + (tooLong - fits) / 2;
    size_t middle = whole(guess);
    if (middle <= fits)
      middle = guess + 1; // past the pair's second half
    if (middle >= tooLong)
      break;
    if (fromUtf16(codePage, text.substr(0, middle), bytes) && bytes.size() <= limit)
      fits = middle;
    else
      tooLong = middle;
  }
  return fromUtf16(codePage, text.substr(0, fits), out);
}

namespace {

constexpr struct {
  int charSet;
  int codePage;
} kCharSets[] = {
    {128, 932},  {129, 949},  {134, 936},  {136, 950},  {161, 1253}, {162, 1254}, {163, 1258},
    {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251}, {222, 874},  {238, 1250}, {0, 1252},
};

} // namespace

int codePageOfCharSet(int charSet) {
  for (const auto &c : kCharSets)
    if (c.charSet == charSet)
      return c.codePage;
  return systemAnsiCodePage();
}

int charSetOfCodePage(int codePage) {
  for (const auto &c : kCharSets)
    if (c.codePage == codePage)
      return c.charSet;
  return 0;
}

bool holdsText(int codePage, std::u16string_view text) {
  // Every supported code page keeps ASCII as it is.
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
    return true;
  std::string bytes;
  std::u16string back;
  return fromUtf16(codePage, text, bytes) && toUtf16(codePage, bytes, back) && back == text;
}

} // namespace platform
