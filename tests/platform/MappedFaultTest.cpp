// The bus-error guard around reads of files other processes map: a file cut
// short under a read makes the read fail instead of ending the program, and
// faults outside any guard still reach whoever handled them before.

#include "platform/MappedFault.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qv::test {
namespace {

constexpr size_t kPage = 4096;

bool resize(const std::string& path, size_t size) { return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0; }

class MappedFault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writer.create("Local\\page", 4 * kPage));
        std::memset(writer.writableData(), 0x5a, 4 * kPage);
        ASSERT_TRUE(reader.open("Local\\page", 4 * kPage));
    }
    std::string path() const { return dir.path() + "page"; }

    TempDir dir;
    SharedMemoryMap writer{dir.path()};
    SharedMemoryMap reader{dir.path()};
};

TEST_F(MappedFault, ACopyFromAFileCutShortFailsAndTheNextOneWorksAgain) {
    std::vector<uint8_t> copy(4 * kPage);
    EXPECT_TRUE(reader.read(0, copy.data(), copy.size()));
    EXPECT_EQ(copy[4 * kPage - 1], 0x5a);

    const unsigned long faultsBefore = guardedFaultCount();
    ASSERT_TRUE(resize(path(), kPage));
    EXPECT_TRUE(reader.read(0, copy.data(), kPage)) << "the first page is still in the file";
    EXPECT_FALSE(reader.read(kPage, copy.data(), kPage));
    EXPECT_FALSE(reader.read(0, copy.data(), copy.size()));
    EXPECT_EQ(guardedFaultCount(), faultsBefore + 2);
    EXPECT_FALSE(reader.isWhole());

    ASSERT_TRUE(resize(path(), 4 * kPage));  // the bytes come back as zeros
    EXPECT_TRUE(reader.read(0, copy.data(), copy.size()));
    EXPECT_EQ(copy[4 * kPage - 1], 0);
    EXPECT_TRUE(reader.isWhole());

    for (std::pair<size_t, size_t> outside : {std::pair<size_t, size_t>{4 * kPage, 1}, {0, 4 * kPage + 1},
                                              {SIZE_MAX, 2}, {1, SIZE_MAX}})
        EXPECT_FALSE(reader.read(outside.first, copy.data(), outside.second)) << outside.first;
}

TEST_F(MappedFault, GuardsNestAndAnInnerFaultEndsOnlyTheInnerGuard) {
    ASSERT_TRUE(resize(path(), kPage));
    const uint8_t* gone = reader.data() + 2 * kPage;
    bool innerResult = true;
    bool afterInner = false;
    const bool outer = runGuarded([&] {
        innerResult = runGuarded([&] {
            volatile uint8_t b = *gone;
            (void)b;
        });
        afterInner = true;
    });
    EXPECT_TRUE(outer);
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(afterInner);
    // The signal is not left blocked: a second fault is caught just the same.
    EXPECT_FALSE(copyFromMapping(&innerResult, gone, 1));
}

// A named event whose file is cut short: post and wait fail, nothing dies.
TEST_F(MappedFault, AnEventWhoseFileShrankFailsInsteadOfFaulting) {
    NamedEvent event(dir.path());
    ASSERT_TRUE(event.openOrCreate("Local\\ev"));
    ASSERT_TRUE(event.signal());
    ASSERT_TRUE(resize(dir.path() + "sem.ev", 0));
    EXPECT_FALSE(event.isWhole());
    EXPECT_FALSE(event.signal());
    EXPECT_FALSE(event.wait(5));
}

// Several threads copy while another process-like writer cuts the file
// short and restores it as fast as it can: every copy either succeeds or
// fails, none ends the process.
TEST_F(MappedFault, CopiesRacingATruncateLoopNeverCrash) {
    std::atomic<bool> stop{false};
    std::atomic<long> failed{0};
    std::atomic<long> done{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            std::vector<uint8_t> copy(4 * kPage);
            while (!stop.load()) {
                if (!reader.read(0, copy.data(), copy.size()))
                    failed.fetch_add(1);
                done.fetch_add(1);
            }
        });
    }
    const int fd = ::open(path().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 20000 && failed.load() < 50; ++i) {
        ASSERT_EQ(::ftruncate(fd, 0), 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(4 * kPage)), 0);
    }
    stop = true;
    for (std::thread& t : readers)
        t.join();
    ::close(fd);
    EXPECT_GT(done.load(), 0);
    std::vector<uint8_t> copy(4 * kPage);
    EXPECT_TRUE(reader.read(0, copy.data(), copy.size()));
}

// A bus error outside every guard is not swallowed: it goes to the handler
// installed before the guard's, or ends the process as it always did.
void exitFromHandler(int) { ::_exit(42); }

TEST(MappedFaultDeathTest, FaultsOutsideGuardsReachThePreviousHandler) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TempDir dir;
            std::signal(SIGBUS, exitFromHandler);
            SharedMemoryMap writer(dir.path());
            if (!writer.create("Local\\p", 2 * kPage))
                ::_exit(1);
            if (!resize(dir.path() + "p", 0))
                ::_exit(2);
            uint8_t b = 0;
            // The first guard installs the handler on top of ours ...
            if (copyFromMapping(&b, writer.data() + kPage, 1))
                ::_exit(3);
            // ... which still gets the faults no guard asked for.
            volatile uint8_t* gone = writer.writableData() + kPage;
            *gone = 1;
            ::_exit(4);
        },
        ::testing::ExitedWithCode(42), "");
}

TEST(MappedFaultDeathTest, WithoutAPreviousHandlerAFaultOutsideGuardsStillEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            TempDir dir;
            SharedMemoryMap writer(dir.path());
            if (!writer.create("Local\\p", 2 * kPage) || !resize(dir.path() + "p", 0))
                ::_exit(1);
            uint8_t b = 0;
            if (copyFromMapping(&b, writer.data() + kPage, 1))
                ::_exit(3);
            volatile uint8_t* gone = writer.writableData() + kPage;
            *gone = 1;
            ::_exit(0);
        },
        "");
}

}  // namespace
}  // namespace qv::test
