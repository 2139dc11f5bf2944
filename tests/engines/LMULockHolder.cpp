// Takes Le Mans Ultimate's shared-memory lock in the folder given as the only
// argument, says "held" and keeps it until it is killed: a reader or a
// simulator that died while holding the lock.

#include "engines/SharedMemoryLock.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv_lmu_lock_holder SHM_FOLDER\n");
        return 2;
    }
    qv::SharedMemoryLock lock(argv[1]);
    if (!lock.open() || !lock.acquire(5000)) {
        std::fprintf(stderr, "cannot take the lock: %s\n", lock.lastError().c_str());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}
