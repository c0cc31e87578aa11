#pragma once
// Memory status for INFO and the one place that turns allocation failure
// into the user's "Insufficient memory" message and a failed operation.

#include <cstdint>
#include <new>
#include <utility>

namespace platform {

struct MemoryStatus {
  std::uint64_t totalPhysical = 0;     // bytes
  std::uint64_t availablePhysical = 0; // bytes
  std::uint64_t totalVirtual = 0;      // bytes of address space the process may use
  std::uint64_t availableVirtual = 0;
};

/// Reads /proc/meminfo where it exists; elsewhere reports what the C++
/// library can tell (possibly zeros).
MemoryStatus memoryStatus();

/// Shows "Insufficient memory" in a message box without caption.
void reportOutOfMemory();

/// Runs `fn`; when it runs out of memory, reports it once and returns false.
/// The caller undoes what it had done so far. This and withAllocationQuiet
/// are the only places in the program that catch an allocation failure.
template <class Fn> [[nodiscard]] bool withAllocation(Fn&& fn) noexcept {
  try {
    std::forward<Fn>(fn)();
    return true;
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return false;
  }
}

/// Runs `fn`; false when it ran out of memory, without telling the user.
/// For computations, which turn the failure into an error value: a
/// recalculation must not raise one message per cell.
template <class Fn> [[nodiscard]] bool withAllocationQuiet(Fn&& fn) noexcept {
  try {
    std::forward<Fn>(fn)();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

} // namespace platform
