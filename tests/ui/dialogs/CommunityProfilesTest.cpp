// The community profiles dialog against the loopback HTTPS server: the
// catalogue reply served as a file, the requests read back from its log.

#include "ui/dialogs/CommunityProfilesDialog.h"

#include "app/BackendClient.h"
#include "support/Eventually.h"
#include "support/HttpsTestServer.h"
#include "ui/dialogs/ProfileDialogsFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace qv {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class CommunityProfilesTest : public test::ProfileDialogsFixture {
protected:
    void SetUp() override {
        ProfileDialogsFixture::SetUp();
        ASSERT_TRUE(server.isRunning()) << server.error();
        BackendConfig config;
        config.baseUrl = server.url("/files");
        config.accessKey = "header.payload.signature";
        config.caFile = server.caFile();
        setBackendConfig(config);
    }
    void TearDown() override {
        setBackendConfig(BackendConfig{});
        ProfileDialogsFixture::TearDown();
    }
    void serve(const std::string& body, int status = 200) { server.serveFile("fetch-profiles", body, status); }
    static json entry(const json& id, const json& name, const std::string& author = "Ann") {
        return json{{"id", id}, {"name", name}, {"author", author}, {"description", "fast"}, {"downloads", 7}};
    }
    // Waits for the running request's reply and lets the dialog take it.
    void finish() {
        EXPECT_TRUE(state.request.waitUntilDone(30000));
        pollCommunityProfiles(state);
    }
    // Opens as the dialog would, waits for the list and paints once; false
    // when no list came (the dialog said why and closed).
    bool open() {
        state = CommunityProfilesState{};
        if (!startCommunityProfiles(state, nullptr))
            return false;
        EXPECT_TRUE(state.busy);
        finish();
        EXPECT_FALSE(state.busy);
        paintOnce(paintCommunityProfiles, &state, 480, 420);
        return state.list.count > 0;
    }
    void download() {
        ASSERT_TRUE(messageCommunityProfiles(kMsgDownloadProfile, 0, 0, &state));
        EXPECT_TRUE(state.busy);
        EXPECT_EQ(state.status, "Downloading profile...");
        finish();
    }
    static json profileReply(float road) {
        EffectProfile p;
        p.roadVibration = road;
        p.routeGain[0][6] = 1.0f;  // the sender's routing
        return json{{"profile", json::parse(profileJsonText(p, kACC, "sent"))}};
    }
    // Every file below the temporary folder, relative to it.
    std::vector<std::string> tree() const {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder.path()))
            if (!e.is_directory())
                files.push_back(fs::relative(e.path(), folder.path()).string());
        std::sort(files.begin(), files.end());
        return files;
    }

    test::HttpsTestServer server;
    CommunityProfilesState state;
};

