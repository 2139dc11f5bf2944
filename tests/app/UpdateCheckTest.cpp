// The update check: manifests served by a loopback HTTPS server, and the
// version and text helpers behind it.

#include "app/UpdateCheck.h"
#include "support/HttpsTestServer.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstring>

using namespace qv;
using qv::test::HttpsTestServer;

namespace {

// The results of one check, in buffers of the process-wide sizes.
struct Results {
    std::atomic<int32_t> flag{0};
    std::atomic<int32_t> notesReady{0};
    char url[kUpdateUrlSize] = {};
    char version[kLatestVersionSize] = {};
    char notes[kReleaseNotesSize] = {};

    bool untouched() const {
        return flag == 0 && notesReady == 0 && url[0] == 0 && version[0] == 0 && notes[0] == 0;
    }
};

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()) << server.error(); }

    UpdateCheckResult check(const std::string& path, std::string* error = nullptr) {
        UpdateCheckRequest request;
        request.updateAvailable = &results.flag;
        request.url = results.url;
        request.urlSize = sizeof results.url;
        request.notes = results.notes;
        request.notesSize = sizeof results.notes;
        request.version = results.version;
        request.versionSize = sizeof results.version;
        request.notesReady = &results.notesReady;
        request.manifestUrl = server.url(path);
        request.caFile = server.caFile();
        return checkForUpdate(request, error);
    }

    // Serves a manifest as JSON with the given members.
    std::string serveManifest(const nlohmann::json& manifest, int status = 200) {
        server.serveFile("version.json", manifest.dump(), status);
        return "/files/version.json";
    }

    HttpsTestServer server;
    Results results;
};

TEST_F(UpdateCheckTest, ANewerVersionSetsUrlVersionNotesAndTheFlag) {
    const auto path = serveManifest(
        {{"version", "0.7.0"}, {"url", "https://downloads.example.org/QuorVane-Setup.exe"}, {"notes", "One\nTwo"}});
    EXPECT_EQ(check(path), UpdateCheckResult::NewerAvailable);
    EXPECT_EQ(results.flag, 1);
    EXPECT_STREQ(results.version, "0.7.0");
    EXPECT_STREQ(results.url, "https://downloads.example.org/QuorVane-Setup.exe");
    EXPECT_EQ(results.notesReady, 1);
    EXPECT_STREQ(results.notes, "One\r\nTwo");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["method"], "GET");
    EXPECT_EQ(requests[0]["path"], "/files/version.json");
    EXPECT_EQ(HttpsTestServer::header(requests[0], "User-Agent"), "QuorVane-UpdateChecker/1.0");
    EXPECT_EQ(HttpsTestServer::headerCount(requests[0], "apikey"), 0);
}

TEST_F(UpdateCheckTest, TheSameVersionStoresOnlyTheNotes) {
    const auto path = serveManifest({{"version", "0.6.103"}, {"url", "https://example.org/s.exe"}, {"notes", "Fixes"}});
    EXPECT_EQ(check(path), UpdateCheckResult::UpToDate);
    EXPECT_EQ(results.flag, 0);
    EXPECT_STREQ(results.version, "");
    EXPECT_STREQ(results.url, "");
    EXPECT_STREQ(results.notes, "Fixes");
    EXPECT_EQ(results.notesReady, 1);
}

