#pragma once
// Scripted drives for the telemetry feed: what the car does at each moment,
// in simulator-neutral units. Each simulator's writer turns a state into its
// own layout. Pure functions of time, so a drive is the same on every run.

#include <optional>
#include <string_view>

namespace qv::simfeed {

enum class ScriptKind {
    // Fixed values: 30 m/s in 4th gear at 5000 rpm, light road texture.
    Cruise,
    // A 60 s lap, repeated: garage, pit lane, acceleration through the gears,
    // braking with ABS and lock-up, kerb strikes on the right and on the left
    // side, a slide with wheel slip, an off-track excursion, back to the line.
    Lap,
};

std::optional<ScriptKind> parseScriptKind(std::string_view name);
const char* scriptName(ScriptKind kind);

inline constexpr double kLapSeconds = 60.0;

struct DriveState {
    double sessionTime = 0.0;  // s since the session started
    float speed = 0.0f;        // m/s
    float rpm = 0.0f;
    int gear = 0;              // -1 reverse, 0 neutral
    float throttle = 0.0f;     // 0..1
    float brake = 0.0f;        // 0..1
    float steerAngle = 0.0f;   // steering-wheel angle, rad
    float yawRate = 0.0f;      // rad/s
    float localVelY = 0.0f;    // lateral velocity in the car's frame, m/s
    float latAccel = 0.0f;     // m/s^2
    float longAccel = 0.0f;    // m/s^2
    float shockVel[4] = {};    // m/s, LF RF LR RR
    float shockDefl[4] = {};   // m
    float rumblePitch[4] = {};  // Hz while the tyre runs over a kerb, else 0
    bool onTrack = false;
    bool inGarage = false;
    bool onPitRoad = false;
    bool absActive = false;
};

// The state of the drive `kind` at `t` seconds after the feed started.
DriveState driveAt(ScriptKind kind, double t);

}  // namespace qv::simfeed
