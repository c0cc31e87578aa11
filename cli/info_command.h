#pragma once
#include <cstdio>

namespace cli {

/// `info`: creates a new workbook and prints its tables.
int runInfoCommand(std::FILE* out);

} // namespace cli
