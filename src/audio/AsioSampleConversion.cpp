#include "audio/AsioSampleConversion.h"

#include "audio/AsioDriver.h"

#include <cstring>

namespace qv {

namespace {

double limited(float x) {
    if (x >= 1.0f)
        return 1.0;
    if (x < -1.0f)
        return -1.0;
    return x == x ? static_cast<double>(x) : 0.0;
}

// Writes the low `bytes` bytes of v, least significant first or last.
void putBytes(uint8_t* out, uint64_t v, int bytes, bool bigEndian) {
    for (int b = 0; b < bytes; ++b) {
        const uint8_t byte = static_cast<uint8_t>(v >> (8 * b));
        out[bigEndian ? bytes - 1 - b : b] = byte;
    }
}

template <int Bytes, bool BigEndian>
void writeIntegers(const float* in, uint8_t* out, int frames, double scale) {
    for (int i = 0; i < frames; ++i) {
        // |limited * scale| <= scale < 2^31, so the truncation cannot overflow.
        const auto value = static_cast<int32_t>(limited(in[i]) * scale);
        putBytes(out + i * Bytes, static_cast<uint32_t>(value), Bytes, BigEndian);
    }
}

template <bool BigEndian>
void writeFloats(const float* in, uint8_t* out, int frames) {
    for (int i = 0; i < frames; ++i) {
        const float value = static_cast<float>(limited(in[i]));
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        putBytes(out + i * 4, bits, 4, BigEndian);
    }
}

template <bool BigEndian>
void writeDoubles(const float* in, uint8_t* out, int frames) {
    for (int i = 0; i < frames; ++i) {
        const double value = limited(in[i]);
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        putBytes(out + i * 8, bits, 8, BigEndian);
    }
}

}  // namespace

int asioSampleWidth(int32_t type) {
    switch (type) {
    case AsioSampleType::kInt16Msb:
    case AsioSampleType::kInt16Lsb:
        return 2;
    case AsioSampleType::kInt24Msb:
    case AsioSampleType::kInt24Lsb:
        return 3;
    case AsioSampleType::kInt32Msb:
    case AsioSampleType::kInt32Lsb:
    case AsioSampleType::kFloat32Msb:
    case AsioSampleType::kFloat32Lsb:
        return 4;
    case AsioSampleType::kFloat64Msb:
    case AsioSampleType::kFloat64Lsb:
        return 8;
    default:
        return 0;
    }
}

void convertFloatToAsio(const float* in, void* out, int frames, int32_t type) {
    auto* bytes = static_cast<uint8_t*>(out);
    if (frames <= 0)
        return;
    switch (type) {
    case AsioSampleType::kInt16Msb: writeIntegers<2, true>(in, bytes, frames, 32767.0); break;
    case AsioSampleType::kInt16Lsb: writeIntegers<2, false>(in, bytes, frames, 32767.0); break;
    case AsioSampleType::kInt24Msb: writeIntegers<3, true>(in, bytes, frames, 8388607.0); break;
    case AsioSampleType::kInt24Lsb: writeIntegers<3, false>(in, bytes, frames, 8388607.0); break;
    case AsioSampleType::kInt32Msb: writeIntegers<4, true>(in, bytes, frames, 2147483647.0); break;
    case AsioSampleType::kInt32Lsb: writeIntegers<4, false>(in, bytes, frames, 2147483647.0); break;
    case AsioSampleType::kFloat32Msb: writeFloats<true>(in, bytes, frames); break;
    case AsioSampleType::kFloat32Lsb: writeFloats<false>(in, bytes, frames); break;
    case AsioSampleType::kFloat64Msb: writeDoubles<true>(in, bytes, frames); break;
    case AsioSampleType::kFloat64Lsb: writeDoubles<false>(in, bytes, frames); break;
    default: break;
    }
}

}  // namespace qv
