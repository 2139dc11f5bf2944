#pragma once
// The haptic synthesis: turns the last haptic frame that main published into
// one block of zone signals per output stream, and plays the test tone and
// the effect preview.
//
// Threads:
// - render() runs on each stream's audio thread (real-time: no allocation,
//   no lock, no I/O). Each stream index has its own oscillators, envelopes,
//   smoothers, sample rate and settings copy, so streams at different rates
//   or running at the same time never disturb each other's pitch.
// - publishFrame()/invalidateFrame() are called by the main thread; the frame
//   reaches the callbacks through a sequence lock (a callback that meets a
//   write in flight keeps its previous copy).
// - triggerGearPulseAll(), the tone and the preview are commands: the caller
//   stores a sequence-numbered command in atomics and each stream applies it
//   on its own thread at its next block.
// - setStreamLayout() is called by the audio initialisation (main or an audio
//   worker) while no stream runs, before the streams start.
// The settings come from a LiveSettings (gSettings in the program) through
// trySnapshot(), which never waits.
//
// The state may live in memory shared with the audio host (see
// AudioHostProtocol.h): the render, the stream layout and the ready reports
// then run in the host, everything else in the program. What crosses is
// lock-free atomics and sequence locks only; the two writer mutexes are
// taken by the program's threads alone.

#include "audio/AudioBuffer.h"
#include "audio/CornerSynth.h"
#include "engines/HapticFrame.h"
#include "platform/SeqLock.h"
#include "settings/HapticSettings.h"
#include "settings/LiveSettings.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace qv {

// One stream per configured device at most.
inline constexpr int kMaxSynthStreams = kMaxAudioDevices;

inline constexpr float kToneHz = 60.0f;
inline constexpr int kToneFadeSamples = 400;

// The first block of a stream after a start: the rate and block size the
// device really runs at (for the "Synth ready" console line).
struct SynthReadyReport {
    int stream = 0;
    int frames = 0;
    float sampleRate = 0.0f;
};

class SynthState {
public:
    explicit SynthState(const LiveSettings& settings = gSettings);
    SynthState(const SynthState&) = delete;
    SynthState& operator=(const SynthState&) = delete;

    // ---- audio thread of stream `stream` ----
    // Fills one block of `buffer` (numFrames frames of numChannels planes).
    void render(int stream, AudioBuffer& buffer);

    // ---- main thread ----
    // The frame of a new sample; `valid` gates the live synthesis (the car
    // is on track).
    void publishFrame(const HapticFrame& frame, bool valid);
    // Silences the live synthesis (disconnect, simulator change); the corner
    // state freezes until a valid frame returns.
    void invalidateFrame();
    // Once per start of the streams: the first stream's first block.
    bool takeReadyReport(SynthReadyReport& report);

    // ---- any thread ----
    // Starts the gear-change pulse of durationMs on the four corners of every
    // stream (each at its own rate), at the stream's next block.
    void triggerGearPulseAll(int durationMs);

    // ---- audio initialisation (no stream running) ----
    // The open streams and the device slot (index into HapticSettings::devices)
    // that each one plays; zones and tones find their stream through it.
    // Every stream configures itself again at its first block. A test tone
    // whose slot has no stream any more ends.
    void setStreamLayout(int streamCount, const int32_t* slotOfStream);
    // After the process whose streams rendered from this state ended (it may
    // have died inside a render): lets the next streams render again.
    void releaseRenderGuards();
    // Sets a stream's rate and block size and numbers its corners (tests and
    // benchmarks; the streams do it themselves at their first block).
    void configure(int stream, float sampleRate, int blockFrames);
    int streamCount() const { return m_streamCount.load(std::memory_order_acquire); }
    // The stream that plays device slot `slot`, or -1.
    int streamForSlot(int slot) const;

    // ---- GUI thread ----
    // A 60 Hz tone of durationMs on `channel` (-1 = every channel) of the
    // stream that plays device slot `deviceSlot`, gain limited to 0..1. A
    // duration of 0 or less stops any tone. False (nothing changes) when no
    // open stream plays that slot. While a tone plays every stream is silent
    // except for the tone.
    bool startTestTone(int channel, int durationMs, float gain, int deviceSlot);
    bool isToneActive() const { return m_toneActive.load(std::memory_order_acquire) != 0; }

