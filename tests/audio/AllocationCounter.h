#pragma once
// Counts heap allocations made inside a RealtimeScope (platform/RealtimeGuard.h).
// AllocationCounter.cpp replaces the global operator new of the test program
// that links it.

#include <cstdint>

namespace qv::test {

uint64_t realtimeAllocations();

}  // namespace qv::test
