// quorvane starting while its audio cannot answer: the JACK server stopped
// (SIGSTOP) before the start, or an audio host that never answers (a
// stand-in qv-audiohost beside a link to quorvane). The window comes up on a
// private X server while the audio start still waits, Ctrl+C ends the
// program at once, and a server that resumes gets the shakers back without a
// restart (jack_capture hears them).

#include "audio/SignalAnalysis.h"
#include "support/ChildProcess.h"
#include "support/FeedOnJack.h"
#include "support/JackServer.h"
#include "support/TempDir.h"
#include "support/WavFile.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

namespace qv::test {
namespace {

constexpr int kPatienceMs = 60000;  // bounds a failing run
// The fault this guards held the exit up for the audio start, 4 to 8 s; the
// fixed program ends in well under a second, a few hundred ms more on a busy
// machine, so 2.5 s tells the two apart with room on both sides.
constexpr auto kCtrlCBound = std::chrono::milliseconds(2500);

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool waitFor(const std::function<bool()>& condition, int timeoutMs = kPatienceMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// True when a window whose title starts with `prefix` is mapped and viewable.
bool isWindowViewable(Display* display, Window window, const char* prefix) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        const bool match = std::strncmp(name, prefix, std::strlen(prefix)) == 0;
        XFree(name);
        XWindowAttributes attributes{};
        if (match && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
            return true;
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i)
        found = isWindowViewable(display, children[i], prefix);
    if (children)
        XFree(children);
    return found;
}

using Environment = std::vector<std::pair<std::string, std::string>>;

// quorvane with folders of its own (the JACK device "system" configured),
// on a display when one is given.
class Program {
public:
    explicit Program(std::string path = QV_QUORVANE_PATH) : m_path(std::move(path)) {}
    ~Program() { m_process.signal(SIGKILL); }

    ::testing::AssertionResult start(Environment env) {
        // The exit is timed: the sanitizer's leak scan at exit (a few hundred
        // ms under load) is not the program's and is left out here; every
        // other program test keeps it.
        if (const char* asan = std::getenv("ASAN_OPTIONS"))
            env.emplace_back("ASAN_OPTIONS", std::string(asan) + ":detect_leaks=0");
        if (!writeJackConfig(m_config.path(), 0))
            return ::testing::AssertionFailure() << "could not write haptic_config.ini";
        env.emplace_back("XDG_CONFIG_HOME", m_config.path());
        env.emplace_back("HOME", m_config.path());
        env.emplace_back("QUORVANE_SHM_DIR", m_shm.path());
        if (!m_process.start({m_path}, env, m_config.file("quorvane.out")))
            return ::testing::AssertionFailure() << "could not start " << m_path;
        return ::testing::AssertionSuccess();
    }

    // SIGINT, and how long the program took to end after it.
    std::chrono::milliseconds interrupt() {
        const auto sent = std::chrono::steady_clock::now();
        m_process.signal(SIGINT);
        const bool ended = m_process.wait(kPatienceMs);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
        EXPECT_TRUE(ended) << diagnostics();
        std::printf("  quorvane ended %lld ms after Ctrl+C\n", static_cast<long long>(took.count()));
        return took;
    }

