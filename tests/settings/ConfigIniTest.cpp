#include "settings/ConfigIni.h"

#include "SettingsTestHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <locale>
#include <sys/stat.h>

namespace qv {
namespace {

using test::TempDir;

HapticSettings readText(const std::string& text, HapticSettings start = HapticSettings()) {
    readConfigIniText(start, text);
    return start;
}

// A block with every INI field away from its default.
HapticSettings unusualBlock() {
    HapticSettings s;
    s.numDevices = 2;
    s.audioDeviceIndex = 7;
    s.audioSampleRate = 44100.0;
    copyText(s.devices[0].name, "Speakers (USB Audio) ä");
    copyText(s.devices[0].api, "ALSA");
    copyText(s.devices[0].clsid, "{01234567-89AB}");
    s.devices[0].paIndex = 7;
    s.devices[0].channels = 6;
    s.devices[0].bufferSize = 512;
    s.devices[0].enabled = 1;
    copyText(s.devices[1].name, "Second = card");
    s.devices[1].paIndex = 3;
    s.devices[1].enabled = 1;
    s.numActiveZones = 6;
    copyText(s.zones[4].name, "Seat");
    s.zones[4].channel = 4;
    s.zones[4].device = 1;
    s.zones[4].active = 1;
    s.zones[4].gain = 0.25f;
    s.zones[1].gain = 0.5f;
    s.cornerZone[0] = 4;
    s.advancedMode = 1;
    s.guiMode = 1;
    s.accentTheme = 3;
    s.guiDensity = 2;
    s.selectedSim = kLMU;
    s.masterGain = 0.65f;
    copyText(s.activeProfile[kAC], "Wet Nordschleife");
    return s;
}

TEST(ConfigIniWriter, DefaultBlockGivesTheGoldenText) {
    EXPECT_EQ(configIniText(HapticSettings()), test::golden("haptic_config_default.ini"));
}

TEST(ConfigIniWriter, WriteThenReadReproducesEveryIniField) {
    TempDir dir;
    const HapticSettings original = unusualBlock();
    ASSERT_TRUE(writeConfigIni(original, dir.file("haptic_config.ini")));

    HapticSettings back;
    ASSERT_EQ(readConfigIni(back, dir.file("haptic_config.ini")), FileReadStatus::kOk);
    EXPECT_EQ(configIniText(back), configIniText(original));
    EXPECT_STREQ(back.devices[0].name, "Speakers (USB Audio) ä");
    EXPECT_STREQ(back.devices[1].name, "Second = card");
    EXPECT_EQ(back.audioSampleRate, 44100.0);
    EXPECT_EQ(back.masterGain, 0.65f);
    EXPECT_EQ(back.zones[4].gain, 0.25f);
    EXPECT_STREQ(back.activeProfile[kAC], "Wet Nordschleife");
    // Slots at numDevices and above are not written and come back as defaults.
    EXPECT_STREQ(back.devices[2].name, "");
    EXPECT_EQ(back.devices[2].paIndex, -1);
    EXPECT_EQ(back.devices[3].bufferSize, 256);
}

TEST(ConfigIniWriter, NamesCannotInjectLines) {
    HapticSettings s;
    copyText(s.zones[0].name, "LF\nnumDevices=4\r\n[x]");
    copyText(s.devices[0].name, "Card\nmasterGain=0");
    copyText(s.activeProfile[0], "x\nselectedSim=5");
    const std::string text = configIniText(s);
    const HapticSettings back = readText(text);
    EXPECT_EQ(back.numDevices, 1);
    EXPECT_EQ(back.masterGain, 0.8f);
    EXPECT_EQ(back.selectedSim, 0);
    EXPECT_STREQ(back.zones[0].name, "LFnumDevices=4[x]");
    EXPECT_STREQ(back.devices[0].name, "CardmasterGain=0");
    EXPECT_EQ(text.find("\r"), std::string::npos);
}

// A locale whose decimal point is a comma, as in much of Europe.
struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(ConfigIniWriter, NumbersIgnoreTheProcessLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    HapticSettings s;
    s.masterGain = 0.25f;
    s.audioSampleRate = 44100.5;
    const std::string text = configIniText(s);
    const HapticSettings back = readText("masterGain=0.5\nzone0_name=LF\n");
    std::locale::global(previous);
    EXPECT_NE(text.find("masterGain=0.25\n"), std::string::npos);
    EXPECT_NE(text.find("audioSampleRate=44100.5\n"), std::string::npos);
    EXPECT_EQ(back.masterGain, 0.5f);
}

struct ReaderCase {
    const char* text;
    std::function<void(const HapticSettings&)> check;
};

TEST(ConfigIniReader, ClampsAndParsesValues) {
    // Each text names a zone so the legacy zone rebuild stays out of the way.
    const ReaderCase cases[] = {
        {"accentTheme=5", [](const HapticSettings& s) { EXPECT_EQ(s.accentTheme, 5); }},
        {"accentTheme=9", [](const HapticSettings& s) { EXPECT_EQ(s.accentTheme, 5); }},
        {"guiDensity=-3", [](const HapticSettings& s) { EXPECT_EQ(s.guiDensity, 0); }},
        {"[Audio]\nnumDevices=0", [](const HapticSettings& s) { EXPECT_EQ(s.numDevices, 1); }},
        {"[Audio]\nnumDevices=9", [](const HapticSettings& s) { EXPECT_EQ(s.numDevices, 4); }},
        {"zone3_channel=12", [](const HapticSettings& s) { EXPECT_EQ(s.zones[3].channel, 7); }},
        {"zone3_channel=-5", [](const HapticSettings& s) { EXPECT_EQ(s.zones[3].channel, -1); }},
        {"zone2_device=11", [](const HapticSettings& s) { EXPECT_EQ(s.zones[2].device, 7); }},
        {"zone6_active=5", [](const HapticSettings& s) { EXPECT_EQ(s.zones[6].active, 1); }},
        {"zone1_gain=2.5", [](const HapticSettings& s) { EXPECT_EQ(s.zones[1].gain, 1.0f); }},
        {"zone1_gain=-0.5", [](const HapticSettings& s) { EXPECT_EQ(s.zones[1].gain, 0.0f); }},
        {"zone1_gain=nan", [](const HapticSettings& s) { EXPECT_EQ(s.zones[1].gain, 1.0f); }},
        {"cornerZone2=9", [](const HapticSettings& s) { EXPECT_EQ(s.cornerZone[2], 7); }},
        {"cornerZone4=1", [](const HapticSettings& s) { EXPECT_EQ(s.cornerZone[3], 3); }},
        {"numActiveZones=0", [](const HapticSettings& s) { EXPECT_EQ(s.numActiveZones, 1); }},
        {"numActiveZones=99999999999", [](const HapticSettings& s) { EXPECT_EQ(s.numActiveZones, 4); }},
        {"masterGain=loud", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 0.8f); }},
        {"masterGain=", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 0.8f); }},
        {"masterGain=nan", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 0.8f); }},
        {"masterGain=-inf", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 0.8f); }},
        {"masterGain=1e39", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 0.8f); }},
        {"masterGain= 0.25 dB", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 0.25f); }},
        {"masterGain=+.5", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 0.5f); }},
        {"masterGain=7", [](const HapticSettings& s) { EXPECT_EQ(s.masterGain, 1.0f); }},
        {"selectedSim=2.9", [](const HapticSettings& s) { EXPECT_EQ(s.selectedSim, 2); }},
        // Integers are the leading integer of a value that is a valid float.
        {"selectedSim=1e10", [](const HapticSettings& s) { EXPECT_EQ(s.selectedSim, 1); }},
        {"selectedSim=-1e30", [](const HapticSettings& s) { EXPECT_EQ(s.selectedSim, 0); }},
        {"selectedSim=4\nselectedSim=99999999999", [](const HapticSettings& s) { EXPECT_EQ(s.selectedSim, 4); }},
        {"selectedSim=4\nselectedSim=.5", [](const HapticSettings& s) { EXPECT_EQ(s.selectedSim, 4); }},
        {"selectedSim=4\nselectedSim=3e39", [](const HapticSettings& s) { EXPECT_EQ(s.selectedSim, 4); }},
        {"advancedMode=-2", [](const HapticSettings& s) { EXPECT_EQ(s.advancedMode, 1); }},
        {"guiMode=3", [](const HapticSettings& s) { EXPECT_EQ(s.guiMode, 1); }},
        {"audioDeviceIndex=-9", [](const HapticSettings& s) { EXPECT_EQ(s.audioDeviceIndex, -1); }},
        {"audioDeviceIndex=3", [](const HapticSettings& s) { EXPECT_EQ(s.audioDeviceIndex, 3); }},
        {"audioDeviceIndex=3e9", [](const HapticSettings& s) { EXPECT_EQ(s.audioDeviceIndex, 3); }},
        {"audioDeviceIndex=5000", [](const HapticSettings& s) { EXPECT_EQ(s.audioDeviceIndex, kMaxDeviceIndex); }},
        {"audioSampleRate=44100", [](const HapticSettings& s) { EXPECT_EQ(s.audioSampleRate, 44100.0); }},
        {"audioSampleRate=0", [](const HapticSettings& s) { EXPECT_EQ(s.audioSampleRate, kMinSampleRate); }},
        {"audioSampleRate=1e300", [](const HapticSettings& s) { EXPECT_EQ(s.audioSampleRate, 48000.0); }},
        {"audioSampleRate=9e9", [](const HapticSettings& s) { EXPECT_EQ(s.audioSampleRate, kMaxSampleRate); }},
        {"[Audio.Device0]\nchannels=12", [](const HapticSettings& s) { EXPECT_EQ(s.devices[0].channels, 8); }},
        {"[Audio.Device0]\nbufferSize=0", [](const HapticSettings& s) { EXPECT_EQ(s.devices[0].bufferSize, kMinBufferSize); }},
        {"[Audio.Device0]\nbufferSize=2000000000",
         [](const HapticSettings& s) { EXPECT_EQ(s.devices[0].bufferSize, kMaxBufferSize); }},
        {"[Audio.Device0]\nbufferSize=99999999999", [](const HapticSettings& s) { EXPECT_EQ(s.devices[0].bufferSize, 256); }},
        {"[Audio.Device1]\npaIndex=-40", [](const HapticSettings& s) { EXPECT_EQ(s.devices[1].paIndex, -1); }},
        {"[Audio.Device1]\nenabled=7", [](const HapticSettings& s) { EXPECT_EQ(s.devices[1].enabled, 1); }},
    };
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.text);
        c.check(readText(std::string(c.text) + "\n[Config]\nzone7_name=Z\n"));
    }
}

