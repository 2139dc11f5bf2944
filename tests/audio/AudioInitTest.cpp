// initAudio on a fake device list: name resolution, the index -1 paths, the
// multi-device path with its fallback, the stream-to-slot map, the channel
// write-back and the published status.

#include "audio/AudioEngine.h"
#include "audio/AudioInit.h"
#include "audio/AudioStatus.h"
#include "audio/SynthState.h"
#include "platform/Output.h"
#include "support/FakePortAudio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include <memory>
#include <mutex>

namespace qv::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class AudioInitTest : public ::testing::Test {
protected:
    AudioInitTest()
        : capture([this](OutputStream, std::string_view text) {
              std::lock_guard<std::mutex> lock(outputMutex);
              output.append(text);
          }) {
        resetAudioStatus();
        settings.replace(HapticSettings());
        synth = std::make_unique<SynthState>(settings);
    }

    // Device indices follow the order of addDevice.
    void addDevice(const std::string& name, int hostApiType, int channels) {
        FakeDevice d;
        d.name = name;
        d.hostApiType = hostApiType;
        d.maxOutputChannels = channels;
        fake.addDevice(d);
    }

    void boot() {
        AudioEngine::Services services;
        services.portAudio = &fake;
        services.asioRegistry = &registry;
        engine = std::make_unique<AudioEngine>(services);
        devices = engine->devices();
        context.engine = engine.get();
        context.portAudio = &fake;
        context.log = [this](std::string_view line) { log.emplace_back(line); };
        context.devices = &devices;
        context.synth = synth.get();
        context.settings = &settings;
        settings.takeDirty();
        fake.clearCalls();
        std::lock_guard<std::mutex> lock(outputMutex);
        output.clear();
    }

    void configure(const std::function<void(HapticSettings&)>& change) { settings.edit(change, false); }

    std::string console() {
        outputFlush(1000);
        std::lock_guard<std::mutex> lock(outputMutex);
        return output;
    }

    FakePortAudio fake;
    FakeAsioRegistry registry;
    std::mutex outputMutex;
    std::string output;
    OutputCapture capture;
    LiveSettings settings;
    std::unique_ptr<SynthState> synth;
    std::unique_ptr<AudioEngine> engine;
    std::vector<PhysicalDevice> devices;
    std::vector<std::string> log;
    AudioInitContext context;
};

TEST_F(AudioInitTest, WithoutAConfiguredDeviceItWarnsAndOpensNothing) {
    addDevice("Shaker Box", paALSA, 8);
    boot();
    EXPECT_FALSE(context.initAudio());
    EXPECT_THAT(console(), HasSubstr("  WARNING: No audio device configured. Run the device wizard.\n"));
    EXPECT_THAT(log, Contains("initAudio: no device configured (devIdx=-1)"));
    EXPECT_EQ(log.front(), "initAudio: devIdx=-1 name=\"\" api=\"\" clsid=\"\" ch=0 buf=256");
    EXPECT_EQ(fake.countCalls("open"), 0);
    EXPECT_EQ(gAudioReady.load(), 0);
    EXPECT_FALSE(settings.isDirty());
    EXPECT_EQ(engine->lastErrorText(), "No audio device configured. Run the device wizard.");
}

TEST_F(AudioInitTest, ARegistryAsioDriverWithoutAnIndexOpensThroughItsClassIdentifier) {
    addDevice("Shaker Box", paALSA, 8);
    addDevice("Shaker Box ASIO", paASIO, 8);
    boot();
    configure([](HapticSettings& s) {
        copyText(s.devices[0].api, "ASIO");
        copyText(s.devices[0].clsid, "{0A1B2C3D-0000-0000-0000-000000000001}");
    });
    EXPECT_TRUE(context.initAudio()) << engine->lastErrorText();
    EXPECT_THAT(log, Contains("initAudio: registry ASIO (devIdx=-1), CLSID path"));
    EXPECT_THAT(fake.calls(), Contains(HasSubstr("open 1 ")));
    EXPECT_EQ(gAudioReady.load(), 1);
}

