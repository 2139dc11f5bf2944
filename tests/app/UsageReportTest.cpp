// The usage report's request against a loopback HTTPS server, and its body.

#include "app/UsageReport.h"
#include "support/HttpsTestServer.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::HttpsTestServer;

namespace {

class UsageReportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()) << server.error(); }
    void TearDown() override {
        setUsagePingIdentity("", "");
        setBackendConfig(BackendConfig{});
    }

    BackendConfig config() const {
        BackendConfig c;
        c.baseUrl = server.url("/functions/v1");
        c.accessKey = "the.access.key";
        c.caFile = server.caFile();
        return c;
    }

    HttpsTestServer server;
};

TEST_F(UsageReportTest, WithoutAnIdentityNoReportStarts) {
    setBackendConfig(config());
    setUsagePingIdentity("", "token");
    EXPECT_FALSE(sendUsagePing("", "launch"));
    EXPECT_FALSE(sendUsagePing("iRacing", "sim_connect"));

    setBackendConfig(BackendConfig{});  // an identity, but no backend
    setUsagePingIdentity("id", "token");
    EXPECT_FALSE(sendUsagePing("", "launch"));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UsageReportTest, PostsTheExactBodyAndHeadersToPing) {
    const HttpResult result = postUsagePing({"1b4e28ba-2fa1-41d2-883f-0016d3cca427", "tok", "0.6.103", "iRacing", "sim_connect"},
                                            config());
    EXPECT_EQ(result.status, 404);  // the test server has no ping function: the reply is not looked at
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r["method"], "POST");
    EXPECT_EQ(r["path"], "/functions/v1/ping");
    EXPECT_EQ(r["body"],
              R"({"machine_id":"1b4e28ba-2fa1-41d2-883f-0016d3cca427","token":"tok","version":"0.6.103","sim":"iRacing","event":"sim_connect"})");
    EXPECT_EQ(HttpsTestServer::header(r, "Content-Type"), "application/json");
    EXPECT_EQ(HttpsTestServer::header(r, "apikey"), "the.access.key");
    EXPECT_EQ(HttpsTestServer::header(r, "Authorization"), "Bearer the.access.key");
    EXPECT_EQ(HttpsTestServer::header(r, "User-Agent"), "QuorVane-Telemetry/1.0");
    EXPECT_EQ(HttpsTestServer::headerCount(r, "Accept"), 0);
}

TEST(UsagePingBody, ValuesWithQuotesAndBackslashesGiveValidJson) {
    const UsagePing ping{"id\"1", "to\\ken", "0.6.103", "AC \"EVO\"\n", "launch\x01"};
    const std::string body = usagePingBody(ping);
    const nlohmann::json parsed = nlohmann::json::parse(body, nullptr, false);
    ASSERT_TRUE(parsed.is_object()) << body;
    EXPECT_EQ(parsed["machine_id"], "id\"1");
    EXPECT_EQ(parsed["token"], "to\\ken");
    EXPECT_EQ(parsed["sim"], "AC \"EVO\"\n");
    EXPECT_EQ(parsed["event"], "launch\x01");
    EXPECT_EQ(body.find(' '), body.find("AC ") + 2);  // no blanks besides the one in a value
}

TEST(UsagePingBody, BytesThatAreNotUtf8StillGiveValidJson) {
    const std::string body = usagePingBody({"id", "\xFF\xFE", "0.6.103", "", "launch"});
    EXPECT_TRUE(nlohmann::json::accept(body)) << body;
    EXPECT_EQ(body.rfind(R"({"machine_id":"id","token":")", 0), 0u);
}

}  // namespace
