// The suspension logger against a scripted engine, a manual clock and files
// in a temporary folder.

#include "app/SuspensionLogger.h"

#include "platform/Output.h"
#include "support/FakeEngine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <mutex>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qv::test {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class SuspensionLoggerTest : public ::testing::Test {
protected:
    SuspensionLoggerTest() {
        telemetry.running = true;
        EXPECT_TRUE(engine.connect());
    }

    // Feeds one sample to the engine, as the run loop's update does.
    void consume(int gear, float speed, bool onTrack = true) {
        FakeSample s;
        s.gear = gear;
        s.speed = speed;
        s.onTrack = onTrack;
        telemetry.push(s);
        HapticFrame frame;
        ASSERT_TRUE(engine.update(EffectProfile{}, frame));
    }

    std::string logFile() const { return readFile(dir.file("susp_log.csv")); }

    TempDir dir;
    ManualClock clock;
    RecordingConsole console{true};
    FakeTelemetry telemetry;
    FakeEngine engine{&telemetry, "fake"};
    SuspensionLogger logger{clock, console};
};

TEST_F(SuspensionLoggerTest, WritesTheEngineHeaderThenRowsStampedWithMillisecondsSinceTheStart) {
    ASSERT_TRUE(logger.start(engine, dir.path()));
    EXPECT_TRUE(logger.isRecording());
    EXPECT_EQ(logger.path(), dir.file("susp_log.csv"));

    clock.advanceMs(5);
    consume(3, 10.5f);
    EXPECT_FALSE(logger.writeRow(engine));
    clock.advanceMs(1234);
    consume(-1, 0.25f);
    EXPECT_FALSE(logger.writeRow(engine));
    EXPECT_EQ(logger.rows(), 2);

    logger.stop();
    EXPECT_FALSE(logger.isRecording());
    EXPECT_EQ(logger.rows(), 0);
    EXPECT_EQ(logFile(), "timestamp_ms,gear,speed\n5,3,10.50\n1239,-1,0.25\n");
}

TEST_F(SuspensionLoggerTest, OnlyRowsTheEngineReturnsAreWrittenAndCounted) {
    ASSERT_TRUE(logger.start(engine, dir.path()));
    consume(2, 5.0f, /*onTrack=*/false);
    EXPECT_FALSE(logger.writeRow(engine));  // off track: nothing to log
    EXPECT_EQ(logger.rows(), 0);
    clock.advanceMs(40);
    consume(2, 5.0f);
    EXPECT_FALSE(logger.writeRow(engine));
    EXPECT_EQ(logger.rows(), 1);
    logger.stop();
    EXPECT_EQ(logFile(), "timestamp_ms,gear,speed\n40,2,5.00\n");
}

TEST_F(SuspensionLoggerTest, StopsAtTheRowLimitWithoutWritingTheExtraRow) {
    ASSERT_TRUE(logger.start(engine, dir.path()));
    consume(1, 1.0f);
    for (int i = 0; i < kLoggerMaxRows; ++i)
        ASSERT_FALSE(logger.writeRow(engine)) << "row " << i;
    EXPECT_EQ(logger.rows(), 14400);
    EXPECT_TRUE(logger.isRecording());

    EXPECT_TRUE(logger.writeRow(engine));
    EXPECT_FALSE(logger.isRecording());
    EXPECT_EQ(logger.rows(), 0);
    EXPECT_FALSE(logger.writeRow(engine));  // stopped: nothing more
    EXPECT_EQ(linesOf(logFile()).size(), 14401u);
}

