#pragma once
// A private JACK server for tests that play real audio: jackd with the dummy
// back-end (paced in real time by the system clock, no sound card needed),
// under a name no other test or program uses.
//
//   JackServer server;                           // picks a unique name, runs nothing
//   ASSERT_TRUE(server.start()) << server.lastError();
//   // From here on JACK clients of this process (PortAudio's JACK host API,
//   // jack_capture started as a child) reach this server: start() exported
//   // JACK_DEFAULT_SERVER=<name>. Initialise PortAudio only after start().
//   server.pause();  server.resume();            // SIGSTOP / SIGCONT: callbacks stop, then go on
//   server.kill();                               // SIGKILL: the server dies under its clients
//   // The destructor stops a running server, removes the files it left in
//   // /dev/shm (after a kill, by a short second run of jackd that reclaims
//   // the dead server's shared memory) and restores JACK_DEFAULT_SERVER.
//   // start() first reclaims the servers of test processes that died
//   // without this clean-up.
//
// Defaults: 48000 Hz, 256-frame periods, "system" with 8 playback and 8
// capture ports (the PortAudio device "system" has 8 outputs and 8 inputs).
// Options::loopbackPorts adds jackd's loopback client: what is played into
// "loopback:playback_N" comes back out of "loopback:capture_N" one period
// later (for latency tests; wire it with connect()).
//
// jackd runs without realtime scheduling (-r), so it works as root in CI and
// in containers without realtime privileges, and without a D-Bus session
// (device reservation is switched off). Its output goes to log().
// Not thread-safe: use one JackServer from one thread.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <string>
#include <vector>

namespace qv::test {

class JackServer {
public:
    struct Options {
        int sampleRate = 48000;
        int periodFrames = 256;
        int playbackPorts = 8;
        int capturePorts = 8;
        int loopbackPorts = 0;
        int maxPorts = 64;  // jackd's port table; its shared memory (~40 MB) grows with it
    };

    JackServer();
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Starts jackd and waits (up to 20 s) until a client can connect and the
    // ports exist; exports JACK_DEFAULT_SERVER. False, with lastError() and
    // log() saying why, when jackd is missing, exits or never gets ready.
    bool start();
    bool start(const Options& options);

    const std::string& name() const { return m_name; }
    bool isRunning();
    // SIGSTOP and SIGCONT: a paused server makes no process cycles.
    void pause();
    void resume();
    // SIGKILL, as if the server crashed; waits until the process is gone.
    void kill();
    // This server's name was started and killed in another process (a
    // death-test child forked from this one): cleans up as after kill().
    void killedElsewhere();
    // SIGTERM (after SIGCONT), SIGKILL when it has not ended after timeoutMs.
    void stop(int timeoutMs = 10000);

    // Connects an output port to an input port of this server.
    bool connect(const std::string& source, const std::string& destination);
    // Full names of the ports whose names match the regular expression.
    std::vector<std::string> ports(const std::string& pattern);

    std::string log() const;
    const std::string& lastError() const { return m_lastError; }

private:
    void removeServerFiles();
    void restoreEnvironment();

    std::string m_name;
    TempDir m_dir;
    ChildProcess m_process;
    bool m_started = false;
    bool m_killed = false;
    bool m_hadDefaultServer = false;
    std::string m_savedDefaultServer;
    std::string m_lastError;
};

// Records ports of a JACK server into a WAV file with jack_capture (32-bit
// float, one channel per port, in order) for `seconds` of real time. False,
// with error set, when jack_capture is missing, fails or writes nothing.
bool jackCapture(const JackServer& server, const std::vector<std::string>& ports, int seconds,
                 const std::string& wavPath, std::string* error);
// The same for the JACK server that `environment` names (a PipeWire server's
// clientEnvironment(), say).
bool jackCapture(const std::vector<std::pair<std::string, std::string>>& environment,
                 const std::vector<std::string>& ports, int seconds, const std::string& wavPath, std::string* error);

}  // namespace qv::test
