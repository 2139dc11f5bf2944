#include "platform/MappedFault.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>
#include <pthread.h>

namespace qv {

namespace {

// The innermost guard of this thread; null outside guards. Initial-exec TLS:
// the handler reads it, and that model never allocates or locks.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* tGuard = nullptr;

struct sigaction gPrevious {};
std::atomic<unsigned long> gFaults{0};
std::once_flag gInstalled;

void passOn(int signal, siginfo_t* info, void* context) {
    if (gPrevious.sa_flags & SA_SIGINFO) {
        if (gPrevious.sa_sigaction) {
            gPrevious.sa_sigaction(signal, info, context);
            return;
        }
    } else if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(signal);
        return;
    }
    // The default action (a bus error cannot be ignored): restore it. A fault
    // raised by an instruction repeats when the handler returns and ends the
    // process as it always would; a signal sent by someone is sent again.
    ::signal(SIGBUS, SIG_DFL);
    if (info == nullptr || info->si_code <= 0)
        ::raise(SIGBUS);
}

void onBusError(int signal, siginfo_t* info, void* context) {
    sigjmp_buf* guard = tGuard;
    // si_code > 0: raised by the kernel for a memory access of this thread.
    if (guard != nullptr && info != nullptr && info->si_code > 0) {
        gFaults.fetch_add(1, std::memory_order_relaxed);
        siglongjmp(*guard, 1);
    }
    passOn(signal, info, context);
}

void install() {
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &gPrevious);
}

void unblockBusError() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGBUS);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

struct CopyRequest {
    void* dst;
    const void* src;
    size_t n;
};

}  // namespace

bool runGuarded(void (*fn)(void*), void* context) {
    std::call_once(gInstalled, install);
    sigjmp_buf buffer;
    sigjmp_buf* const outer = tGuard;
    // No signal mask is saved (that would cost a system call per guard); the
    // rare fault path unblocks SIGBUS itself, as the handler left it blocked.
    if (sigsetjmp(buffer, 0) != 0) {
        tGuard = outer;
        unblockBusError();
        return false;
    }
    tGuard = &buffer;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    fn(context);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    tGuard = outer;
    return true;
}

bool copyFromMapping(void* dst, const void* src, size_t n) {
    if (n == 0)
        return true;
    CopyRequest request{dst, src, n};
    return runGuarded(
        [](void* c) {
            const auto* r = static_cast<CopyRequest*>(c);
            std::memcpy(r->dst, r->src, r->n);
        },
        &request);
}

unsigned long guardedFaultCount() { return gFaults.load(std::memory_order_relaxed); }

}  // namespace qv
