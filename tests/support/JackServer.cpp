#include "support/JackServer.h"

#include "platform/AudioLibraryMessages.h"

#include <jack/jack.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace qv::test {
namespace {

constexpr int kReadyTimeoutMs = 20000;

// A short-lived client of the server, for probing and wiring.
class ProbeClient {
public:
    explicit ProbeClient(const std::string& server) {
        quietAudioLibraryMessages();
        jack_status_t status{};
        const std::string clientName = "qvprobe" + std::to_string(::getpid());
        m_client = jack_client_open(clientName.c_str(),
                                    static_cast<jack_options_t>(JackNoStartServer | JackServerName | JackUseExactName),
                                    &status, server.c_str());
    }
    ~ProbeClient() {
        if (m_client != nullptr)
            jack_client_close(m_client);
    }
    ProbeClient(const ProbeClient&) = delete;
    ProbeClient& operator=(const ProbeClient&) = delete;

    jack_client_t* get() const { return m_client; }

    std::vector<std::string> ports(const std::string& pattern) const {
        std::vector<std::string> names;
        if (m_client == nullptr)
            return names;
        const char** found = jack_get_ports(m_client, pattern.c_str(), nullptr, 0);
        if (found == nullptr)
            return names;
        for (const char** p = found; *p != nullptr; ++p)
            names.emplace_back(*p);
        jack_free(found);
        return names;
    }

private:
    jack_client_t* m_client = nullptr;
};

// jackd keeps its sockets and semaphores in /dev/shm, named after the
// server; a killed server leaves them behind.
void removeServerFilesOf(const std::string& name) {
    const std::string socketPrefix = "jack_" + name + "_";
    const std::string semaphorePrefix = "jack_sem." + std::to_string(::getuid()) + "_" + name + "_";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(socketPrefix, 0) == 0 || file.rfind(semaphorePrefix, 0) == 0)
            std::filesystem::remove(entry.path(), ec);
    }
}

// A killed server stays registered, with its shared memory (some 100 MB),
// in the registry all JACK servers of a user share, which has room for
// eight. Only a server of the same name reclaims that: a short run of one
// does it. True when that run got ready (so the name was free).
bool reclaimKilledServer(const std::string& name, const std::string& logPath) {
    ChildProcess janitor;
    if (!janitor.start({findProgram("jackd"), "-r", "-n", name, "-p", "8", "-d", "dummy", "-P", "1", "-C", "1"},
                       {{"JACK_NO_AUDIO_RESERVATION", "1"}, {"DBUS_SESSION_BUS_ADDRESS", ""}}, logPath))
        return false;
    bool ready = false;
    for (int i = 0; i < 1000 && janitor.isRunning() && !ready; ++i) {
        ready = ProbeClient(name).get() != nullptr;
        if (!ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    janitor.signal(SIGTERM);
    if (!janitor.wait(10000))
        janitor.signal(SIGKILL);
    return ready;
}

// The servers of test processes that ended without cleaning up (a
// death-test child, a test killed on its timeout): their names carry the
// process id ("qvjack-PID-..."), and their files are still in /dev/shm.
std::vector<std::string> serversOfDeadProcesses() {
    std::vector<std::string> names;
    const std::string semaphorePrefix = "jack_sem." + std::to_string(::getuid()) + "_";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
        std::string file = entry.path().filename().string();
        if (file.rfind(semaphorePrefix, 0) == 0)
            file.erase(0, semaphorePrefix.size());
        else if (file.rfind("jack_", 0) == 0)
            file.erase(0, 5);
        else
            continue;
        const std::string name = file.substr(0, file.find('_'));
        if (name.rfind("qvjack-", 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + 7, nullptr, 10);
        if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) {
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        }
    }
    return names;
}

// Whether this process may make SCHED_FIFO threads at the server's priority
// (root with CAP_SYS_NICE, or a user whose RLIMIT_RTPRIO allows it): a
// thread of its own tries.
bool realtimeSchedulingAllowed(int priority) {
    bool allowed = false;
    std::thread probe([&] {
        sched_param param{};
        param.sched_priority = priority;
        allowed = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;
    });
    probe.join();
    return allowed;
}

}  // namespace

JackServer::JackServer() : m_name(uniqueName("qvjack")) {}

JackServer::~JackServer() {
    if (m_started && isRunning())
        stop();
    if (m_killed)
        reclaimKilledServer(m_name, m_dir.file("janitor.log"));
    removeServerFiles();
    restoreEnvironment();
}

