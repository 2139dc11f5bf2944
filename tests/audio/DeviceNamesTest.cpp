// Host-API names and ranks, name normalisation and the unsuitable-output test.

#include "audio/DeviceNames.h"
#include "audio/HostApi.h"

#include <gtest/gtest.h>
#include <portaudio.h>

#include <algorithm>

namespace qv {
namespace {

TEST(HostApi, NamesCoverWindowsAndLinuxHostApis) {
    EXPECT_STREQ(hostApiName(paDirectSound), "DirectSound");
    EXPECT_STREQ(hostApiName(paMME), "MME");
    EXPECT_STREQ(hostApiName(paASIO), "ASIO");
    EXPECT_STREQ(hostApiName(paWDMKS), "WDM-KS");
    EXPECT_STREQ(hostApiName(paWASAPI), "WASAPI");
    EXPECT_STREQ(hostApiName(paALSA), "ALSA");
    EXPECT_STREQ(hostApiName(paJACK), "JACK");
    EXPECT_STREQ(hostApiName(paOSS), "OSS");
    EXPECT_STREQ(hostApiName(paCoreAudio), "Unknown");
    EXPECT_STREQ(hostApiName(-5), "Unknown");
}

TEST(HostApi, JackRanksRightAfterAsioAlsaWithWdmKsAndOssLast) {
    auto variant = [](int type, bool flagged = false) {
        DeviceInfo v;
        v.hostApiType = type;
        v.asioFlag = flagged;
        return v;
    };
    std::vector<DeviceInfo> order = {variant(paOSS),  variant(paDirectSound), variant(paMME),
                                     variant(paWASAPI), variant(paALSA),      variant(paJACK),
                                     variant(paASIO),   variant(paASIO, true)};
    std::stable_sort(order.begin(), order.end(), compareHostApiRank);
    std::vector<int> ranks;
    for (const DeviceInfo& v : order)
        ranks.push_back(hostApiRank(v));
    EXPECT_EQ(ranks, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(order[0].asioFlag) << "a registry-confirmed ASIO variant ranks before an unconfirmed one";
    EXPECT_EQ(order[2].hostApiType, paJACK);
    EXPECT_EQ(hostApiRank(variant(paWDMKS)), hostApiRank(variant(paALSA)));
    EXPECT_EQ(order.back().hostApiType, paOSS);
    EXPECT_FALSE(compareHostApiRank(variant(paALSA), variant(paWDMKS)));
}

TEST(HostApi, ProAndDirectClasses) {
    EXPECT_EQ(hostApiClass(paASIO), HostApiClass::Pro);
    EXPECT_EQ(hostApiClass(paJACK), HostApiClass::Pro);
    EXPECT_EQ(hostApiClass(paWDMKS), HostApiClass::Direct);
    EXPECT_EQ(hostApiClass(paALSA), HostApiClass::Direct);
    for (int type : {int(paOSS), int(paWASAPI), int(paMME), int(paDirectSound), 0})
        EXPECT_EQ(hostApiClass(type), HostApiClass::Other) << type;
}

TEST(NormaliseHardwareName, RolePrefixesAndHostApiSuffixesGo) {
    EXPECT_EQ(normaliseHardwareName("Speakers (Realtek High Definition Audio)"), "Realtek High Definition Audio");
    EXPECT_EQ(normaliseHardwareName("Speakers (Focus 2)"), "Focus 2");
    EXPECT_EQ(normaliseHardwareName("Focus 2 (WDM-KS)"), "Focus 2");
    EXPECT_EQ(normaliseHardwareName("Focus 2 (Windows WASAPI)"), "Focus 2");
    EXPECT_EQ(normaliseHardwareName("Headphones (USB DAC) (MME)"), "USB DAC");
    EXPECT_EQ(normaliseHardwareName("Digital Audio Interface Pro"), "Interface Pro");
    // Only the last of a doubled suffix goes.
    EXPECT_EQ(normaliseHardwareName("Focus 2 (WASAPI) (WASAPI)"), "Focus 2 (WASAPI)");
}

TEST(NormaliseHardwareName, ShortRestsKeepThePrefixAndInnerParenthesesStay) {
    EXPECT_EQ(normaliseHardwareName("Line 1"), "Line 1");
    EXPECT_EQ(normaliseHardwareName("Line In (USB Audio)"), "In (USB Audio)");
    EXPECT_EQ(normaliseHardwareName("Speakers 5.1"), "Speakers 5.1");
    EXPECT_EQ(normaliseHardwareName("  Focus 2  "), "Focus 2");
    // Linux names pass through.
    EXPECT_EQ(normaliseHardwareName("system"), "system");
    EXPECT_EQ(normaliseHardwareName("HDA Intel PCH: ALC892 Analog (hw:0,0)"), "HDA Intel PCH: ALC892 Analog (hw:0,0)");
}

TEST(NormaliseHardwareName, NeverEmptyAndNeverMangled) {
    // An empty name would be "contained" in every other name.
    EXPECT_EQ(normaliseHardwareName(""), "Unnamed device");
    EXPECT_EQ(normaliseHardwareName("   "), "Unnamed device");
    EXPECT_EQ(normaliseHardwareName(" (WASAPI)"), "(WASAPI)");
    EXPECT_EQ(normaliseHardwareName("Speakers (WDM-KS)"), "Speakers");
    EXPECT_EQ(normaliseHardwareName("( )"), "( )");
    // Unwrapping is for a name that is one parenthesised group only.
    EXPECT_EQ(normaliseHardwareName("(USB Audio)"), "USB Audio");
    EXPECT_EQ(normaliseHardwareName("((Nested) Device)"), "(Nested) Device");
    EXPECT_EQ(normaliseHardwareName("(A) and (B)"), "(A) and (B)");
    EXPECT_EQ(normaliseHardwareName("(hw:1,0) USB (Rear)"), "(hw:1,0) USB (Rear)");
    EXPECT_EQ(normaliseHardwareName("()"), "()");
}

TEST(UnsuitableOutput, KeywordsMatchAnywhereCaseInsensitively) {
    EXPECT_TRUE(isUnsuitableOutput("AMD High Definition Audio Device"));
    EXPECT_TRUE(isUnsuitableOutput("NVIDIA Output"));
    EXPECT_TRUE(isUnsuitableOutput("HDA Intel PCH: HDMI 0 (hw:0,3)"));
    EXPECT_TRUE(isUnsuitableOutput("Realtek Digital Output"));
    EXPECT_TRUE(isUnsuitableOutput("Headset S/PDIF"));
    EXPECT_TRUE(isUnsuitableOutput("CABLE Input (VB-Audio Virtual Cable)"));
    EXPECT_TRUE(isUnsuitableOutput("Samsung (bluetooth)"));
    EXPECT_TRUE(isUnsuitableOutput("Headset Communications"));
    EXPECT_TRUE(isUnsuitableOutput("VoIP headset"));
    EXPECT_TRUE(isUnsuitableOutput("DisplayPort 1"));
    EXPECT_TRUE(isUnsuitableOutput("Optical out"));
    EXPECT_TRUE(isUnsuitableOutput("Camden speakers"));  // "amd" inside a word
    EXPECT_FALSE(isUnsuitableOutput("system"));
    EXPECT_FALSE(isUnsuitableOutput("Focusrite USB ASIO"));
    EXPECT_FALSE(isUnsuitableOutput("Unnamed device"));
}

TEST(ToLowerCopy, AsciiOnlyAndBytesKept) {
    EXPECT_EQ(toLowerCopy("MOTU M4 (ÄÖ)"), "motu m4 (ÄÖ)");
    EXPECT_EQ(toLowerCopy(std::string("A\0B", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace qv
