#pragma once
// Replaces the global allocator of a test program so that a test can make
// one allocation fail, as it would when memory runs out. Include from exactly
// one source file of a test program.

#include <cstddef>
#include <cstdlib>
#include <new>

namespace testalloc {

/// The next allocation of at least this many bytes throws std::bad_alloc;
/// 0 = none. Allocations of that size are rare enough in the code under test
/// that a test can aim at one (an undo entry, a snapshot).
inline std::size_t g_failAtLeast = 0;

/// Arms one failure for the next allocation of at least `bytes` bytes.
inline void failNextAllocationOf(std::size_t bytes) { g_failAtLeast = bytes; }
inline bool armed() { return g_failAtLeast != 0; }

/// Counts down allocations: the one this many from now fails (1 = the
/// next); 0 = none. Running a command under 1, 2, 3, ... until it succeeds
/// fails it once at every allocation it makes.
inline long g_failCountdown = 0;
inline void failAllocationNumber(long n) { g_failCountdown = n; }
/// True when the armed countdown has not fired (the command made fewer
/// allocations); disarms it.
inline bool disarmCountdown() {
  const bool unfired = g_failCountdown != 0;
  g_failCountdown = 0;
  return unfired;
}

} // namespace testalloc

// The replacement pair allocates with malloc and frees with free, which the
// compiler cannot see as a pair across the inlined calls.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (testalloc::g_failAtLeast != 0 && n >= testalloc::g_failAtLeast) {
    testalloc::g_failAtLeast = 0;
    throw std::bad_alloc();
  }
  if (testalloc::g_failCountdown > 0 && --testalloc::g_failCountdown == 0)
    throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1))
    return p;
  throw std::bad_alloc();
}
// The non-throwing form (std::stable_sort's buffer) must come from the same
// heap as the deletes below.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(n);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop
