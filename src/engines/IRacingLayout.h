#pragma once
// The telemetry memory iRacing publishes: names, offsets and sizes. All
// integers are 32-bit little-endian; offsets are bytes from the start of the
// map. Shared by the engine (reading) and the telemetry feed tool (writing).

#include <cstddef>
#include <cstdint>

namespace qv::irsdk {

inline constexpr const char* kMapName = "Local\\IRSDKMemMapFileName";
inline constexpr const char* kDataValidEventName = "Local\\IRSDKDataValidEvent";

// Header at offset 0.
inline constexpr size_t kStatusOffset = 4;          // bit 0 set while the simulator runs
inline constexpr size_t kTickRateOffset = 8;        // Hz
inline constexpr size_t kVarCountOffset = 24;       // number of variable headers
inline constexpr size_t kVarHeaderOffsetOffset = 28;  // where the variable-header array starts
inline constexpr size_t kBufferCountOffset = 32;    // number of data buffers
inline constexpr size_t kBufferLengthOffset = 36;   // bytes of one data row
inline constexpr size_t kBuffersOffset = 48;        // the buffer descriptors
inline constexpr size_t kBufferDescriptorSize = 16;  // int tick count at +0, int row offset at +4
inline constexpr int kMaxBuffers = 4;               // the header has room for four descriptors
inline constexpr size_t kHeaderSize = kBuffersOffset + kMaxBuffers * kBufferDescriptorSize;  // 112

inline constexpr int32_t kStatusConnected = 1;

// One variable header, 144 bytes.
inline constexpr size_t kVarHeaderSize = 144;
// The simulator publishes a few hundred variables; a header claiming more
// than this is not its telemetry and is refused.
inline constexpr int32_t kMaxVariables = 4096;
inline constexpr size_t kVarTypeOffset = 0;
inline constexpr size_t kVarDataOffset = 4;    // offset of the first element within a row
inline constexpr size_t kVarCountOffsetInHeader = 8;  // number of elements
inline constexpr size_t kVarCountAsTimeOffset = 12;   // byte: the elements are sub-samples in time
inline constexpr size_t kVarNameOffset = 16;
inline constexpr size_t kVarNameSize = 32;     // NUL-terminated when shorter
inline constexpr size_t kVarDescOffset = 48;   // 64 bytes, not read
inline constexpr size_t kVarUnitOffset = 112;  // 32 bytes, not read

// Value types of the variable header (the engine reads each variable with the
// width it expects and ignores these).
enum VarType : int32_t { kChar = 0, kBool = 1, kInt = 2, kBitField = 3, kFloat = 4, kDouble = 5 };

// Sub-samples per row of the "_ST" shock variables in 360 Hz mode.
inline constexpr int kSubSamples = 6;

}  // namespace qv::irsdk