TEST_F(AudioInitTest, ASavedNameFindsItsDeviceCaseInsensitivelyEitherWayRound) {
    addDevice("HDA Intel PCH", paALSA, 2);
    addDevice("USB Shaker Box", paALSA, 4);
    boot();
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;  // stale index from an earlier session
        copyText(s.devices[0].name, "usb SHAKER");
    });
    ASSERT_TRUE(context.initAudio()) << engine->lastErrorText();
    const HapticSettings after = settings.snapshot();
    EXPECT_EQ(after.audioDeviceIndex, 1);
    EXPECT_EQ(after.devices[0].paIndex, 1);
    EXPECT_STREQ(after.devices[0].name, "USB Shaker Box");
    EXPECT_TRUE(settings.isDirty());
    EXPECT_THAT(log, Contains("initAudio: name resolved devIdx=1 clsid=\"\""));
    EXPECT_THAT(log, Contains("initAudio: final devIdx=1 dev0Api=\"\" clsid=\"\" nDevCfg=1"));

    // The other way round: the saved name contains the device's name.
    configure([](HapticSettings& s) { copyText(s.devices[0].name, "Front USB Shaker Box (hw:1,0)"); });
    ASSERT_TRUE(context.initAudio());
    EXPECT_EQ(settings.snapshot().audioDeviceIndex, 1);
}

TEST_F(AudioInitTest, AnUnknownSavedNameFailsWithoutTryingTheSavedIndex) {
    addDevice("USB Shaker Box", paALSA, 4);
    boot();
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        copyText(s.devices[0].name, "Tactile Amp 3000");
    });
    gAudioReady = 1;
    EXPECT_FALSE(context.initAudio());
    EXPECT_EQ(gAudioReady.load(), 0);
    EXPECT_THAT(console(), HasSubstr("  WARNING: Saved device 'Tactile Amp 3000' not found in current device list\n"));
    EXPECT_THAT(log, Contains("initAudio: saved device 'Tactile Amp 3000' not found"));
    EXPECT_EQ(fake.countCalls("open"), 0);
    // The reason the window and the watchdog log show.
    EXPECT_EQ(engine->lastErrorText(), "Saved device 'Tactile Amp 3000' not found in current device list");
}

// A JACK client's ports are named after the zones of the slot they play.
TEST_F(AudioInitTest, OutputPortsAreNamedAfterTheZonesOfTheirSlot) {
    addDevice("system", paJACK, 8);
    boot();
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        copyText(s.devices[0].name, "system");
        copyText(s.devices[0].api, "JACK");
    });
    ASSERT_TRUE(context.initAudio()) << engine->lastErrorText();
    const std::vector<std::string> corners = {"LF", "RF", "LR", "RR", "out_5", "out_6", "out_7", "out_8"};
    EXPECT_EQ(fake.portNames(), (std::map<int, std::vector<std::string>>{{0, corners}}));

    HapticSettings s = settings.snapshot();
    copyText(s.zones[0].name, "  Seat: left ");  // trimmed, the separator replaced
    copyText(s.zones[1].name, "Seat_ left");     // the same name again: the channel's number
    copyText(s.zones[2].name, "out_7");          // a number's name stays the number's
    s.zones[3].active = 0;
    s.zones[4].channel = 5;
    s.zones[4].active = 1;
    copyText(s.zones[4].name, "Pedals");
    s.numActiveZones = 5;
    EXPECT_EQ(outputPortNames(s, 0),
              (std::vector<std::string>{"Seat_ left", "out_2", "out_3", "out_4", "out_5", "Pedals", "out_7", "out_8"}));
    s.zones[4].device = 1;
    EXPECT_EQ(outputPortNames(s, 1)[5], "Pedals");
    EXPECT_EQ(outputPortNames(s, 0)[5], "out_6");
}

