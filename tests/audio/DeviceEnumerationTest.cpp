// The physical device list on a fake PortAudio and a fake ASIO registry:
// grouping, ranking, caps, skipped devices, the registry merge and scan, the
// device table and the name look-up.

#include "audio/AudioEngine.h"
#include "audio/DeviceEnumeration.h"
#include "support/CapturedOutput.h"
#include "support/FakePortAudio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iterator>

namespace qv::test {
namespace {

FakeDevice device(const std::string& name, int type, int outputs) {
    FakeDevice d;
    d.name = name;
    d.hostApiType = type;
    d.maxOutputChannels = outputs;
    return d;
}

std::vector<std::string> names(const std::vector<PhysicalDevice>& list) {
    std::vector<std::string> result;
    for (const PhysicalDevice& d : list)
        result.push_back(d.hardwareName);
    return result;
}

std::vector<std::string> apiNames(const PhysicalDevice& d) {
    std::vector<std::string> result;
    for (const DeviceInfo& v : d.apis)
        result.push_back(v.hostApiName);
    return result;
}

class DeviceEnumerationTest : public ::testing::Test {
protected:
    std::vector<PhysicalDevice> enumerate() { return enumeratePhysicalDevices(portAudio, registry); }

    // Two stereo entries PortAudio lists but cannot describe: "Ghost" has no
    // device record, "Orphan" has one without a host API.
    void addUnreadableAndHostlessDevices() {
        FakeDevice missing = device("Ghost", paALSA, 2);
        missing.missingInfo = true;
        portAudio.addDevice(missing);
        FakeDevice hostless = device("Orphan", paALSA, 2);
        hostless.missingHostApi = true;
        portAudio.addDevice(hostless);
    }

    CapturedOutput output;
    FakePortAudio portAudio;
    FakeAsioRegistry registry;
};

TEST_F(DeviceEnumerationTest, VariantsOfOneInterfaceGroupUnderItsNormalisedNameInRankOrder) {
    portAudio.addDevice(device("Speakers (Realtek High Definition Audio)", paMME, 2));
    portAudio.addDevice(device("Realtek High Definition Audio", paWASAPI, 2));
    portAudio.addDevice(device("Scarlett 18i20 (hw:2,0)", paOSS, 18));
    portAudio.addDevice(device("SCARLETT 18i20 (hw:2,0)", paALSA, 18));
    portAudio.addDevice(device("Scarlett 18i20 (hw:2,0)", paJACK, 6));

    const std::vector<PhysicalDevice> list = enumerate();
    ASSERT_EQ(names(list), (std::vector<std::string>{"Realtek High Definition Audio", "Scarlett 18i20 (hw:2,0)"}));
    EXPECT_EQ(apiNames(list[0]), (std::vector<std::string>{"WASAPI", "MME"}));
    EXPECT_EQ(list[0].apis[0].paIndex, 1);
    EXPECT_EQ(list[0].apis[1].paIndex, 0);
    // Letter case of the first variant seen; JACK first, OSS last.
    EXPECT_EQ(apiNames(list[1]), (std::vector<std::string>{"JACK", "ALSA", "OSS"}));
    for (const PhysicalDevice& d : list) {
        EXPECT_EQ(d.selectedApi, 0);
        EXPECT_FALSE(d.enabled);
        EXPECT_EQ(d.bufferSize, 256);
    }
}

TEST_F(DeviceEnumerationTest, ChannelCapComesFromTheFirstVariantAtMostEight) {
    portAudio.addDevice(device("Big Interface", paALSA, 18));
    portAudio.addDevice(device("Big Interface", paJACK, 6));
    portAudio.addDevice(device("Stereo Out", paALSA, 2));
    FakeDevice latency = device("Latency Probe", paALSA, 2);
    latency.defaultLowOutputLatency = 0.0053;
    portAudio.addDevice(latency);

    const std::vector<PhysicalDevice> list = enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].maxChannels, 6) << "JACK ranks first and has 6";
    EXPECT_EQ(list[0].apis[1].maxOutputChannels, 18);
    EXPECT_EQ(list[1].maxChannels, 2);
    EXPECT_DOUBLE_EQ(list[2].apis[0].defaultLowOutputLatencyMs, 5.3);

    portAudio.clearDevices();
    portAudio.addDevice(device("Big Interface", paALSA, 18));
    EXPECT_EQ(enumerate()[0].maxChannels, 8);
}

