#pragma once
// Counts heap allocations made inside a RealtimeScope (platform/RealtimeGuard.h).
// AllocationCounter.cpp replaces the global operator new of the test program
// that links it.

#include <cstdint>

namespace qv::test {

uint64_t realtimeAllocations();

// One heap allocation that no optimiser removes (compilers may drop a
// new-expression whose memory is never used): the control case of the tests
// that check that the counter sees allocations at all.
void allocateOnce();

}  // namespace qv::test
