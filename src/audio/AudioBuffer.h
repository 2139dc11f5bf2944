#pragma once
// The planar block that a stream callback hands to the synthesis: up to eight
// channel planes of up to 4096 frames. Only the first numFrames frames of the
// first numChannels planes carry signal.

#include <cstdint>

namespace qv {

inline constexpr int kMaxStreamChannels = 8;
inline constexpr int kMaxBlockFrames = 4096;

// A sample limited to [-1, 1]; a NaN becomes silence.
inline float clampSample(float x) {
    if (x > 1.0f)
        return 1.0f;
    if (x < -1.0f)
        return -1.0f;
    return x == x ? x : 0.0f;
}

struct AudioBuffer {
    float samples[kMaxStreamChannels][kMaxBlockFrames] = {};
    int32_t numChannels = 4;
    int32_t numFrames = 256;
    double sampleRate = 48000.0;
    // Set by a render that played nothing: the block is silence and its
    // planes need not be read (the stream callback then only writes zeros).
    // The callback clears it before each render.
    bool silent = false;

    // Channel count and frame count limited to what the planes hold.
    int channelCount() const {
        return numChannels < 0 ? 0 : (numChannels > kMaxStreamChannels ? kMaxStreamChannels : numChannels);
    }
    int frameCount() const { return numFrames < 0 ? 0 : (numFrames > kMaxBlockFrames ? kMaxBlockFrames : numFrames); }

    // Plane n for 0..7, plane 0 for anything else.
    float* plane(int n) { return samples[n >= 0 && n < kMaxStreamChannels ? n : 0]; }

    // out[channel][i] := clamp(out[channel][i] + gain * source[i], -1, 1) for
    // the block's frames; a channel outside the buffer is left alone.
    // Real-time safe.
    void addClamped(int channel, const float* source, float gain) {
        if (channel < 0 || channel >= channelCount())
            return;
        float* out = samples[channel];
        const int n = frameCount();
        for (int i = 0; i < n; ++i)
            out[i] = clampSample(out[i] + gain * source[i]);
    }

    // Zeroes the block's frames of every plane (whatever numChannels is).
    void clear() {
        const int n = frameCount();
        for (auto& p : samples)
            for (int i = 0; i < n; ++i)
                p[i] = 0.0f;
    }
};

}  // namespace qv
