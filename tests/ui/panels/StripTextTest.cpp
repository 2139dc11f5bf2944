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
