// qv-simfeed's timing on a clock the test moves: ticks at the writer's rate
// with the script at the clock's time, missed ticks skipped, the duration in
// seconds of the clock.

#include "platform/Clock.h"
#include "simfeed/FeedLoop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

namespace qv::test {
namespace {

using namespace qv::simfeed;

// A writer that notes each tick it is given and when, on the test's clock.
// Writing takes `writeNs` of the clock; the writes named in `holdUps` take
// that much longer, as when the process is held up (or the writer stops the
// feed, as Ctrl+C does).
class NotingWriter : public FeedWriter {
public:
    struct Row {
        double t;
        int tick;
        uint64_t atNs;  // clock time since the start
    };

    NotingWriter(int rate, ManualClock& clock) : m_rate(rate), m_clock(clock), m_startNs(clock.nowNs()) {}

    bool open() override { return true; }
    void publish(double t, int tick) override {
        rows.push_back({t, tick, m_clock.nowNs() - m_startNs});
        m_clock.advanceNs(writeNs);
        if (const auto hold = holdUps.find(static_cast<int>(rows.size())); hold != holdUps.end())
            m_clock.advanceNs(hold->second);
        if (static_cast<int>(rows.size()) == stopAfter)
            running.store(0);
    }
    void close() override {}
    int tickRate() const override { return m_rate; }
    std::string describe() const override { return "noting"; }

