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

// A call of operator new itself, unlike a new-expression, is never elided;
// the pointer escapes through a volatile besides.
void* volatile gEscaped = nullptr;
__attribute__((noinline)) void allocateOnce() {
    void* p = ::operator new(16);
    gEscaped = p;
    ::operator delete(p);
}
}  // namespace qv::test

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
// The nothrow forms too (std::stable_sort uses them): left to the sanitizer's
// allocator they would be freed by the delete below, a mismatch it reports.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
