#include "functions/families.h"

namespace functions {

void registerAllFunctions() {
  registerMathFunctions();
  registerStatisticalFunctions();
  registerDatabaseFunctions();
  registerLookupFunctions();
  registerDatetimeFunctions();
  registerTextFunctions();
  registerFinancialFunctions();
  registerEngineeringFunctions();
}

} // namespace functions
