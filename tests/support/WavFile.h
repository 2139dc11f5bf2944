#pragma once
// Reads WAV files (plain and WAVE_FORMAT_EXTENSIBLE; 16-, 24- and 32-bit PCM
// and 32-bit float) into planar floats in [-1, 1], for tests that check
// recordings.

#include <string>
#include <vector>

namespace qv::test {

struct WavData {
    int sampleRate = 0;
    // channels[c][i]: sample i of channel c.
    std::vector<std::vector<float>> channels;
    size_t frames() const { return channels.empty() ? 0 : channels.front().size(); }
};

// False, with error set, when the file is missing, malformed or of an
// unsupported sample format.
bool readWav(const std::string& path, WavData& wav, std::string* error);

}  // namespace qv::test
