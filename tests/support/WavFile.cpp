#include "support/WavFile.h"

#include "support/TempDir.h"

#include <cstdint>
#include <cstring>

namespace qv::test {
namespace {

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool readWav(const std::string& path, WavData& wav, std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    const std::string bytes = readFile(path);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return fail(path + ": not a RIFF/WAVE file");

    int format = 0, channels = 0, bits = 0;
    const unsigned char* samples = nullptr;
    size_t sampleBytes = 0;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint32_t size = le32(data + pos + 4);
        const unsigned char* body = data + pos + 8;
        const size_t available = bytes.size() - (pos + 8);
        if (std::memcmp(data + pos, "fmt ", 4) == 0 && size >= 16 && size <= available) {
            format = le16(body);
            channels = le16(body + 2);
            wav.sampleRate = static_cast<int>(le32(body + 4));
            bits = le16(body + 14);
            if (format == 0xFFFE && size >= 26)
                format = le16(body + 24);  // the sub-format GUID begins with the format tag
        } else if (std::memcmp(data + pos, "data", 4) == 0) {
            samples = body;
            sampleBytes = size <= available ? size : available;
        }
        pos += 8 + size + (size & 1);
    }
    if (channels <= 0 || samples == nullptr)
        return fail(path + ": no fmt or data chunk");
    if (!((format == 1 && (bits == 16 || bits == 24 || bits == 32)) || (format == 3 && bits == 32)))
        return fail(path + ": unsupported format " + std::to_string(format) + "/" + std::to_string(bits) + " bits");

    const size_t bytesPerSample = static_cast<size_t>(bits / 8);
    const size_t frames = sampleBytes / (bytesPerSample * static_cast<size_t>(channels));
    wav.channels.assign(static_cast<size_t>(channels), std::vector<float>(frames));
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const unsigned char* p = samples + (i * static_cast<size_t>(channels) + static_cast<size_t>(c)) * bytesPerSample;
            float value;
            if (format == 3) {
                const uint32_t raw = le32(p);
                std::memcpy(&value, &raw, sizeof value);
            } else if (bits == 16) {
                value = static_cast<int16_t>(le16(p)) / 32768.0f;
            } else if (bits == 24) {
                const int32_t raw = static_cast<int32_t>((p[0] << 8) | (p[1] << 16) | (uint32_t(p[2]) << 24)) >> 8;
                value = static_cast<float>(raw) / 8388608.0f;
            } else {
                value = static_cast<float>(static_cast<int32_t>(le32(p)) / 2147483648.0);
            }
            wav.channels[static_cast<size_t>(c)][i] = value;
        }
    }
    return true;
}

}  // namespace qv::test