void JackServer::killedElsewhere() { m_killed = true; }

bool JackServer::start() { return start(Options()); }

bool JackServer::start(const Options& options) {
    const std::string jackd = findProgram("jackd");
    if (jackd.empty()) {
        m_lastError = "jackd not found in PATH (Debian package jackd2)";
        return false;
    }
    for (const std::string& dead : serversOfDeadProcesses()) {
        if (reclaimKilledServer(dead, m_dir.file("janitor.log")))
            removeServerFilesOf(dead);
    }
    constexpr int kRealtimePriority = 70;
    m_realtime = options.realtime && realtimeSchedulingAllowed(kRealtimePriority);
    std::vector<std::string> argv = {jackd};
    if (m_realtime) {
        argv.push_back("-R");
        argv.push_back("-P");
        argv.push_back(std::to_string(kRealtimePriority));
    } else {
        argv.push_back("-r");
    }
    for (const std::string& arg : {std::string("-n"), m_name, std::string("-p"), std::to_string(options.maxPorts)})
        argv.push_back(arg);
    if (options.loopbackPorts > 0) {
        argv.push_back("-L");
        argv.push_back(std::to_string(options.loopbackPorts));
    }
    for (const std::string& arg : {std::string("-d"), std::string("dummy"), std::string("-r"),
                                   std::to_string(options.sampleRate), std::string("-p"),
                                   std::to_string(options.periodFrames), std::string("-P"),
                                   std::to_string(options.playbackPorts), std::string("-C"),
                                   std::to_string(options.capturePorts)})
        argv.push_back(arg);
    // No D-Bus session and no device reservation: the dummy back-end needs neither.
    const std::vector<std::pair<std::string, std::string>> env = {
        {"JACK_NO_AUDIO_RESERVATION", "1"}, {"DBUS_SESSION_BUS_ADDRESS", ""}, {"JACK_DEFAULT_SERVER", m_name}};
    if (!m_process.start(argv, env, m_dir.file("jackd.log"))) {
        m_lastError = "could not start " + jackd;
        return false;
    }
    m_started = true;

    if (!m_hadDefaultServer) {
        const char* previous = std::getenv("JACK_DEFAULT_SERVER");
        m_hadDefaultServer = previous != nullptr;
        m_savedDefaultServer = previous ? previous : "";
    }
    ::setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!m_process.isRunning()) {
            m_lastError = "jackd exited with code " + std::to_string(m_process.exitCode()) + ": " + log();
            return false;
        }
        {
            ProbeClient probe(m_name);
            if (probe.get() != nullptr &&
                static_cast<int>(probe.ports("^system:playback_").size()) == options.playbackPorts &&
                static_cast<int>(probe.ports("^system:capture_").size()) == options.capturePorts)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_lastError = "jackd did not get ready within 20 s: " + log();
    return false;
}

bool JackServer::isRunning() { return m_process.isRunning(); }

void JackServer::pause() { m_process.signal(SIGSTOP); }

void JackServer::resume() { m_process.signal(SIGCONT); }

void JackServer::kill() {
    m_killed = true;
    m_process.signal(SIGKILL);
    m_process.wait(10000);
}

void JackServer::stop(int timeoutMs) {
    if (!m_process.isRunning())
        return;
    m_process.signal(SIGCONT);
    m_process.signal(SIGTERM);
    if (!m_process.wait(timeoutMs)) {
        m_process.signal(SIGKILL);
        m_process.wait(10000);
    }
    removeServerFiles();
}

bool JackServer::connect(const std::string& source, const std::string& destination) {
    ProbeClient probe(m_name);
    if (probe.get() == nullptr) {
        m_lastError = "cannot reach JACK server " + m_name;
        return false;
    }
    const int rc = jack_connect(probe.get(), source.c_str(), destination.c_str());
    if (rc != 0 && rc != EEXIST) {
        m_lastError = "jack_connect " + source + " -> " + destination + " failed (" + std::to_string(rc) + ")";
        return false;
    }
    return true;
}

std::vector<std::string> JackServer::ports(const std::string& pattern) {
    ProbeClient probe(m_name);
    return probe.ports(pattern);
}

std::string JackServer::log() const { return readFile(m_dir.file("jackd.log")) + readFile(m_dir.file("jackd.log.err")); }

void JackServer::removeServerFiles() { removeServerFilesOf(m_name); }