TEST_F(CommunityProfilesTest, AcceptsBothListShapesAndAsksForTheSelectedSimulator) {
    setSim(kAC);
    const json entries = json::array({entry("1", "Grip"), entry("2", "Loose", "Bo")});
    for (const json& body : {json{{"profiles", entries}}, entries}) {
        serve(body.dump());
        ASSERT_TRUE(open()) << body;
        ASSERT_EQ(state.list.count, 2);
        EXPECT_STREQ(state.list.items[0], "Grip (by Ann)");
        EXPECT_STREQ(state.list.items[1], "Loose (by Bo)");
        EXPECT_EQ(state.list.selected, 0);
    }
    EXPECT_EQ(server.requests().back()["path"], "/files/fetch-profiles?sim=ac");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CommunityProfilesTest, FailedOrEmptyCataloguesShowAMessageAndNoDialog) {
    struct Case {
        std::string body;
        int status;
        const char* message;
    } cases[] = {
        {"[]", 200, "No community profiles available for iRacing yet.\nBe the first to share one!"},
        {R"({"profiles": [{"id": 5, "name": "n"}, {"id": "", "name": "m"}, {"id": "x"}]})", 200,
         "No community profiles available for iRacing yet.\nBe the first to share one!"},
        {"{not json", 200, "Received an invalid response from the server."},
        {R"({"profiles": {"id": "1"}})", 200, "Received an invalid response from the server."},
        {R"({"error": "down"})", 500,
         "The community server answered with status 500 instead of the list of profiles.\nPlease try again later."},
        {"", 503,
         "The community server answered with status 503 instead of the list of profiles.\nPlease try again later."},
        {"moved", 302,
         "The community server sent a redirect (status 302) instead of the list of profiles.\nPlease try again "
         "later."},
        {std::string(kBackendMaxReplyBytes + 1, ' '), 200,
         "The community server's reply is too large to be a list of profiles."},
        {R"({"profiles": )" + std::string(100, '[') + std::string(100, ']') + "}", 200,
         "Received an invalid response from the server."},
    };
    for (const Case& c : cases) {
        serve(c.body, c.status);
        boxes.shown.clear();
        EXPECT_FALSE(open()) << c.body;
        ASSERT_EQ(boxes.shown.size(), 1u) << c.body;
        EXPECT_EQ(boxes.last(), c.message) << c.body;
    }
    // A header longer than the client takes is a reply too large, not a
    // lost connection; a server nobody listens on is one.
    serve("[]");
    server.padHeader("fetch-profiles", 200000);
    boxes.shown.clear();
    EXPECT_FALSE(open());
    EXPECT_EQ(boxes.last(), "The community server's reply is too large to be a list of profiles.");
    BackendConfig closed = backendConfig();
    closed.baseUrl = "https://127.0.0.1:" + std::to_string(server.closedPort()) + "/files";
    setBackendConfig(closed);
    boxes.shown.clear();
    EXPECT_FALSE(open());
    EXPECT_EQ(boxes.last(), "Could not connect to the community server.\nPlease check your internet connection and try "
                            "again.");
}

TEST_F(CommunityProfilesTest, OneBadEntryCostsOnlyThatEntryAndServerTextIsCleaned) {
    json list = json::array({entry(42, "numeric id"), entry("a", nullptr), entry("b", "Good\nName"),
                             json{{"id", "c"}, {"name", "Bare"}},
                             entry("d", "Authored", std::string("Ev\x01il\xff") + std::string(300, 'x'))});
    serve(json{{"profiles", list}}.dump(-1, ' ', false, json::error_handler_t::replace));
    ASSERT_TRUE(open());
    ASSERT_EQ(state.entries.size(), 3u);
    EXPECT_EQ(state.entries[0].name, "Good_Name");
    EXPECT_EQ(state.entries[1].author, "");
    EXPECT_EQ(state.entries[1].downloads, 0);
    EXPECT_EQ(state.entries[2].author.rfind("Evil\xEF\xBF\xBD", 0), 0u) << state.entries[2].author;
    EXPECT_LE(state.entries[2].author.size(), 127u);
}

TEST_F(CommunityProfilesTest, ShowsAtMost64Entries) {
    json list = json::array();
    for (int i = 0; i < 70; ++i)
        list.push_back(entry(std::to_string(i), "p" + std::to_string(i)));
    serve(list.dump());
    ASSERT_TRUE(open());
    EXPECT_EQ(state.entries.size(), 70u);
    EXPECT_EQ(state.list.count, 64);
    for (int i = 0; i < 80; ++i)
        keyCommunityProfiles(kWmKeyDown, kVkDown, 0, &state);
    EXPECT_EQ(state.list.selected, 63);
}