    // Plays effect 0..6 through the normal routing from a synthetic frame
    // until stopEffectPreview(); false for another effect number.
    bool startEffectPreview(int effect);
    void stopEffectPreview();
    bool isPreviewActive() const { return m_previewCommand.load(std::memory_order_acquire) != 0; }
    // The preview's meter levels in EffectId order; false (levels untouched)
    // when no preview plays.
    bool copyPreviewLevels(float levels[kEffectCount]) const;
    float previewLevel(int effect) const;

private:
    struct ToneCommand {
        uint32_t sequence = 0;
        int32_t channel = -1;
        int32_t slot = 0;
        int32_t durationMs = 0;
        float gain = 0.0f;
    };
    struct FrameInput {
        HapticFrame frame;
        int32_t valid = 0;
    };
    // Everything one stream's audio thread works on; nothing here is touched
    // by another thread while the stream runs.
    struct StreamSynth {
        std::atomic<uint32_t> renderGuard{0};  // 1 while a render runs
        uint32_t configuredGeneration = 0;
        float sampleRate = 48000.0f;
        int32_t blockFrames = 256;
        CornerSynth corners[kCornerCount];
        HapticSettings settings;
        uint32_t settingsVersion = 0;
        bool haveSettings = false;
        FrameInput input;
        uint32_t gearSequence = 0;
        ToneCommand tone;
        uint32_t toneStarted = 0;  // sequence of the tone this stream plays
        float tonePhase = 0.0f;
        int32_t toneSamplesLeft = 0;
        int32_t toneSamplesPlayed = 0;
        uint32_t previewGeneration = 0;  // stream 0 keeps the preview clock
        float previewTime = 0.0f;
        EffectPlanes planes;
        // First-block report, read by the main thread.
        std::atomic<int32_t> readyFrames{0};
        std::atomic<float> readyRate{0.0f};
        std::atomic<uint32_t> readyGeneration{0};
    };

    void configureStream(StreamSynth& st, float sampleRate, int blockFrames);
    void applyGearCommands(StreamSynth& st);
    void renderTone(StreamSynth& st, int stream, uint32_t toneSequence, AudioBuffer& buffer);
    void renderPreview(StreamSynth& st, int stream, uint32_t command, AudioBuffer& buffer);
    void mixZones(StreamSynth& st, int stream, AudioBuffer& buffer, const HapticSettings& settings,
                  const EffectProfile& profile, const HapticFrame& frame);
    int slotOfStream(int stream) const { return m_streamSlot[stream].load(std::memory_order_acquire); }
    bool slotIsOpen(int slot) const { return streamForSlot(slot) >= 0; }
    void endToneIfSlotClosed();

    const LiveSettings& m_settings;
    StreamSynth m_streams[kMaxSynthStreams];

    // Stream layout.
    std::atomic<int32_t> m_streamCount{0};
    std::atomic<int32_t> m_streamSlot[kMaxSynthStreams];
    std::atomic<uint32_t> m_startGeneration{1};
    uint32_t m_reportedGeneration = 0;  // main thread

    // Frame from main (single writer).
    SeqLock<FrameInput> m_frame;
    FrameInput m_lastFrame;  // main thread's copy

    // Gear pulse command: sequence in the high word, duration in ms below.
    std::atomic<uint64_t> m_gearCommand{0};
    std::atomic<uint32_t> m_startGearSequence{0};  // gear sequence at the last layout

    // Test tone: the command is written under m_toneWriter (never taken by a
    // callback); m_toneActive holds the sequence of the playing tone or 0.
    std::mutex m_toneWriter;
    uint32_t m_toneSequence = 0;
    SeqLock<ToneCommand> m_toneCommand;
    std::atomic<uint32_t> m_toneActive{0};

    // Effect preview: 0 = off, else (generation << 3) | effect.
    std::mutex m_previewWriter;
    uint32_t m_previewGenerationCounter = 0;
    std::atomic<uint32_t> m_previewCommand{0};
    std::atomic<float> m_previewTime{0.0f};  // written by stream 0
    std::atomic<float> m_previewLevels[kEffectCount];
};

}  // namespace qv