TEST_F(UpdateCheckTest, ErrorPagesAndOtherBodiesChangeNothing) {
    std::string error;
    EXPECT_EQ(check("/files/missing.json", &error), UpdateCheckResult::Failed);  // the server's HTML 404 page
    EXPECT_EQ(error, server.url("/files/missing.json") + " answered with status 404");

    // A manifest that comes with an error status is not believed either.
    EXPECT_EQ(check(serveManifest({{"version", "9.0.0"}, {"notes", "x"}}, 500)), UpdateCheckResult::Failed);

    server.serveFile("page.html", "<html><body>\"version\": \"9.0.0\"</body></html>");
    EXPECT_EQ(check("/files/page.html", &error), UpdateCheckResult::Failed);
    EXPECT_EQ(error, server.url("/files/page.html") + " did not send a version manifest");

    server.serveFile("noversion.json", R"({"url":"https://example.org/s.exe","notes":"n"})");
    EXPECT_EQ(check("/files/noversion.json"), UpdateCheckResult::Failed);

    server.serveFile("badutf8.json", "{\"version\":\"9.0.0\",\"notes\":\"\xFF\xFE\"}");
    EXPECT_EQ(check("/files/badutf8.json"), UpdateCheckResult::Failed);

    EXPECT_EQ(check("/truncated"), UpdateCheckResult::Failed);

    // Nesting beyond the reader's limit is refused before it is built.
    const std::string deep(30000, '[');
    server.serveFile("deep.json", R"({"version":"9.0.0","x":)" + deep + std::string(deep.size(), ']') + "}");
    EXPECT_EQ(check("/files/deep.json"), UpdateCheckResult::Failed);
    EXPECT_TRUE(results.untouched());
}

TEST_F(UpdateCheckTest, AnUnreachableServerChangesNothing) {
    UpdateCheckRequest request;
    request.updateAvailable = &results.flag;
    request.url = results.url;
    request.urlSize = sizeof results.url;
    request.manifestUrl = "https://127.0.0.1:" + std::to_string(server.closedPort()) + "/version.json";
    std::string error;
    EXPECT_EQ(checkForUpdate(request, &error), UpdateCheckResult::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(results.untouched());
}

TEST_F(UpdateCheckTest, EscapesInTheManifestAreDecoded) {
    server.serveFile("escapes.json",
                     R"({"notes":"Say \"hi\"\\now\n\u00e9\/\tend","version":"0.7.0","url":"https:\/\/example.org\/s.exe"})");
    EXPECT_EQ(check("/files/escapes.json"), UpdateCheckResult::NewerAvailable);
    EXPECT_STREQ(results.notes, "Say \"hi\"\\now\r\n\xC3\xA9/\tend");
    EXPECT_STREQ(results.url, "https://example.org/s.exe");
}

TEST_F(UpdateCheckTest, LongNotesAreCutWholeCharactersOnly) {
    EXPECT_EQ(check(serveManifest({{"version", "0.6.103"}, {"notes", std::string(5000, 'n')}})),
              UpdateCheckResult::UpToDate);
    EXPECT_EQ(std::strlen(results.notes), 4095u);

    std::string accents;
    for (int i = 0; i < 3000; ++i)
        accents += "\xC3\xA9";  // two bytes each: 4095 would split one
    results.notes[0] = 0;
    check(serveManifest({{"version", "0.6.103"}, {"notes", accents}}));
    EXPECT_EQ(std::strlen(results.notes), 4094u);
    EXPECT_TRUE(nlohmann::json::accept("\"" + std::string(results.notes) + "\""));
}

TEST_F(UpdateCheckTest, ADownloadAddressThatIsNotHttpsOrDoesNotFitIsLeftOut) {
    const std::string overlong = "https://example.org/" + std::string(kUpdateUrlSize, 'a');
    EXPECT_EQ(check(serveManifest({{"version", "1.0.0"}, {"url", overlong}})), UpdateCheckResult::NewerAvailable);
    EXPECT_EQ(results.flag, 1);
    EXPECT_STREQ(results.version, "1.0.0");
    EXPECT_STREQ(results.url, "");

    for (const char* bad : {"http://example.org/s.exe", "file:///etc/passwd", "https://example.org/a b"}) {
        std::strcpy(results.url, "stale");
        check(serveManifest({{"version", "1.0.0"}, {"url", bad}}));
        EXPECT_STREQ(results.url, "") << bad;
    }
}

TEST(VersionNumbers, CompareLikeThreeNumbersReadWithScanf) {
    EXPECT_FALSE(versionIsNewer("0.6.103", "0.6.103"));
    EXPECT_TRUE(versionIsNewer("0.6.104", "0.6.103"));
    EXPECT_FALSE(versionIsNewer("0.6.102", "0.6.103"));
    EXPECT_TRUE(versionIsNewer("0.7", "0.6.103"));  // 0.7.0
    EXPECT_TRUE(versionIsNewer("1", "0.6.103"));    // 1.0.0
    EXPECT_FALSE(versionIsNewer("v9.0.0", "0.6.103"));  // 0.0.0
    EXPECT_TRUE(versionIsNewer("0.10.0", "0.9.99"));
    EXPECT_TRUE(versionIsNewer(" 1.0.0-beta", "0.6.103"));
    EXPECT_FALSE(versionIsNewer("", "0.0.0"));
}

TEST(VersionNumbers, PartsOutOfRangeMakeTheVersionInvalid) {
    VersionNumber v;
    EXPECT_TRUE(parseVersion("1.2.3", v));
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 2);
    EXPECT_EQ(v.patch, 3);
    EXPECT_TRUE(parseVersion("0.7.x", v));
    EXPECT_EQ(v.minor, 7);
    EXPECT_EQ(v.patch, 0);
    EXPECT_FALSE(parseVersion("99999999999999999999.0.0", v));
    EXPECT_FALSE(parseVersion("1.-2.0", v));
    EXPECT_FALSE(parseVersion("1.0.1000000", v));
    EXPECT_TRUE(parseVersion("1.0.999999", v));
    EXPECT_FALSE(versionIsNewer("4294967297.0.0", "0.6.103"));
    EXPECT_FALSE(versionIsNewer("-1.0.0", "0.6.103"));
}

TEST(ReleaseNotesText, LineBreaksBecomeCrLf) {
    EXPECT_EQ(crlfLineBreaks("a\nb"), "a\r\nb");
    EXPECT_EQ(crlfLineBreaks("a\r\nb\rc\n\n"), "a\r\nb\r\nc\r\n\r\n");
    EXPECT_EQ(crlfLineBreaks("a\\nb"), "a\\nb");
}

TEST(ReleaseNotesText, CopiesAreCutAtCharacterBoundaries) {
    char buffer[5];
    copyTruncatedUtf8(buffer, sizeof buffer, "ab\xE2\x82\xAC");  // a, b, euro sign: 5 bytes
    EXPECT_STREQ(buffer, "ab");
    copyTruncatedUtf8(buffer, sizeof buffer, "abcd");
    EXPECT_STREQ(buffer, "abcd");
    copyTruncatedUtf8(buffer, 1, "abcd");
    EXPECT_STREQ(buffer, "");
    copyTruncatedUtf8(buffer, sizeof buffer, std::string_view("a\0b", 3));
    EXPECT_STREQ(buffer, "a");
}

}  // namespace
