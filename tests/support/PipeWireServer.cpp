#include "support/PipeWireServer.h"

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <filesystem>
#include <thread>

namespace qv::test {
namespace {

// Where Debian's pipewire-jack puts PipeWire's libjack (pw-jack uses it).
constexpr const char* kPipeWireJackLibraries = "/usr/lib/x86_64-linux-gnu/pipewire-0.3/jack";
constexpr int kReadyTimeoutMs = 20000;

// The sink's properties, for the configuration and for pw-cli.
constexpr const char* kSinkProperties =
    "factory.name = support.null-audio-sink\n"
    "        node.name = \"system\"\n"
    "        node.description = \"system\"\n"
    "        media.class = \"Audio/Sink\"\n"
    "        audio.rate = 48000\n"
    "        audio.channels = 8\n"
    "        audio.position = [ FL FR RL RR FC LFE SL SR ]\n"
    "        adapter.auto-port-config = { mode = dsp monitor = true position = preserve }\n"
    "        node.driver = true\n"
    "        priority.driver = 30000\n"
    "        object.linger = true\n";

std::string config(const std::string& name, PipeWireClock clock) {
    const bool desktop = clock == PipeWireClock::Desktop;
    return "context.properties = {\n"
           "    core.daemon = true\n"
           "    core.name = " + name + "\n"
           "    support.dbus = false\n"
           "    mem.allow-mlock = false\n"
           "    default.clock.rate = 48000\n"
           + std::string(desktop ? "    default.clock.quantum = 1024\n"
                                   "    default.clock.min-quantum = 32\n"
                                   "    default.clock.max-quantum = 2048\n"
                                 : "    default.clock.quantum = 256\n"
                                   "    default.clock.min-quantum = 256\n"
                                   "    default.clock.max-quantum = 256\n") +
           "}\n"
           "context.spa-libs = {\n"
           "    audio.convert.* = audioconvert/libspa-audioconvert\n"
           "    support.* = support/libspa-support\n"
           "}\n"
           "context.modules = [\n"
           "    { name = libpipewire-module-protocol-native }\n"
           "    { name = libpipewire-module-metadata }\n"
           "    { name = libpipewire-module-access }\n"
           "    { name = libpipewire-module-profiler }\n"
           "    { name = libpipewire-module-spa-node-factory }\n"
           "    { name = libpipewire-module-client-node }\n"
           "    { name = libpipewire-module-adapter }\n"
           "    { name = libpipewire-module-link-factory }\n"
           "]\n"
           "context.objects = [\n"
           "    { factory = spa-node-factory args = { factory.name = support.node.driver node.name = Dummy-Driver\n"
           "        priority.driver = 20000 } }\n"
           "    { factory = adapter args = {\n"
           "        " + kSinkProperties +
           "    } }\n"
           "]\n";
}

}  // namespace

PipeWireServer::PipeWireServer(PipeWireClock clock) : m_name(uniqueName("qvpw")), m_clock(clock) {
    std::filesystem::create_directories(m_dir.file("run"));
    std::filesystem::permissions(m_dir.file("run"), std::filesystem::perms::owner_all);
}

PipeWireServer::~PipeWireServer() { stop(); }

bool PipeWireServer::isAvailable() {
    if (findProgram("pipewire").empty()) {
        m_lastError = "pipewire not found in PATH (Debian package pipewire)";
        return false;
    }
    if (findProgram("jack_lsp").empty() || !std::filesystem::exists(std::string(kPipeWireJackLibraries) + "/libjack.so.0")) {
        m_lastError = "PipeWire's JACK library or jack_lsp is missing (Debian packages pipewire-jack, jackd2)";
        return false;
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> PipeWireServer::clientEnvironment() const {
    return {{"LD_LIBRARY_PATH", kPipeWireJackLibraries},
            {"XDG_RUNTIME_DIR", m_dir.file("run")},
            {"PIPEWIRE_REMOTE", m_name},
            {"JACK_DEFAULT_SERVER", m_name},
            {"DBUS_SESSION_BUS_ADDRESS", ""}};
}

std::vector<std::pair<std::string, std::string>> PipeWireServer::programEnvironment() const {
    return {{"XDG_RUNTIME_DIR", m_dir.file("run")},
            {"PIPEWIRE_REMOTE", m_name},
            {"JACK_DEFAULT_SERVER", m_name + "-nojack"},
            {"DBUS_SESSION_BUS_ADDRESS", ""}};
}

bool PipeWireServer::forceQuantum(int frames) {
    const std::string metadata = findProgram("pw-metadata");
    if (metadata.empty()) {
        m_lastError = "pw-metadata not found in PATH (Debian package pipewire-bin)";
        return false;
    }
    ChildProcess set;
    if (!set.start({metadata, "-n", "settings", "0", "clock.force-quantum", std::to_string(frames)},
                   clientEnvironment(), m_dir.file("metadata.log")) ||
        !set.wait(10000) || set.exitCode() != 0) {
        m_lastError = "pw-metadata failed: " + set.output() + set.errors();
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(10000);
    std::string seen;
    while (std::chrono::steady_clock::now() < deadline) {
        ChildProcess probe;
        if (probe.start({findProgram("jack_bufsize")}, clientEnvironment(), m_dir.file("bufsize.log")) &&
            probe.wait(5000)) {
            seen = probe.output();
            if (frames == 0 || seen.rfind(std::to_string(frames) + "\n", 0) == 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_lastError = "the quantum did not become " + std::to_string(frames) + " (jack_bufsize: " + seen + ")";
    return false;
}

bool PipeWireServer::start() {
    const std::string pipewire = findProgram("pipewire");
    if (!writeFile(m_dir.file("pipewire.conf"), config(m_name, m_clock))) {
        m_lastError = "could not write pipewire.conf";
        return false;
    }
    if (!m_process.start({pipewire, "-c", m_dir.file("pipewire.conf")},
                         {{"XDG_RUNTIME_DIR", m_dir.file("run")}, {"DBUS_SESSION_BUS_ADDRESS", ""}, {"PIPEWIRE_DEBUG", "2"}},
                         m_dir.file("pipewire.log"))) {
        m_lastError = "could not start " + pipewire;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!m_process.isRunning()) {
            m_lastError = "pipewire exited with code " + std::to_string(m_process.exitCode()) + ": " + log();
            return false;
        }
        ChildProcess probe;
        if (probe.start({findProgram("jack_lsp")}, clientEnvironment(), m_dir.file("probe.log")) && probe.wait(5000) &&
            probe.output().find("system:playback_SR") != std::string::npos &&
            probe.output().find("system:monitor_FL") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_lastError = "the PipeWire server did not get ready within 20 s: " + log();
    return false;
}

int PipeWireServer::quantum() {
    ChildProcess probe;
    if (!probe.start({findProgram("jack_bufsize")}, clientEnvironment(), m_dir.file("bufsize.log")) || !probe.wait(5000))
        return 0;
    return std::atoi(probe.output().c_str());
}

namespace {

bool sinkPortsShown(const std::vector<std::pair<std::string, std::string>>& env, const std::string& logPath) {
    ChildProcess probe;
    return probe.start({findProgram("jack_lsp")}, env, logPath) && probe.wait(5000) &&
           probe.output().find("system:playback_FL") != std::string::npos;
}

}  // namespace

bool PipeWireServer::destroySink() {
    ChildProcess cli;
    if (!cli.start({findProgram("pw-cli"), "destroy", "system"}, clientEnvironment(), m_dir.file("destroy.log")) ||
        !cli.wait(10000) || cli.exitCode() != 0) {
        m_lastError = "pw-cli destroy failed: " + cli.output() + cli.errors();
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(10000);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!sinkPortsShown(clientEnvironment(), m_dir.file("probe.log")))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_lastError = "the sink's ports are still there";
    return false;
}

bool PipeWireServer::createSink() {
    ChildProcess cli;
    if (!cli.start({findProgram("pw-cli"), "create-node", "adapter", std::string("{ ") + kSinkProperties + " }"},
                   clientEnvironment(), m_dir.file("create.log")) ||
        !cli.wait(10000) || cli.exitCode() != 0) {
        m_lastError = "pw-cli create-node failed: " + cli.output() + cli.errors();
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(10000);
    while (std::chrono::steady_clock::now() < deadline) {
        if (sinkPortsShown(clientEnvironment(), m_dir.file("probe.log")))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_lastError = "the sink's ports did not come back";
    return false;
}

void PipeWireServer::kill() {
    m_process.signal(SIGKILL);
    m_process.wait(10000);
}

void PipeWireServer::pause() { m_process.signal(SIGSTOP); }

void PipeWireServer::resume() { m_process.signal(SIGCONT); }

void PipeWireServer::stop() {
    if (!m_process.isRunning())
        return;
    m_process.signal(SIGCONT);
    m_process.signal(SIGTERM);
    if (!m_process.wait(10000)) {
        m_process.signal(SIGKILL);
        m_process.wait(10000);
    }
}

std::string PipeWireServer::log() const {
    return readFile(m_dir.file("pipewire.log")) + readFile(m_dir.file("pipewire.log.err"));
}

}  // namespace qv::test
