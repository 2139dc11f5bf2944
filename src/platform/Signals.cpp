#include "platform/Signals.h"

#include <csignal>

namespace qv {

namespace {
std::atomic<int32_t>* gRunningFlag = nullptr;

void onInterruptSignal(int) {
    if (gRunningFlag)
        gRunningFlag->exchange(0);
}
}  // namespace

void installTerminationHandlers(std::atomic<int32_t>* runningFlag) {
    static_assert(std::atomic<int32_t>::is_always_lock_free);
    gRunningFlag = runningFlag;
    struct sigaction action{};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace qv