void JackServer::restoreEnvironment() {
    if (!m_started)
        return;
    if (m_hadDefaultServer)
        ::setenv("JACK_DEFAULT_SERVER", m_savedDefaultServer.c_str(), 1);
    else
        ::unsetenv("JACK_DEFAULT_SERVER");
}

bool jackCapture(const JackServer& server, const std::vector<std::string>& ports, int seconds,
                 const std::string& wavPath, std::string* error) {
    return jackCapture({{"JACK_DEFAULT_SERVER", server.name()}}, ports, seconds, wavPath, error);
}

bool jackCapture(const std::vector<std::pair<std::string, std::string>>& environment,
                 const std::vector<std::string>& ports, int seconds, const std::string& wavPath, std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    const std::string program = findProgram("jack_capture");
    if (program.empty())
        return fail("jack_capture not found in PATH (Debian package jack-capture)");
    std::vector<std::string> argv = {program, "--daemon", "--disable-console", "-d", std::to_string(seconds),
                                     "-c", std::to_string(ports.size()), "-b", "FLOAT"};
    for (const std::string& port : ports) {
        argv.push_back("-p");
        argv.push_back(port);
    }
    argv.push_back(wavPath);
    ChildProcess capture;
    const std::string outputPath = wavPath + ".log";
    if (!capture.start(argv, environment, outputPath))
        return fail("could not start " + program);
    if (!capture.wait((seconds + 30) * 1000)) {
        capture.signal(SIGKILL);
        capture.wait(5000);
        return fail("jack_capture did not finish: " + capture.output() + capture.errors());
    }
    if (capture.exitCode() != 0)
        return fail("jack_capture exited with " + std::to_string(capture.exitCode()) + ": " + capture.output() +
                    capture.errors());
    std::error_code ec;
    if (std::filesystem::file_size(wavPath, ec) == 0 || ec)
        return fail("jack_capture wrote no file: " + capture.output() + capture.errors());
    return true;
}

JackRecording::~JackRecording() {
    if (m_capture.isRunning()) {
        m_capture.signal(SIGKILL);
        m_capture.wait(5000);
    }
}

bool JackRecording::start(const JackServer& server, const std::vector<std::string>& ports, int maxSeconds,
                          const std::string& wavPath) {
    const std::string program = findProgram("jack_capture");
    if (program.empty()) {
        m_error = "jack_capture not found in PATH (Debian package jack-capture)";
        return false;
    }
    std::vector<std::string> argv = {program, "--daemon", "--disable-console", "-d", std::to_string(maxSeconds),
                                     "-c", std::to_string(ports.size()), "-b", "FLOAT"};
    for (const std::string& port : ports) {
        argv.push_back("-p");
        argv.push_back(port);
    }
    argv.push_back(wavPath);
    m_path = wavPath;
    m_bytesPerFrame = 4 * std::max<size_t>(ports.size(), 1);
    m_maxSeconds = maxSeconds;
    if (!m_capture.start(argv, {{"JACK_DEFAULT_SERVER", server.name()}}, wavPath + ".log")) {
        m_error = "could not start " + program;
        return false;
    }
    return true;
}

size_t JackRecording::framesWritten() const {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(m_path, ec);
    return ec ? 0 : static_cast<size_t>(bytes) / m_bytesPerFrame;
}

bool JackRecording::waitForFrames(size_t frames, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (framesWritten() < frames) {
        if (!m_capture.isRunning()) {
            m_error = "jack_capture ended after " + std::to_string(framesWritten()) + " of " +
                      std::to_string(frames) + " frames: " + m_capture.output() + m_capture.errors();
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            m_error = "the recording held " + std::to_string(framesWritten()) + " of " + std::to_string(frames) +
                      " frames after " + std::to_string(timeoutMs) + " ms";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool JackRecording::stop(WavData& wav) {
    m_capture.signal(SIGINT);
    if (!m_capture.wait((m_maxSeconds + 30) * 1000)) {
        m_capture.signal(SIGKILL);
        m_capture.wait(5000);
        m_error = "jack_capture did not finish: " + m_capture.output() + m_capture.errors();
        return false;
    }
    if (m_capture.exitCode() != 0) {
        m_error = "jack_capture exited with " + std::to_string(m_capture.exitCode()) + ": " + m_capture.output() +
                  m_capture.errors();
        return false;
    }
    return readWav(m_path, wav, &m_error);
}

}  // namespace qv::test
