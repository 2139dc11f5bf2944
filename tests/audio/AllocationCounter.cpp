#include "audio/AllocationCounter.h"

#include "platform/RealtimeGuard.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> gRealtimeAllocations{0};

void* allocate(std::size_t size) {
    if (qv::inRealtimeScope())
        gRealtimeAllocations.fetch_add(1);
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

}  // namespace

namespace qv::test {
uint64_t realtimeAllocations() { return gRealtimeAllocations.load(); }
}  // namespace qv::test

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
