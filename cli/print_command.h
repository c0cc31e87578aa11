#pragma once

namespace cli {

/// `print FILE [--sheet NAME] [--selection] --pdf OUT`: the pages the print
/// command prints, written as a PDF file without a display.
int runPrintCommand(int argc, char** argv);

} // namespace cli
