// A child's standard output and error passed on line by line to ours: kept
// apart and in order, cut and made printable, the partial last line passed
// on at the child's end, and nothing left behind; with the dashboard drawn
// the child's lines scroll in the message area like the program's own.

#include "platform/AnsiConsole.h"
#include "platform/ChildOutputReader.h"
#include "platform/HelperProcess.h"
#include "platform/Output.h"
#include "support/AnsiScreen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

namespace qv::test {
namespace {

int openDescriptors() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

// Runs `script` with its output read by a ChildOutputReader, to its end.
void runChild(const std::string& script) {
    ChildOutputReader reader;
    ASSERT_TRUE(reader.open()) << reader.lastError();
    HelperProcess child;
    ASSERT_TRUE(child.start({"/bin/sh", "-c", script}, {}, {}, reader.outputWriteEnd(), reader.errorWriteEnd()))
        << child.lastError();
    reader.closeWriteEnds();
    child.stop(5000);
    reader.stop();
}

TEST(ChildOutputReader, PassesOnWholeBoundedPrintableLinesOfEachStreamApart) {
    std::mutex mutex;
    std::string out, err;
    OutputCapture capture([&](OutputStream stream, std::string_view text) {
        std::lock_guard<std::mutex> lock(mutex);
        (stream == OutputStream::StandardOutput ? out : err).append(text);
    });
    const int descriptors = openDescriptors();
    runChild("printf 'one\\n'; printf 'bad\\n' >&2; printf 'tw'; sleep 0.05; printf 'o\\n\\033[2Jthree\\n';"
             " head -c 5000 /dev/zero | tr '\\0' x; printf 'partial'");
    runChild("printf 'again\\n'");
    ASSERT_TRUE(outputFlush(2000));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(out, "one\ntwo\n?[2Jthree\n" + std::string(ChildOutputReader::kMaxLineBytes, 'x') + "\n" +
                       std::string(5000 - ChildOutputReader::kMaxLineBytes, 'x') + "partial\nagain\n");
    EXPECT_EQ(err, "bad\n");
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST(ChildOutputReader, WithTheDashboardDrawnAChildsLineGoesToTheMessageArea) {
    std::mutex mutex;
    std::string out;
    OutputCapture capture([&](OutputStream, std::string_view text) {
        std::lock_guard<std::mutex> lock(mutex);
        out.append(text);
    });
    AnsiConsole console(true);
    console.clear();
    console.setCursor(0, 3);
    console.write("dashboard row");
    runChild("printf 'child line\\n'");
    outWrite("own line\n");
    console.setCursor(14, 3);
    console.write("still");
    ASSERT_TRUE(outputFlush(2000));
    console.releaseTerminal();
    ASSERT_TRUE(outputFlush(2000));

    std::lock_guard<std::mutex> lock(mutex);
    AnsiScreen screen;
    screen.update(out);
    EXPECT_EQ(screen.textAt(0, 3, 19), "dashboard row still");
    EXPECT_EQ(screen.textAt(0, kConsoleRows - 2, 10), "child line");
    EXPECT_EQ(screen.textAt(0, kConsoleRows - 1, 8), "own line");
}

}  // namespace
}  // namespace qv::test