TEST_F(AudioInitTest, TheSavedHostApiPicksTheVariant) {
    addDevice("Shaker Box", paJACK, 8);
    addDevice("Shaker Box", paALSA, 8);
    boot();
    ASSERT_EQ(devices.size(), 1u);
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        copyText(s.devices[0].name, "Shaker Box");
        copyText(s.devices[0].api, "ALSA");
    });
    ASSERT_TRUE(context.initAudio());
    EXPECT_THAT(fake.calls(), Contains(HasSubstr("open 1 ")));
    EXPECT_STREQ(deviceStatus().rows[0].hostApi, "ALSA");
    // Without a saved API the preferred variant (JACK) is taken.
    configure([](HapticSettings& s) { s.devices[0].api[0] = '\0'; });
    fake.clearCalls();
    ASSERT_TRUE(context.initAudio());
    EXPECT_THAT(fake.calls(), Contains(HasSubstr("open 0 ")));
    EXPECT_STREQ(deviceStatus().rows[0].hostApi, "JACK");
}

TEST_F(AudioInitTest, TheGrantedChannelCountIsWrittenBackAndPublished) {
    addDevice("Shaker Box", paALSA, 4);
    boot();
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        s.devices[0].channels = 8;
    });
    ASSERT_TRUE(context.initAudio());
    EXPECT_EQ(settings.snapshot().devices[0].channels, 4);
    EXPECT_EQ(gAudioReady.load(), 1);
    EXPECT_EQ(gAudioStreamCount.load(), 1);
    const DeviceStatusTable status = deviceStatus();
    EXPECT_EQ(status.rows[0].running, 1);
    EXPECT_EQ(status.rows[0].channels, 4);
    EXPECT_STREQ(status.rows[0].deviceName, "Shaker Box");
    EXPECT_STREQ(status.rows[1].deviceName, "");
    EXPECT_EQ(synth->streamCount(), 1);
    EXPECT_EQ(synth->streamForSlot(0), 0);
}

TEST_F(AudioInitTest, MultiDeviceWithOneResolvableSlotFallsBackToOneStream) {
    addDevice("Shaker Box", paALSA, 8);
    boot();
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        s.numDevices = 2;
        copyText(s.devices[0].name, "Shaker Box");
        s.devices[0].enabled = 1;
        copyText(s.devices[1].name, "Gone Amp");
        s.devices[1].enabled = 1;
    });
    ASSERT_TRUE(context.initAudio());
    const std::string out = console();
    EXPECT_THAT(out, HasSubstr("  [AudioEngine] Multi-device: 'Gone Amp' not found, skipping\n"));
    EXPECT_THAT(out, HasSubstr("  [AudioEngine] Only 1 device(s) resolved, falling back to single device\n"));
    EXPECT_EQ(engine->streamCount(), 1);
    EXPECT_FALSE(context.multiDevice);
}

TEST_F(AudioInitTest, MultiDeviceStreamsPlayTheirOwnSlotsWhenSlotsAreSkipped) {
    addDevice("Amp One", paALSA, 2);
    addDevice("Amp Two", paALSA, 8);
    addDevice("Amp Three", paALSA, 6);
    addDevice("Amp Four", paALSA, 4);
    boot();
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        s.numDevices = 4;
        const char* names[] = {"Amp One", "Amp Two", "Amp Three", "Amp Four"};
        for (int i = 0; i < 4; ++i) {
            copyText(s.devices[i].name, names[i]);
            s.devices[i].enabled = 1;
            s.devices[i].channels = 0;
        }
        s.devices[1].enabled = 0;   // slot 1 takes no part
        s.devices[2].channels = 1;  // taken as automatic
        s.devices[3].name[0] = '\0';  // an empty name finds nothing
    });
    ASSERT_TRUE(context.initAudio()) << engine->lastErrorText();
    EXPECT_TRUE(context.multiDevice);
    ASSERT_EQ(engine->streamCount(), 2);
    EXPECT_THAT(console(), HasSubstr("  [AudioEngine] Multi-device: '' not found, skipping\n"));
    // Stream 1 plays slot 2, whose zones name device 2.
    EXPECT_EQ(synth->streamForSlot(0), 0);
    EXPECT_EQ(synth->streamForSlot(2), 1);
    EXPECT_EQ(synth->streamForSlot(1), -1);
    const HapticSettings after = settings.snapshot();
    EXPECT_EQ(after.devices[0].channels, 2);
    EXPECT_EQ(after.devices[2].channels, 6);  // "1" opened as automatic: all six
    EXPECT_EQ(after.devices[2].paIndex, 2);
    EXPECT_EQ(after.devices[1].channels, 0);
    EXPECT_EQ(gAudioStreamCount.load(), 2);
}

