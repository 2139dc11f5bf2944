#include "settings/ProfileFile.h"
#include "settings/ProfileList.h"

#include "SettingsTestHelpers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

using test::TempDir;

std::string profileFile(const TempDir& dir, int sim, const std::string& name) {
    return dir.path() + "profiles/" + kSimKeys[sim] + "/" + name + ".json";
}

TEST(ProfileWriter, DefaultAccProfileGivesTheGoldenText) {
    const HapticSettings s;
    const std::string expected = test::golden("profile_acc_default.json");
    EXPECT_EQ(profileJsonText(s.effectProfiles[kACC], kACC, "default"), expected);

    TempDir dir;
    ASSERT_TRUE(saveProfile(s, dir.path(), kACC, "default"));
    EXPECT_EQ(test::readFile(profileFile(dir, kACC, "default")), expected);
}

TEST(ProfileWriter, EveryDefaultProfileReadsBackBitForBit) {
    TempDir dir;
    const HapticSettings defaults;
    for (int sim = 0; sim < kSimCount; ++sim) {
        SCOPED_TRACE(kSimKeys[sim]);
        ASSERT_TRUE(saveProfile(defaults, dir.path(), sim, "default"));
        HapticSettings loaded;
        // Start from other values, so every field must come from the file.
        EffectProfile& p = loaded.effectProfiles[sim];
        p = defaults.effectProfiles[(sim + 1) % kSimCount];
        p.freqKerb = 123.0f;
        p.effectEnabled[2] = 0;
        p.routeGain[6][7] = 0.5f;
        p.suspDualBand = !defaults.effectProfiles[sim].suspDualBand;
        ASSERT_TRUE(loadProfile(loaded, dir.path(), sim, "default"));
        EXPECT_TRUE(test::sameBits(loaded.effectProfiles[sim], defaults.effectProfiles[sim]));
    }
    // Folders for every simulator exist after the first save.
    struct stat st{};
    for (const char* key : kSimKeys)
        EXPECT_EQ(::stat((dir.path() + "profiles/" + key).c_str(), &st), 0);
}

TEST(ProfileWriter, ArbitraryFloatsReadBackBitForBit) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> hertz(10.0f, 500.0f);
    for (int round = 0; round < 50; ++round) {
        EffectProfile p;
        p.roadVibration = unit(random);
        p.kerbRumble = unit(random);
        p.gearChangeDuration = unit(random);
        p.wheelSlipThreshold = 1 + round;
        p.freqEngine = hertz(random);
        p.freqWheelSlip = hertz(random);
        p.effectEnabled[round % kEffectCount] = 0;
        for (auto& row : p.routeGain)
            for (float& gain : row)
                gain = unit(random);
        EffectProfile back;
        ASSERT_TRUE(readProfileText(back, profileJsonText(p, kLMU, "random")));
        ASSERT_TRUE(test::sameBits(back, p)) << profileJsonText(p, kLMU, "random");
    }
}

TEST(ProfileWriter, NamesThatAreNotUtf8DoNotThrow) {
    std::string text;
    EXPECT_NO_THROW(text = profileJsonText(EffectProfile(), kAC, "bad \xff\xfe name"));
    const auto parsed = nlohmann::json::parse(text);
    EXPECT_EQ(parsed["name"], "bad \xef\xbf\xbd\xef\xbf\xbd name");
}

TEST(ProfileWriter, NonFiniteValuesNeverReachTheFile) {
    EffectProfile p;
    p.roadVibration = std::nanf("");
    p.freqKerb = INFINITY;
    const std::string text = profileJsonText(p, kACC, "x");
    EXPECT_EQ(text.find("null"), std::string::npos);
    EffectProfile back;
    EXPECT_TRUE(readProfileText(back, text));
}

struct ProfileCase {
    const char* json;
    bool ok;
    std::function<void(const EffectProfile& p, const EffectProfile& before)> check;
};

