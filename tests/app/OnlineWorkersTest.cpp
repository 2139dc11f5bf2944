// The online services' detached workers end to end against a loopback HTTPS
// server: the update check publishing its results to a reader on another
// thread, and the usage reports of a start and two connections.

#include "app/OnlineServices.h"
#include "app/OnlineWorkers.h"
#include "app/UpdateCheck.h"
#include "app/UsageReport.h"
#include "platform/Output.h"
#include "support/HttpsTestServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace qv;
using qv::test::HttpsTestServer;

namespace {

constexpr int kWorkerWaitMs = 60000;

class OnlineWorkersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning()) << server.error();
        server.serveFile("version.json",
                         R"({"version":"0.7.1","url":"https://downloads.example.org/QuorVane-Setup.exe","notes":"New:\nmore"})");
    }
    void TearDown() override {
        EXPECT_TRUE(onlineWorkers().waitIdle(kWorkerWaitMs));
        setUsagePingIdentity("", "");
        setBackendConfig(BackendConfig{});
    }

    BackendConfig config() const {
        BackendConfig c;
        c.baseUrl = server.url("/functions/v1");
        c.accessKey = "key";
        c.updateUrl = server.url("/files/version.json");
        c.caFile = server.caFile();
        c.usageToken = "token";
        return c;
    }

    std::vector<nlohmann::json> pings() const {
        std::vector<nlohmann::json> result;
        for (const auto& r : server.requests())
            if (r["path"] == "/functions/v1/ping")
                result.push_back(nlohmann::json::parse(r["body"].get<std::string>()));
        return result;
    }

    HttpsTestServer server;
    qv::test::TempDir appData;
};

TEST_F(OnlineWorkersTest, TheUpdateCheckPublishesCompleteResultsToOtherThreads) {
    std::atomic<bool> stop{false};
    std::string seenVersion, seenNotes;
    std::thread reader([&] {
        // Reads the way the GUI does: flag first, then the buffers.
        while (!stop.load()) {
            if (seenVersion.empty())
                seenVersion = publishedLatestVersion();
            if (seenNotes.empty())
                seenNotes = publishedReleaseNotes();
            std::this_thread::yield();
        }
    });
    std::string printed;
    {
        OutputCapture capture([&printed](OutputStream, std::string_view text) { printed += text; });
        ASSERT_TRUE(startUpdateCheckWorker(config().updateUrl, config().caFile));
        EXPECT_TRUE(onlineWorkers().waitIdle(kWorkerWaitMs));
    }
    stop = true;
    reader.join();
    EXPECT_EQ(gUpdateAvailable.load(), 1);
    EXPECT_STREQ(publishedLatestVersion(), "0.7.1");
    EXPECT_STREQ(publishedUpdateUrl(), "https://downloads.example.org/QuorVane-Setup.exe");
    EXPECT_STREQ(publishedReleaseNotes(), "New:\r\nmore");
    EXPECT_TRUE(seenVersion.empty() || seenVersion == "0.7.1");
    EXPECT_TRUE(seenNotes.empty() || seenNotes == "New:\r\nmore");
    EXPECT_EQ(printed, "  [UpdateCheck] Version 0.7.1 is available (this is 0.6.103).\n");
}

TEST_F(OnlineWorkersTest, AStartAndTwoConnectionsSendThreeReportsAndOneCheck) {
    OnlineServices online(config(), {}, appData.path());
    EXPECT_TRUE(online.usageReportsOn());
    EXPECT_EQ(online.statusLine(), "");
    online.startUpdateCheck();
    online.sendUsagePing("", "launch");
    online.sendUsagePing("iRacing", "sim_connect");
    online.sendUsagePing("iRacing", "sim_connect");  // after a reconnect
    ASSERT_TRUE(online.waitIdle(kWorkerWaitMs));

    const std::string id = qv::test::readFile(appData.file("installation_id"));
    ASSERT_EQ(id.size(), 37u);
    const auto reports = pings();
    ASSERT_EQ(reports.size(), 3u);
    int launches = 0, connects = 0;
    for (const auto& report : reports) {
        EXPECT_EQ(report["machine_id"], id.substr(0, 36));
        EXPECT_EQ(report["token"], "token");
        EXPECT_EQ(report["version"], "0.6.103");
        if (report["event"] == "launch" && report["sim"] == "")
            ++launches;
        if (report["event"] == "sim_connect" && report["sim"] == "iRacing")
            ++connects;
    }
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(connects, 2);
    EXPECT_EQ(gUpdateAvailable.load(), 1);
    EXPECT_EQ(server.requests().size(), 4u);
}

TEST_F(OnlineWorkersTest, ReportsToAnUnreachableBackendEndQuietly) {
    BackendConfig c = config();
    c.baseUrl = "https://127.0.0.1:" + std::to_string(server.closedPort()) + "/functions/v1";
    c.updateUrl.clear();
    std::string printed;
    OutputCapture capture([&printed](OutputStream, std::string_view text) { printed += text; });
    OnlineServices online(c, {}, appData.path());
    online.startUpdateCheck();
    online.sendUsagePing("", "launch");
    ASSERT_TRUE(online.waitIdle(kWorkerWaitMs));
    EXPECT_EQ(printed, "  [Online] No update server is configured: the update check is off.\n");
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
