#pragma once
// The physics and graphics pages AC EVO publishes: names, sizes and the
// offsets the engine reads. Little-endian; offsets in bytes from the start of
// each page. Shared by the engine (reading) and the telemetry feed tool
// (writing).

#include <cstddef>
#include <cstdint>

namespace qv::acevo {

inline constexpr const char* kPhysicsName = "Local\\acevo_pmf_physics";
inline constexpr const char* kGraphicsName = "Local\\acevo_pmf_graphics";
inline constexpr size_t kPhysicsSize = 800;
inline constexpr size_t kGraphicsSize = 3936;

// Physics page.
inline constexpr size_t kPacketId = 0;         // int32, changes with every physics step
inline constexpr size_t kThrottle = 4;         // float 0..1
inline constexpr size_t kBrake = 8;            // float 0..1
inline constexpr size_t kGear = 16;            // int32: 0 reverse, 1 neutral, 2 first, ...
inline constexpr size_t kRpm = 20;             // int32
inline constexpr size_t kSteerAngle = 24;      // float
inline constexpr size_t kSpeedKmh = 28;        // float, km/h
inline constexpr size_t kWheelSlip = 56;       // float[4], LF RF LR RR
inline constexpr size_t kSuspTravel = 184;     // float[4], m
inline constexpr size_t kAbsLevel = 252;       // float; lock-up effect enabled above 0.05
inline constexpr size_t kCurrentMaxRpm = 588;  // int32
inline constexpr size_t kSlipRatio = 640;      // float[4]
inline constexpr size_t kSlipAngle = 656;      // float[4]
inline constexpr size_t kAbsActing = 676;      // int32, non-zero while ABS acts
inline constexpr size_t kEngineRunning = 780;  // int32, non-zero
inline constexpr size_t kKerbVibration = 784;  // float
inline constexpr size_t kSlipVibration = 788;  // float
inline constexpr size_t kRoadVibrations = 792;  // float
inline constexpr size_t kAbsVibrations = 796;  // float

// Graphics page.
inline constexpr size_t kStatus = 4;           // int32; 2 = live
inline constexpr size_t kCurrentTorque = 212;  // float
inline constexpr size_t kOnTrackState = 1388;  // int32; 2, 3 and 4 count as on track
inline constexpr size_t kEngineType = 2416;    // int32; 1 = electric motor

inline constexpr int32_t kStatusLive = 2;
inline constexpr int32_t kEngineElectric = 1;

}  // namespace qv::acevo
