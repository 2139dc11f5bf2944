#include "platform/Output.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qv {
namespace {

TEST(Output, LinesFromManyThreadsKeepTheirOrderPerThreadAndStream) {
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
