// First start on a desktop, end to end: quorvane with no audio device
// configured, on a private X server and a private JACK server. The device
// wizard opens by itself; clicks sent through the X server pick the JACK
// device, hold a channel button (jack_capture records the tone on that
// channel) and apply; haptic_config.ini names the device afterwards.

#include "audio/SignalAnalysis.h"
#include "support/ChildProcess.h"
#include "support/JackServer.h"
#include "support/TempDir.h"
#include "support/WavFile.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

namespace qv::test {
namespace {

constexpr int kPatienceMs = 60000;  // bounds a failing run; nothing here is timed

bool waitFor(const std::function<bool()>& condition, int timeoutMs = kPatienceMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The top-level window whose title is `title`, searched depth first.
Window findWindow(Display* display, Window window, const char* title) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        const bool match = std::strcmp(name, title) == 0;
        XFree(name);
        if (match)
            return window;
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
        found = findWindow(display, children[i], title);
    if (children)
        XFree(children);
    return found;
}

// Mouse input through the X server at positions of the wizard's 560 x 570
// layout (96-dpi units), scaled to the window's real client size.
struct Pointer {
    Display* display = nullptr;
    Window window = 0;
    int originX = 0, originY = 0;
    double scale = 1.0;

    bool locate() {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, window, &attributes) || attributes.width <= 0)
            return false;
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &originX, &originY, &child);
        scale = attributes.width / 560.0;
        return true;
    }
    void moveTo(double x, double y) {
        XTestFakeMotionEvent(display, -1, originX + static_cast<int>(x * scale), originY + static_cast<int>(y * scale),
                             0);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    void button(bool down) {
        XTestFakeButtonEvent(display, 1, down ? True : False, 0);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    void click(double x, double y) {
        moveTo(x, y);
        button(true);
        button(false);
    }
};

TEST(WizardProgramJack, AFirstStartOpensTheWizardAndTheUserGetsAWorkingShakerWithoutEditingAFile) {
    JackServer jack;
    JackServer::Options jackOptions;
    jackOptions.realtime = true;  // the synthesis' cycles on time beside a loaded machine's other work
    ASSERT_TRUE(jack.start(jackOptions)) << jack.lastError();
    XvfbServer x;
    ASSERT_TRUE(x.start("1920x1200x24")) << x.error();  // room for the window and the wizard
    TempDir home;
    const std::string folder = home.path() + "config/QuorVane/";
    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH},
                              {{"XDG_CONFIG_HOME", home.path() + "config"},
                               {"HOME", home.path()},
                               {"QUORVANE_SHM_DIR", home.path() + "shm"},
                               {"JACK_DEFAULT_SERVER", jack.name()},
                               {"DISPLAY", x.display()}},
                              home.file("out.txt")));
    const auto wizardLog = [&] { return readFile(folder + "wizard_log.txt"); };
    const auto diagnostics = [&] { return program.output() + program.errors() + wizardLog(); };

    Display* display = XOpenDisplay(x.display().c_str());
    ASSERT_NE(display, nullptr);
    Pointer pointer;
    pointer.display = display;
    ASSERT_TRUE(waitFor([&] {
        pointer.window = findWindow(display, DefaultRootWindow(display), "Device Setup");
        return pointer.window != 0 && pointer.locate();
    })) << "the wizard did not open by itself\n"
        << diagnostics();
    ASSERT_TRUE(waitFor([&] { return wizardLog().find("Matched: deviceIdx=0") != std::string::npos; }))
        << diagnostics();
    // The audio host's own PortAudio list reached the log, the JACK server's
    // entry with its sample rate.
    EXPECT_NE(wizardLog().find("--- Raw PortAudio enumeration: "), std::string::npos);
    EXPECT_NE(wizardLog().find("api=JACK Audio Connection Kit(12)  outCh="), std::string::npos) << wizardLog();
    EXPECT_NE(wizardLog().find("--- End raw enumeration ---"), std::string::npos);
    // The JACK server's device is listed first and selected; Next twice puts
    // it into use.
    const double footerY = 570 - 28, nextX = 560 - 74;
    pointer.click(nextX, footerY);
    ASSERT_TRUE(waitFor([&] { return wizardLog().find("Nav: Next (step 0 -> 1)") != std::string::npos; }))
        << "window at " << pointer.originX << ", " << pointer.originY << " scale " << pointer.scale << "\n"
        << diagnostics();
    pointer.click(nextX, footerY);
    ASSERT_TRUE(waitFor([&] { return wizardLog().find("Audio restart finished: running") != std::string::npos; }))
        << diagnostics();
    EXPECT_NE(wizardLog().find("previewApply: dev1 paIdx="), std::string::npos);

    // Hold channel 3's button while jack_capture records, for 1.5 s of the
    // recording (time on the clock is no measure of the recording's on a
    // loaded machine): pressed once the recording runs, released 1.5 s of
    // recording after the wizard took the press, the tail recorded after the
    // wizard took the release.
    constexpr size_t kServerRate = 48000;  // JackServer's default
    WavData wav;
    JackRecording recording;
    ASSERT_TRUE(recording.start(jack, {"system:playback_1", "system:playback_2", "system:playback_3",
                                       "system:playback_4"},
                                kPatienceMs / 1000, home.file("capture.wav")))
        << recording.error();
    ASSERT_TRUE(recording.waitForFrames(kServerRate / 2, kPatienceMs)) << recording.error();
    pointer.moveTo(24 + 2 * 40 + 18, 128 + 76 + 12);
    pointer.button(true);
    ASSERT_TRUE(waitFor([&] { return wizardLog().find("Step3: test ch 3 on device 0") != std::string::npos; }))
        << diagnostics();
    ASSERT_TRUE(recording.waitForFrames(recording.framesWritten() + 3 * kServerRate / 2, kPatienceMs))
        << recording.error();
    pointer.button(false);
    ASSERT_TRUE(waitFor([&] { return wizardLog().find("Step3: test tone STOP") != std::string::npos; }))
        << diagnostics();
    ASSERT_TRUE(recording.waitForFrames(recording.framesWritten() + kServerRate / 2, kPatienceMs))
        << recording.error();
    ASSERT_TRUE(recording.stop(wav)) << recording.error();
    pointer.click(nextX, footerY);  // Apply
    ASSERT_TRUE(waitFor([&] {
        const std::string ini = readFile(folder + "haptic_config.ini");
        return ini.find("name=system") != std::string::npos;
    })) << readFile(folder + "haptic_config.ini")
        << diagnostics();
    EXPECT_NE(wizardLog().find("Wizard exited. applied=true"), std::string::npos);
    XCloseDisplay(display);
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kPatienceMs));
    EXPECT_EQ(program.exitCode(), 0) << diagnostics();
    const std::string ini = readFile(folder + "haptic_config.ini");
    EXPECT_NE(ini.find("api=JACK"), std::string::npos) << ini;
    EXPECT_NE(ini.find("audioDeviceIndex=-1"), ini.find("audioDeviceIndex=")) << ini;

    // The tone: 60 Hz on the third output only, at the test gain (0.7 of the
    // full 0.85), for about 500 ms.
    ASSERT_EQ(wav.channels.size(), 4u);
    const double rate = wav.sampleRate;
    const size_t window = static_cast<size_t>(rate / 10);  // six periods
    int toneWindows = 0;
    double strongest = 0.0;
    for (size_t begin = 0; begin + window <= wav.frames(); begin += window) {
        const double level = toneAmplitude(wav.channels[2], 60.0, rate, begin, begin + window);
        strongest = std::max(strongest, level);
        if (level > 0.3)
            ++toneWindows;
        for (int other : {0, 1, 3})
            EXPECT_LT(toneAmplitude(wav.channels[static_cast<size_t>(other)], 60.0, rate, begin, begin + window), 0.05)
                << "channel " << other << " at " << begin;
    }
    EXPECT_NEAR(strongest, 0.85 * 0.7, 0.08);
    EXPECT_GE(toneWindows, 3);
    // 500 ms of the synthesis' samples (five windows, or four and the larger
    // part of two), not the 1.5 s of recording the button was held (15).
    EXPECT_LE(toneWindows, 7);
}

}  // namespace
}  // namespace qv::test
