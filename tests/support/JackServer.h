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
// Options::realtime asks for realtime scheduling where the process may have
// it: a server without keeps time only on an idle machine. Its dummy
// back-end starts counting afresh whenever a cycle comes late, so on a
// loaded machine (load 30-40 on 8 cores) a recording can hold a quarter to
// a third less time than passed on the clock, and the clients' cycles come
// late too.
// Not thread-safe: use one JackServer from one thread.

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WavFile.h"

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
        // Realtime scheduling (SCHED_FIFO) for the server's cycle and its
        // clients' process threads where this process may have it (a thread
        // of its own tries: root with CAP_SYS_NICE, or an RLIMIT_RTPRIO that
        // allows it); else the server runs without, as by default.
        bool realtime = false;
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
    // The server runs with realtime scheduling (asked for and available).
    bool isRealtime() const { return m_realtime; }
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
    bool m_realtime = false;
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

// jack_capture recording ports of a JACK server in the background into a WAV
// file (32-bit float, one channel per port, in order), from start() until
// stop() or for at most maxSeconds. A test waits on the recording itself, in
// frames recorded, rather than on the clock: jack_capture may take seconds to
// start on a loaded machine, and a server without realtime scheduling
// records less time than passes on the clock there.
//
//   JackRecording recording;
//   ASSERT_TRUE(recording.start(server, {"system:playback_1"}, 60, path)) << recording.error();
//   ASSERT_TRUE(recording.waitForFrames(48000)) << recording.error();   // one second recorded
//   ... play ...
//   ASSERT_TRUE(recording.waitForFrames(recording.framesWritten() + 24000)) << recording.error();
//   ASSERT_TRUE(recording.stop(wav)) << recording.error();
class JackRecording {
public:
    JackRecording() = default;
    ~JackRecording();  // ends a recording still running
    JackRecording(const JackRecording&) = delete;
    JackRecording& operator=(const JackRecording&) = delete;

    // False, with error() set, when jack_capture is missing or cannot start.
    bool start(const JackServer& server, const std::vector<std::string>& ports, int maxSeconds,
               const std::string& wavPath);
    // Frames in the file so far (its header counts as a frame or two): what
    // jack_capture has written, at most a moment behind what it recorded.
    size_t framesWritten() const;
    // Waits until the file holds `frames` frames. False, with error() set,
    // when the recording ends first or timeoutMs of real time pass.
    bool waitForFrames(size_t frames, int timeoutMs = 30000);
    // Ends the recording (jack_capture completes the file on SIGINT) and
    // reads it. False, with error() set, when jack_capture failed or its file
    // cannot be read.
    bool stop(WavData& wav);
    const std::string& error() const { return m_error; }

private:
    ChildProcess m_capture;
    std::string m_path;
    size_t m_bytesPerFrame = 4;
    int m_maxSeconds = 0;
    std::string m_error;
};

}  // namespace qv::test
