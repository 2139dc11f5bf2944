#pragma once
// A scripted telemetry engine for tests of the run loop and the engine contract.
//
// FakeTelemetry plays the simulator: tests set whether it is running and push
// samples; a FakeEngine connected to it consumes one sample per update(). The
// engine records the calls made to it (into an optional shared call log), so
// tests can check the order of disconnect, construction and destruction.

#include "engines/ISimHapticEngine.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

struct FakeSample {
    HapticFrame frame;
    int gear = 0;
    float speed = 0.0f;
    bool onTrack = true;
};

struct FakeTelemetry {
    bool running = false;        // the simulator is there: connect succeeds
    bool connectionLost = false; // isConnected turns false
    std::deque<FakeSample> samples;
    std::vector<std::string> calls;  // "connect", "disconnect", "update", "destroy:<name>", ...
    int engineCount = 0;             // engines alive
    std::function<void()> onUpdate;  // runs inside every update() (e.g. to make a pass slow)

    void push(const FakeSample& s) { samples.push_back(s); }
};

class FakeEngine final : public ISimHapticEngine {
public:
    FakeEngine(FakeTelemetry* telemetry, std::string name);
    ~FakeEngine() override;

    bool connect() override;
    bool isConnected() const override;
    void disconnect() override;
    bool update(const EffectProfile& fx, HapticFrame& out) override;
    const char* displayName() const override { return m_name.c_str(); }
    int gear() const override { return m_last.gear; }
    float speedMps() const override { return m_last.speed; }
    bool isOnTrack() const override { return m_last.onTrack; }
    void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) override;
    void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                       float secondsSinceShift) override;
    bool writeCsvHeader(std::string& out) override;
    bool writeCsvRow(std::string& out) override;

    int dashboardDraws() const { return m_dashboardDraws; }
    float lastSecondsSinceShift() const { return m_lastSecondsSinceShift; }
    int lastUpdatesPerSecond() const { return m_lastUpdatesPerSecond; }
    const EffectProfile& lastProfile() const { return m_lastProfile; }

private:
    void log(const std::string& call) const;

    FakeTelemetry* m_telemetry;
    std::string m_name;
    bool m_connected = false;
    FakeSample m_last;
    bool m_hasSample = false;
    int m_dashboardDraws = 0;
    float m_lastSecondsSinceShift = 0.0f;
    int m_lastUpdatesPerSecond = 0;
    EffectProfile m_lastProfile;
};

}  // namespace qv::test