TEST_F(CommunityProfilesTest, ADownloadInstallsUnderTheSimulatorsFolderAndResetsTheRouting) {
    setSim(kACC);
    serve(json::array({entry("a&b c", "Wet Setup")}).dump());
    ASSERT_TRUE(open());
    for (const json& reply : {profileReply(0.66f), json{{"profile", profileReply(0.66f)}}}) {
        fs::remove_all(folder.path() + "profiles");
        gSettings.edit([](HapticSettings& s) {
            copyText(s.activeProfile[kACC], "default");
            s.effectProfiles[kACC].kerbRumble = 0.44f;
        });
        serve(reply.dump());
        keyCommunityProfiles(kWmKeyDown, kVkReturn, 0, &state);
        finish();
        EXPECT_EQ(state.status, "Profile applied! You can close this dialog.") << reply;
        EXPECT_EQ(state.statusStyle, kStatusSuccess);
        EXPECT_FALSE(state.busy);
        EXPECT_EQ(server.requests().back()["path"], "/files/fetch-profiles?id=a%26b%20c");
        const HapticSettings now = gSettings.snapshot();
        EXPECT_EQ(active(kACC), "Wet Setup");
        EXPECT_FLOAT_EQ(now.effectProfiles[kACC].roadVibration, 0.66f);
        EffectProfile routing;
        resetEffectGains(routing);
        EXPECT_EQ(std::memcmp(now.effectProfiles[kACC].routeGain, routing.routeGain, sizeof routing.routeGain), 0);
        HapticSettings installed;
        ASSERT_TRUE(loadProfile(installed, folder.path(), kACC, "Wet Setup"));
        EXPECT_FLOAT_EQ(installed.effectProfiles[kACC].roadVibration, 0.66f);
        HapticSettings outgoing;
        ASSERT_TRUE(loadProfile(outgoing, folder.path(), kACC, "default"));
        EXPECT_FLOAT_EQ(outgoing.effectProfiles[kACC].kerbRumble, 0.44f) << "outgoing profile saved first";
    }
}

TEST_F(CommunityProfilesTest, FailedDownloadsSayWhyAndChangeNothing) {
    serve(json::array({entry("1", "One")}).dump());
    ASSERT_TRUE(open());
    struct Case {
        std::string body;
        int status;
        std::string expected;
    } cases[] = {
        {R"({"error": "no such profile"})", 404, "Download failed: no such profile"},
        {"", 500, "Download failed: Server returned status 500"},
        {"<html>", 502, "Download failed: Server returned status 502"},
        {"moved", 301, "Download failed: the server sent a redirect (status 301)"},
        {R"({"profile": 3})", 200, "Error: unexpected response format."},
        {"not json", 200, "Error: unexpected response format (invalid JSON at line 1, column 2)."},
        {R"({"profile": {"suspImpact": "loud"}})", 200, ""},
    };
    const HapticSettings before = gSettings.snapshot();
    for (const Case& c : cases) {
        serve(c.body, c.status);
        download();
        if (!c.expected.empty()) {
            EXPECT_EQ(state.status, c.expected) << c.body;
        }
        EXPECT_EQ(state.statusStyle, kStatusError) << c.body;
        EXPECT_TRUE(unchangedSince(before)) << c.body;
    }
    EXPECT_FALSE(fs::exists(profileFile(kIRacing, "One")));
}

// An entry whose profile nests arrays tens of thousands deep once froze the
// window for seconds and then aborted on memory; it is refused at the
// seventeenth level with a message.
TEST_F(CommunityProfilesTest, ADeeplyNestedEntryIsRefusedWithAMessage) {
    serve(json::array({entry("1", "Deep")}).dump());
    ASSERT_TRUE(open());
    const HapticSettings before = gSettings.snapshot();
    for (size_t depth : {10000u, 40000u, 3000000u}) {
        SCOPED_TRACE(depth);
        serve(R"({"profile": {"routeGain": )" + std::string(depth, '[') + std::string(depth, ']') + "}}");
        download();
        EXPECT_EQ(state.status,
                  "Error: unexpected response format (JSON nested deeper than 16 levels at line 1, column 41).");
        EXPECT_EQ(state.statusStyle, kStatusError);
        EXPECT_FALSE(state.busy);
        EXPECT_TRUE(unchangedSince(before));
    }
    EXPECT_FALSE(fs::exists(profileFile(kIRacing, "Deep")));
    // The two-line message wraps upwards from the status line: both lines show.
    auto target = paintOnce(paintCommunityProfiles, &state, 480, 420);
    const auto redRows = [&](int top, int bottom) {
        int rows = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 20; x < 460; ++x) {
                const Rgba8 p = target->pixel(x, y);
                if (p.r > 150 && p.g < 110) {
                    ++rows;
                    break;
                }
            }
        return rows;
    };
    EXPECT_GT(redRows(336, 352), 4) << "the first line above the status box";
    EXPECT_GT(redRows(352, 368), 4) << "the last line in it";
    savePng(*target, "community_profiles_long_error");
}