TEST(ConfigIniReader, KeysCountOnlyInTheirSections) {
    const ReaderCase cases[] = {
        // A device section number outside 0..3 makes the lines general ones.
        {"[Audio.Device4]\nname=Ghost", [](const HapticSettings& s) {
             for (const AudioDeviceSlot& d : s.devices)
                 EXPECT_STREQ(d.name, "");
         }},
        {"[Audio.Device-1]\nname=Ghost\nmasterGain=0.5", [](const HapticSettings& s) {
             EXPECT_STREQ(s.devices[0].name, "");
             EXPECT_EQ(s.masterGain, 0.5f);
         }},
        {"[Audio.Device]\nname=Ghost", [](const HapticSettings& s) { EXPECT_STREQ(s.devices[0].name, ""); }},
        {"[Audio.Device2]\nname=Third\nmasterGain=0.1", [](const HapticSettings& s) {
             EXPECT_STREQ(s.devices[2].name, "Third");
             EXPECT_EQ(s.masterGain, 0.8f);
         }},
        // Under [Audio] only numDevices counts, also not audioDeviceIndex.
        {"[Audio]\naudioDeviceIndex=3\nnumDevices=2\nmasterGain=0.1", [](const HapticSettings& s) {
             EXPECT_EQ(s.audioDeviceIndex, -1);
             EXPECT_EQ(s.numDevices, 2);
             EXPECT_EQ(s.masterGain, 0.8f);
         }},
        // "[Audio] " with a trailing blank is another section.
        {"[Audio] \nnumDevices=3\nmasterGain=0.3", [](const HapticSettings& s) {
             EXPECT_EQ(s.numDevices, 1);
             EXPECT_EQ(s.masterGain, 0.3f);
         }},
        {"[Audio.Device1]\n[Whatever]\nname=Ghost\nguiDensity=0", [](const HapticSettings& s) {
             EXPECT_STREQ(s.devices[1].name, "");
             EXPECT_EQ(s.guiDensity, 0);
         }},
        // Lines before any section are general; device keys mean nothing there.
        {"name=Ghost\nguiMode=1", [](const HapticSettings& s) {
             EXPECT_STREQ(s.devices[0].name, "");
             EXPECT_EQ(s.guiMode, 1);
         }},
        // Comments, lines without "=", blanks around keys and unknown keys are skipped.
        {";masterGain=0.1\nmasterGain 0.2\n masterGain=0.3\nmasterGainX=0.4\nzone9_gain=0\nzone0_volume=0",
         [](const HapticSettings& s) {
             EXPECT_EQ(s.masterGain, 0.8f);
             EXPECT_EQ(s.zones[0].gain, 1.0f);
         }},
        {"activeProfile6=x\nactiveProfileA=y", [](const HapticSettings& s) {
             for (const auto& name : s.activeProfile)
                 EXPECT_STREQ(name, "default");
         }},
    };
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.text);
        c.check(readText(std::string("zone7_name=Z\n") + c.text + "\n"));
    }
}

