#pragma once

namespace cli {

/// `dump [--recalc] FILE`: one line per stored cell.
int runDumpCommand(int argc, char** argv);

} // namespace cli