TEST_F(AudioInitTest, ThreeStreamsFillThreeStatusRowsAndClearTheFourth) {
    addDevice("Amp One", paALSA, 2);
    addDevice("Amp Two", paALSA, 4);
    addDevice("Amp Three", paALSA, 6);
    boot();
    publishDeviceStatus([] {
        DeviceStatusTable t;
        t.rows[3].running = 1;
        copyText(t.rows[3].deviceName, "stale");
        return t;
    }());
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        s.numDevices = 3;
        const char* names[] = {"Amp One", "Amp Two", "Amp Three"};
        for (int i = 0; i < 3; ++i) {
            copyText(s.devices[i].name, names[i]);
            s.devices[i].enabled = 1;
        }
    });
    ASSERT_TRUE(context.initAudio());
    EXPECT_THAT(console(), HasSubstr("  [AudioEngine] Multi-device started: 3 streams\n"));
    const DeviceStatusTable status = deviceStatus();
    const char* names[] = {"Amp One", "Amp Two", "Amp Three"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(status.rows[i].running, 1);
        EXPECT_EQ(status.rows[i].channels, 2 * (i + 1));
        EXPECT_STREQ(status.rows[i].deviceName, names[i]);
        EXPECT_STREQ(status.rows[i].hostApi, "ALSA");
    }
    EXPECT_EQ(status.rows[3].running, 0);
    EXPECT_EQ(status.rows[3].channels, 0);
    EXPECT_STREQ(status.rows[3].deviceName, "");
    EXPECT_STREQ(status.rows[3].hostApi, "");
}

TEST_F(AudioInitTest, AFailedOpenLeavesNothingClaimedAsRunning) {
    FakeDevice d;
    d.name = "Broken Amp";
    d.maxOutputChannels = 2;
    d.startError = paInternalError;
    fake.addDevice(d);
    addDevice("Shaker Box", paALSA, 2);
    boot();
    configure([](HapticSettings& s) { s.audioDeviceIndex = 1; });
    ASSERT_TRUE(context.initAudio());
    EXPECT_EQ(synth->streamCount(), 1);
    configure([](HapticSettings& s) {
        s.audioDeviceIndex = 0;
        s.devices[0].name[0] = '\0';
    });
    EXPECT_FALSE(context.initAudio());
    EXPECT_THAT(console(), HasSubstr("  WARNING: Audio init failed: Cannot start -- no streams initialised\n"));
    EXPECT_EQ(gAudioReady.load(), 0);
    EXPECT_EQ(gAudioStreamCount.load(), 0);
    EXPECT_EQ(deviceStatus().rows[0].running, 0);
    EXPECT_EQ(synth->streamCount(), 0);
}

TEST(AudioInitNames, EmptyNamesNeverMatch) {
    std::vector<PhysicalDevice> list(2);
    list[0].hardwareName = "";
    list[1].hardwareName = "Shaker Box";
    EXPECT_EQ(findDeviceByHardwareName(list, "shaker box"), 1);
    EXPECT_EQ(findDeviceByHardwareName(list, ""), -1);
    EXPECT_EQ(findDeviceByHardwareName(list, "Other"), -1);
    PhysicalDevice d;
    DeviceInfo registryOnly;
    registryOnly.hostApiName = "ASIO";
    registryOnly.paIndex = -1;
    DeviceInfo alsa;
    alsa.hostApiName = "ALSA";
    alsa.paIndex = 3;
    d.apis = {registryOnly, alsa};
    EXPECT_EQ(chooseVariant(d, "ASIO", true), 1);   // the saved device: needs an index
    EXPECT_EQ(chooseVariant(d, "ASIO", false), 0);  // a multi-device slot: the variant of its API
    EXPECT_EQ(chooseVariant(d, "", true), 1);
}

}  // namespace
}  // namespace qv::test