TEST(ProfileReader, AppliesMembersWithTheirRules) {
    const ProfileCase cases[] = {
        {R"({"roadVibration": 1.7})", true,
         [](const EffectProfile& p, const EffectProfile& before) {
             EXPECT_EQ(p.roadVibration, 1.0f);
             EffectProfile expected = before;
             expected.roadVibration = 1.0f;
             EXPECT_TRUE(test::sameBits(p, expected));
         }},
        {R"({"absLock": -3, "engineRumble": true, "kerbRumble": false})", true,
         [](const EffectProfile& p, const EffectProfile&) {
             EXPECT_EQ(p.absLock, 0.0f);
             EXPECT_EQ(p.engineRumble, 1.0f);
             EXPECT_EQ(p.kerbRumble, 0.0f);
         }},
        {R"({"wheelSlipThreshold": 0})", true, [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.wheelSlipThreshold, 1); }},
        {R"({"wheelSlipThreshold": 250})", true, [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.wheelSlipThreshold, 100); }},
        {R"({"wheelSlipThreshold": 42.9})", true, [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.wheelSlipThreshold, 42); }},
        {R"({"wheelSlipThreshold": 1e300})", true, [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.wheelSlipThreshold, 100); }},
        {R"({"wheelSlipThreshold": -1e300})", true, [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.wheelSlipThreshold, 1); }},
        {R"({"wheelSlipThreshold": 18446744073709551615})", true,
         [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.wheelSlipThreshold, 100); }},
        {R"({"freqKerb": 3})", true, [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.freqKerb, 10.0f); }},
        {R"({"freqKerb": 900})", true, [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.freqKerb, 900.0f); }},
        {R"({"freqKerb": 1e300, "freqGear": -1e300})", true,
         [](const EffectProfile& p, const EffectProfile& before) {
             EXPECT_EQ(p.freqKerb, before.freqKerb);
             EXPECT_EQ(p.freqGear, before.freqGear);
         }},
        {R"({"routeGain": [[0,0,0,0,0,0,0,0,0.5,0.5],[0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5],[2,-1]]})", true,
         [](const EffectProfile& p, const EffectProfile& before) {
             for (int c = 0; c < kMaxZones; ++c) {
                 EXPECT_EQ(p.routeGain[0][c], 0.0f);
                 EXPECT_EQ(p.routeGain[1][c], 0.5f);
             }
             EXPECT_EQ(p.routeGain[2][0], 1.0f);
             EXPECT_EQ(p.routeGain[2][1], 0.0f);
             EXPECT_EQ(p.routeGain[2][2], before.routeGain[2][2]);
             for (int r = 3; r < kEffectCount; ++r)
                 for (int c = 0; c < kMaxZones; ++c)
                     EXPECT_EQ(p.routeGain[r][c], before.routeGain[r][c]);
         }},
        {R"({"routeGain": [5, [0.25], {"a": 1}, [0.75]]})", true,
         [](const EffectProfile& p, const EffectProfile& before) {
             EXPECT_EQ(p.routeGain[0][0], before.routeGain[0][0]);
             EXPECT_EQ(p.routeGain[1][0], 0.25f);
             EXPECT_EQ(p.routeGain[3][0], 0.75f);
         }},
        {R"({"routeMatrix": [[true,false,true,false,false,false,false,true]]})", true,
         [](const EffectProfile& p, const EffectProfile&) {
             EXPECT_EQ(p.routeGain[0][0], 1.0f);
             EXPECT_EQ(p.routeGain[0][1], 0.0f);
             EXPECT_EQ(p.routeGain[0][7], 1.0f);
             EXPECT_EQ(p.routeGain[1][1], 1.0f);
         }},
        {R"({"routeGain": [[0.5]], "routeMatrix": [[false]]})", true,
         [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.routeGain[0][0], 0.5f); }},
        {R"({"routeGain": "none", "routeMatrix": [[false]]})", true,
         [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.routeGain[0][0], 0.0f); }},
        {R"({"effectEnabled": [false, true, false, true, true, true, false, false, 7]})", true,
         [](const EffectProfile& p, const EffectProfile&) {
             const uint8_t expected[kEffectCount] = {0, 1, 0, 1, 1, 1, 0};
             for (int e = 0; e < kEffectCount; ++e)
                 EXPECT_EQ(p.effectEnabled[e], expected[e]);
         }},
        {R"({"effectEnabled": false, "suspDualBand": true})", true,
         [](const EffectProfile& p, const EffectProfile&) {
             EXPECT_EQ(p.effectEnabled[0], 1);
             EXPECT_EQ(p.suspDualBand, 1);
         }},
        // The root need not be an object; anything else changes nothing.
        {R"([1, 2, 3])", true,
         [](const EffectProfile& p, const EffectProfile& before) { EXPECT_TRUE(test::sameBits(p, before)); }},
        {"{\"absLock\": 0.25}\n trailing text is not looked at {", true,
         [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.absLock, 0.25f); }},
        {"{\r\n  \"absLock\": 0.5\r\n}\r\n", true,
         [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.absLock, 0.5f); }},
        // Type errors end the load; what came before stays applied.
        {R"({"roadVibration": 0.3, "suspImpact": "high", "kerbRumble": 0.1})", false,
         [](const EffectProfile& p, const EffectProfile& before) {
             EXPECT_EQ(p.roadVibration, 0.3f);
             EXPECT_EQ(p.suspImpact, before.suspImpact);
             EXPECT_EQ(p.kerbRumble, before.kerbRumble);
         }},
        {R"({"freqGear": null})", false, nullptr},
        {R"({"wheelSlipThreshold": [50]})", false, nullptr},
        {R"({"suspDualBand": 1})", false, nullptr},
        {R"({"effectEnabled": [true, 1]})", false,
         [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.effectEnabled[0], 1); }},
        {R"({"routeGain": [[0.5, null]]})", false,
         [](const EffectProfile& p, const EffectProfile&) { EXPECT_EQ(p.routeGain[0][0], 0.5f); }},
        {R"({"routeMatrix": [[1]]})", false, nullptr},
        // Not JSON at all.
        {"", false, nullptr},
        {"{\"absLock\": 0.5", false, nullptr},
        {"{\"absLock\": 1e400}", false, nullptr},
        {"// comment\n{}", false, nullptr},
    };
    for (const ProfileCase& c : cases) {
        SCOPED_TRACE(c.json);
        EffectProfile before = HapticSettings().effectProfiles[kACEVO];
        EffectProfile p = before;
        std::string error;
        EXPECT_EQ(readProfileText(p, c.json, &error), c.ok);
        EXPECT_EQ(error.empty(), c.ok);
        if (c.check) {
            c.check(p, before);
        } else if (!c.ok) {
            EXPECT_TRUE(test::sameBits(p, before));
        }
    }
}

