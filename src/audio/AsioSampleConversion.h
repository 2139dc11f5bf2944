#pragma once
// Float samples into the formats of ASIO driver buffers.
//
// Real-time code: called on the driver's buffer-switch thread; allocates
// nothing, takes no lock. Every sample is first limited to [-1, 1] (a NaN
// becomes 0), then, for the integer formats, scaled and truncated toward
// zero. Bytes are written one by one, so the host's own byte order does not
// matter.

#include <cstdint>

namespace qv {

// Bytes per sample of a supported type; 0 for any other code.
int asioSampleWidth(int32_t type);
inline bool isSupportedAsioSampleType(int32_t type) { return asioSampleWidth(type) > 0; }

// Writes frames samples of type into out (frames x width bytes). A type
// without a width writes nothing; callers refuse such drivers at set-up.
void convertFloatToAsio(const float* in, void* out, int frames, int32_t type);

}  // namespace qv
