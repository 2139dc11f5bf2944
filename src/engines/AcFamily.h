#pragma once
// What the ACC and AC engines do alike with their pages (the AC EVO engine
// shares the suspension velocity): the connection to the pages, the values
// every sample takes from them, and the terms of the haptic computation that
// only differ in their constants. Each engine's own constants, page sizes,
// gear numbering and calibration stay in its own sources.

#include "engines/AcPages.h"
#include "engines/HapticFrame.h"
#include "engines/ISimHapticEngine.h"
#include "engines/PacketClock.h"
#include "engines/VelocityRing.h"
#include "platform/Clock.h"
#include "settings/HapticSettings.h"

#include <cstdint>
#include <string>

namespace qv {

// Suspension velocity per corner from the travel of consecutive samples.
class TravelVelocity {
public:
    void reset() { *this = TravelVelocity(); }
    // velocity := (travel - previous travel) / dt per corner, with known
    // true, when the corner's travel is present in both samples and the
    // result is a velocity a car can have (carLimits::kSuspensionVelocity);
    // else velocity 0 and known false (missing). The first sample since
    // reset() is at rest: velocity 0, known where its travel is present.
    // Then remembers `travel`. dt in seconds, above 0.
    void update(const float travel[kCornerCount], const bool present[kCornerCount], float dt,
                float velocity[kCornerCount], bool known[kCornerCount]);

private:
    float m_previous[kCornerCount] = {};
    bool m_previousPresent[kCornerCount] = {};
    bool m_started = false;
};

// The values of the last sample that both engines read alike. Zero after
// connect, packet id -1. A value that is missing (TelemetryValues.h) reads 0;
// `complete` says whether any was.
struct AcCommonSample {
    float suspVel[kCornerCount] = {};     // m/s, LF RF LR RR
    bool hasSuspVel[kCornerCount] = {true, true, true, true};  // false: missing (TravelVelocity); no road, impact or kerb there
    float suspTravel[kCornerCount] = {};  // m
    float wheelSlip[kCornerCount] = {};   // raw, as published
    float rpm = 0.0f;
    float throttle = 0.0f;  // 0..1
    float brake = 0.0f;     // 0..1
    float speed = 0.0f;     // m/s
    int32_t gear = 0;       // numbered as the engine reports it (ACCSample, ACSample)
    bool onTrack = false;   // session live and not in the pit lane
    bool inPit = false;
    int32_t packetId = -1;
    float dt = 0.0f;  // s, the time step of this sample
    // Every value the sample reads was there: only such a sample teaches the
    // ACC engine's calibration.
    bool complete = true;

    bool isOffTrack() const { return !onTrack || inPit; }
};

// An engine's connection to the pages: the mappings, the packet clock, the
// suspension velocity and the kerb ring, all starting over at each open().
class AcConnection {
public:
    // shmFolder: where the pages live ("" = sharedMemoryFolder());
    // clock: time steps, pulse time and stall rule (null = the system clock).
    AcConnection(const std::string& shmFolder, IClock* clock)
        : m_packetClock(clock ? *clock : m_systemClock), m_pages(shmFolder) {}

    // Maps the pages at the engine's sizes. A failure is kept in lastError()
    // and told the user once under `tag`; success starts everything over and
    // prints "<tag> Connected to <simName> shared memory".
    bool open(const char* tag, const char* simName, size_t physicsSize, size_t graphicsSize);
    void close();
    bool isUsable() const { return m_pages.isUsable(); }

    // When the physics packet id changed since the last call: steps the
    // packet clock, takes a copy of the pages and fills `s` with the status,
    // pedals, rpm, speed, raw wheel slip and suspension travel and velocity
    // (the gear is the engine's to read), then true. False, and `s` as it
    // was, when no new packet came. Values that are missing read 0 and clear
    // `complete`.
    bool readCommon(AcCommonSample& s);

    // The stall rule: true, with the idle frame in `out`, once after no new
    // packet came for too long.
    bool takeStallFrame(HapticFrame& out);

    // The copy of the pages the last new packet read.
    const AcPages& pages() const { return m_pages; }
    const PacketClock& packetClock() const { return m_packetClock; }
    VelocityRing& ring() { return m_ring; }
    const VelocityRing& ring() const { return m_ring; }
    // The last connect failure worth telling the user (empty when none).
    const std::string& lastError() const { return m_error; }

private:
    SystemClock m_systemClock;
    PacketClock m_packetClock;
    AcPages m_pages;
    int32_t m_lastPacketId = -1;
    TravelVelocity m_travel;
    VelocityRing m_ring;
    std::string m_error;
    std::string m_lastReported;
};

// What the ACC and AC engines are alike in: the connection, the sample and
// what the run loop asks of them. Each engine adds its connect(), update(),
// dashboard and logger rows.
template <typename Sample>
class AcEngineBase : public ISimHapticEngine {
public:
    ~AcEngineBase() override { m_link.close(); }

    bool isConnected() const override { return m_link.isUsable(); }
    void disconnect() override { m_link.close(); }

    int gear() const override { return m_sample.gear; }
    float speedMps() const override { return m_sample.speed; }
    bool isOnTrack() const override { return !m_sample.isOffTrack(); }

    const Sample& sample() const { return m_sample; }
    const VelocityRing& ring() const { return m_link.ring(); }
    // The last connect failure worth telling the user (empty when none).
    const std::string& lastError() const { return m_link.lastError(); }

protected:
    AcEngineBase(const std::string& shmFolder, IClock* clock) : m_link(shmFolder, clock) {}

    // AcConnection::open(), and on success a zero sample.
    bool openPages(const char* tag, const char* simName, size_t physicsSize, size_t graphicsSize) {
        if (!m_link.open(tag, simName, physicsSize, graphicsSize))
            return false;
        m_sample = Sample{};
        return true;
    }

    AcConnection m_link;
    Sample m_sample;
};

// The constants of an engine's suspension terms, velocities in m/s.
struct AcSuspensionTuning {
    float roadFullVelocity;   // road texture: full at this velocity
    float simpleImpactStart;  // simple model: impact from this velocity,
    float simpleImpactRange;  // full this much above it
    float slowBandStart;      // dual-band model, slow band: from this velocity,
    float slowBandRange;      // full this much above it,
    bool slowBandSquareRoot;  // the amplitude the square root of the level
    float kerbThreshold;      // dual-band model, fast band: three of the last four
    float kerbFullVelocity;   // velocities at the threshold or more; full at this
};

// The road texture, suspension impact and kerb of one corner from its
// suspension velocity magnitude `v`, in the profile's suspension model. The
// simple model's impact follows the square root of its level, so small
// impacts are felt, and carries the kerbs; the dual-band model reads the
// kerb band from the ring. A corner whose velocity is missing (`known`
// false) plays none of the three.
void setSuspensionTerms(const AcSuspensionTuning& tuning, float v, bool known, const VelocityRing& ring, int corner,
                        const EffectProfile& fx, CornerHaptics& h);

// The wheel-slip amplitude of one wheel from the simulator's raw slip value:
// silent up to the onset 1.2 - a, full at 2.2 - 2a, with
// a = (wheelSlipThreshold - 1) / 99 x 0.2 computed in floating point (a
// higher threshold setting makes slip easier to feel).
float wheelSlipAmplitude(float wheelSlip, const EffectProfile& fx);

}  // namespace qv
