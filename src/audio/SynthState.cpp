// The haptic synthesis. Sections:
//   construction and stream layout
//   main-thread frame hand-off and gear pulses
//   render (audio thread)
//   zone mix (audio thread)
// The test tone and the effect preview are in SynthTone.cpp.

#include "audio/SynthState.h"

#include "platform/RealtimeGuard.h"

#include <cmath>

namespace qv {

// ---- construction and stream layout ----

SynthState::SynthState(const LiveSettings& settings) : m_settings(settings) {
    for (int s = 0; s < kMaxSynthStreams; ++s) {
        m_streamSlot[s].store(s);
        configure(s, 48000.0f, 256);
    }
    for (auto& level : m_previewLevels)
        level.store(0.0f);
}

void SynthState::configureStream(StreamSynth& st, float sampleRate, int blockFrames) {
    if (std::isfinite(sampleRate) && sampleRate > 0.0f)
        st.sampleRate = sampleRate;
    st.blockFrames = blockFrames;
    for (int c = 0; c < kCornerCount; ++c)
        st.corners[c].configure(c, st.sampleRate);
}

void SynthState::configure(int stream, float sampleRate, int blockFrames) {
    if (stream < 0 || stream >= kMaxSynthStreams)
        return;
    StreamSynth& st = m_streams[stream];
    configureStream(st, sampleRate, blockFrames);
    st.gearSequence = static_cast<uint32_t>(m_gearCommand.load(std::memory_order_acquire) >> 32);
    st.configuredGeneration = m_startGeneration.load(std::memory_order_acquire);
}

void SynthState::setStreamLayout(int streamCount, const int32_t* slotOfStream) {
    const int count = streamCount < 0 ? 0 : (streamCount > kMaxSynthStreams ? kMaxSynthStreams : streamCount);
    for (int s = 0; s < kMaxSynthStreams; ++s)
        m_streamSlot[s].store(s < count && slotOfStream ? slotOfStream[s] : -1, std::memory_order_release);
    m_streamCount.store(count, std::memory_order_release);
    // A pulse posted while the streams were down is not played late; one
    // posted from now on is.
    m_startGearSequence.store(static_cast<uint32_t>(m_gearCommand.load(std::memory_order_acquire) >> 32),
                              std::memory_order_release);
    m_startGeneration.fetch_add(1, std::memory_order_acq_rel);
    endToneIfSlotClosed();
}

int SynthState::streamForSlot(int slot) const {
    if (slot < 0)
        return -1;
    const int count = streamCount();
    for (int s = 0; s < count; ++s)
        if (slotOfStream(s) == slot)
            return s;
    return -1;
}

bool SynthState::takeReadyReport(SynthReadyReport& report) {
    const uint32_t generation = m_startGeneration.load(std::memory_order_acquire);
    if (generation == m_reportedGeneration)
        return false;
    const int count = streamCount();
    for (int s = 0; s < count; ++s) {
        const StreamSynth& st = m_streams[s];
        if (st.readyGeneration.load(std::memory_order_acquire) != generation)
            continue;
        report.stream = s;
        report.frames = st.readyFrames.load(std::memory_order_relaxed);
        report.sampleRate = st.readyRate.load(std::memory_order_relaxed);
        m_reportedGeneration = generation;
        return true;
    }
    return false;
}

// ---- main-thread frame hand-off and gear pulses ----

void SynthState::publishFrame(const HapticFrame& frame, bool valid) {
    m_lastFrame.frame = frame;
    m_lastFrame.valid = valid ? 1 : 0;
    m_frame.store(m_lastFrame);
}

void SynthState::invalidateFrame() {
    m_lastFrame.valid = 0;
    m_frame.store(m_lastFrame);
}

void SynthState::triggerGearPulseAll(int durationMs) {
    const uint32_t ms = static_cast<uint32_t>(durationMs < 0 ? 0 : (durationMs > 60000 ? 60000 : durationMs));
    uint64_t old = m_gearCommand.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = (((old >> 32) + 1) << 32) | ms;
    } while (!m_gearCommand.compare_exchange_weak(old, next, std::memory_order_acq_rel, std::memory_order_relaxed));
}

void SynthState::applyGearCommands(StreamSynth& st) {
    const uint64_t command = m_gearCommand.load(std::memory_order_acquire);
    const uint32_t sequence = static_cast<uint32_t>(command >> 32);
    if (sequence == st.gearSequence)
        return;
    st.gearSequence = sequence;
    const int ms = static_cast<int>(command & 0xffffffffu);
    for (CornerSynth& corner : st.corners)
        corner.triggerGearPulse(ms);
}

// ---- render (audio thread) ----

