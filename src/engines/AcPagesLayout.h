#pragma once
// The physics and graphics pages that Assetto Corsa Competizione and Assetto
// Corsa publish: the same page names and the same offsets for every field the
// engines read. Little-endian; offsets are bytes from the start of a page.
// Shared by the two engines (reading) and the telemetry feed tool (writing).

#include <cstddef>
#include <cstdint>

namespace qv::acpages {

inline constexpr const char* kPhysicsPageName = "Local\\acpmf_physics";
inline constexpr const char* kGraphicsPageName = "Local\\acpmf_graphics";

// Physics page.
inline constexpr size_t kPacketIdOffset = 0;        // int: a new value means a new physics step
inline constexpr size_t kThrottleOffset = 4;        // float 0..1
inline constexpr size_t kBrakeOffset = 8;           // float 0..1
inline constexpr size_t kGearOffset = 16;           // int: 0 reverse, 1 neutral, 2 first, ...
inline constexpr size_t kRpmOffset = 20;            // int
inline constexpr size_t kSpeedKmhOffset = 28;       // float, km/h
inline constexpr size_t kAccelGOffset = 44;         // float[3], g; the engines read the first component
inline constexpr size_t kWheelSlipOffset = 56;      // float[4], LF RF LR RR, dimensionless
inline constexpr size_t kWheelAngularSpeedOffset = 104;  // float[4], rad/s
inline constexpr size_t kSuspensionTravelOffset = 184;   // float[4], m

// Graphics page.
inline constexpr size_t kStatusOffset = 4;   // int: 0 off, 1 replay, 2 live, 3 pause
inline constexpr size_t kInPitOffset = 160;  // int: non-zero in the pit lane
inline constexpr int32_t kStatusOff = 0;
inline constexpr int32_t kStatusLive = 2;

// How much of each page the engines map; a shorter page cannot be read.
inline constexpr size_t kAccPhysicsSize = 580;
inline constexpr size_t kAccGraphicsSize = 1320;
inline constexpr size_t kAcPhysicsSize = 368;
inline constexpr size_t kAcGraphicsSize = 252;

// The larger of the two, the most any engine copies per sample.
inline constexpr size_t kMaxPhysicsSize = kAccPhysicsSize > kAcPhysicsSize ? kAccPhysicsSize : kAcPhysicsSize;
inline constexpr size_t kMaxGraphicsSize = kAccGraphicsSize > kAcGraphicsSize ? kAccGraphicsSize : kAcGraphicsSize;

}  // namespace qv::acpages
