// The texts of the header strip and the status bar.

#include "ui/panels/StripText.h"

#include "settings/HapticSettings.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace qv {
namespace {

StripStatus streaming(const char* name, const char* api, float latency) {
    StripStatus status;
    status.audioReady = 1;
    status.streamCount = 1;
    copyText(status.firstStream.deviceName, name);
    copyText(status.firstStream.hostApi, api);
    status.firstStream.latencyMs = latency;
    return status;
}

TEST(StripText, DeviceNamesLongerThanThirteenCharactersKeepTwelveAndAPoint) {
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {
        {"Speakers (Realtek High Definition Audio)", "Speakers (Re."},
        {"Thirteen char", "Thirteen char"},
        {"Fourteen chars", "Fourteen cha."},
        {"USB", "USB"},
        {"", "---"},
        // Twelve two-byte characters and more: the cut falls between characters.
        {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9",
         "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9."},
        // Four-byte characters (emoji) are never split either.
        {"\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a"
         "\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a"
         "\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a",
         "\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a"
         "\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a\xf0\x9f\x94\x8a."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(deviceNameText(c.name).view()), c.shown) << c.name;
}

TEST(StripText, CellsShowDashesUntilAStreamRuns) {
    const struct {
        StripStatus status;
        const char* device;
        const char* driver;
        const char* latency;
    } cases[] = {
        {StripStatus{}, "---", "---", "---"},
        // Audio ready but no stream open.
        {[] { StripStatus s = streaming("Amp", "JACK", 5.3f); s.streamCount = 0; return s; }(), "---", "---", "---"},
        {streaming("Amp", "JACK", 5.33f), "Amp", "JACK", "5.3 ms"},
        {streaming("Amp", "ALSA", 0.0f), "Amp", "ALSA", "---"},
        {streaming("Amp", "", -1.0f), "Amp", "---", "---"},
        {streaming("", "ALSA", 10.0f), "---", "ALSA", "10.0 ms"},
        {streaming("Amp", "ALSA", std::numeric_limits<float>::quiet_NaN()), "Amp", "ALSA", "---"},
        {streaming("Amp", "ALSA", std::numeric_limits<float>::infinity()), "Amp", "ALSA", "---"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(deviceCellText(c.status).view()), c.device);
        EXPECT_EQ(std::string(driverCellText(c.status).view()), c.driver);
        EXPECT_EQ(std::string(latencyCellText(c.status).view()), c.latency);
        EXPECT_EQ(hasLatencyValue(c.status), std::string(c.latency) != "---");
    }
}

TEST(StripText, TheStripReadsThePublishedStatus) {
    resetAudioStatus();
    gAudioReady = 1;
    gAudioStreamCount = 2;
    DeviceStatusTable table;
    copyText(table.rows[0].deviceName, "Shaker Box");
    copyText(table.rows[0].hostApi, "JACK");
    table.rows[0].latencyMs = 2.7f;
    publishDeviceStatus(table);
    const StripStatus status = readStripStatus();
    EXPECT_EQ(std::string(driverCellText(status).view()), "JACK");
    EXPECT_EQ(std::string(latencyCellText(status).view()), "2.7 ms");
    resetAudioStatus();
}

StripStatus withNotice(AudioProblem problem, const char* text, const char* device = "") {
    StripStatus status;
    status.notice = makeAudioNotice(problem, text, device);
    return status;
}

TEST(StripText, TheNoticeSaysWhyAudioIsMissingUntilAStreamRuns) {
    const struct {
        StripStatus status;
        const char* notice;
        const char* device;
        bool missing;
    } cases[] = {
        {StripStatus{}, "", "---", false},
        {withNotice(AudioProblem::HostUnavailable,
                    "Audio init failed: Cannot start the audio host: posix_spawn: No such file or directory"),
         "Audio init failed: Cannot start the audio host: posix_spawn: No such file or directory", "---", false},
        // A device that is not found: its saved name (greyed) and the way out.
        {withNotice(AudioProblem::DeviceNotFound, "Saved device 'Scarlett 18i20' not found in current device list",
                    "Scarlett 18i20"),
         "Saved device 'Scarlett 18i20' not found in current device list. Click here to choose a device.",
         "Scarlett 18i.", true},
        // Control characters of a driver's name keep the line one line;
        // bidirectional overrides and C1 controls are dropped.
        {withNotice(AudioProblem::DeviceNotFound, "Saved device 'A\nB\xe2\x80\xae" "C\xc2\x9b' not found", "A\nB"),
         "Saved device 'A BC' not found. Click here to choose a device.", "A\nB", true},
        // A lead byte without its continuation does not swallow the tab after it.
        {withNotice(AudioProblem::OpenFailed, "Audio init failed: \xdf\tX"), "Audio init failed: \xdf X", "---", false},
        // Streams that run outrank an old notice.
        {[] {
             StripStatus s = streaming("Amp", "JACK", 5.0f);
             s.notice = makeAudioNotice(AudioProblem::DeviceNotFound, "Saved device 'X' not found", "X");
             return s;
         }(),
         "", "Amp", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(audioNoticeText(c.status).view()), c.notice);
        EXPECT_EQ(std::string(deviceCellText(c.status).view()), c.device) << c.notice;
        EXPECT_EQ(isDeviceMissing(c.status), c.missing) << c.notice;
    }
}

TEST(StripText, ALongNoticeIsCutBetweenCharacters) {
    std::string tail;
    for (int i = 0; i < 200; ++i)
        tail += "\xc3\xa9";  // two bytes each
    for (const std::string cause : {"Audio init failed: ", "Audio init failed:  "}) {  // either parity of the cut
        const std::string shown(audioNoticeText(withNotice(AudioProblem::OpenFailed, (cause + tail).c_str())).view());
        EXPECT_GT(shown.size(), 200u);
        EXPECT_LT(shown.size(), sizeof(AudioNotice::text));
        EXPECT_EQ(shown.compare(0, cause.size(), cause), 0);
        EXPECT_EQ((shown.size() - cause.size()) % 2, 0u) << "no half character at the end";
    }
}

TEST(StripText, SampleRateIsWholeKilohertz) {
    const struct {
        double rate;
        const char* shown;
    } cases[] = {{48000.0, "SAMPLE 48 kHz"}, {44100.0, "SAMPLE 44 kHz"}, {96000.0, "SAMPLE 96 kHz"},
                 {999.0, "SAMPLE 0 kHz"},    {0.0, "SAMPLE --- kHz"},    {-44100.0, "SAMPLE --- kHz"},
                 {std::numeric_limits<double>::quiet_NaN(), "SAMPLE --- kHz"}};
    for (const auto& c : cases)
        EXPECT_EQ(std::string(sampleRateText(c.rate).view()), c.shown);
}

TEST(StripText, ClockIsZeroPaddedAndClamped) {
    EXPECT_EQ(std::string(clockText(9, 5, 7).view()), "SYS - 09:05:07");
    EXPECT_EQ(std::string(clockText(23, 59, 59).view()), "SYS - 23:59:59");
    EXPECT_EQ(std::string(clockText(-1, 99, -5).view()), "SYS - 00:59:00");
}

}  // namespace
}  // namespace qv
