#include "platform/SeqLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qv {
namespace {

struct Record {
    int values[37];
};

TEST(SeqLock, ReadersNeverSeeATornRecord) {
    SeqLock<Record> lock;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    auto reader = [&](bool nonBlocking) {
        Record r;
        while (!stop.load()) {
            if (nonBlocking) {
                if (!lock.tryLoad(r, 1))
                    continue;
            } else {
                r = lock.load();
            }
            for (int v : r.values)
                if (v != r.values[0])
                    ++torn;
            ++reads;
        }
    };
    std::thread a(reader, false), b(reader, true);
    Record w;
    for (int i = 0; i < 20000; ++i) {
        for (int& v : w.values)
            v = i;
        lock.store(w);
    }
    while (reads.load() < 100)
        std::this_thread::yield();
    stop = true;
    a.join();
    b.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(lock.load().values[36], 19999);
    EXPECT_EQ(lock.version(), 20001u);
}

}  // namespace
}  // namespace qv