TEST_F(DeviceEnumerationTest, InputOnlyUnreadableAndHostlessDevicesAreSkippedUnsuitableOnesKept) {
    portAudio.addDevice(device("Microphone (USB Audio)", paALSA, 0));
    addUnreadableAndHostlessDevices();
    FakeDevice negative = device("Broken", paALSA, -3);
    portAudio.addDevice(negative);
    portAudio.addDevice(device("HDA NVidia: HDMI 0 (hw:1,3)", paALSA, 8));
    portAudio.addDevice(device("AMD High Definition Audio Device", paALSA, 2));
    portAudio.addDevice(device("Focusrite", paALSA, 4));

    const std::vector<PhysicalDevice> list = enumerate();
    ASSERT_EQ(names(list), (std::vector<std::string>{"HDA NVidia: HDMI 0 (hw:1,3)", "AMD High Definition Audio Device",
                                                     "Focusrite"}));
    EXPECT_FALSE(list[0].suitable);
    EXPECT_FALSE(list[1].suitable);
    EXPECT_TRUE(list[2].suitable);
}

TEST_F(DeviceEnumerationTest, BlankNamesDoNotMergeWithEveryOtherDevice) {
    portAudio.addDevice(device("", paALSA, 2));
    portAudio.addDevice(device("Focus 2", paALSA, 2));
    portAudio.addDevice(device(" (WASAPI)", paWASAPI, 2));
    const std::vector<PhysicalDevice> list = enumerate();
    EXPECT_EQ(names(list), (std::vector<std::string>{"Unnamed device", "Focus 2", "(WASAPI)"}));
    EXPECT_EQ(findDeviceByName(portAudio, ""), -1) << "an empty name matches nothing";
}

TEST_F(DeviceEnumerationTest, RegistryConfirmsPortAudioAsioVariantsAndAddsTheDriversItDoesNotList) {
    portAudio.addDevice(device("Focusrite USB ASIO", paASIO, 18));
    portAudio.addDevice(device("Focusrite USB", paWDMKS, 8));
    portAudio.addDevice(device("Focus 2", paWDMKS, 2));
    registry.addKey(AsioRegistryView::Native64, "Focusrite USB ASIO", "{AAAA}");
    registry.addKey(AsioRegistryView::Native64, "Focus 2", "{BBBB}");
    registry.addKey(AsioRegistryView::Native64, "No Clsid", "");
    registry.addKey(AsioRegistryView::Native64, "   ", "{EEEE}");
    registry.addKey(AsioRegistryView::Wow32, "Focusrite USB ASIO", "{AAAA}");  // both views: taken once
    registry.addKey(AsioRegistryView::Wow32, "ASIO4ALL v2", "{CCCC}");

    const std::vector<PhysicalDevice> list = enumerate();
    ASSERT_EQ(names(list), (std::vector<std::string>{"Focusrite USB ASIO", "Focusrite USB", "Focus 2", "ASIO4ALL v2"}));

    const DeviceInfo& confirmed = list[0].apis[0];
    EXPECT_EQ(confirmed.clsid, "{AAAA}");
    EXPECT_TRUE(confirmed.asioFlag);
    EXPECT_EQ(confirmed.paIndex, 0);

    // "Focus 2" has no PortAudio ASIO variant: the driver joins it as a
    // registry-only variant, which ranks first.
    ASSERT_EQ(apiNames(list[2]), (std::vector<std::string>{"ASIO", "WDM-KS"}));
    EXPECT_EQ(list[2].apis[0].paIndex, -1);
    EXPECT_EQ(list[2].apis[0].clsid, "{BBBB}");
    EXPECT_EQ(list[2].maxChannels, 4);

    // A driver PortAudio does not list at all is a device of its own.
    ASSERT_EQ(list[3].apis.size(), 1u);
    const DeviceInfo& registryOnly = list[3].apis[0];
    EXPECT_EQ(registryOnly.paIndex, -1);
    EXPECT_EQ(registryOnly.hostApiName, "ASIO");
    EXPECT_EQ(registryOnly.hostApiType, paASIO);
    EXPECT_EQ(registryOnly.maxOutputChannels, 4);
    EXPECT_EQ(registryOnly.defaultLowOutputLatencyMs, 0.0);
    EXPECT_TRUE(registryOnly.asioFlag);
    EXPECT_EQ(list[3].maxChannels, 4);

    const std::string out = output.out();
    EXPECT_NE(out.find("  [ASIO Registry] Found: Focusrite USB ASIO  CLSID={AAAA}\n"), std::string::npos);
    EXPECT_EQ(out.find("Found: Focusrite USB ASIO"), out.rfind("Found: Focusrite USB ASIO")) << "printed once";
    EXPECT_NE(out.find("  [ASIO Registry] Found: ASIO4ALL v2  CLSID={CCCC}\n"), std::string::npos);
    EXPECT_EQ(out.find("No Clsid"), std::string::npos);
    EXPECT_EQ(out.find("{EEEE}"), std::string::npos);
}

