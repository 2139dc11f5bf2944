#include "settings/HapticSettings.h"
#include "settings/LiveSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace qv {
namespace {

TEST(HapticSettingsDefaults, DeviceZoneAndInterfaceValues) {
    const HapticSettings s;
    EXPECT_EQ(s.audioDeviceIndex, -1);
    EXPECT_STREQ(s.devices[0].name, "");
    EXPECT_EQ(s.devices[0].paIndex, -1);
    EXPECT_EQ(s.devices[0].bufferSize, 256);
    EXPECT_EQ(s.numDevices, 1);
    EXPECT_EQ(s.audioSampleRate, 48000.0);
    const char* names[] = {"LF", "RF", "LR", "RR"};
    for (int z = 0; z < 4; ++z) {
        EXPECT_STREQ(s.zones[z].name, names[z]);
        EXPECT_EQ(s.zones[z].channel, z);
        EXPECT_EQ(s.zones[z].device, 0);
        EXPECT_EQ(s.zones[z].active, 1);
        EXPECT_EQ(s.zones[z].gain, 1.0f);
        EXPECT_EQ(s.cornerZone[z], z);
    }
    for (int z = 4; z < kMaxZones; ++z) {
        EXPECT_STREQ(s.zones[z].name, "");
        EXPECT_EQ(s.zones[z].channel, -1);
        EXPECT_EQ(s.zones[z].active, 0);
        EXPECT_EQ(s.zones[z].gain, 1.0f);
    }
    EXPECT_EQ(s.numActiveZones, 4);
    EXPECT_EQ(s.guiDensity, 1);
    EXPECT_EQ(s.selectedSim, kIRacing);
    EXPECT_EQ(s.masterGain, 0.8f);
    for (const auto& name : s.activeProfile)
        EXPECT_STREQ(name, "default");
}

TEST(HapticSettingsDefaults, PerSimulatorEffectColumns) {
    const HapticSettings s;
    EXPECT_EQ(std::memcmp(&s.effectProfiles[kRF2], &s.effectProfiles[kIRacing], sizeof(EffectProfile)), 0);
    EXPECT_EQ(s.effectProfiles[kACC].wheelSlipThreshold, 100);
    EXPECT_EQ(s.effectProfiles[kAC].wheelSlipThreshold, 100);
    EXPECT_EQ(s.effectProfiles[kLMU].wheelSlipThreshold, 50);
    EXPECT_EQ(s.effectProfiles[kIRacing].freqWheelSlip, 50.95f);
    EXPECT_EQ(s.effectProfiles[kACC].freqWheelSlip, 34.0f);
    EXPECT_EQ(s.effectProfiles[kAC].roadVibration, 0.11f);
    EXPECT_EQ(s.effectProfiles[kACEVO].kerbRumble, 0.71f);
    EXPECT_EQ(s.effectProfiles[kACC].freqGear, 27.0f);
    EXPECT_EQ(s.effectProfiles[kLMU].gearChangeDuration, 0.07f);
    EXPECT_EQ(s.effectProfiles[kIRacing].suspDualBand, 0);
    for (int sim : {kACC, kLMU, kACEVO, kAC})
        EXPECT_EQ(s.effectProfiles[sim].suspDualBand, 1);
    for (const EffectProfile& p : s.effectProfiles) {
        EXPECT_EQ(p.freqKerb, 49.0f);
        EXPECT_EQ(p.freqEngine, 75.0f);
        EXPECT_EQ(p.freqAbsLock, 33.0f);
        for (uint8_t e : p.effectEnabled)
            EXPECT_EQ(e, 1);
        for (const auto& row : p.routeGain)
            for (int z = 0; z < kMaxZones; ++z)
                EXPECT_EQ(row[z], z < 4 ? 1.0f : 0.0f);
    }
}

TEST(HapticSettingsDefaults, ConstructionDoesNotDependOnPriorMemory) {
    alignas(HapticSettings) unsigned char a[sizeof(HapticSettings)];
    alignas(HapticSettings) unsigned char b[sizeof(HapticSettings)];
    std::memset(a, 0x00, sizeof a);
    std::memset(b, 0xA5, sizeof b);
    auto* sa = new (a) HapticSettings();
    auto* sb = new (b) HapticSettings();
    // Compare field by field where padding could differ: whole profiles and names are padding-free.
    EXPECT_EQ(std::memcmp(sa->effectProfiles, sb->effectProfiles, sizeof sa->effectProfiles), 0);
    EXPECT_EQ(std::memcmp(sa->activeProfile, sb->activeProfile, sizeof sa->activeProfile), 0);
    EXPECT_EQ(std::memcmp(sa->devices[0].name, sb->devices[0].name, sizeof sa->devices[0].name), 0);
    EXPECT_EQ(std::memcmp(sa->zones[0].name, sb->zones[0].name, sizeof sa->zones[0].name), 0);
}

TEST(EffectRouting, ResetClearsTheUpperZonesWhateverTheyHeld) {
    EffectProfile p;
    for (auto& row : p.routeGain)
        for (float& g : row)
            g = 0.37f;
    resetEffectGains(p);
    for (const auto& row : p.routeGain)
        for (int z = 0; z < kMaxZones; ++z)
            EXPECT_EQ(row[z], z < 4 ? 1.0f : 0.0f);
}

TEST(GearPulse, LengthFollowsTheDurationSetting) {
    EXPECT_EQ(gearPulseMs(0.069f), 51);
    EXPECT_EQ(gearPulseMs(0.0f), 40);
    EXPECT_EQ(gearPulseMs(1.0f), 200);
    EXPECT_EQ(gearPulseMs(0.5f), 120);
    // Out-of-range and non-finite settings stay within the pulse range.
    EXPECT_EQ(gearPulseMs(-3.0f), 40);
    EXPECT_EQ(gearPulseMs(7.0f), 200);
    EXPECT_EQ(gearPulseMs(std::numeric_limits<float>::quiet_NaN()), 40);
    EXPECT_EQ(gearPulseMs(std::numeric_limits<float>::infinity()), 40);
}

TEST(CopyText, TruncatesAtCharacterBoundariesAndTerminates) {
    char small[6];
    copyText(small, "abcdefgh");
    EXPECT_STREQ(small, "abcde");
    // "é" is two bytes; the cut must not leave half of it.
    copyText(small, "abcd\xC3\xA9xyz");
    EXPECT_STREQ(small, "abcd");
    copyText(small, nullptr);
    EXPECT_STREQ(small, "");
}

TEST(LiveSettings, EditsPublishWholeBlocksAndRaiseTheFlag) {
    LiveSettings live;
    EXPECT_FALSE(live.isDirty());
    const uint32_t before = live.version();
    live.edit([](HapticSettings& s) { s.masterGain = 0.25f; });
    EXPECT_TRUE(live.isDirty());
    EXPECT_GT(live.version(), before);
    EXPECT_EQ(live.snapshot().masterGain, 0.25f);
    EXPECT_TRUE(live.takeDirty());
    EXPECT_FALSE(live.takeDirty());

    // Copying a block never touches the flag.
    HapticSettings copy = live.snapshot();
    copy.masterGain = 0.5f;
    EXPECT_EQ(copy.masterGain, 0.5f);
    EXPECT_FALSE(live.isDirty());
    EXPECT_EQ(live.snapshot().masterGain, 0.25f);
    HapticSettings rt;
    EXPECT_TRUE(live.trySnapshot(rt));
    EXPECT_EQ(rt.masterGain, 0.25f);

    live.replace(HapticSettings());
    EXPECT_FALSE(live.isDirty());
    EXPECT_EQ(live.snapshot().masterGain, 0.8f);
}

}  // namespace
}  // namespace qv