TEST(ConfigIniReader, ProfileNamesThatAreNoSafeFileNamesFallBackToDefault) {
    HapticSettings start;
    copyText(start.activeProfile[3], "Keep me");
    const HapticSettings s = readText(
        "zone0_name=LF\n"
        "activeProfile0=../../outside\n"
        "activeProfile1= padded\n"
        "activeProfile2=My Tune-2_b\n"
        "activeProfile4=" + std::string(64, 'x') + "\n"
        "activeProfile5=..\n",
        start);
    EXPECT_STREQ(s.activeProfile[0], "default");
    EXPECT_STREQ(s.activeProfile[1], " padded");
    EXPECT_STREQ(s.activeProfile[2], "My Tune-2_b");
    EXPECT_STREQ(s.activeProfile[3], "Keep me");
    EXPECT_STREQ(s.activeProfile[4], "default");
    EXPECT_STREQ(s.activeProfile[5], "default");
}

TEST(ConfigIniReader, TextsAreCutToTheirFields) {
    const std::string longName(400, 'n');
    const HapticSettings s = readText("zone0_name=" + std::string(40, 'z') + "\n[Audio.Device0]\nname=" + longName +
                                      "\napi=" + std::string(40, 'a') + "\nclsid=" + std::string(80, 'c') + "\n");
    EXPECT_EQ(std::strlen(s.zones[0].name), 31u);
    EXPECT_EQ(std::strlen(s.devices[0].name), 255u);
    EXPECT_EQ(std::strlen(s.devices[0].api), 31u);
    EXPECT_EQ(std::strlen(s.devices[0].clsid), 63u);
}