// The reader takes the first complete JSON value and ignores what follows
// it; text that is not JSON is reported in the program's words with its place.
TEST(ProfileReader, ReadsTheFirstValueAndSaysWhereTheTextIsNotJson) {
    struct TextCase {
        std::string text;
        const char* error;  // nullptr: read
    };
    const TextCase cases[] = {
        {"{\"absLock\": 0.25} {", nullptr},
        {"{\"absLock\": 0.25}}}\xff\x00 garbage", nullptr},
        {"7 oops", nullptr},
        {"[] ]", nullptr},
        {"", "invalid JSON at line 1, column 1"},
        {"  \n\t ", "invalid JSON at line 2, column 3"},
        {"{\"absLock\": 0.5", "invalid JSON at line 1, column 16"},
        {"{\"absLock\": 1e400}", "invalid JSON at line 1, column 17"},
        {"// comment\n{}", "invalid JSON at line 1, column 1"},
        {"{\n  \"absLock\": tru\n}", "invalid JSON at line 2, column 17"},
        {"[1, 2,]", "invalid JSON at line 1, column 7"},
        {std::string("{\"a\": \"x\0y\"}", 12), "invalid JSON at line 1, column 9"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EffectProfile p = HapticSettings().effectProfiles[kACC];
        std::string error;
        EXPECT_EQ(readProfileText(p, c.text, &error), c.error == nullptr);
        EXPECT_EQ(error, c.error ? std::string("not a profile file: ") + c.error : std::string());
        EXPECT_EQ(readProfileText(p, c.text), c.error == nullptr);  // no error text asked for
    }
}

// A hostile text nested thousands of levels deep is refused at the bracket
// that goes too deep, before a document of that depth exists (it used to
// cost time and memory with the square of the depth).
TEST(ProfileReader, RefusesDeepNestingAtTheFirstBracketTooDeep) {
    for (size_t depth : {17u, 10000u, 40000u, 2000000u}) {
        SCOPED_TRACE(depth);
        const std::string text = "{\"routeGain\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
        EffectProfile p;
        const EffectProfile before = p;
        std::string error;
        EXPECT_FALSE(readProfileText(p, text, &error));
        EXPECT_EQ(error, "not a profile file: JSON nested deeper than 16 levels at line 1, column 30");
        EXPECT_TRUE(test::sameBits(p, before));
    }
    // Brackets inside strings are text, and sixteen levels are allowed.
    EffectProfile p;
    EXPECT_TRUE(readProfileText(p, "{\"name\": \"" + std::string(100, '[') + "\", \"x\": " + std::string(15, '[') +
                                       std::string(15, ']') + "}"));
}

// Values are held to what the rest of the program can play and draw: no
// frequency beyond kMaxEffectFrequency, no denormal gain or level.
TEST(ProfileReader, ClampsHugeFrequenciesAndFlushesTinyValues) {
    EffectProfile p;
    ASSERT_TRUE(readProfileText(p, R"({"freqRoadVib": 3e38, "freqEngine": 999.5, "roadVibration": 1e-40,
                                       "routeGain": [[1e-40, -1e-40, 1e-30, 0.5]]})"));
    EXPECT_EQ(p.freqRoadVib, kMaxEffectFrequency);
    EXPECT_EQ(p.freqEngine, 999.5f);
    EXPECT_EQ(p.roadVibration, 0.0f);
    EXPECT_EQ(p.routeGain[0][0], 0.0f);
    EXPECT_EQ(p.routeGain[0][1], 0.0f);
    EXPECT_EQ(p.routeGain[0][2], 1e-30f);
    EXPECT_EQ(p.routeGain[0][3], 0.5f);
}

TEST(ProfileReader, FilesFromElsewhereMustHoldAnObject) {
    for (const char* text : {"[1, 2, 3]", "7", "\"profile\"", "null"}) {
        SCOPED_TRACE(text);
        EffectProfile p;
        std::string error;
        EXPECT_TRUE(readProfileText(p, text, &error));
        EXPECT_FALSE(readProfileText(p, text, &error, ProfileRoot::kObjectOnly));
        EXPECT_EQ(error, "not a profile file: it holds no JSON object");
    }
    EffectProfile p;
    EXPECT_TRUE(readProfileText(p, R"({"absLock": 0.5})", nullptr, ProfileRoot::kObjectOnly));
    EXPECT_EQ(p.absLock, 0.5f);
}

TEST(ProfileReader, LoadProfileReportsWhatWentWrong) {
    TempDir dir;
    HapticSettings s;
    std::string error;
    FileReadStatus status = FileReadStatus::kOk;
    EXPECT_FALSE(loadProfile(s, dir.path(), kACC, "absent", &error, &status));
    EXPECT_EQ(status, FileReadStatus::kMissing);
    EXPECT_NE(error.find("absent.json"), std::string::npos);

    ASSERT_TRUE(profilesFolder(dir.path()));
    ASSERT_TRUE(test::writeFile(profileFile(dir, kACC, "typo"), "{\"roadVibration\": 0.3, \"absLock\": \"x\"}"));
    EXPECT_FALSE(loadProfile(s, dir.path(), kACC, "typo", &error, &status));
    EXPECT_EQ(status, FileReadStatus::kOk);
    EXPECT_NE(error.find("typo.json"), std::string::npos);
    EXPECT_NE(error.find("absLock"), std::string::npos);
    EXPECT_EQ(s.effectProfiles[kACC].roadVibration, 0.3f);

    // A pipe named like a profile is refused at once instead of blocking.
    ASSERT_EQ(::mkfifo(profileFile(dir, kACC, "pipe").c_str(), 0644), 0);
    EXPECT_FALSE(loadProfile(s, dir.path(), kACC, "pipe", &error, &status));
    EXPECT_EQ(status, FileReadStatus::kNotRegular);

    EXPECT_FALSE(loadProfile(s, dir.path(), -1, "default", &error));
    EXPECT_FALSE(loadProfile(s, dir.path(), kSimCount, "default", &error));
}

TEST(ProfileFiles, HostileNamesNeverBecomePaths) {
    TempDir dir;
    const std::string base = dir.path() + "app/";
    HapticSettings s;
    for (const char* name : {"", ".", "..", "../../escape", "a/b", "..\\x", "new\nline"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(name)));
        std::string error;
        std::string path = "unchanged";
        EXPECT_FALSE(profilePath(base, kAC, name, path, &error));
        EXPECT_TRUE(path.empty());
        EXPECT_FALSE(saveProfile(s, base, kAC, name, &error));
        EXPECT_NE(error.find("invalid profile name"), std::string::npos);
        EXPECT_FALSE(loadProfile(s, base, kAC, name, &error));
    }
    EXPECT_FALSE(saveProfile(s, base, kAC, std::string(64, 'x')));
    EXPECT_FALSE(pathExists(base));  // nothing was created anywhere
    EXPECT_FALSE(saveProfile(s, base, 6, "default"));
    EXPECT_FALSE(saveProfile(s, base, -1, "default"));

    std::string path;
    EXPECT_TRUE(profilePath(base, 9, "default", path));
    EXPECT_EQ(path, base + "profiles/unknown/default.json");
}

