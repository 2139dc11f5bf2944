#pragma once
// Le Mans Ultimate's telemetry map: names, size and the offsets the engine
// reads. Little-endian; offsets in bytes from the start of the map (or of the
// record named). Shared by the engine (reading) and the telemetry feed tool
// (writing).

#include <cstddef>
#include <cstdint>

namespace qv::lmu {

inline constexpr const char* kMapName = "LMU_Data";
inline constexpr const char* kDataEventName = "LMU_Data_Event";
inline constexpr size_t kMapSize = 324824;

// General block, with the update flags (int32 each).
inline constexpr size_t kGeneralSize = 332;
inline constexpr size_t kPathFlags[3] = {0, 4, 56};  // any non-zero: copy the path block
inline constexpr size_t kScoringUpdated = 40;
inline constexpr size_t kTelemetryUpdated = 44;

inline constexpr size_t kPathOffset = 332;
inline constexpr size_t kPathSize = 1300;

// Scoring information block.
inline constexpr size_t kScoringInfoOffset = 1632;
inline constexpr size_t kScoringInfoSize = 548;
inline constexpr size_t kResultsTextAddress = 1728;  // 8-byte address field
inline constexpr size_t kVehicleCount = 1736;        // int32, vehicles in the scoring list
inline constexpr size_t kVehicleListAddress = 2172;  // 8-byte address field
inline constexpr size_t kResultsTextLength = 2184;   // uint64

inline constexpr size_t kVehiclesOffset = 2192;
inline constexpr int kMaxVehicles = 104;
inline constexpr size_t kVehicleSize = 584;
inline constexpr size_t kVehicleIsPlayer = 196;  // byte, within a vehicle record

inline constexpr size_t kResultsTextOffset = 62928;
inline constexpr size_t kResultsTextCapacity = 65536;

inline constexpr size_t kTelemetryCount = 128464;   // uint8, records in use
inline constexpr size_t kPlayerIndex = 128465;      // uint8
inline constexpr size_t kPlayerHasVehicle = 128466;  // uint8
inline constexpr size_t kTelemetryOffset = 128468;
inline constexpr int kMaxTelemetry = 104;
inline constexpr size_t kTelemetrySize = 1888;

static_assert(kVehiclesOffset + kMaxVehicles * kVehicleSize == kResultsTextOffset);
static_assert(kResultsTextOffset + kResultsTextCapacity == kTelemetryCount);
static_assert(kTelemetryOffset + kMaxTelemetry * kTelemetrySize <= kMapSize);

// The player's telemetry record (4-byte packed: doubles need not be aligned).
namespace rec {
inline constexpr size_t kDeltaTime = 4;         // double, s
inline constexpr size_t kElapsedTime = 12;      // double, s
inline constexpr size_t kLocalVelX = 184;       // double, m/s, lateral
inline constexpr size_t kLocalVelZ = 200;       // double, m/s; forward speed is its negation
inline constexpr size_t kLocalAccelX = 208;     // double, m/s^2, lateral
inline constexpr size_t kLocalRotY = 312;       // double, rad/s, yaw rate
inline constexpr size_t kGear = 352;            // int32, -1 reverse, 0 neutral
inline constexpr size_t kEngineRpm = 356;       // double
inline constexpr size_t kThrottle = 420;        // double 0..1
inline constexpr size_t kBrake = 428;           // double 0..1
inline constexpr size_t kSteering = 436;        // double
inline constexpr size_t kEngineMaxRpm = 532;    // double
inline constexpr size_t kAbsActive = 746;       // uint8
inline constexpr size_t kTcActive = 747;        // uint8
inline constexpr size_t kTcPair = 750;          // uint8[2]
inline constexpr size_t kAbsPair = 756;         // uint8[2]
inline constexpr size_t kMapPair = 758;         // uint8[2]
inline constexpr size_t kVehicleClass = 826;    // uint8: 0 hypercar, 2/3 LMP2, 4 LMP3, 5 GTE, 6 GT3, ...; not read
inline constexpr size_t kWheels = 848;          // four wheel records, LF RF LR RR
inline constexpr size_t kWheelSize = 260;
}  // namespace rec

// One wheel record.
namespace wheel {
inline constexpr size_t kDeflection = 0;    // double, m
inline constexpr size_t kRotation = 40;     // double, rad/s
inline constexpr size_t kGripFract = 112;   // double 0..1
inline constexpr size_t kSurfaceType = 176;  // uint8: 0 dry, 1 wet, 2 grass, 3 dirt, 4 gravel, 5 kerb, 6 special
inline constexpr size_t kRadiusCm = 179;    // uint8, static undeflected tyre radius
}  // namespace wheel

static_assert(rec::kWheels + 4 * rec::kWheelSize <= kTelemetrySize);

inline constexpr uint8_t kSurfaceKerb = 5;

}  // namespace qv::lmu
