#pragma once
// AC EVO's physics and graphics pages as the simulator lays them out. The
// packet counter is written last, so a reader that sees a new counter sees
// the whole step; the graphics page carries the live status and the car's
// place (garage, pits, track) and a combustion engine.

#include "simfeed/FeedWriter.h"
#include "simfeed/PageWriting.h"

namespace qv::simfeed {

class ACEVOFeedWriter final : public FeedWriter {
public:
    explicit ACEVOFeedWriter(const FeedConfig& config);
    ~ACEVOFeedWriter() override { close(); }

    bool open() override;
    void publish(double t, int tick) override;
    void close() override;
    void discard() override;
    int tickRate() const override { return kTickRate; }
    std::string describe() const override;

    // Physics steps a second.
    static constexpr int kTickRate = 333;
    static constexpr int32_t kMaxRpm = 8500;

    // The graphics page's on-track state for a moment of the drive: 0 in the
    // garage, 1 in the pit lane or off the track, 3 on the track.
    static int32_t trackState(const DriveState& s);

private:
    FeedConfig m_config;
    PagePair m_pages;
    // Suspension travel, integrated from the drive's suspension velocities.
    float m_travel[4] = {};
    double m_lastT = -1.0;
};

}  // namespace qv::simfeed
