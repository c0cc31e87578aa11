#pragma once

namespace cli {

/// `open FILE`: opens a file through the program's open flow, reads every
/// stored cell and prints the counts per sheet.
int runOpenCommand(int argc, char** argv);

} // namespace cli