TEST(ProfileFiles, AFailedSaveReportsAndKeepsTheOldFile) {
    TempDir dir;
    HapticSettings s;
    ASSERT_TRUE(saveProfile(s, dir.path(), kLMU, "default"));
    const std::string before = test::readFile(profileFile(dir, kLMU, "default"));
    // A folder where the file should go: the write cannot complete.
    ASSERT_EQ(::mkdir(profileFile(dir, kLMU, "blocked").c_str(), 0755), 0);
    std::string error;
    EXPECT_FALSE(saveProfile(s, dir.path(), kLMU, "blocked", &error));
    EXPECT_NE(error.find("blocked.json"), std::string::npos);
    // The profiles folder of the simulator is a file: nothing can be saved there.
    TempDir other;
    ASSERT_TRUE(test::writeFile(other.path() + "profiles", "not a folder"));
    EXPECT_FALSE(saveProfile(s, other.path(), kLMU, "default", &error));
    EXPECT_EQ(test::readFile(profileFile(dir, kLMU, "default")), before);
}

TEST(ProfileList, ListsRegularJsonFilesDefaultFirstThenByteOrder) {
    TempDir dir;
    HapticSettings s;
    for (const char* name : {"alpha", "Zeta", "default", "link target"})
        ASSERT_TRUE(saveProfile(s, dir.path(), kACC, name));
    const std::string folder = dir.path() + "profiles/acc/";
    ASSERT_TRUE(test::writeFile(folder + "notes.txt", "x"));
    ASSERT_TRUE(test::writeFile(folder + "SHOUT.JSON", "{}"));
    ASSERT_TRUE(test::writeFile(folder + ".json", "{}"));
    ASSERT_TRUE(test::writeFile(folder + " padded.json", "{}"));
    ASSERT_TRUE(test::writeFile(folder + "default.json.bad", "{"));
    ASSERT_EQ(::mkdir((folder + "folder.json").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((folder + "pipe.json").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("link target.json", (folder + "linked.json").c_str()), 0);
    ASSERT_EQ(::symlink("missing.json", (folder + "dangling.json").c_str()), 0);

    const std::vector<std::string> expected = {"default", " padded", "Zeta", "alpha", "link target", "linked"};
    EXPECT_EQ(enumerateProfiles(dir.path(), kACC), expected);
    EXPECT_TRUE(enumerateProfiles(dir.path(), kAC).empty());
    EXPECT_TRUE(enumerateProfiles(dir.path(), 6).empty());
    EXPECT_TRUE(enumerateProfiles(dir.path() + "nowhere/", kACC).empty());

    ProfileList list;
    list.refreshProfileList(dir.path(), kACC);
    EXPECT_EQ(list.profileCount(), 6);
    EXPECT_EQ(list.profileIndex("alpha"), 3);
    EXPECT_EQ(list.profileIndex("no file"), 0);
    EXPECT_EQ(list.profileNameAt(2), "Zeta");
    EXPECT_EQ(list.profileNameAt(-1), "");
    EXPECT_EQ(list.profileNameAt(6), "");
}

TEST(ProfileList, NameOrder) {
    EXPECT_TRUE(profileNameLess("default", "Aardvark"));
    EXPECT_FALSE(profileNameLess("Aardvark", "default"));
    EXPECT_FALSE(profileNameLess("default", "default"));
    EXPECT_TRUE(profileNameLess("Zeta", "alpha"));
    EXPECT_TRUE(profileNameLess("alpha", "\xc3\xa4"));  // bytes compare unsigned
}

}  // namespace
}  // namespace qv
