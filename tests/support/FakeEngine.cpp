#include "support/FakeEngine.h"

#include <cstdio>

namespace qv::test {

FakeEngine::FakeEngine(FakeTelemetry* telemetry, std::string name) : m_telemetry(telemetry), m_name(std::move(name)) {
    ++m_telemetry->engineCount;
    log("create");
}

FakeEngine::~FakeEngine() {
    disconnect();
    --m_telemetry->engineCount;
    log("destroy");
}

void FakeEngine::log(const std::string& call) const { m_telemetry->calls.push_back(call + ":" + m_name); }

bool FakeEngine::connect() {
    disconnect();
    log("connect");
    if (!m_telemetry->running)
        return false;
    m_connected = true;
    m_telemetry->connectionLost = false;
    return true;
}

bool FakeEngine::isConnected() const { return m_connected && m_telemetry->running && !m_telemetry->connectionLost; }

void FakeEngine::disconnect() {
    if (m_connected)
        log("disconnect");
    m_connected = false;
    m_hasSample = false;
}

bool FakeEngine::update(const EffectProfile& fx, HapticFrame& out) {
    m_lastProfile = fx;
    if (m_telemetry->onUpdate)
        m_telemetry->onUpdate();
    if (!isConnected() || m_telemetry->samples.empty())
        return false;
    m_last = m_telemetry->samples.front();
    m_telemetry->samples.pop_front();
    m_hasSample = true;
    out = HapticFrame{};
    if (m_last.onTrack) {
        // Amplitudes carry the user's levels, as a real engine's do.
        out = m_last.frame;
        for (CornerHaptics& c : out.corners) {
            c.roadAmp *= fx.roadVibration;
            c.impactAmp *= fx.suspImpact;
            c.kerbAmp *= fx.kerbRumble;
            c.absAmp *= fx.absLock;
            c.slipAmp *= fx.wheelSlipSensitivity;
        }
        out.engineAmp *= fx.engineRumble;
    }
    return true;
}

void FakeEngine::drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile&) {
    console.clear();
    console.setColor(11);
    console.setCursor(0, 1);
    console.print("  Fake %s audio=%d channels=%d", m_name.c_str(), audioActive ? 1 : 0, channels);
    log("header");
}

void FakeEngine::drawDashboard(IConsole&, const HapticFrame&, const EffectProfile&, int updatesPerSecond,
                               float secondsSinceShift) {
    ++m_dashboardDraws;
    m_lastUpdatesPerSecond = updatesPerSecond;
    m_lastSecondsSinceShift = secondsSinceShift;
}

bool FakeEngine::writeCsvHeader(std::string& out) {
    out += "timestamp_ms,gear,speed\n";
    return true;
}

bool FakeEngine::writeCsvRow(std::string& out) {
    if (!m_hasSample || !m_last.onTrack)
        return false;
    char row[64];
    std::snprintf(row, sizeof row, "0,%d,%.2f\n", m_last.gear, static_cast<double>(m_last.speed));
    out += row;
    return true;
}

}  // namespace qv::test