TEST_F(DeviceEnumerationTest, RegistryTextsAreCutToTheReadersBuffers) {
    const std::string longClsid = "{" + std::string(100, '1') + "}";
    registry.addKey(AsioRegistryView::Wow32, std::string(300, 'N'), longClsid);
    const std::vector<PhysicalDevice> list = enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].hardwareName.size(), kAsioKeyNameMax);
    EXPECT_EQ(list[0].apis[0].clsid, longClsid.substr(0, kAsioClsidMax));
}

TEST_F(DeviceEnumerationTest, ScanGivesRegistryIdsPerViewAndSkipsListedDrivers) {
    registry.addKey(AsioRegistryView::Native64, "Broken Driver", "");
    registry.addKey(AsioRegistryView::Native64, "Focusrite USB ASIO", "{AAAA}");
    registry.addKey(AsioRegistryView::Wow32, "Focusrite USB ASIO", "{AAAA}");
    registry.addKey(AsioRegistryView::Wow32, "ASIO4ALL v2", "{CCCC}");

    std::vector<DeviceSelection> drivers;
    scanAsioRegistry(registry, drivers);
    ASSERT_EQ(drivers.size(), 2u);
    EXPECT_EQ(drivers[0].id, kRegistryAsioIdBase + 2);
    EXPECT_EQ(drivers[0].name, "Focusrite USB ASIO");
    EXPECT_EQ(drivers[0].api, "ASIO");
    EXPECT_EQ(drivers[0].clsid, "{AAAA}");
    EXPECT_EQ(drivers[0].channels, 4);
    EXPECT_TRUE(drivers[0].enabled);
    EXPECT_EQ(drivers[0].sampleRate, 48000.0);
    // The index counts from 0 again in the second view: the ids coincide.
    EXPECT_EQ(drivers[1].id, kRegistryAsioIdBase + 2);
    EXPECT_EQ(drivers[1].name, "ASIO4ALL v2");
    EXPECT_EQ(output.out(), "  [ASIO Registry] Found: Focusrite USB ASIO  CLSID={AAAA}\n"
                            "  [ASIO Registry] Found: ASIO4ALL v2  CLSID={CCCC}\n");

    std::vector<DeviceSelection> none;
    NoAsioRegistry noDrivers;
    scanAsioRegistry(noDrivers, none);
    EXPECT_TRUE(none.empty());
}

TEST_F(DeviceEnumerationTest, TablePrintsOneRowPerDeviceWithCutColumns) {
    portAudio.addDevice(device("A Very Long Interface Name That Goes On And On", paALSA, 18));
    portAudio.addDevice(device("A Very Long Interface Name That Goes On And On", paJACK, 8));
    portAudio.addDevice(device("A Very Long Interface Name That Goes On And On", paOSS, 2));
    portAudio.addDevice(device("NVIDIA Output", paALSA, 2));
    enumerate();
    const std::string rule = "  " + std::string(76, '-') + "\n";
    EXPECT_EQ(output.out(), "\n  Physical audio devices:\n" + rule +
                                "  #   Hardware Name                       APIs                MaxCh Suitable\n" + rule +
                                "  0   A Very Long Interface Name That Go  JACK, ALSA, OSS     18    yes\n"
                                "  1   NVIDIA Output                       ALSA                2     NO\n" +
                                rule + "\n");

    output.clear();
    printPhysicalDeviceTable({});
    EXPECT_EQ(output.out(), "\n  Physical audio devices:\n" + rule +
                                "  #   Hardware Name                       APIs                MaxCh Suitable\n" + rule +
                                rule + "\n");
}

// Audio hosts replaced one after another (the device search's looks) print
// their table only when it differs from the one printed last: another
// device, another heading; with no memory every table is printed.
TEST_F(DeviceEnumerationTest, WithATableMemoryOnlyATableThatDiffersFromTheLastIsPrinted) {
    std::atomic<uint64_t> lastPrinted{0};
    setDeviceTableMemory(&lastPrinted);
    PhysicalDevice one;
    one.hardwareName = "system";
    PhysicalDevice two;
    two.hardwareName = "USB Shaker";
    struct Step {
        std::vector<PhysicalDevice> list;
        std::string note;
        bool printed;
    };
    const Step steps[] = {
        {{one}, "", true},        // the first
        {{one}, "", false},       // the same again
        {{one}, "", false},
        {{one, two}, "", true},   // a device came
        {{one, two}, "x", true},  // another server
        {{one, two}, "x", false},
        {{one}, "x", true},       // the device went
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        output.clear();
        setDeviceTableNote(steps[i].note);
        printPhysicalDeviceTable(steps[i].list);
        EXPECT_EQ(!output.out().empty(), steps[i].printed) << "step " << i;
    }
    setDeviceTableMemory(nullptr);
    setDeviceTableNote("");
    output.clear();
    printPhysicalDeviceTable({one});
    printPhysicalDeviceTable({one});
    EXPECT_EQ(output.out().size() % 2, 0u);
    EXPECT_FALSE(output.out().empty());
    EXPECT_EQ(output.out().substr(0, output.out().size() / 2), output.out().substr(output.out().size() / 2));
}