// Downloaded values are held to the same ranges as the program's own files.
TEST_F(CommunityProfilesTest, DownloadedValuesAreClamped) {
    serve(json::array({entry("1", "Odd")}).dump());
    ASSERT_TRUE(open());
    serve(R"({"profile": {"freqRoadVib": 3e38, "roadVibration": 1e-40, "absLock": 7}})");
    download();
    ASSERT_EQ(state.statusStyle, kStatusSuccess) << state.status;
    const EffectProfile now = gSettings.snapshot().effectProfiles[kIRacing];
    EXPECT_EQ(now.freqRoadVib, kMaxEffectFrequency);
    EXPECT_EQ(now.roadVibration, 0.0f);
    EXPECT_EQ(now.absLock, 1.0f);
}

TEST_F(CommunityProfilesTest, HostileNamesStayInsideTheFolderAndReplaceNothingUnasked) {
    // The live block and the user's file agree, so the outgoing saves rewrite the same text.
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].roadVibration = 0.15f; });
    ASSERT_TRUE(saveProfile(gSettings.snapshot(), folder.path(), kIRacing, "default"));
    const std::string mine = test::readFile(profileFile(kIRacing, "default"));
    const std::vector<std::string> names = {"../../x", "/abs", "a/b", "..", "", std::string(300, 'n'),
                                            "line\nbreak", std::string("nul\0byte", 8), "default", "x\\y"};
    json list = json::array();
    for (size_t i = 0; i < names.size(); ++i)
        list.push_back(entry("id" + std::to_string(i), names[i]));
    serve(list.dump());
    ASSERT_TRUE(open());
    boxes.answer = false;  // never agree to replace
    for (size_t row = 0; row < state.entries.size(); ++row) {
        const std::string& name = state.entries[row].name;
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_EQ(name.find('\n'), std::string::npos) << name;
        EXPECT_LE(name.size(), 63u);
        state.list.selected = static_cast<int>(row);
        serve(profileReply(0.9f).dump());
        download();
    }
    EXPECT_EQ(test::readFile(profileFile(kIRacing, "default")), mine) << "\"default\" was not replaced unasked";
    EXPECT_GE(boxes.questions(), 1);
    for (const std::string& file : tree()) {
        if (file.rfind("profiles/", 0) == 0)
            EXPECT_TRUE(file.rfind("profiles/iracing/", 0) == 0 && file.find('/', 17) == std::string::npos) << file;
        else
            EXPECT_EQ(file.rfind("docs", 0), 0u) << "outside the profile folder: " << file;
    }
    EXPECT_FALSE(fs::exists(folder.path() + "x"));
    EXPECT_FALSE(fs::exists(folder.path() + "profiles/x"));
}

// The requests run on a worker: the dialog stays busy (and answers) until
// the reply is taken; Escape lets a slow one go at once and the worker ends
// soon after, long before the server would have answered.
TEST_F(CommunityProfilesTest, EscapeCancelsASlowDownloadAndTheDialogStaysOpen) {
    serve(json::array({entry("1", "Slow")}).dump());
    ASSERT_TRUE(open());
    const HapticSettings before = gSettings.snapshot();
    server.serveFile("fetch-profiles", profileReply(0.9f).dump(), 200, 20);
    ASSERT_TRUE(messageCommunityProfiles(kMsgDownloadProfile, 0, 0, &state));
    EXPECT_TRUE(state.busy);
    EXPECT_FALSE(state.download.enabled);
    EXPECT_FALSE(pollCommunityProfiles(state)) << "no reply yet";
    savePng(*paintOnce(paintCommunityProfiles, &state, 480, 420), "community_profiles_downloading");
    EXPECT_TRUE(keyCommunityProfiles(kWmKeyDown, kVkEscape, 0, &state));
    EXPECT_FALSE(state.busy);
    EXPECT_TRUE(state.download.enabled);
    EXPECT_EQ(state.status, "Download cancelled.");
    EXPECT_FALSE(lastDialogClose().requested) << "the dialog stays open";
    EXPECT_TRUE(test::eventually([] { return runningCatalogueWorkers() == 0; }, 10000));
    EXPECT_TRUE(unchangedSince(before));
    EXPECT_FALSE(fs::exists(profileFile(kIRacing, "Slow")));
}

