#pragma once
// What the program and its audio host (qv-audiohost) share.
//
// The audio host is a child process that owns PortAudio: a PortAudio whose
// audio server died can be neither closed nor terminated in the process
// that used it (stop and close wait for minutes; terminate asserts), so the
// program keeps PortAudio out of its own process and replaces a host that
// hangs or dies.
//
// Two ways between them:
// - the shared block (AudioHostBlock), mapped at the same address in both
//   processes: the synthesis state, which the host's stream callbacks render
//   from and the program feeds (frames, gear pulses, test tone, preview),
//   the settings it reads (a mirror of the program's live settings, written
//   only by the program), and each stream's health as its callbacks write it;
// - a message channel for everything else: the program's requests (with a
//   snapshot of its settings) and the host's answers, device list and
//   watchdog lines.
//
// The host is ours, but its messages are still checked (sizes, kinds,
// terminated texts) before use.

#include "audio/AudioDevice.h"
#include "audio/AudioStatus.h"
#include "audio/StreamSlot.h"
#include "audio/SynthState.h"
#include "settings/HapticSettings.h"
#include "settings/LiveSettings.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

inline constexpr uint32_t kAudioHostMagic = 0x51564148;  // "QVAH"

// One stream's health, written by the host's stream callbacks as they run
// (their heartbeats) and by its engine when streams start and close.
using AudioHostStreamHealth = StreamHealth;

struct AudioHostBlock {
    explicit AudioHostBlock(const HapticSettings& initial) : synth(settings) { settings.replace(initial); }

    uint32_t magic = kAudioHostMagic;
    LiveSettings settings;  // written by the program only
    SynthState synth;
    std::atomic<int32_t> streamCount{0};  // written by the host (the program clears it after a host ended)
    AudioHostStreamHealth streams[kMaxSynthStreams];
    // The device table the hosts printed last (setDeviceTableMemory): a new
    // host prints its table only when it differs.
    std::atomic<uint64_t> lastDeviceTable{0};
};

// Descriptors of the host: 3 the channel, 4 the shared block.
inline constexpr int kAudioHostChannelFd = 3;
inline constexpr int kAudioHostBlockFd = 4;

enum class AudioHostOp : uint32_t {
    InitAudio = 1,     // initAudio with the request's settings
    LoopbackTest = 2,  // the latency test (argument: input device), then initAudio
    CloseAll = 3,
    Quit = 4,          // close the streams, answer, end
};

enum class AudioHostMessageKind : uint32_t {
    Ready = 1,    // the host has PortAudio and has sent its device list
    Reply = 2,    // the answer to a request
    Log = 3,      // a watchdog line
    Devices = 4,  // the device list
    Inputs = 5,   // the input devices (for the latency test)
    RawDevices = 6,  // PortAudio's own list (for the device wizard's log)
    ServerBuffer = 7,  // the JACK server's buffer size changed
};

struct AudioHostRequest {
    AudioHostOp op = AudioHostOp::InitAudio;
    int32_t argument = 0;
    HapticSettings settings;
};

inline constexpr size_t kAudioHostTextSize = 1024;

struct AudioHostReply {
    AudioHostMessageKind kind = AudioHostMessageKind::Reply;
    AudioHostOp op = AudioHostOp::InitAudio;
    int32_t ok = 0;
    int32_t multiDevice = 0;
    int32_t channels = 0;       // the first stream's fed channels
    int32_t streamCount = 0;
    double latencyMs = 0.0;     // the first stream's output latency
    double oneWayMs = -1.0;     // the latency test's result
    char testError[kAudioHostTextSize] = {};  // the test's own reason when it failed
    DeviceStatusTable status;
    int32_t settingsChanged = 0;  // initAudio wrote device fields (below)
    HapticSettings settings;
    char lastError[kAudioHostTextSize] = {};
    AudioProblem problem = AudioProblem::None;  // why initAudio found no streams
    char problemText[kAudioHostTextSize] = {};
    char missingDevice[256] = {};
};

struct AudioHostLog {
    AudioHostMessageKind kind = AudioHostMessageKind::Log;
    char text[kAudioHostTextSize] = {};
};

// The largest message either side sends (a device list is cut to fit).
inline constexpr size_t kAudioHostMaxMessage = 64 * 1024;
static_assert(sizeof(AudioHostReply) < kAudioHostMaxMessage);

// The device list as one Devices message: the kind, then length-prefixed
// fields. Devices that do not fit are left out.
std::string encodeDeviceList(const std::vector<PhysicalDevice>& devices);
// False (list cleared) when the bytes are not a well-formed list.
bool decodeDeviceList(const void* data, size_t size, std::vector<PhysicalDevice>& devices);

// The input devices as one Inputs message, in the same manner.
std::string encodeInputList(const std::vector<InputDevice>& inputs);
bool decodeInputList(const void* data, size_t size, std::vector<InputDevice>& inputs);

// PortAudio's own list as one RawDevices message, in the same manner
// (entries that do not fit are left out; the count stays PortAudio's).
std::string encodeRawDeviceList(const RawDeviceList& raw);
bool decodeRawDeviceList(const void* data, size_t size, RawDeviceList& raw);

// The JACK server's buffer size, sent by the host whenever it changes while
// the host runs (PipeWire's graph follows its clients; jack_bufsize): what
// the JACK streams play at now, and the output latency shown for it.
struct AudioHostServerBuffer {
    int32_t frames = 0;
    double sampleRate = 0.0;
    double latencyMs = 0.0;
};
std::string encodeServerBuffer(const AudioHostServerBuffer& buffer);
// False when the bytes are not one well-formed message with plausible
// figures (1 to 1048576 frames, a finite rate of 1 Hz to 1 MHz, a finite
// latency of 0 to 10 s).
bool decodeServerBuffer(const void* data, size_t size, AudioHostServerBuffer& buffer);

// The device part of the settings that initAudio writes: the primary index
// and every slot's name, class identifier, PortAudio index and channels.
void copyDeviceResolution(const HapticSettings& from, HapticSettings& to);

}  // namespace qv
