#pragma once
// Offline rendering of the synthesis, without a device: a settings block of
// the test's own, a SynthState on it and helpers that render whole seconds of
// one stream into per-channel sample vectors.

#include "audio/SynthState.h"
#include "settings/LiveSettings.h"
#include "audio/SignalAnalysis.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace qv::test {

struct Rendered {
    std::vector<std::vector<float>> channels;
    double sampleRate = 48000.0;
    const std::vector<float>& operator[](int c) const { return channels[static_cast<size_t>(c)]; }
};

class SynthTest : public ::testing::Test {
protected:
    SynthTest() {
        settings.replace(HapticSettings());
        synth = std::make_unique<SynthState>(settings);
        buffer = std::make_unique<AudioBuffer>();
        const int32_t slots[] = {0};
        synth->setStreamLayout(1, slots);
    }

    void editSettings(const std::function<void(HapticSettings&)>& change) { settings.edit(change, false); }
    EffectProfile& profileOf(HapticSettings& s) { return s.effectProfiles[s.selectedSim]; }

    // Only the listed effects on in the selected simulator's profile.
    void enableOnly(std::initializer_list<int> effects) {
        editSettings([&](HapticSettings& s) {
            EffectProfile& p = profileOf(s);
            for (auto& e : p.effectEnabled)
                e = 0;
            for (int e : effects)
                p.effectEnabled[e] = 1;
        });
    }

    // Renders `blocks` blocks of stream `stream` and appends them per channel.
    Rendered render(int blocks, int stream = 0, int channels = 4, int frames = 256, double rate = 48000.0) {
        Rendered out;
        out.sampleRate = rate;
        out.channels.resize(kMaxStreamChannels);
        appendBlocks(out, blocks, stream, channels, frames, rate);
        return out;
    }
    void appendBlocks(Rendered& out, int blocks, int stream = 0, int channels = 4, int frames = 256,
                      double rate = 48000.0) {
        for (int b = 0; b < blocks; ++b) {
            buffer->numChannels = channels;
            buffer->numFrames = frames;
            buffer->sampleRate = rate;
            synth->render(stream, *buffer);
            for (int c = 0; c < kMaxStreamChannels; ++c)
                out.channels[static_cast<size_t>(c)].insert(out.channels[static_cast<size_t>(c)].end(),
                                                            buffer->samples[c], buffer->samples[c] + frames);
        }
    }
    // Blocks of 256 frames in `seconds` at 48 kHz.
    static int blocksFor(double seconds, int frames = 256, double rate = 48000.0) {
        return static_cast<int>(seconds * rate / frames + 0.5);
    }

    LiveSettings settings;
    std::unique_ptr<SynthState> synth;
    std::unique_ptr<AudioBuffer> buffer;
};

// A frame with every amplitude zero and the resting frequencies.
inline HapticFrame quietFrame() { return HapticFrame{}; }

}  // namespace qv::test
