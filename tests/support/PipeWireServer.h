#pragma once
// A private PipeWire server for tests, without a desktop session: no D-Bus,
// no session manager, its socket in a runtime folder of its own. Its graph
// is a dummy driver and an 8-channel null sink named "system", whose ports
// are set up by the server itself (adapter.auto-port-config), so that
// PipeWire's JACK library shows them as "system:playback_FL" .. "_SR" (the
// PortAudio JACK device "system" with 8 outputs) and "system:monitor_FL" ..
// (what was played, for recording).
//
//   PipeWireServer server;
//   if (!server.isAvailable()) GTEST_SKIP() << server.lastError();
//   ASSERT_TRUE(server.start()) << server.lastError();
//   child.start(argv, server.clientEnvironment(), ...);  // a JACK client of this server
//   server.kill(); server.start();                       // the same name again
//
// Clients reach it through PipeWire's libjack (LD_LIBRARY_PATH, as pw-jack
// does), so only children started with clientEnvironment() see it; nothing
// on the machine changes. Not thread-safe.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <string>
#include <utility>
#include <vector>

namespace qv::test {

// The graph's clock: a fixed quantum of 256 frames, or a desktop's (1024
// frames unless a client asks for less, 32 to 2048).
enum class PipeWireClock { Fixed256, Desktop };

class PipeWireServer {
public:
    explicit PipeWireServer(PipeWireClock clock = PipeWireClock::Fixed256);
    ~PipeWireServer();
    PipeWireServer(const PipeWireServer&) = delete;
    PipeWireServer& operator=(const PipeWireServer&) = delete;

    // pipewire and PipeWire's JACK library are installed (Debian packages
    // pipewire and pipewire-jack); lastError() says what is missing.
    bool isAvailable();
    // Starts the server and waits (up to 20 s) until its sink's ports exist.
    bool start();
    void kill();
    void pause();
    void resume();
    void stop();

    const std::string& name() const { return m_name; }
    // A JACK client of this server through PipeWire's libjack.
    std::vector<std::pair<std::string, std::string>> clientEnvironment() const;
    // A program that finds this server as it finds a desktop's: its runtime
    // folder and remote name only, no JACK library path, and a JACK server
    // name that no server has.
    std::vector<std::pair<std::string, std::string>> programEnvironment() const;
    // Forces the graph's quantum (the "settings" metadata's
    // clock.force-quantum; 0 lets it go) and waits (up to 10 s) until a JACK
    // client sees that buffer size.
    bool forceQuantum(int frames);
    // The graph's quantum as a JACK client sees it (jack_bufsize); 0 when
    // it cannot be read.
    int quantum();
    // Removes the sink (as an unplugged interface goes) and waits until its
    // ports are gone; createSink puts it back and waits for its ports.
    bool destroySink();
    bool createSink();
    std::string log() const;
    const std::string& lastError() const { return m_lastError; }

private:
    std::string m_name;
    PipeWireClock m_clock;
    TempDir m_dir;
    ChildProcess m_process;
    std::string m_lastError;
};

}  // namespace qv::test
