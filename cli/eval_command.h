#pragma once

namespace cli {

/// `eval [--locale L] [--date1904] [--set A1=TEXT]... FORMULA`: enters the
/// cells on Sheet1, then computes FORMULA in a cell of its own and prints
/// the value as the grid shows it in the General format.
int runEvalCommand(int argc, char** argv);

} // namespace cli
