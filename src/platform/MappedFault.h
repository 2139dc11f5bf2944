#pragma once
// Touching memory that another process maps, without dying when that process
// shrinks the file under us.
//
// A file mapped with mmap stays mapped at its old length when its owner
// truncates it; every access past the new end raises SIGBUS, which kills the
// process. Checking the size first does not help: the file may shrink between
// the check and the access. So every access to an outside process's mapping
// runs inside a guard: a SIGBUS raised by the guarded code on this thread
// ends the guarded code at once and the guard reports failure instead.
//
// The SIGBUS handler is installed once, on the first guard; it only acts for
// faults raised while this thread is inside a guard and hands every other
// SIGBUS to the handler that was there before (or to the default action,
// which ends the process as before). Guards nest and are per thread.
//
// The guarded code must be prepared to stop at any memory access into the
// mapping: it must not allocate, take locks or hold objects that need
// destruction while it touches the mapping (a fault skips destructors). Plain
// copies and atomic operations on the mapped bytes are what it is for.

#include <cstddef>
#include <type_traits>

namespace qv {

// Runs fn(context) under the guard. True when it returned normally; false
// when a bus error in it ended it early (whatever it wrote so far stays).
bool runGuarded(void (*fn)(void*), void* context);

// The same for any callable, e.g. runGuarded([&] { ... }). The callable is
// called exactly once unless a fault cut it short.
template <typename F>
bool runGuarded(F&& callable) {
    using Callable = std::remove_reference_t<F>;
    return runGuarded([](void* c) { (*static_cast<Callable*>(c))(); },
                      const_cast<void*>(static_cast<const void*>(&callable)));
}

// Copies n bytes from mapped memory to private memory under the guard. False
// when the source faulted (dst then holds a partial copy).
bool copyFromMapping(void* dst, const void* src, size_t n);

// How many faults the guards have turned into failures in this process
// (diagnostics and tests).
unsigned long guardedFaultCount();

}  // namespace qv