    std::vector<Row> rows;
    uint64_t writeNs = 0;
    std::map<int, uint64_t> holdUps;  // the n-th write (from 1) -> extra ns
    int stopAfter = -1;
    std::atomic<int32_t> running{1};

private:
    int m_rate;
    ManualClock& m_clock;
    uint64_t m_startNs;
};

constexpr uint64_t kMs = 1000000ull;

// The simulators' rates: iRacing 60 Hz, LMU 100 Hz, AC EVO 333 Hz (a tick
// period of no whole number of nanoseconds).
class SteadyFeed : public ::testing::TestWithParam<int> {};

TEST_P(SteadyFeed, EveryTickIsWrittenWhenDueWithTheScriptAtTheClocksTime) {
    const int rate = GetParam();
    ManualClock clock;
    const uint64_t start = clock.nowNs();
    NotingWriter writer(rate, clock);
    writer.writeNs = kMs;  // writing takes time; the ticks do not drift by it

    const FeedRun run = runFeed(writer, clock, 2.5, writer.running);

    const int64_t expected = (5 * rate + 1) / 2;  // the ticks due in [0, 2.5 s)
    EXPECT_EQ(run.ticks, expected);
    EXPECT_EQ(run.published, expected);
    EXPECT_EQ(run.missed(), 0);
    ASSERT_EQ(static_cast<int64_t>(writer.rows.size()), expected);
    for (size_t k = 0; k < writer.rows.size(); ++k) {
        const NotingWriter::Row& row = writer.rows[k];
        const double due = static_cast<double>(k) / rate;
        EXPECT_EQ(row.tick, static_cast<int>(k) + 1);
        EXPECT_NEAR(row.atNs / 1e9, due, 1e-9) << "tick " << k + 1 << " written on time";
        EXPECT_NEAR(row.t, due, 1e-9) << "the script at the tick's time";
    }
    // The last tick's write ends before 2.5 s at each of the rates.
    EXPECT_EQ(clock.nowNs() - start, 2500 * kMs) << "the duration is seconds of the clock";
}

INSTANTIATE_TEST_SUITE_P(SimulatorRates, SteadyFeed, ::testing::Values(60, 100, 333));

TEST(HeldUpFeed, TheTicksMissedAreSkippedAndTheScriptKeepsToTheClock) {
    ManualClock clock;
    const uint64_t start = clock.nowNs();
    NotingWriter writer(60, clock);
    // The 10th write (tick 10, due at 150 ms) ends at 400 ms; the 30th is
    // held up past the end of the feed.
    writer.holdUps = {{10, 250 * kMs}, {30, 5000 * kMs}};

    const FeedRun run = runFeed(writer, clock, 1.0, writer.running);

    ASSERT_EQ(writer.rows.size(), 30u);
    // After the hold-up, the tick due at 400 ms (its 25th) is written, at
    // once and with the script at 400 ms: neither the ticks missed nor the
    // script time of before the hold-up.
    EXPECT_EQ(writer.rows[9].tick, 10);
    EXPECT_EQ(writer.rows[10].tick, 25);
    EXPECT_EQ(writer.rows[10].atNs, 400 * kMs);
    EXPECT_DOUBLE_EQ(writer.rows[10].t, 0.4);
    for (size_t i = 1; i < writer.rows.size(); ++i) {
        const NotingWriter::Row& row = writer.rows[i];
        const NotingWriter::Row& before = writer.rows[i - 1];
        EXPECT_GT(row.tick, before.tick) << "the counter keeps increasing";
        EXPECT_GE(row.atNs - before.atNs, 1000 * kMs / 60) << "no burst of ticks at " << row.atNs;
        EXPECT_NEAR(row.t, row.atNs / 1e9, 1e-9) << "the script at the clock's time";
    }
    // The 30th write (tick 44, at 717 ms) ran past the end: the ticks due
    // after it and before 1 s are missed, none is written late.
    EXPECT_EQ(writer.rows.back().tick, 44);
    EXPECT_EQ(run.ticks, 60);
    EXPECT_EQ(run.published, 30);
    EXPECT_EQ(run.missed(), 30);
    EXPECT_EQ(clock.nowNs() - start, 5716666667ull) << "stopped as soon as the hold-up ended";
}

TEST(StoppedFeed, AFeedWithoutDurationRunsUntilItIsStopped) {
    ManualClock clock;
    NotingWriter writer(100, clock);
    writer.stopAfter = 500;  // Ctrl+C during the 500th write, 4.99 s in

    const FeedRun run = runFeed(writer, clock, 0.0, writer.running);

    EXPECT_EQ(writer.rows.size(), 500u);
    EXPECT_EQ(run.ticks, 500);
    EXPECT_EQ(run.missed(), 0);

    // Stopped before it starts: nothing is written.
    NotingWriter stopped(100, clock);
    stopped.running.store(0);
    EXPECT_EQ(runFeed(stopped, clock, 1.0, stopped.running).ticks, 0);
    EXPECT_TRUE(stopped.rows.empty());
}

// Another process cuts the feed's memory short under it (a write past the new
// end of a mapped file raises SIGBUS): the feed lives on, makes its memory
// anew and keeps publishing, for every simulator.
TEST(CutShortFeed, TheFeedMakesItsMemoryAnewAndGoesOn) {
    const SimKind sims[] = {SimKind::IRacing, SimKind::ACC, SimKind::AC, SimKind::ACEvo, SimKind::LMU};
    for (const SimKind sim : sims) {
        SCOPED_TRACE(static_cast<int>(sim));
        TempDir folder;
        FeedConfig config;
        config.sim = sim;
        config.shmFolder = folder.path();
        std::unique_ptr<FeedWriter> writer = makeFeedWriter(config);
        ASSERT_TRUE(writer && writer->open()) << (writer ? writer->lastError() : "");
        // Every file the writer made that is larger than a lock record.
        std::map<std::string, uintmax_t> sizes;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            if (entry.is_regular_file() && entry.file_size() > 64)
                sizes[entry.path().string()] = entry.file_size();
        ASSERT_FALSE(sizes.empty());
        for (const auto& [path, size] : sizes)
            std::filesystem::resize_file(path, 0);

        ManualClock clock;
        std::atomic<int32_t> running{1};
        const FeedRun run = runFeed(*writer, clock, 0.1, running);
        EXPECT_FALSE(run.lost) << writer->lastError();
        EXPECT_GE(run.remade, 1);
        EXPECT_GE(run.published, 1) << "it goes on publishing after it made its memory anew";
        for (const auto& [path, size] : sizes)
            EXPECT_EQ(std::filesystem::file_size(path), size) << path;
        writer->close();
    }
}

}  // namespace
}  // namespace qv::test
