#pragma once
// The registration of each function family's handlers with the function table.

#include <cstdint>

namespace functions {

/// Registers every family (the program does this once at start).
void registerAllFunctions();
void registerMathFunctions();

/// Seeds the generator of RAND and RANDBETWEEN from the clock (once per run),
/// or with a fixed value for reproducible tests.
void seedRandomFromClock();
void seedRandomGenerator(std::uint32_t seed);

void registerDatabaseFunctions();

void registerTextFunctions();
void registerFinancialFunctions();

void registerLookupFunctions();
void registerDatetimeFunctions();
void registerStatisticalFunctions();
void registerEngineeringFunctions();

} // namespace functions
