#pragma once
// Le Mans Ultimate's telemetry map as the simulator lays it out, with one
// car (the player's) in the scoring list and in the telemetry records. Like
// the simulator, the writer takes the cross-process lock while it writes and
// signals the data event after each update.

#include "engines/SharedMemoryLock.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"
#include "simfeed/FeedWriter.h"

namespace qv::simfeed {

class LMUFeedWriter final : public FeedWriter {
public:
    explicit LMUFeedWriter(const FeedConfig& config);
    ~LMUFeedWriter() override { close(); }

    bool open() override;
    void publish(double t, int tick) override;
    void close() override;
    void discard() override;
    int tickRate() const override { return kTickRate; }
    std::string describe() const override;

    static constexpr int kTickRate = 100;
    static constexpr double kMaxRpm = 8500.0;
    static constexpr uint8_t kTyreRadiusCm = 33;
    // How long publish() waits for the lock before it skips the update.
    static constexpr int kLockTimeoutMs = 10;

    // Updates skipped because the lock stayed busy.
    int skippedUpdates() const { return m_skipped; }

private:
    FeedConfig m_config;
    SharedMemoryLock m_lock;
    NamedEvent m_dataEvent;
    SharedMemoryMap m_map;
    // Suspension deflection, integrated from the drive's suspension velocities.
    double m_deflection[4] = {};
    double m_lastT = -1.0;
    int m_skipped = 0;
    bool m_lockHeld = false;  // between acquire and release in publish (a fault may end it there)
};

}  // namespace qv::simfeed