void SynthState::render(int stream, AudioBuffer& buffer) {
    RealtimeScope realtime;
    buffer.clear();
    buffer.silent = true;  // until something plays
    if (stream < 0 || stream >= kMaxSynthStreams)
        return;
    StreamSynth& st = m_streams[stream];
    // One thread at a time per stream: a second callback on the same index
    // (an abandoned stream still calling back) gets silence. The exchange
    // also orders this block after the previous one of any other thread.
    if (st.renderGuard.exchange(1, std::memory_order_acq_rel) != 0)
        return;

    const uint32_t generation = m_startGeneration.load(std::memory_order_acquire);
    if (st.configuredGeneration != generation) {
        configureStream(st, static_cast<float>(buffer.sampleRate), buffer.frameCount());
        st.gearSequence = m_startGearSequence.load(std::memory_order_acquire);
        st.configuredGeneration = generation;
        st.readyFrames.store(buffer.frameCount(), std::memory_order_relaxed);
        st.readyRate.store(st.sampleRate, std::memory_order_relaxed);
        st.readyGeneration.store(generation, std::memory_order_release);
    }

    const uint32_t version = m_settings.version();
    if (!st.haveSettings || version != st.settingsVersion) {
        if (m_settings.trySnapshot(st.settings)) {
            st.settingsVersion = version;
            st.haveSettings = true;
        }
    }
    m_frame.tryLoad(st.input);
    applyGearCommands(st);

    if (st.haveSettings) {
        if (const uint32_t tone = m_toneActive.load(std::memory_order_acquire)) {
            buffer.silent = false;
            renderTone(st, stream, tone, buffer);
        } else if (const uint32_t preview = m_previewCommand.load(std::memory_order_acquire)) {
            buffer.silent = false;
            renderPreview(st, stream, preview, buffer);
        } else if (st.input.valid) {
            buffer.silent = false;
            const int sim = isValidSimIndex(st.settings.selectedSim) ? st.settings.selectedSim : 0;
            mixZones(st, stream, buffer, st.settings, st.settings.effectProfiles[sim], st.input.frame);
        }
    }
    st.renderGuard.store(0, std::memory_order_release);
}

// ---- zone mix (audio thread) ----

void SynthState::mixZones(StreamSynth& st, int stream, AudioBuffer& buffer, const HapticSettings& settings,
                          const EffectProfile& profile, const HapticFrame& frame) {
    struct ZoneTap {
        int32_t channel = -1;
        int32_t corner = -1;
        float gain = 1.0f;
        bool valid = false;
    };
    const int frames = buffer.frameCount();
    const int channels = buffer.channelCount();
    const int slot = slotOfStream(stream);
    const int zoneCount =
        settings.numActiveZones < 0 ? 0 : (settings.numActiveZones > kMaxZones ? kMaxZones : settings.numActiveZones);

    ZoneTap taps[kMaxZones];
    bool anyTap = false;
    for (int i = 0; i < zoneCount; ++i) {
        const ZoneConfig& zone = settings.zones[i];
        if (!zone.active || slot < 0 || zone.device != slot)
            continue;
        ZoneTap& tap = taps[i];
        tap.channel = zone.channel;
        tap.gain = std::isfinite(zone.gain) ? zone.gain : 0.0f;
        tap.valid = zone.channel >= 0 && zone.channel < channels;
        for (int c = 0; c < kCornerCount; ++c) {
            if (settings.cornerZone[c] == i) {
                tap.corner = c;
                break;
            }
        }
        anyTap = anyTap || tap.valid;
    }

    EffectPlanes& planes = st.planes;
    for (int j = 0; j < kCornerCount; ++j) {
        // Every corner runs, heard or not, so its phases and levels move on.
        synthCorner(st.corners[j], planes, frames, frame.corners[j], frame.engineAmp, frame.engineFreq, profile,
                    settings.masterGain);
        if (!anyTap)
            continue;
        for (int k = 0; k < zoneCount; ++k) {
            const ZoneTap& tap = taps[k];
            if (!tap.valid || (tap.corner != j && tap.corner != -1))
                continue;
            for (int e = 0; e < kEffectCount; ++e) {
                const float r = profile.routeGain[e][k];
                if (!(r > 0.0f) || !planes.active[e])
                    continue;
                // A zone that no corner maps to hears a quarter of each corner.
                const float gain = tap.corner == j ? r * tap.gain : tap.gain * 0.25f * r;
                buffer.addClamped(tap.channel, planes.fx[e], gain);
            }
        }
    }
}

void SynthState::releaseRenderGuards() {
    for (StreamSynth& st : m_streams)
        st.renderGuard.store(0, std::memory_order_release);
}

}  // namespace qv
