#include "platform/Output.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qv {
namespace {

TEST(Output, CaptureReceivesEachTextWithItsStreamUncut) {
    std::vector<std::pair<OutputStream, std::string>> seen;
    {
        OutputCapture capture([&](OutputStream s, std::string_view t) { seen.emplace_back(s, std::string(t)); });
        outWrite("one\n");
        errPrint("ERROR: %s %d\n", "two", 2);
        outPrint("%s\n", std::string(3000, 'x').c_str());
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, OutputStream::StandardOutput);
    EXPECT_EQ(seen[1].second, "ERROR: two 2\n");
    EXPECT_EQ(seen[1].first, OutputStream::StandardError);
    EXPECT_EQ(seen[2].second.size(), 3001u);
}

// Reads what was written to `file` from its start.
std::string contentsOf(FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

// Each line must be "<tag><thread> <sequence>"; per thread the sequences run
// 0, 1, 2, ... with nothing lost, repeated or torn.
void expectLinesInOrderPerThread(const std::string& text, char tag, int threads, int lines) {
    std::vector<int> next(static_cast<size_t>(threads), 0);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        int thread = -1;
        int sequence = -1;
        char seenTag = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%c%d %d", &seenTag, &thread, &sequence), 3) << line;
        ASSERT_EQ(seenTag, tag) << line;
        ASSERT_TRUE(thread >= 0 && thread < threads) << line;
        ASSERT_EQ(sequence, next[static_cast<size_t>(thread)]) << line;
        ++next[static_cast<size_t>(thread)];
    }
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(next[static_cast<size_t>(t)], lines) << "thread " << t;
}

TEST(Output, LinesFromManyThreadsKeepTheirOrderPerThreadAndStream) {
    constexpr int kThreads = 8;
    constexpr int kLines = 1000;
    ASSERT_TRUE(outputFlush(10000));
    const uint64_t droppedBefore = outputDroppedBytes();
    FILE* outFile = std::tmpfile();
    FILE* errFile = std::tmpfile();
    ASSERT_TRUE(outFile && errFile);
    const int savedOut = dup(STDOUT_FILENO);
    const int savedErr = dup(STDERR_FILENO);
    ASSERT_EQ(dup2(fileno(outFile), STDOUT_FILENO), STDOUT_FILENO);
    ASSERT_EQ(dup2(fileno(errFile), STDERR_FILENO), STDERR_FILENO);

    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                // Both ways in: formatted and plain, on both streams.
                if (i % 2 == 0) {
                    outPrint("o%d %d\n", t, i);
                    errPrint("e%d %d\n", t, i);
                } else {
                    outWrite("o" + std::to_string(t) + " " + std::to_string(i) + "\n");
                    errWrite("e" + std::to_string(t) + " " + std::to_string(i) + "\n");
                }
            }
        });
    }
    for (std::thread& w : writers)
        w.join();
    const bool flushed = outputFlush(20000);

    dup2(savedOut, STDOUT_FILENO);
    dup2(savedErr, STDERR_FILENO);
    close(savedOut);
    close(savedErr);
    ASSERT_TRUE(flushed);
    ASSERT_EQ(outputDroppedBytes(), droppedBefore);
    expectLinesInOrderPerThread(contentsOf(outFile), 'o', kThreads, kLines);
    expectLinesInOrderPerThread(contentsOf(errFile), 'e', kThreads, kLines);
    std::fclose(outFile);
    std::fclose(errFile);
}

// Standard output is a pipe nobody reads: writers must never block, the
// excess is dropped and counted.
TEST(Output, AFullPipeNeverBlocksTheWriter) {
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_EQ(dup2(fds[1], STDOUT_FILENO), STDOUT_FILENO);
    const std::string chunk(64 * 1024, 'z');
    for (int i = 0; i < 64; ++i)  // 4 MiB into a 64 KiB pipe
        outWrite(chunk);
    EXPECT_GT(outputDroppedBytes(), 0u);
    EXPECT_FALSE(outputFlush(50));
    // Closing the reader lets the writer thread fail its write and move on.
    dup2(saved, STDOUT_FILENO);
    close(fds[1]);
    close(fds[0]);
    close(saved);
    EXPECT_TRUE(outputFlush(10000));
}

}  // namespace
}  // namespace qv
