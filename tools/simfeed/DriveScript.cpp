#include "simfeed/DriveScript.h"

#include <algorithm>
#include <cmath>

namespace qv::simfeed {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Linear from a at x0 to b at x1, held outside.
float ramp(float a, float b, double x0, double x1, double x) {
    const double f = std::clamp((x - x0) / (x1 - x0), 0.0, 1.0);
    return static_cast<float>(a + (b - a) * f);
}

bool within(double x, double from, double to) { return x >= from && x < to; }

// Top speed of each forward gear, m/s; the engine reaches 8000 rpm there.
constexpr float kGearTop[7] = {0.0f, 20.0f, 30.0f, 40.0f, 50.0f, 60.0f, 75.0f};
constexpr float kShiftRpm = 8000.0f;
constexpr float kIdleRpm = 900.0f;

int gearForSpeed(float speed) {
    for (int g = 1; g < 6; ++g) {
        if (speed < kGearTop[g] * 0.97f)
            return g;
    }
    return 6;
}

float rpmFor(float speed, int gear) {
    if (gear <= 0)
        return kIdleRpm;
    return std::max(kIdleRpm, speed / kGearTop[gear] * kShiftRpm);
}

// Road texture: two incommensurate waves per corner, stronger with speed.
void roadTexture(DriveState& s, double t, float roughness) {
    const float scale = roughness * std::min(s.speed / 30.0f, 1.0f);
    for (int c = 0; c < 4; ++c) {
        const double phase = 1.3 * c;
        s.shockVel[c] = scale * static_cast<float>(0.6 * std::sin(2.0 * kPi * 13.1 * t + phase) +
                                                   0.4 * std::sin(2.0 * kPi * 31.7 * t + 2.0 * phase));
        s.shockDefl[c] = 0.03f + 0.2f * scale * static_cast<float>(std::sin(2.0 * kPi * 2.3 * t + phase));
    }
}

void kerbStrike(DriveState& s, int cornerA, int cornerB, float pitchHz, double t) {
    for (int c : {cornerA, cornerB}) {
        s.rumblePitch[c] = pitchHz;
        s.shockVel[c] = 0.6f * static_cast<float>(std::sin(2.0 * kPi * pitchHz / 4.0 * t));
    }
}

DriveState cruise(double t) {
    DriveState s;
    s.sessionTime = t;
    s.speed = 30.0f;
    s.gear = 4;
    s.rpm = 5000.0f;
    s.throttle = 0.4f;
    s.onTrack = true;
    for (int c = 0; c < 4; ++c) {
        s.shockVel[c] = 0.02f;
        s.shockDefl[c] = 0.03f;
    }
    return s;
}

DriveState lap(double t) {
    DriveState s;
    s.sessionTime = t;
    const double x = std::fmod(t, kLapSeconds);
    s.onTrack = true;

    if (x < 4.0) {
        // In the garage, engine idling.
        s.onTrack = false;
        s.inGarage = true;
        s.rpm = kIdleRpm;
        return s;
    }
    if (x < 10.0) {
        // Pit lane at the limiter.
        s.onPitRoad = true;
        s.speed = ramp(0.0f, 22.0f, 4.0, 6.0, x);
        s.throttle = x < 6.0 ? 0.5f : 0.3f;
        s.longAccel = x < 6.0 ? 11.0f : 0.0f;
    } else if (x < 22.0) {
        // Full throttle down the straight, through the gears.
        s.speed = ramp(22.0f, 70.0f, 10.0, 22.0, x);
        s.throttle = 1.0f;
        s.longAccel = 4.0f;
    } else if (x < 26.0) {
        // Hard braking: ABS, then a locking front axle at the end.
        s.speed = ramp(70.0f, 25.0f, 22.0, 25.5, x);
        s.brake = x < 25.5 ? (x < 25.0 ? 0.9f : 1.0f) : 0.0f;
        s.absActive = within(x, 22.5, 25.0);
        s.longAccel = x < 25.5 ? -12.0f : 0.0f;
    } else if (x < 30.0) {
        // Turn 1, a steady right-hander with a kerb strike on the right side.
        s.speed = 25.0f;
        s.throttle = 0.3f;
        s.steerAngle = 0.3f;
        s.localVelY = 0.1f;
    } else if (x < 38.0) {
        // Exit with power oversteer: a slide and a counter-steer.
        s.speed = ramp(25.0f, 45.0f, 30.0, 38.0, x);
        s.throttle = 1.0f;
        s.longAccel = 2.5f;
        if (within(x, 31.0, 33.0)) {
            const float slide = static_cast<float>(std::sin(kPi * (x - 31.0) / 2.0));
            s.localVelY = 2.5f * slide;
            s.steerAngle = -0.1f;
            s.yawRate = 0.6f * slide;
        }
    } else if (x < 44.0) {
        // A fast left-hander with a kerb strike on the left side.
        s.speed = 45.0f;
        s.throttle = 0.6f;
        s.steerAngle = -0.15f;
        s.localVelY = -0.1f;
    } else if (x < 50.0) {
        // Off the track and back.
        s.speed = ramp(45.0f, 30.0f, 44.0, 48.0, x);
        s.throttle = 0.2f;
        s.onTrack = !within(x, 45.0, 48.0);
        s.longAccel = -3.0f;
    } else {
        // Back on, to the line.
        s.speed = ramp(30.0f, 40.0f, 50.0, 55.0, x);
        s.throttle = 0.6f;
        s.longAccel = x < 55.0 ? 2.0f : 0.0f;
    }

    if (s.yawRate == 0.0f && s.steerAngle != 0.0f) {
        // A car that follows its steering: yaw rate = 0.02 x angle x speed.
        s.yawRate = 0.02f * s.steerAngle * s.speed;
    }
    s.latAccel = s.speed * s.yawRate;
    s.gear = gearForSpeed(s.speed);
    s.rpm = rpmFor(s.speed, s.gear);

    roadTexture(s, t, within(x, 44.0, 50.0) ? 0.25f : 0.03f);
    if (within(x, 27.0, 28.0))
        kerbStrike(s, 1, 3, 90.0f, t);
    if (within(x, 40.0, 41.0))
        kerbStrike(s, 0, 2, 110.0f, t);
    return s;
}

}  // namespace

std::optional<ScriptKind> parseScriptKind(std::string_view name) {
    if (name == "cruise")
        return ScriptKind::Cruise;
    if (name == "lap")
        return ScriptKind::Lap;
    return std::nullopt;
}

const char* scriptName(ScriptKind kind) { return kind == ScriptKind::Cruise ? "cruise" : "lap"; }

DriveState driveAt(ScriptKind kind, double t) { return kind == ScriptKind::Cruise ? cruise(t) : lap(t); }

}  // namespace qv::simfeed
