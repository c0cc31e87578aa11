// Running out of memory inside a computation: every allocation from the
// n-th on fails, for each n in turn, so every place a formula allocates is
// reached once. The computation must end with the right value or with the
// error value, never end the process, leak or leave a cell half computed.
// This binary replaces the global allocation functions for that purpose.

#include "formula/formula_test_util.h"
#include "formula/reader.h"

#include <cstdlib>
#include <new>

namespace {

thread_local long t_allocationsLeft = -1; // -1: never fail

void* tryAllocate(std::size_t n) noexcept {
  if (t_allocationsLeft == 0)
    return nullptr;
  if (t_allocationsLeft > 0)
    --t_allocationsLeft;
  return std::malloc(n ? n : 1);
}

void* allocate(std::size_t n) {
  if (void* p = tryAllocate(n))
    return p;
  throw std::bad_alloc();
}

} // namespace

// Every form is replaced, the non-throwing ones too (stable_sort's buffer):
// a block from the library's own allocator freed by the free() below is a
// mismatch the address sanitizer reports.
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return tryAllocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return tryAllocate(n); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace formula {
namespace {

using namespace formula::testing;
using model::CalcState;
using model::ErrorCode;

class AllocationTest : public EngineTest {};

TEST_F(AllocationTest, FailureInsideAFormulaGivesTheErrorValue) {
  set("A1", u"1");
  set("A2", u"2");
  set("A3", u"=A1+A2");
  // Strings, arrays, nested calls and a precedent computed on the way.
  const std::u16string formula =
      u"=IF(SUM({1,2;3,4}*2,A1:A3)>0,\"long text \"&A3&\" and more text\",\"no\")";
  set("B1", formula);
  ASSERT_EQ(show(value("B1")), show(str(u"long text 3 and more text")));
  int failures = 0;
  for (long n = 0; n < 400; ++n) {
    model::CellRecord* a3 = cell("A3");
    model::CellRecord* b1 = cell("B1");
    a3->calcState = CalcState::NotValid;
    b1->calcState = CalcState::NotValid;
    t_allocationsLeft = n;
    computeCell(*book, 0, *b1);
    const bool exhausted = t_allocationsLeft == 0;
    t_allocationsLeft = -1;
    ASSERT_EQ(b1->calcState, CalcState::ValueValid) << n;
    if (show(b1->value) == show(str(u"long text 3 and more text"))) {
      if (!exhausted)
        break; // every allocation point has been failed once
      continue;
    }
    EXPECT_EQ(show(b1->value), show(err(ErrorCode::NA))) << "after " << n << " allocations";
    ++failures;
  }
  EXPECT_GT(failures, 5) << "the failures must reach the formula";
  // Afterwards the engine computes as before.
  set("A1", u"10");
  EXPECT_EQ(show(value("B1")), show(str(u"long text 12 and more text")));
}

} // namespace
} // namespace formula
