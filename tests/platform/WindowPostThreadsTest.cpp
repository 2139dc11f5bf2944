// Messages posted to a window from other threads, under ThreadSanitizer too:
// the window layer alone on SDL's dummy video driver, without the fonts.

#include "platform/Window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace qv {
namespace {

struct Log {
    std::vector<std::pair<uint32_t, uintptr_t>> messages;
    static intptr_t proc(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t, void* user) {
        if (message >= kWmApp || message == kWmDestroy)
            static_cast<Log*>(user)->messages.emplace_back(message, wParam);
        return 0;
    }
    int count(uint32_t message) const {
        int n = 0;
        for (auto& m : messages)
            n += m.first == message;
        return n;
    }
};

class WindowLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        std::string error;
        ASSERT_TRUE(windowSystemInit(&error)) << error;
    }
    void TearDown() override { windowSystemShutdown(); }
    WindowHandle make(Log& log) {
        WindowOptions options;
        options.width = 64;
        options.height = 32;
        options.proc = Log::proc;
        options.user = &log;
        return createWindow(options);
    }
    template <typename Condition>
    static bool pumpUntil(Condition condition) {
        for (int i = 0; i < 500 && !condition(); ++i)
            pumpMessages(10);
        return condition();
    }
    Log logs[1];
};

TEST_F(WindowLayerTest, MessagesPostedFromOtherThreadsArriveInOrderAndNotAfterTheWindowIsGone) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    ASSERT_NE(w, nullptr) << lastWindowError();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([w, t] {
            for (int i = 0; i < 100; ++i)
                EXPECT_TRUE(postWindowMessage(w, kWmApp + 1, static_cast<uintptr_t>(t * 1000 + i), 0));
        });
    for (auto& t : threads)
        t.join();
    ASSERT_TRUE(pumpUntil([&] { return log.count(kWmApp + 1) == 400; }));
    std::vector<int> last(4, -1);
    for (auto& [message, wParam] : log.messages) {
        if (message != kWmApp + 1)
            continue;
        const int t = static_cast<int>(wParam / 1000), i = static_cast<int>(wParam % 1000);
        EXPECT_EQ(i, last[t] + 1);
        last[t] = i;
    }
    postWindowMessage(w, kWmApp + 2, 0, 0);
    destroyWindow(w);
    EXPECT_FALSE(postWindowMessage(w, kWmApp + 3, 0, 0));
    pumpMessages(10);
    EXPECT_EQ(log.count(kWmApp + 2), 0);
    EXPECT_EQ(log.count(kWmDestroy), 1);
    EXPECT_FALSE(postWindowMessage(nullptr, kWmApp, 0, 0));
}

}  // namespace
}  // namespace qv