TEST_F(SuspensionLoggerTest, SecondsLeftCountsWallTimeWhileRowsMayGoOn) {
    EXPECT_EQ(logger.secondsLeft(), 0);  // not recording
    ASSERT_TRUE(logger.start(engine, dir.path()));
    EXPECT_EQ(logger.secondsLeft(), 120);
    clock.advanceMs(999);
    EXPECT_EQ(logger.secondsLeft(), 120);
    clock.advanceMs(1);
    EXPECT_EQ(logger.secondsLeft(), 119);
    clock.advanceMs(119'000);
    EXPECT_EQ(logger.secondsLeft(), 0);
    clock.advanceMs(3'600'000);
    EXPECT_EQ(logger.secondsLeft(), 0);
    // Pauses do not use up rows: recording goes on past the two minutes.
    consume(4, 20.0f);
    EXPECT_FALSE(logger.writeRow(engine));
    EXPECT_TRUE(logger.isRecording());
    logger.stop();
    EXPECT_EQ(linesOf(logFile()).back(), "3720000,4,20.00");
}

TEST_F(SuspensionLoggerTest, StartingAgainTruncatesTheFileAndRestartsTheClock) {
    ASSERT_TRUE(logger.start(engine, dir.path()));
    consume(1, 1.0f);
    logger.writeRow(engine);
    logger.writeRow(engine);
    EXPECT_TRUE(logger.start(engine, dir.path())) << "a start while recording changes nothing";
    EXPECT_EQ(logger.rows(), 2);
    logger.stop();
    logger.stop();  // harmless

    clock.advanceMs(10'000);
    ASSERT_TRUE(logger.start(engine, dir.path()));
    clock.advanceMs(7);
    logger.writeRow(engine);
    logger.stop();
    EXPECT_EQ(logFile(), "timestamp_ms,gear,speed\n7,1,1.00\n");
}

// An engine that returns exactly the logger texts it is given.
class ScriptedRowEngine : public ISimHapticEngine {
public:
    bool connect() override { return true; }
    bool isConnected() const override { return true; }
    void disconnect() override {}
    bool update(const EffectProfile&, HapticFrame&) override { return false; }
    const char* displayName() const override { return "scripted"; }
    void drawDashboardHeader(IConsole&, bool, int, const EffectProfile&) override {}
    void drawDashboard(IConsole&, const HapticFrame&, const EffectProfile&, int, float) override {}
    bool writeCsvHeader(std::string& out) override {
        if (!hasHeader)
            return false;
        out += "timestamp_ms,x\n";
        return true;
    }
    bool writeCsvRow(std::string& out) override {
        out += row;
        return true;
    }
    bool hasHeader = true;
    std::string row;
};

TEST_F(SuspensionLoggerTest, RowsWithoutACommaAndEnginesWithoutAHeaderAreWrittenAsGiven) {
    ScriptedRowEngine scripted;
    scripted.hasHeader = false;
    ASSERT_TRUE(logger.start(scripted, dir.path()));
    clock.advanceMs(12);
    scripted.row = "no-comma\n";
    logger.writeRow(scripted);
    scripted.row = "0.0,1,2\n";
    logger.writeRow(scripted);
    logger.stop();
    EXPECT_EQ(logFile(), "no-comma\n12,1,2\n");
}

TEST_F(SuspensionLoggerTest, AFolderThatCannotBeWrittenLeavesTheLoggerOffWithAnErrorLine) {
    const std::string missing = dir.path() + "no/such/folder/";
    EXPECT_FALSE(logger.start(engine, missing));
    EXPECT_FALSE(logger.isRecording());
    EXPECT_EQ(logger.secondsLeft(), 0);
    consume(1, 1.0f);
    EXPECT_FALSE(logger.writeRow(engine));
    EXPECT_EQ(logger.lastError(), "cannot record: open " + missing + "susp_log.csv: No such file or directory");
    const std::string row = console.screen().rowText(25);
    EXPECT_EQ(row.rfind("  [ Susp Logger ]  ERROR: cannot record: open ", 0), 0u) << row;
    EXPECT_EQ(row.find("RECORDING"), std::string::npos);
    EXPECT_EQ(console.screen().cell(2, 25).attribute, 12);

    // Without a terminal the same error goes to standard error.
    std::mutex mutex;
    std::string errors;
    {
        OutputCapture capture([&](OutputStream stream, std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex);
            if (stream == OutputStream::StandardError)
                errors.append(text);
        });
        RecordingConsole detached(false);
        SuspensionLogger plain(clock, detached);
        ASSERT_EQ(::mkdir(dir.file("susp_log.csv").c_str(), 0700), 0);  // a folder in the file's place
        EXPECT_FALSE(plain.start(engine, dir.path()));
        outputFlush(2000);
    }
    EXPECT_EQ(errors, "  [ Susp Logger ]  ERROR: cannot record: open " + dir.file("susp_log.csv") + ": Is a directory\n");
}

// A pipe, or a link to a pipe or a device, at the log's name would freeze the
// 120 Hz loop in the open or be written through: the logger refuses at once
// and leaves it as it is.
TEST_F(SuspensionLoggerTest, APipeOrDeviceAtTheLogsNameIsRefusedWithoutWaiting) {
    const std::string target = dir.file("susp_log.csv");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const char* kind : {"fifo", "link to fifo", "link to /dev/null"}) {
        SCOPED_TRACE(kind);
        ::unlink(target.c_str());
        if (std::string(kind) == "fifo")
            ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
        else
            ASSERT_EQ(::symlink(std::string(kind) == "link to fifo" ? dir.file("fifo").c_str() : "/dev/null",
                                target.c_str()),
                      0);
        EXPECT_FALSE(logger.start(engine, dir.path()));
        EXPECT_FALSE(logger.isRecording());
        EXPECT_EQ(logger.lastError(), "cannot record: open " + target + ": not a regular file");
        struct stat st{};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode)) << "left as it was";
    }
}

// A file-size limit stands in for a full disk (the log refuses device nodes
// such as /dev/full).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(SuspensionLoggerTest, AFullDiskEndsTheRecordingWithAnErrorInsteadOfLosingRowsSilently) {
    FileSizeLimit full(256);
    ASSERT_TRUE(logger.start(engine, dir.path()));
    consume(1, 1.0f);
    int written = 0;
    while (logger.isRecording() && written < kLoggerMaxRows) {
        EXPECT_FALSE(logger.writeRow(engine));
        ++written;
    }
    EXPECT_FALSE(logger.isRecording()) << "the write error was noticed";
    EXPECT_LT(written, 2000) << "within a few kilobytes of buffered rows";
    EXPECT_EQ(logger.lastError(), "writing susp_log.csv failed (File too large) -- recording stopped");
    EXPECT_NE(console.screen().rowText(25).find("ERROR: writing susp_log.csv failed"), std::string::npos);
}

}  // namespace
}  // namespace qv::test
