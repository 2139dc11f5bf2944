#pragma once
// The physics and graphics pages of ACC or AC as those simulators lay them
// out (AcPagesLayout.h): one physics step per tick, the packet id written
// last so that a reader who sees a new id sees the whole step.
//
// Both simulators use the same page names and offsets, so either engine
// reads either simulator; the pages are published at the larger of the sizes
// the two engines map. Wheel speeds, raw wheel slip and suspension travel,
// which the drive script does not carry, are derived from its state: a
// rolling radius of 0.33 m, a front axle that stops when the brake is fully
// on without ABS, slip that grows with the car's sideways speed, and travel
// as the integral of the suspension velocity folded into a 10 cm stroke.

#include "simfeed/FeedWriter.h"
#include "simfeed/PageWriting.h"

#include <cstdint>

namespace qv::simfeed {

class AcFeedWriter final : public FeedWriter {
public:
    explicit AcFeedWriter(const FeedConfig& config);
    ~AcFeedWriter() override { close(); }

    bool open() override;
    void publish(double t, int tick) override;
    // Removes the pages, leaving their last step as it is: a reader that
    // still maps them keeps it, as with the simulators' own pages.
    void close() override;
    int tickRate() const override { return kTickRate; }
    std::string describe() const override;

    static constexpr int kTickRate = 333;
    static constexpr float kWheelRadius = 0.33f;  // m

    // The values the writer derives from a drive state, per wheel LF RF LR RR.
    struct Wheels {
        float angularSpeed[4] = {};  // rad/s
        float slip[4] = {};          // raw wheel slip
    };
    static Wheels wheelsFor(const DriveState& state);

private:
    FeedConfig m_config;
    PagePair m_pages;
    double m_stroke[4] = {};  // integrated suspension velocity, m
    double m_lastT = 0.0;
    bool m_havePublished = false;
};

}  // namespace qv::simfeed
