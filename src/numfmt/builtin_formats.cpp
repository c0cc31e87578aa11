#include "numfmt/builtin_formats.h"

#include "platform/ui_services.h"

#include <algorithm>

namespace numfmt {
namespace {

// Indexed by the locale's negative currency mode.
constexpr std::u16string_view kCurrencyTemplates[16] = {
    u"$#,##0_);($#,##0)",   u"$#,##0;-$#,##0",       u"$#,##0;$-#,##0",
    u"$#,##0_-;$#,##0-",    u"#,##0$_);(#,##0$)",    u"#,##0$;-#,##0$",
    u"#,##0_-$;#,##0-$",    u"#,##0$_-;#,##0$-",     u"#,##0 $;-#,##0 $",
    u"$ #,##0;-$ #,##0",    u"#,##0 $_-;#,##0 $-",   u"$ #,##0_-;$ #,##0-",
    u"$ #,##0;$ -#,##0",    u"#,##0_- $;#,##0- $",   u"$ #,##0_);($ #,##0)",
    u"#,##0 $_);(#,##0 $)",
};

// clang-format off
constexpr std::u16string_view kAccountingTemplates[16] = {
    u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)",
    u"_($* #,##0;_($* -#,##0;_($* \"-\";_(@",
    u"_($* #,##0;_($* -#,##0;_($* \"-\";_(@",
    u"_($* #,##0_-;_($* #,##0-;_($* \"-\"_-;_(@_-",
    u"_(* #,##0$_);_(* (#,##0$);_(* \"-\"$_);_(@_)",
    u"_(* #,##0$;_(* -#,##0$;_(* \"-\"$;_(@",
    u"_(* #,##0_-$;_(* #,##0-$;_(* \"-\"_-$;_(@_-",
    u"_(* #,##0$_-;_(* #,##0$-;_(* \"-\"$_-;_(@_-",
    u"_(* #,##0 $;_(* -#,##0 $;_(* \"-\" $;_(@",
    u"_($* #,##0;_($* -#,##0;_($* \"-\";_(@",
    u"_(* #,##0 $_-;_(* #,##0 $-;_(* \"-\" $_-;_(@_-",
    u"_($* #,##0_-;_($* #,##0-;_($* \"-\"_-;_(@_-",
    u"_($* #,##0;_($* -#,##0;_($* \"-\";_(@",
    u"_(* #,##0_- $;_(* #,##0- $;_(* \"-\"_- $;_(@_-",
    u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)",
    u"_(* #,##0 $_);_(* (#,##0 $);_(* \"-\" $_);_(@_)",
};
// clang-format on

void appendSymbol(std::u16string& out, std::u16string_view symbol) {
  if (symbol == u"$") {
    out += symbol;
  } else {
    out += u'"';
    out += symbol;
    out += u'"';
  }
}

std::u16string shortTimeCode(const platform::LocaleStrings& locale) {
  std::u16string code = locale.hourLeadingZero == u"1" ? u"hh" : u"h";
  code += locale.timeSeparator;
  code += u"mm";
  return code;
}

void appendPlaces(std::u16string& out, int places) {
  if (places > 0) {
    out += u'.';
    out.append(static_cast<size_t>(places), u'0');
  }
}

} // namespace

const std::u16string* LocaleFormats::codeFor(std::uint16_t index) const {
  for (size_t i = 0; i < kLocaleFormatIndexes.size(); ++i)
    if (kLocaleFormatIndexes[i] == index)
      return &codes[i];
  return nullptr;
}

std::u16string expandCurrencyTemplate(std::u16string_view pattern, std::u16string_view symbol,
                                      bool decimals, bool red, bool withSymbol) {
  std::u16string out;
  out.reserve(pattern.size() * 2);
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'$') {
      if (withSymbol)
        appendSymbol(out, symbol);
    } else if (c == u'0' && decimals) {
      out += u"0.00";
    } else if (c == u'"' && decimals && i > 0 && pattern[i - 1] == u'-') {
      out += u"\"??";
    } else if (c == u';' && red) {
      out += u";[Red]";
    } else {
      out += c;
    }
  }
  return out;
}

