// qv_latency_probe: times telemetry to shaker output for bench/latency.py.
//
// Plays iRacing (the lap's drive, through the feed's own writer) with the
// car held on the straight, and steps the gear there and back: each step is
// one event, written at a random moment into the shared memory. As a JACK
// client of the same server it listens to the program's output ports (the
// graph) and, when asked, to the sink's monitor ports, and times the first
// sample that leaves silence after each step. The program under test plays
// only its gear-change effect (bench/latency.py writes that profile), so
// between pulses its output is exact zeros.
//
// Times: the write is stamped on CLOCK_MONOTONIC right after the row is
// published; a sample is stamped by the graph's clock (jack_get_cycle_times:
// the cycle's start plus the sample's share of the period) and taken to
// CLOCK_MONOTONIC by the two clocks' difference read at the write. jackd's
// clock is CLOCK_MONOTONIC_RAW, which drifts from CLOCK_MONOTONIC by the
// time service's corrections (a third of a second after some days); PipeWire's
// libjack keeps CLOCK_MONOTONIC itself.
//
// Output, one line each: "buffer FRAMES RATE", then per event
// "event N graph MS sink MS" ("-" where nothing was heard), then "done".
// Exit code 1 with a message on standard error when the server, the
// program's ports or the shared memory cannot be reached, or when no event
// was heard at all.

#include "simfeed/FeedWriter.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using qv::simfeed::FeedConfig;
using qv::simfeed::FeedWriter;
using qv::simfeed::ScriptKind;
using qv::simfeed::SimKind;

// Two moments of the lap on the straight: 26 m/s in 2nd gear, 34 m/s in 3rd.
constexpr double kSecondGearSeconds = 11.0;
constexpr double kThirdGearSeconds = 13.0;
// Anything above this leaves silence; the program writes exact zeros between
// pulses, and the first sample of a pulse is of the order of 1e-5.
constexpr float kSoundFloor = 1.0e-7f;
constexpr int kMaxPorts = 16;
constexpr int64_t kQuietBeforeEventUs = 150'000;
constexpr int64_t kRandomDelayUs = 60'000;
constexpr int64_t kEventTimeoutUs = 1'500'000;

std::atomic<int> gRunning{1};

void onSignal(int) { gRunning.store(0); }

int64_t monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

void sleepUntilUs(int64_t deadline) {
    const int64_t now = monotonicUs();
    if (deadline > now)
        std::this_thread::sleep_for(std::chrono::microseconds(deadline - now));
}

// One set of input ports listened to as one output: onset of the armed event
// and the end of the last sound. Written by the process callback only.
struct Listener {
    jack_port_t* ports[kMaxPorts] = {};
    int portCount = 0;
    std::atomic<int> heardEvent{0};
    std::atomic<int64_t> onsetUs{0};
    std::atomic<int64_t> lastSoundUs{0};
};

struct Probe {
    jack_client_t* client = nullptr;
    Listener graph;
    Listener sink;
    std::atomic<int> armedEvent{0};
};

// Real-time: runs on the JACK process thread; no allocation, no lock.
void listen(Listener& listener, jack_nframes_t frames, int armed, int64_t cycleUs, double usPerFrame) {
    int first = -1;
    int last = -1;
    for (int p = 0; p < listener.portCount; ++p) {
        const auto* data = static_cast<const float*>(jack_port_get_buffer(listener.ports[p], frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            if (std::fabs(data[i]) > kSoundFloor) {
                if (first < 0 || static_cast<int>(i) < first)
                    first = static_cast<int>(i);
                break;
            }
        }
        for (int i = static_cast<int>(frames) - 1; i >= 0; --i) {
            if (std::fabs(data[i]) > kSoundFloor) {
                last = std::max(last, i);
                break;
            }
        }
    }
    if (first < 0)
        return;
    listener.lastSoundUs.store(cycleUs + static_cast<int64_t>(last * usPerFrame), std::memory_order_relaxed);
    if (armed != 0 && listener.heardEvent.load(std::memory_order_relaxed) != armed) {
        listener.onsetUs.store(cycleUs + static_cast<int64_t>(first * usPerFrame), std::memory_order_relaxed);
        listener.heardEvent.store(armed, std::memory_order_release);
    }
}

int process(jack_nframes_t frames, void* arg) {
    auto* probe = static_cast<Probe*>(arg);
    jack_nframes_t currentFrames = 0;
    jack_time_t currentUs = 0;
    jack_time_t nextUs = 0;
    float periodUs = 0.0f;
    if (jack_get_cycle_times(probe->client, &currentFrames, &currentUs, &nextUs, &periodUs) != 0 || frames == 0)
        return 0;
    const double usPerFrame = static_cast<double>(nextUs - currentUs) / frames;
    const int armed = probe->armedEvent.load(std::memory_order_acquire);
    listen(probe->graph, frames, armed, static_cast<int64_t>(currentUs), usPerFrame);
    listen(probe->sink, frames, armed, static_cast<int64_t>(currentUs), usPerFrame);
    return 0;
}

struct Options {
    std::string shmFolder;
    std::string programPorts = "^Quor Vane:";
    std::string sinkPorts;  // "" = the graph only
    int events = 200;
    int waitSeconds = 60;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--shm-dir" && hasValue)
            options.shmFolder = argv[++i];
        else if (arg == "--program-ports" && hasValue)
            options.programPorts = argv[++i];
        else if (arg == "--sink-ports" && hasValue)
            options.sinkPorts = argv[++i];
        else if (arg == "--events" && hasValue)
            options.events = std::atoi(argv[++i]);
        else if (arg == "--wait" && hasValue)
            options.waitSeconds = std::atoi(argv[++i]);
        else
            return false;
    }
    return options.events > 0 && options.waitSeconds > 0;
}