TEST_F(CommunityProfilesTest, EscapeWhileTheListLoadsClosesTheDialog) {
    serve(json::array({entry("1", "Slow")}).dump(), 200);
    server.serveFile("fetch-profiles", json::array({entry("1", "Slow")}).dump(), 200, 20);
    state = CommunityProfilesState{};
    ASSERT_TRUE(startCommunityProfiles(state, nullptr));
    EXPECT_EQ(state.status, "Loading community profiles...");
    paintOnce(paintCommunityProfiles, &state, 480, 420);
    keyCommunityProfiles(kWmKeyDown, kVkEscape, 0, &state);
    EXPECT_EQ(lastDialogClose().code, 0);
    EXPECT_FALSE(state.busy);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(test::eventually([] { return runningCatalogueWorkers() == 0; }, 10000));
}

TEST_F(CommunityProfilesTest, AReplyOverTheLimitSaysItIsTooLarge) {
    serve(json::array({entry("1", "Big")}).dump());
    ASSERT_TRUE(open());
    serve(std::string(kBackendMaxReplyBytes + 1, ' '));
    download();
    EXPECT_EQ(state.status, "Download failed: the server's reply is too large");
    EXPECT_EQ(state.statusStyle, kStatusError);
}

TEST_F(CommunityProfilesTest, EnterWhileBusyDoesNothing) {
    serve(json::array({entry("1", "One")}).dump());
    ASSERT_TRUE(open());
    state.busy = true;
    const size_t before = server.requests().size();
    keyCommunityProfiles(kWmKeyDown, kVkReturn, 0, &state);
    messageCommunityProfiles(kMsgDownloadProfile, 0, 0, &state);
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(CommunityProfilesTest, WithoutAServerTheDialogSaysSoAndSendsNothing) {
    setBackendConfig(BackendConfig{});
    EXPECT_FALSE(open());
    EXPECT_EQ(boxes.last(), kNoProfileServerText);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(CommunityProfilesTest, RendersForReview) {
    serve(json::array({entry("1", "Endurance Grip", "Ann"), entry("2", "Kerb Heavy", "Bo")}).dump());
    ASSERT_TRUE(open());
    state.status = "Profile applied! You can close this dialog.";
    state.statusStyle = kStatusSuccess;
    auto target = paintOnce(paintCommunityProfiles, &state, 480, 420);
    savePng(*target, "community_profiles_dialog");
    // Two listed rows carry text; the list below them is empty.
    const RectF& list = state.list.rect;
    ASSERT_GT(list.height(), 3 * 40.0f);
    const Rgba8 listFill = target->pixel(static_cast<int>(list.right) - 6, static_cast<int>(list.bottom) - 6);
    const int top = static_cast<int>(list.top), left = static_cast<int>(list.left) + 8;
    EXPECT_GT(test::inkedPixels(*target, left, top + 2, left + 160, top + 60, listFill), 60);
    EXPECT_EQ(test::inkedPixels(*target, left, static_cast<int>(list.bottom) - 30, static_cast<int>(list.right) - 8,
                                static_cast<int>(list.bottom) - 4, listFill),
              0);
    // Both buttons lie inside the dialog, below the list.
    for (const RectF* r : {&state.download.rect, &state.close.rect}) {
        EXPECT_GE(r->top, list.bottom);
        EXPECT_LE(r->bottom, 420.0f);
        EXPECT_LE(r->right, 480.0f);
    }
}

}  // namespace
}  // namespace qv