TEST_F(DeviceEnumerationTest, TableCutsNamesAtCharacterBoundaries) {
    // 33 ASCII bytes, then a two-byte character across the 34-byte limit.
    portAudio.addDevice(device(std::string(33, 'x') + "\xC3\xA9" + "tail", paALSA, 2));
    enumerate();
    EXPECT_NE(output.out().find("  0   " + std::string(33, 'x') + "   ALSA"), std::string::npos) << output.out();
}

TEST_F(DeviceEnumerationTest, FindDeviceByNameTakesTheFirstOutputContainingTheName) {
    FakeDevice input = device("USB Audio Microphone", paALSA, 0);
    input.maxInputChannels = 2;
    portAudio.addDevice(input);
    portAudio.addDevice(device("HDA Intel: ALC892", paALSA, 2));
    portAudio.addDevice(device("USB Audio CODEC (hw:2,0)", paALSA, 2));
    portAudio.addDevice(device("usb audio codec", paJACK, 2));
    EXPECT_EQ(findDeviceByName(portAudio, "usb AUDIO"), 2);
    EXPECT_EQ(findDeviceByName(portAudio, "alc892"), 1);
    EXPECT_EQ(findDeviceByName(portAudio, "Microphone"), -1);
    EXPECT_EQ(findDeviceByName(portAudio, "Focusrite"), -1);
}

TEST_F(DeviceEnumerationTest, EngineListsDevicesOnlyWithPortAudioInitialised) {
    portAudio.addDevice(device("Focus 2", paALSA, 2));
    {
        AudioEngine engine({&portAudio, &registry, nullptr, kAudioCallTimeoutMs});
        EXPECT_EQ(engine.devices().size(), 1u);
        EXPECT_EQ(engine.findDeviceByName("focus"), 0);
    }
    portAudio.initializeResult = paInsufficientMemory;
    AudioEngine failed({&portAudio, &registry, nullptr, kAudioCallTimeoutMs});
    EXPECT_FALSE(failed.isPortAudioInitialised());
    EXPECT_EQ(failed.lastErrorText(), "Pa_Initialize failed: Insufficient memory");
    EXPECT_NE(output.err().find("  [AudioEngine] ERROR: Pa_Initialize failed: Insufficient memory\n"),
              std::string::npos);
    EXPECT_TRUE(failed.devices().empty());
    EXPECT_EQ(failed.findDeviceByName("focus"), -1);
    // PortAudio's own list then says why there is none.
    EXPECT_EQ(failed.rawDevices().count, paNotInitialized);
    EXPECT_FALSE(failed.rawDevices().errorText.empty());
}

// The raw list keeps every index: input-only devices, devices without a
// record and devices without a host API.
TEST_F(DeviceEnumerationTest, TheRawListHasEveryPortAudioEntryInIndexOrder) {
    FakeDevice mic = device("USB Mic", paALSA, 0);
    mic.maxInputChannels = 1;
    mic.defaultSampleRate = 44100.0;
    portAudio.addDevice(mic);
    addUnreadableAndHostlessDevices();
    const RawDeviceList raw = enumerateRawDevices(portAudio);
    EXPECT_EQ(raw.count, 3);
    ASSERT_EQ(raw.devices.size(), 3u);
    EXPECT_TRUE(raw.devices[0].present);
    EXPECT_EQ(raw.devices[0].name, "USB Mic");
    EXPECT_EQ(raw.devices[0].hostApiType, paALSA);
    EXPECT_EQ(raw.devices[0].maxInputChannels, 1);
    EXPECT_EQ(raw.devices[0].maxOutputChannels, 0);
    EXPECT_DOUBLE_EQ(raw.devices[0].defaultSampleRate, 44100.0);
    EXPECT_FALSE(raw.devices[1].present);
    EXPECT_TRUE(raw.devices[2].present);
    EXPECT_EQ(raw.devices[2].hostApiType, -1);
    EXPECT_EQ(raw.devices[2].hostApiName, "");
}

}  // namespace
}  // namespace qv::test