std::u16string shortDateCode(const platform::LocaleStrings& locale) {
  std::u16string code;
  for (char16_t c : locale.shortDatePattern) {
    const char16_t lower = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (lower == u'd' || lower == u'g' || lower == u'm' || lower == u'y') {
      code += lower;
    } else {
      code += u'\\';
      code += c;
    }
  }
  return code;
}

LocaleFormats buildLocaleFormats(const platform::LocaleStrings& locale) {
  const int mode = std::clamp(locale.negativeCurrencyMode, 0, 15);
  const std::u16string_view currency = kCurrencyTemplates[mode];
  const std::u16string_view accounting = kAccountingTemplates[mode];
  const std::u16string_view symbol = locale.currencySymbol;
  LocaleFormats f;
  f.codes[0] = expandCurrencyTemplate(currency, symbol, false, false, true);   // 5
  f.codes[1] = expandCurrencyTemplate(currency, symbol, false, true, true);    // 6
  f.codes[2] = expandCurrencyTemplate(currency, symbol, true, false, true);    // 7
  f.codes[3] = expandCurrencyTemplate(currency, symbol, true, true, true);     // 8
  f.codes[4] = shortDateCode(locale);                                          // 14
  f.codes[5] = shortTimeCode(locale);                                          // 20
  f.codes[6] = f.codes[4] + u' ' + f.codes[5];                                 // 22
  f.codes[7] = expandCurrencyTemplate(accounting, symbol, false, false, false); // 41
  f.codes[8] = expandCurrencyTemplate(accounting, symbol, false, false, true);  // 42
  f.codes[9] = expandCurrencyTemplate(accounting, symbol, true, false, false);  // 43
  f.codes[10] = expandCurrencyTemplate(accounting, symbol, true, false, true);  // 44
  return f;
}

const LocaleFormats& localeFormats() {
  static const LocaleFormats formats = buildLocaleFormats(platform::localeStrings());
  return formats;
}

std::u16string composeCodeText(int category, int places, std::u16string_view customText,
                               const platform::LocaleStrings& locale) {
  places = std::clamp(places, 0, 15);
  std::u16string code;
  switch (category) {
  case kCategoryNumber:
    code = u"0";
    appendPlaces(code, places);
    break;
  case kCategoryCurrency:
    appendSymbol(code, locale.currencySymbol);
    code += u"#,##0";
    appendPlaces(code, places);
    break;
  case kCategoryAccounting:
    appendSymbol(code, locale.currencySymbol);
    code += u"* #,##0";
    appendPlaces(code, places);
    break;
  case kCategoryDate: code = shortDateCode(locale); break;
  case kCategoryTime:
    code = u"hh" + locale.timeSeparator + u"mm" + locale.timeSeparator + u"ss";
    break;
  case kCategoryPercentage:
    code = u"0";
    appendPlaces(code, places);
    code += u'%';
    break;
  case kCategoryFraction:
    code = u"# ";
    code.append(static_cast<size_t>(places), u'?');
    code += u'/';
    code.append(static_cast<size_t>(places), u'?');
    break;
  case kCategoryScientific:
    code = u"0";
    appendPlaces(code, places);
    code += u"E+00";
    break;
  case kCategoryText: code = u"@"; break;
  case kCategoryCustom: code = customText; break;
  default: break; // General and unknown categories: index 0
  }
  return code;
}

bool checkDecimalPlaces(std::u16string_view text, int& places) {
  size_t i = 0, end = text.size();
  while (i < end && text[i] == u' ')
    ++i;
  while (end > i && text[end - 1] == u' ')
    --end;
  int value = 0;
  bool ok = i < end && end - i <= 9; // no overflow below ten digits
  for (size_t k = i; ok && k < end; ++k) {
    ok = text[k] >= u'0' && text[k] <= u'9';
    value = value * 10 + (text[k] - u'0');
  }
  if (!ok || value > 15) {
    platform::ui().messageBox(kMessageDecimalPlaces, std::nullopt, platform::MessageButtons::Ok,
                              platform::MessageIcon::None);
    return false;
  }
  places = value;
  return true;
}

} // namespace numfmt