    std::string diagnostics() const { return m_process.output() + m_process.errors() + watchdog(); }
    std::string watchdog() const { return readFile(m_config.path() + "QuorVane/watchdog.log"); }
    const std::string& shmFolder() const { return m_shm.path(); }
    ChildProcess& process() { return m_process; }

private:
    std::string m_path;
    TempDir m_config;
    TempDir m_shm;
    ChildProcess m_process;
};

// Whether the console has said how the audio start ended (it failed: the
// server or the host did not answer).
bool audioStartEnded(const Program& program) {
    const std::string text = program.diagnostics();
    return contains(text, "Audio init failed") || contains(text, "has not returned") ||
           contains(text, "not responding");
}

// Starts `program` on the X server `x`; true once its main window is
// viewable while the audio start has not ended yet.
::testing::AssertionResult windowComesUpWhileAudioWaits(Program& program, XvfbServer& x, Environment env) {
    env.emplace_back("DISPLAY", x.display());
    const auto started = std::chrono::steady_clock::now();
    if (auto result = program.start(env); !result)
        return result;
    Display* display = XOpenDisplay(x.display().c_str());
    if (!display)
        return ::testing::AssertionFailure() << "cannot open " << x.display();
    const bool shown =
        waitFor([&] { return isWindowViewable(display, DefaultRootWindow(display), "Quor Vane") || audioStartEnded(program); });
    const bool viewable = isWindowViewable(display, DefaultRootWindow(display), "Quor Vane");
    XCloseDisplay(display);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    if (!shown || !viewable)
        return ::testing::AssertionFailure() << "no window before the audio start ended:\n" << program.diagnostics();
    if (audioStartEnded(program))
        return ::testing::AssertionFailure() << "the audio start ended before the window was seen:\n"
                                             << program.diagnostics();
    std::printf("  the window was up %lld ms after the start, the audio still waiting\n", static_cast<long long>(took));
    return ::testing::AssertionSuccess();
}

TEST(StartUpProgramJack, AStoppedServerHoldsUpNeitherTheWindowNorCtrlC) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    server.pause();
    XvfbServer x;
    ASSERT_TRUE(x.start("1600x1000x24")) << x.error();
    Program program;
    EXPECT_TRUE(windowComesUpWhileAudioWaits(program, x, {{"JACK_DEFAULT_SERVER", server.name()}}));
    EXPECT_LT(program.interrupt(), kCtrlCBound) << program.diagnostics();
    EXPECT_EQ(program.process().exitCode(), 0) << program.diagnostics();
    server.resume();
}

// A folder holding a link to quorvane and, as its audio host, a program that
// never answers (it keeps the channel open and says nothing).
class SilentHostFolder {
public:
    SilentHostFolder() {
        std::error_code error;
        std::filesystem::create_hard_link(QV_QUORVANE_PATH, program(), error);
        if (error)
            std::filesystem::copy_file(QV_QUORVANE_PATH, program(), error);
        m_ok = !error && writeFile(m_dir.file("qv-audiohost"), "#!/bin/sh\nexec sleep 600\n") &&
               ::chmod(m_dir.file("qv-audiohost").c_str(), 0755) == 0;
    }
    bool ok() const { return m_ok; }
    std::string program() const { return m_dir.file("quorvane"); }

private:
    TempDir m_dir;
    bool m_ok = false;
};

TEST(StartUpProgramJack, AnAudioHostThatNeverAnswersHoldsUpNeitherTheWindowNorCtrlC) {
    SilentHostFolder folder;
    ASSERT_TRUE(folder.ok());
    XvfbServer x;
    ASSERT_TRUE(x.start("1600x1000x24")) << x.error();
    Program program(folder.program());
    EXPECT_TRUE(windowComesUpWhileAudioWaits(program, x, {}));
    EXPECT_LT(program.interrupt(), kCtrlCBound) << program.diagnostics();
    EXPECT_EQ(program.process().exitCode(), 0) << program.diagnostics();
}

TEST(StartUpProgramJack, AServerThatHungAtStartUpAndResumesGetsTheShakersBack) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    server.pause();
    Program program;
    ASSERT_TRUE(program.start({{"JACK_DEFAULT_SERVER", server.name()}}));
    // A simulator to connect to: the stale check runs in connected passes.
    ChildProcess feed;
    ASSERT_TRUE(feed.start({QV_SIMFEED_PATH, "--sim", "iracing", "--script", "cruise", "--duration", "120", "--shm-dir",
                            program.shmFolder()},
                           {}, program.shmFolder() + "feed.out"));
    std::this_thread::sleep_for(std::chrono::seconds(7));
    ASSERT_TRUE(program.process().isRunning()) << program.diagnostics();
    server.resume();
    const auto resumed = std::chrono::steady_clock::now();

    ASSERT_TRUE(waitFor([&] { return contains(program.watchdog(), "RECOVERED successfully"); }))
        << program.diagnostics();
    std::printf("  audio back %lld ms after the server resumed\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - resumed)
                                           .count()));
    const std::string log = program.watchdog();
    EXPECT_TRUE(contains(log, "Audio system not responding at start-up, entering recovery mode")) << log;
    EXPECT_FALSE(contains(log, "GAVE UP")) << log;
    WavData wav;
    std::string error;
    const std::string path = program.shmFolder() + "after.wav";
    ASSERT_TRUE(jackCapture(server, {"system:playback_1"}, 2, path, &error) && readWav(path, wav, &error)) << error;
    const double engineHz = 5000.0 / 3000.0 * 75.0;  // the cruise script's engine tone
    EXPECT_GT(toneAmplitude(wav.channels.at(0), engineHz, wav.sampleRate, 0, wav.frames()), 0.002)
        << program.diagnostics();
    feed.signal(SIGKILL);
    program.interrupt();
    EXPECT_EQ(program.process().exitCode(), 0) << program.diagnostics();
}

}  // namespace
}  // namespace qv::test
