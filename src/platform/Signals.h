#pragma once
// Process signals: SIGINT, SIGTERM and SIGHUP (terminal closed) ask the
// program to end the way Ctrl+C does; the handler only stores 0 into the flag
// it was given. SIGPIPE is ignored so a closed pipe is an error value.

#include <atomic>
#include <cstdint>

namespace qv {

void installTerminationHandlers(std::atomic<int32_t>* runningFlag);

}  // namespace qv