// The full names of the output ports matching `pattern`, at most kMaxPorts.
std::vector<std::string> outputPorts(jack_client_t* client, const std::string& pattern) {
    std::vector<std::string> names;
    const char** ports = jack_get_ports(client, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    if (!ports)
        return names;
    for (int i = 0; ports[i] && names.size() < kMaxPorts; ++i)
        names.emplace_back(ports[i]);
    jack_free(ports);
    return names;
}

bool attach(jack_client_t* client, Listener& listener, const std::vector<std::string>& sources, const char* prefix) {
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string name = prefix + std::to_string(listener.portCount + 1);
        jack_port_t* port =
            jack_port_register(client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        if (!port) {
            std::fprintf(stderr, "qv_latency_probe: cannot register the port %s\n", name.c_str());
            return false;
        }
        listener.ports[listener.portCount++] = port;
    }
    return true;
}

bool connectAll(jack_client_t* client, const Listener& listener, const std::vector<std::string>& sources) {
    for (int i = 0; i < listener.portCount; ++i) {
        const int rc = jack_connect(client, sources[i].c_str(), jack_port_name(listener.ports[i]));
        if (rc != 0 && rc != EEXIST) {
            std::fprintf(stderr, "qv_latency_probe: cannot connect %s (%d)\n", sources[i].c_str(), rc);
            return false;
        }
    }
    return true;
}

// Publishes the held state every tick of the simulator's rate until
// `deadline`, or until `done` says so.
class Feed {
public:
    explicit Feed(FeedWriter& writer) : m_writer(writer), m_periodUs(1'000'000 / writer.tickRate()) {}

    template <typename Done>
    void holdUntil(int64_t deadline, Done done) {
        while (gRunning.load() && !done()) {
            const int64_t now = monotonicUs();
            if (now >= deadline)
                return;
            if (now >= m_nextTickUs) {
                m_writer.publish(m_scriptSeconds, ++m_tick);
                m_nextTickUs = std::max(m_nextTickUs + m_periodUs, now);
            }
            sleepUntilUs(std::min({deadline, m_nextTickUs, now + 1000}));
        }
    }

    // Writes the other gear now; the next ticks follow from here. Returns
    // the moment the row was published.
    int64_t step() {
        m_scriptSeconds = m_scriptSeconds == kSecondGearSeconds ? kThirdGearSeconds : kSecondGearSeconds;
        m_writer.publish(m_scriptSeconds, ++m_tick);
        const int64_t written = monotonicUs();
        m_nextTickUs = written + m_periodUs;
        return written;
    }

    // The graph's clock minus CLOCK_MONOTONIC, in microseconds, read now.
    static int64_t jackClockOffsetUs() {
        const int64_t before = monotonicUs();
        const auto jackUs = static_cast<int64_t>(jack_get_time());
        const int64_t after = monotonicUs();
        return jackUs - (before + after) / 2;
    }

private:
    FeedWriter& m_writer;
    int64_t m_periodUs;
    int64_t m_nextTickUs = 0;
    int m_tick = 0;
    double m_scriptSeconds = kSecondGearSeconds;
};

struct Heard {
    bool graph = false;
    bool sink = false;
    double graphMs = 0.0;
    double sinkMs = 0.0;
};

// One event: waits for quiet, steps the gear at a random moment and waits
// for the pulse on every listener.
Heard runEvent(Probe& probe, Feed& feed, int number, std::mt19937& random) {
    // On the graph's clock.
    auto quietSince = [&probe] {
        return std::max(probe.graph.lastSoundUs.load(), probe.sink.lastSoundUs.load());
    };
    // Quiet for a while (a pulse lasts 40 ms), then a random moment so the
    // steps fall at every phase of the audio period and of the program's loop.
    int64_t until = monotonicUs() + kEventTimeoutUs;
    feed.holdUntil(until, [&] {
        return static_cast<int64_t>(jack_get_time()) - quietSince() >= kQuietBeforeEventUs;
    });
    std::uniform_int_distribution<int64_t> delay(0, kRandomDelayUs);
    feed.holdUntil(monotonicUs() + delay(random), [] { return false; });

    probe.armedEvent.store(number, std::memory_order_release);
    const int64_t written = feed.step();
    const int64_t offsetUs = Feed::jackClockOffsetUs();
    const bool withSink = probe.sink.portCount > 0;
    auto heardAll = [&] {
        return probe.graph.heardEvent.load(std::memory_order_acquire) == number &&
               (!withSink || probe.sink.heardEvent.load(std::memory_order_acquire) == number);
    };
    feed.holdUntil(written + kEventTimeoutUs, heardAll);
    probe.armedEvent.store(0, std::memory_order_release);

    Heard heard;
    if (probe.graph.heardEvent.load(std::memory_order_acquire) == number) {
        heard.graph = true;
        heard.graphMs = (probe.graph.onsetUs.load() - offsetUs - written) / 1000.0;
    }
    if (withSink && probe.sink.heardEvent.load(std::memory_order_acquire) == number) {
        heard.sink = true;
        heard.sinkMs = (probe.sink.onsetUs.load() - offsetUs - written) / 1000.0;
    }
    return heard;
}

std::string msText(bool heard, double ms) {
    if (!heard)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

int run(const Options& options) {
    FeedConfig config;
    config.sim = SimKind::IRacing;
    config.script = ScriptKind::Lap;
    config.shmFolder = options.shmFolder;
    std::unique_ptr<FeedWriter> writer = qv::simfeed::makeFeedWriter(config);
    if (!writer || !writer->open()) {
        std::fprintf(stderr, "qv_latency_probe: cannot create the shared memory: %s\n",
                     writer ? writer->lastError().c_str() : "?");
        return 1;
    }
    Feed feed(*writer);

    Probe probe;
    jack_status_t status{};
    probe.client = jack_client_open("qv-latency-probe", JackNoStartServer, &status);
    if (!probe.client) {
        std::fprintf(stderr, "qv_latency_probe: no JACK server to connect to (status 0x%x)\n",
                     static_cast<unsigned>(status));
        return 1;
    }

    // The program opens its stream at start, before it finds the simulator.
    std::vector<std::string> programPorts;
    const int64_t portDeadline = monotonicUs() + options.waitSeconds * 1'000'000LL;
    while (gRunning.load() && (programPorts = outputPorts(probe.client, options.programPorts)).empty() &&
           monotonicUs() < portDeadline)
        feed.holdUntil(monotonicUs() + 100'000, [] { return false; });
    if (programPorts.empty()) {
        std::fprintf(stderr, "qv_latency_probe: no output port matches \"%s\" within %d s\n",
                     options.programPorts.c_str(), options.waitSeconds);
        jack_client_close(probe.client);
        return 1;
    }
    std::vector<std::string> sinkPorts;
    if (!options.sinkPorts.empty()) {
        sinkPorts = outputPorts(probe.client, options.sinkPorts);
        if (sinkPorts.empty()) {
            std::fprintf(stderr, "qv_latency_probe: no output port matches \"%s\"\n", options.sinkPorts.c_str());
            jack_client_close(probe.client);
            return 1;
        }
    }
    if (!attach(probe.client, probe.graph, programPorts, "graph_") ||
        !attach(probe.client, probe.sink, sinkPorts, "sink_") ||
        jack_set_process_callback(probe.client, process, &probe) != 0 || jack_activate(probe.client) != 0 ||
        !connectAll(probe.client, probe.graph, programPorts) || !connectAll(probe.client, probe.sink, sinkPorts)) {
        std::fprintf(stderr, "qv_latency_probe: cannot set up the JACK client\n");
        jack_client_close(probe.client);
        return 1;
    }

    std::mt19937 random(20240611);
    // Until the program has found the simulator and plays a pulse; its first
    // row only sets the gear it starts from.
    int number = 1;
    bool warm = false;
    const int64_t warmDeadline = monotonicUs() + options.waitSeconds * 1'000'000LL;
    while (gRunning.load() && !warm && monotonicUs() < warmDeadline)
        warm = runEvent(probe, feed, number++, random).graph;
    if (!warm) {
        std::fprintf(stderr, "qv_latency_probe: the program played no gear pulse within %d s\n", options.waitSeconds);
        jack_client_close(probe.client);
        return 1;
    }
    // Another quiet pulse, so the measurement starts on a settled program.
    runEvent(probe, feed, number++, random);

    std::printf("buffer %u %u\n", jack_get_buffer_size(probe.client), jack_get_sample_rate(probe.client));
    int heardCount = 0;
    for (int i = 1; i <= options.events && gRunning.load(); ++i) {
        const Heard heard = runEvent(probe, feed, number++, random);
        heardCount += heard.graph ? 1 : 0;
        std::printf("event %d graph %s sink %s\n", i, msText(heard.graph, heard.graphMs).c_str(),
                    probe.sink.portCount > 0 ? msText(heard.sink, heard.sinkMs).c_str() : "-");
        std::fflush(stdout);
    }
    jack_deactivate(probe.client);
    jack_client_close(probe.client);
    if (!gRunning.load()) {
        std::fprintf(stderr, "qv_latency_probe: stopped\n");
        return 1;
    }
    if (heardCount == 0) {
        std::fprintf(stderr, "qv_latency_probe: no event was heard\n");
        return 1;
    }
    std::printf("done\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: qv_latency_probe [--shm-dir DIR] [--program-ports REGEX] [--sink-ports REGEX]\n"
                     "                        [--events N] [--wait SECONDS]\n");
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    return run(options);
}
