#pragma once
// The functions the formula engine itself relies on: IF, TRUE, FALSE, NA,
// SUM and ABS. The other families register theirs the same way.

namespace formula {

/// Registers the core handlers with the function table.
void registerCoreFunctions();

} // namespace formula