TEST(ConfigIniReader, LegacyCornerKeysRebuildTheZones) {
    HapticSettings start;
    start.zones[0].device = 1;
    start.zones[5].active = 1;
    start.zones[5].channel = 5;
    start.numActiveZones = 6;
    const HapticSettings s = readText("[Config]\nchLF=2\nchGain0=0.5\ncornerZone0=3\nchRR=11\nchGain3=x\n", start);
    EXPECT_STREQ(s.zones[0].name, "LF");
    EXPECT_EQ(s.zones[0].channel, 2);
    EXPECT_EQ(s.zones[0].gain, 0.5f);
    EXPECT_EQ(s.zones[0].device, 1);  // the device stays as it was
    EXPECT_EQ(s.zones[1].channel, 1);
    EXPECT_EQ(s.zones[3].channel, 7);
    EXPECT_EQ(s.zones[3].gain, 1.0f);
    for (int z = 0; z < 4; ++z) {
        EXPECT_EQ(s.zones[z].active, 1);
        EXPECT_STREQ(s.zones[z].name, kCornerNames[z]);
        EXPECT_EQ(s.cornerZone[z], z);  // overrides the file's cornerZone keys
    }
    for (int z = 4; z < 8; ++z) {
        EXPECT_EQ(s.zones[z].active, 0);
        EXPECT_EQ(s.zones[z].channel, -1);
    }
    EXPECT_EQ(s.numActiveZones, 4);
}

TEST(ConfigIniReader, AZoneNameOrZoneCountKeepsTheFilesZones) {
    HapticSettings s = readText("numActiveZones=6\ncornerZone0=5\nchLF=4\n");
    EXPECT_EQ(s.numActiveZones, 6);
    EXPECT_EQ(s.cornerZone[0], 5);
    EXPECT_EQ(s.zones[0].channel, 0);
    s = readText("zone2_name=Left rear\nzone2_channel=6\n");
    EXPECT_EQ(s.zones[2].channel, 6);
    EXPECT_STREQ(s.zones[2].name, "Left rear");
}

TEST(ConfigIniReader, WindowsLineEndingsReadTheSame) {
    const std::string text = configIniText(unusualBlock());
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const HapticSettings fromLf = readText(text);
    const HapticSettings fromCrlf = readText(crlf);
    EXPECT_EQ(configIniText(fromCrlf), configIniText(fromLf));
    EXPECT_EQ(fromCrlf.numDevices, 2);  // "[Audio]\r" is the [Audio] section
    EXPECT_STREQ(fromCrlf.devices[0].clsid, "{01234567-89AB}");
    EXPECT_STREQ(fromCrlf.activeProfile[kAC], "Wet Nordschleife");
}

TEST(ConfigIniReader, MissingOrUnusableFilesLeaveTheBlockAlone) {
    TempDir dir;
    HapticSettings s;
    s.masterGain = 0.3f;
    std::string error;
    EXPECT_EQ(readConfigIni(s, dir.file("none.ini"), &error), FileReadStatus::kMissing);
    EXPECT_NE(error.find("none.ini"), std::string::npos);
    ASSERT_EQ(::mkdir(dir.file("folder.ini").c_str(), 0755), 0);
    EXPECT_EQ(readConfigIni(s, dir.file("folder.ini")), FileReadStatus::kNotRegular);
    EXPECT_EQ(s.masterGain, 0.3f);
    EXPECT_STREQ(s.zones[0].name, "LF");
}

}  // namespace
}  // namespace qv
