// The console grid handed from the main thread to the console window.

#include "platform/ConsoleMirror.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qv {
namespace {

TEST(ConsoleMirrorTest, PublishesAtMostOncePerIntervalAndOnlyChanges) {
    ConsoleMirror mirror(100);
    ConsoleScreen screen;
    std::vector<ConsoleCell> cells;
    EXPECT_EQ(mirror.read(cells), 0u);
    ASSERT_EQ(cells.size(), size_t(kConsoleColumns) * kConsoleRows);
    EXPECT_EQ(cells[0].ch, ' ');

    struct Step {
        uint64_t nowMs;
        const char* write;  // null: no change
        bool published;
    } steps[] = {
        {1000, "A", true},    // the first copy
        {1050, "B", false},   // too soon
        {1100, nullptr, true},  // due, and "B" is new
        {1300, nullptr, false},  // due, nothing changed
        {1310, "C", false},     // changed, but too soon after the last look
        {1400, nullptr, true},
    };
    for (const Step& s : steps) {
        if (s.write) {
            screen.setCursor(0, 0);
            screen.write(s.write);
        }
        EXPECT_EQ(mirror.publishIfDue(screen, s.nowMs), s.published) << s.nowMs;
    }
    EXPECT_EQ(mirror.read(cells), 3u);
    EXPECT_EQ(cells[0].ch, 'C');
}

TEST(ConsoleMirrorTest, AReaderNeverSeesAHalfCopiedGrid) {
    ConsoleMirror mirror(0);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        std::vector<ConsoleCell> cells;
        while (!stop) {
            mirror.read(cells);
            for (const ConsoleCell& c : cells)
                ASSERT_EQ(c.ch, cells[0].ch);
        }
    });
    ConsoleScreen screen;
    for (int i = 0; i < 300; ++i) {
        screen.setAttribute(i % 16);
        screen.clear();  // every cell blank...
        const char fill = static_cast<char>('a' + i % 26);
        for (int row = 0; row < kConsoleRows; ++row) {
            screen.setCursor(0, row);
            screen.write(std::string(kConsoleColumns, fill));  // ...then every cell the same letter
        }
        mirror.publishIfDue(screen, static_cast<uint64_t>(i));
    }
    stop = true;
    reader.join();
    EXPECT_GT(mirror.version(), 0u);
}

}  // namespace
}  // namespace qv
