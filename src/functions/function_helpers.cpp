#include "functions/function_helpers.h"

#include "formula/function_table.h"

namespace functions {

bool registerRows(std::span<const HandlerRow> rows) {
  bool all = true;
  for (const HandlerRow& r : rows)
    all &= formula::registerHandler(r.name, r.handler);
  return all;
}

} // namespace functions
