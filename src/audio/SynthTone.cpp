// The test tone and the effect preview of the synthesis: the GUI thread's
// commands and their rendering on the audio threads.

#include "audio/EffectPreview.h"
#include "audio/SynthState.h"

#include <cmath>

namespace qv {

namespace {

// Samples of a tone of durationMs at fs, at most INT32_MAX.
int32_t toneSamples(int durationMs, float fs) {
    const double samples = static_cast<double>(durationMs) * static_cast<double>(fs) / 1000.0;
    if (!(samples > 0.0))
        return 0;
    return samples >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(samples);
}

float unitGain(float gain) {
    if (!(gain > 0.0f))
        return 0.0f;  // negative and NaN
    return gain > 1.0f ? 1.0f : gain;
}

}  // namespace

// ---- test tone ----

bool SynthState::startTestTone(int channel, int durationMs, float gain, int deviceSlot) {
    std::lock_guard<std::mutex> lock(m_toneWriter);
    if (durationMs <= 0) {
        m_toneActive.store(0, std::memory_order_release);
        return true;
    }
    if (!slotIsOpen(deviceSlot))
        return false;
    if (++m_toneSequence == 0)
        m_toneSequence = 1;
    ToneCommand command;
    command.sequence = m_toneSequence;
    command.channel = channel;
    command.slot = deviceSlot;
    command.durationMs = durationMs;
    command.gain = unitGain(gain);
    m_toneCommand.store(command);
    m_toneActive.store(command.sequence, std::memory_order_release);
    return true;
}

void SynthState::endToneIfSlotClosed() {
    // Without the writers' mutex: the stream layout may be set in another
    // process (the audio host), which must never take a lock of the
    // program's threads. Only the tone that is still the playing one ends.
    uint32_t active = m_toneActive.load(std::memory_order_acquire);
    if (active == 0)
        return;
    ToneCommand command;
    if (!m_toneCommand.tryLoad(command, 64) || command.sequence != active)
        return;  // a newer tone is being written; its writer checked its slot
    if (!slotIsOpen(command.slot))
        m_toneActive.compare_exchange_strong(active, 0, std::memory_order_acq_rel);
}

void SynthState::renderTone(StreamSynth& st, int stream, uint32_t sequence, AudioBuffer& buffer) {
    if (st.tone.sequence != sequence)
        m_toneCommand.tryLoad(st.tone);
    if (st.tone.sequence != sequence)
        return;  // the command is being replaced: one silent block

    const int toneStream = streamForSlot(st.tone.slot);
    if (toneStream < 0) {
        // Its stream is gone: end it, or every stream would stay silent.
        uint32_t expected = sequence;
        m_toneActive.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
        return;
    }
    if (toneStream != stream)
        return;  // every other stream is silent while a tone plays

    if (st.toneStarted != sequence) {
        st.toneStarted = sequence;
        st.tonePhase = 0.0f;
        st.toneSamplesLeft = toneSamples(st.tone.durationMs, st.sampleRate);
        st.toneSamplesPlayed = 0;
    }

    const int32_t left = st.toneSamplesLeft;
    const int frames = buffer.frameCount();
    const int count = left < frames ? left : frames;
    const int channels = buffer.channelCount();
    const int channel = st.tone.channel;
    if (channel == -1 || (channel >= 0 && channel < channels)) {
        const float step = kTwoPi * kToneHz / st.sampleRate;
        const float gain = 0.85f * st.tone.gain;
        float phase = st.tonePhase;
        for (int i = 0; i < count; ++i) {
            phase += step;
            if (phase > kTwoPi)
                phase -= kTwoPi;
            // Fades of 400 samples: in from the tone's first sample (not the
            // block's), out over the samples left.
            const int32_t remaining = left - i;
            const int32_t played = st.toneSamplesPlayed + i;
            float ramp = 1.0f;
            if (remaining < kToneFadeSamples)
                ramp = static_cast<float>(remaining) / kToneFadeSamples;
            else if (played < kToneFadeSamples)
                ramp = static_cast<float>(played) / kToneFadeSamples;
            const float sample = std::sin(phase) * gain * ramp;
            if (channel == -1) {
                for (int c = 0; c < channels; ++c)
                    buffer.samples[c][i] = sample;
            } else {
                buffer.samples[channel][i] = sample;
            }
        }
        st.tonePhase = phase;
    }
    st.toneSamplesLeft = left - count;
    st.toneSamplesPlayed += count;
    if (st.toneSamplesLeft <= 0) {
        st.toneSamplesLeft = 0;
        uint32_t expected = sequence;
        m_toneActive.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
    }
}

// ---- effect preview ----

bool SynthState::startEffectPreview(int effect) {
    if (effect < 0 || effect >= kEffectCount)
        return false;
    std::lock_guard<std::mutex> lock(m_previewWriter);
    for (auto& level : m_previewLevels)
        level.store(0.0f, std::memory_order_relaxed);
    if (effect == kGearChange) {
        const HapticSettings snapshot = m_settings.snapshot();
        const int sim = isValidSimIndex(snapshot.selectedSim) ? snapshot.selectedSim : 0;
        triggerGearPulseAll(gearPulseMs(snapshot.effectProfiles[sim].gearChangeDuration));
    }
    if (++m_previewGenerationCounter > (0xffffffffu >> 3))
        m_previewGenerationCounter = 1;
    m_previewCommand.store((m_previewGenerationCounter << 3) | static_cast<uint32_t>(effect),
                           std::memory_order_release);
    return true;
}

void SynthState::stopEffectPreview() {
    std::lock_guard<std::mutex> lock(m_previewWriter);
    m_previewCommand.store(0, std::memory_order_release);
    for (auto& level : m_previewLevels)
        level.store(0.0f, std::memory_order_relaxed);
}

bool SynthState::copyPreviewLevels(float levels[kEffectCount]) const {
    if (!isPreviewActive())
        return false;
    for (int e = 0; e < kEffectCount; ++e)
        levels[e] = m_previewLevels[e].load(std::memory_order_relaxed);
    return true;
}

float SynthState::previewLevel(int effect) const {
    return effect >= 0 && effect < kEffectCount ? m_previewLevels[effect].load(std::memory_order_relaxed) : 0.0f;
}

void SynthState::renderPreview(StreamSynth& st, int stream, uint32_t command, AudioBuffer& buffer) {
    const int effect = static_cast<int>(command & 7u);
    const uint32_t generation = command >> 3;
    const int sim = isValidSimIndex(st.settings.selectedSim) ? st.settings.selectedSim : 0;
    // The selected simulator's profile with only the previewed effect on.
    EffectProfile profile = st.settings.effectProfiles[sim];
    for (int e = 0; e < kEffectCount; ++e)
        profile.effectEnabled[e] = e == effect ? 1 : 0;

    // Stream 0 keeps the preview's clock; the others follow it.
    float t;
    if (stream == 0) {
        if (st.previewGeneration != generation) {
            st.previewGeneration = generation;
            st.previewTime = 0.0f;
        }
        st.previewTime += static_cast<float>(buffer.frameCount()) / st.sampleRate;
        if (effect == kGearChange && st.previewTime > kPreviewGearPeriod) {
            triggerGearPulseAll(gearPulseMs(profile.gearChangeDuration));
            applyGearCommands(st);
            st.previewTime = 0.0f;
        }
        t = st.previewTime;
        m_previewTime.store(t, std::memory_order_relaxed);
    } else {
        t = m_previewTime.load(std::memory_order_relaxed);
    }

    const HapticFrame frame = effectPreviewFrame(effect, t, profile);
    if (stream == 0) {
        float levels[kEffectCount];
        effectPreviewLevels(effect, t, profile, frame, levels);
        for (int e = 0; e < kEffectCount; ++e)
            m_previewLevels[e].store(levels[e], std::memory_order_relaxed);
        // A stop that came in meanwhile keeps its cleared levels.
        if (m_previewCommand.load(std::memory_order_acquire) == 0)
            for (auto& level : m_previewLevels)
                level.store(0.0f, std::memory_order_relaxed);
    }
    mixZones(st, stream, buffer, st.settings, profile, frame);
}

}  // namespace qv
