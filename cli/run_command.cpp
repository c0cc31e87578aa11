#include "run_command.h"
#include "session.h"

#include "fileformats/open_save.h"
#include "macro/interpreter.h"
#include "platform/unicode.h"

#include <cstdio>
#include <deque>
#include <string>
#include <string_view>

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: cellwick-cli run FILE MACRO [--save OUT] [--answer TEXT]...\n"
    "Opens FILE without running any of its macros, then runs the macro named\n"
    "MACRO (a defined name pointing at a macro sheet cell) as a command.\n"
    "Its alerts and messages are printed on stderr; each INPUT takes the next\n"
    "--answer, and is refused (as Cancel) when none is left. With --save the\n"
    "workbook is then written to OUT in the format of its extension.\n"
    "Prints the macro's result on stdout.\n";

std::string shown(const model::CellValue& v) {
  switch (v.kind()) {
  case model::ValueKind::Number: {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v.numberValue());
    return buf;
  }
  case model::ValueKind::String: return platform::toUtf8(v.stringValue());
  case model::ValueKind::Boolean: return v.booleanValue() ? "TRUE" : "FALSE";
  case model::ValueKind::Error: return platform::toUtf8(model::errorText(v.errorValue()));
  case model::ValueKind::Empty: return "";
  default: return "(other)";
  }
}

} // namespace

int runRunCommand(int argc, char** argv) {
  const char* file = nullptr;
  const char* name = nullptr;
  const char* save = nullptr;
  std::deque<std::u16string> answers;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((a == "--save" || a == "--answer") && i + 1 < argc) {
      if (a == "--save")
        save = argv[++i];
      else
        answers.push_back(platform::fromUtf8(argv[++i]));
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "cellwick-cli run: unknown option '%s'\n", argv[i]);
      return 2;
    } else if (!file) {
      file = argv[i];
    } else if (!name) {
      name = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (!file || !name) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::u16string outPath;
  int outType = model::kFileUnsupported;
  if (save) {
    outPath = platform::fromUtf8(save);
    outType = model::fileTypeOf(outPath);
    if (outType == model::kFileUnsupported || outType == model::kFileBmp) {
      std::fprintf(stderr, "cellwick-cli run: cannot write files of this type: %s\n", save);
      return 2;
    }
  }
  Session session;
  // Opened before the interpreter is installed: reading never runs a macro.
  model::Workbook* book = session.open("run", file);
  if (!book)
    return 1;
  macro::installMacroInterpreter();
  macro::inputHook() = [&](std::u16string_view prompt, std::u16string_view,
                           std::u16string_view) -> std::optional<std::u16string> {
    std::fprintf(stderr, "%s\n", platform::toUtf8(prompt).c_str());
    if (answers.empty())
      return std::nullopt;
    std::u16string a = std::move(answers.front());
    answers.pop_front();
    return a;
  };
  model::CellValue result;
  if (!macro::runNamedMacro(*book, platform::fromUtf8(name), model::MacroCaller{}, &result)) {
    std::fprintf(stderr, "cellwick-cli run: no macro named %s in %s\n", name, file);
    return 1;
  }
  std::printf("%s\n", shown(result).c_str());
  if (save) {
    fileformats::setVersionFields(*book, outType, false);
    if (!fileformats::writeWorkbookFile(*book, outPath, outType)) {
      std::fprintf(stderr, "cellwick-cli run: cannot write %s\n", save);
      return 1;
    }
  }
  return 0;
}

} // namespace cli
