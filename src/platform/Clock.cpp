#include "platform/Clock.h"

#include <cerrno>
#include <ctime>
#include <sys/time.h>

namespace qv {

namespace {
uint64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}
}  // namespace

uint64_t SystemClock::nowMs() { return monotonicNs() / 1000000ull; }
uint64_t SystemClock::nowNs() { return monotonicNs(); }

void SystemClock::sleepNs(uint64_t ns) {
    timespec request{static_cast<time_t>(ns / 1000000000ull), static_cast<long>(ns % 1000000000ull)};
    timespec remaining{};
    while (nanosleep(&request, &remaining) != 0 && errno == EINTR)
        request = remaining;
}

LocalTimeOfDay localTimeOfDay() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    const time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(tv.tv_usec / 1000)};
}

}  // namespace qv
