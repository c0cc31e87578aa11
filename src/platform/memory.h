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
/// The caller undoes what it had done so far. This is the only place in the
/// program that catches an allocation failure.
template <class Fn> [[nodiscard]] bool withAllocation(Fn&& fn) noexcept {
  try {
    std::forward<Fn>(fn)();
    return true;
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return false;
  }
}

} // namespace platform
