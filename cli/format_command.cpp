#include "format_command.h"

#include "numfmt/number_format.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace cli {
namespace {

constexpr const char *kUsage = "usage: cellwick-cli format [--locale L] [--date1904] VALUE CODE\n";

// A plain C-locale number, with an optional leading '+'; infinities, NaN and
// hexadecimal forms count as text.
std::optional<double> readNumber(std::string_view s) {
  if (!s.empty() && s.front() == '+')
    s.remove_prefix(1);
  if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '-' ||
                     s.front() == '.'))
    return std::nullopt;
  double value = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), value);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

} // namespace

int runFormatCommand(int argc, char **argv) {
  std::optional<std::string> locale;
  bool date1904 = false;
  std::string_view operands[2];
  int operandCount = 0;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsDone && arg == "--") {
      optionsDone = true;
    } else if (!optionsDone && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!optionsDone && arg == "--date1904") {
      date1904 = true;
    } else if (!optionsDone && arg == "--locale") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "format: --locale needs a locale tag\n%s", kUsage);
        return 2;
      }
      locale = argv[++i];
    } else if (!optionsDone && arg.starts_with("--locale=")) {
      locale = std::string(arg.substr(9));
    } else if (!optionsDone && arg.starts_with("--")) {
      std::fprintf(stderr, "format: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else if (operandCount < 2) {
      operands[operandCount++] = arg;
    } else {
      std::fprintf(stderr, "format: too many arguments\n%s", kUsage);
      return 2;
    }
  }
  if (operandCount != 2) {
    std::fprintf(stderr, "format: VALUE and CODE are required\n%s", kUsage);
    return 2;
  }
  if (locale && locale->empty()) {
    std::fprintf(stderr, "format: --locale needs a locale tag\n%s", kUsage);
    return 2;
  }

  const platform::LocaleStrings strings =
      locale ? platform::loadLocaleStrings(*locale) : platform::localeStrings();
  numfmt::FormatOptions options;
  options.locale = &strings;
  options.date1904 = date1904;
  const numfmt::CompiledFormat format =
      numfmt::compileFormat(platform::fromUtf8(operands[1]), strings);
  const std::optional<double> number = readNumber(operands[0]);
  const numfmt::FormatResult result =
      number ? numfmt::formatNumber(*number, format, options)
             : numfmt::formatText(platform::fromUtf8(operands[0]), format, options);
  std::printf("%s\n", platform::toUtf8(result.text).c_str());
  if (result.hasColour())
    std::printf("%s\n", platform::toUtf8(result.colourName()).c_str());
  return 0;
}

} // namespace cli
