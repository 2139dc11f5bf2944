// The backend client against a loopback HTTPS server signed by a test CA.

#include "app/BackendClient.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

using namespace qv;
using qv::test::HttpsTestServer;

namespace {

constexpr char kKey[] = "header.payload.signature";

class BackendClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()) << server.error(); }

    BackendConfig config() const {
        BackendConfig c;
        c.baseUrl = server.url("/functions/v1");
        c.accessKey = kKey;
        c.caFile = server.caFile();
        return c;
    }

    HttpsTestServer server;
};

TEST_F(BackendClientTest, KeepsStatusAndBodyAndSetsOkOnlyFor2xx) {
    const BackendClient client(config());

    const HttpResult created = client.get("/status/200");
    EXPECT_EQ(created.status, 200);
    EXPECT_TRUE(created.ok);
    EXPECT_NE(created.body.find("\"path\": \"/functions/v1/status/200\""), std::string::npos) << created.body;

    const HttpResult empty = client.get("/status/204");
    EXPECT_EQ(empty.status, 204);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.body, "");

    const HttpResult missing = client.get("/status/404");
    EXPECT_EQ(missing.status, 404);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.body.find("/status/404"), std::string::npos);

    const HttpResult failed = client.post("/status/500", "{\"error\":\"boom\"}");
    EXPECT_EQ(failed.status, 500);
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.body.find("boom"), std::string::npos);
}

TEST_F(BackendClientTest, GetSendsTheKeyHeadersAndUserAgentOnly) {
    ASSERT_TRUE(BackendClient(config()).get("/status/200").ok);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r["method"], "GET");
    EXPECT_EQ(r["path"], "/functions/v1/status/200");
    EXPECT_EQ(HttpsTestServer::header(r, "apikey"), kKey);
    EXPECT_EQ(HttpsTestServer::header(r, "Authorization"), std::string("Bearer ") + kKey);
    EXPECT_EQ(HttpsTestServer::header(r, "User-Agent"), "QuorVane/0.2");
    EXPECT_EQ(HttpsTestServer::headerCount(r, "Content-Type"), 0);
    EXPECT_EQ(HttpsTestServer::headerCount(r, "Accept"), 0);
}

TEST_F(BackendClientTest, PostSendsTheJsonBodyWithContentTypeAndKeyHeaders) {
    // Longer than the size at which libcurl would otherwise ask for "100-continue".
    const std::string body = "{\"sim\":\"acc\",\"description\":\"" + std::string(3000, 'd') + "\"}";
    ASSERT_TRUE(BackendClient(config()).post("/status/201", body).ok);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r["method"], "POST");
    EXPECT_EQ(r["body"], body);
    EXPECT_EQ(HttpsTestServer::headerCount(r, "Content-Type"), 1);
    EXPECT_EQ(HttpsTestServer::header(r, "Content-Type"), "application/json");
    EXPECT_EQ(HttpsTestServer::header(r, "apikey"), kKey);
    EXPECT_EQ(HttpsTestServer::header(r, "Authorization"), std::string("Bearer ") + kKey);
    EXPECT_EQ(HttpsTestServer::headerCount(r, "Expect"), 0);
}

TEST_F(BackendClientTest, AnEmptyKeyIsSentAsEmptyHeaders) {
    BackendConfig c = config();
    c.accessKey.clear();
    ASSERT_TRUE(BackendClient(c).get("/status/200").ok);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(HttpsTestServer::headerCount(requests[0], "apikey"), 1);
    EXPECT_EQ(HttpsTestServer::header(requests[0], "apikey"), "");
}

TEST_F(BackendClientTest, AnUntrustedCertificateGivesStatusZero) {
    BackendConfig c = config();
    c.caFile.clear();  // system store only: the test CA is unknown
    const HttpResult result = BackendClient(c).get("/status/200");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(BackendClientTest, AClosedPortGivesStatusZero) {
    BackendConfig c = config();
    c.baseUrl = "https://127.0.0.1:" + std::to_string(server.closedPort()) + "/functions/v1";
    const HttpResult result = BackendClient(c).get("/status/200");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
}

TEST_F(BackendClientTest, AServerThatNeverAnswersEndsInTheTimeOut) {
    BackendConfig c = config();
    c.baseUrl = "https://127.0.0.1:" + std::to_string(server.stallPort()) + "/functions/v1";
    BackendClient client(c);
    client.setTimeouts(300, 600);
    const HttpResult result = client.get("/status/200");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("imeout"), std::string::npos) << result.error;
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.tooLarge);
}

TEST_F(BackendClientTest, ARedirectIsNotFollowed) {
    const HttpResult result = BackendClient(config()).get("/redirect");
    EXPECT_EQ(result.status, 302);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.body, "moved");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(BackendClientTest, AReplyLongerThanTheCapFails) {
    BackendClient client(config());
    client.setMaxReplyBytes(4096);

    const HttpResult atCap = client.get("/big?bytes=4096");
    EXPECT_TRUE(atCap.ok);
    EXPECT_EQ(atCap.body.size(), 4096u);

    const HttpResult announced = client.get("/big?bytes=200000");
    EXPECT_FALSE(announced.ok);
    EXPECT_LE(announced.body.size(), 4096u);
    EXPECT_TRUE(announced.tooLarge);
    EXPECT_EQ(announced.status, 200) << "a status had come; the reply is still not believed";

    const HttpResult streamed = client.get("/big?bytes=200000&length=0");
    EXPECT_FALSE(streamed.ok);
    EXPECT_LE(streamed.body.size(), 4096u);
    EXPECT_NE(streamed.error.find("longer than 4096 bytes"), std::string::npos) << streamed.error;
    EXPECT_TRUE(streamed.tooLarge);
    EXPECT_FALSE(streamed.timedOut);
}

TEST_F(BackendClientTest, ABodyCutOffMidTransferIsNotSuccess) {
    const HttpResult result = BackendClient(config()).get("/truncated");
    EXPECT_EQ(result.status, 200);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
}

TEST_F(BackendClientTest, ValuesInThePathArriveEncoded) {
    const BackendClient client(config());
    ASSERT_TRUE(client.get("/status/200?id=" + percentEncode("a b&c/d#e")).ok);
    ASSERT_TRUE(client.get("/status/200?sim=caf\xC3\xA9 x").ok);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["path"], "/functions/v1/status/200?id=a%20b%26c%2Fd%23e");
    EXPECT_EQ(requests[1]["path"], "/functions/v1/status/200?sim=caf%C3%A9%20x");
}

TEST_F(BackendClientTest, WithoutABackendNothingIsSent) {
    setBackendConfig(BackendConfig{});
    const HttpResult result = httpGet("/status/200");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "no backend server is configured (QV_BACKEND_URL)");
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(BackendClientTest, TheGlobalFunctionsUseTheConfiguredBackend) {
    setBackendConfig(config());
    EXPECT_EQ(backendHost(), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(backendBasePath(), "/functions/v1");
    EXPECT_TRUE(httpGet("/status/200").ok);
    EXPECT_TRUE(httpPost("/status/200", "{}").ok);
    EXPECT_EQ(server.requests().size(), 2u);
    setBackendConfig(BackendConfig{});
}

TEST(HttpsTransport, RefusesAddressesOtherThanHttpsAndHeadersWithLineBreaks) {
    CurlHttpsTransport transport;
    HttpsRequest plain;
    plain.url = "http://127.0.0.1:1/x";
    const HttpsResponse refused = transport.perform(plain);
    EXPECT_FALSE(refused.completed);
    EXPECT_EQ(refused.error, "refused to send to \"http://127.0.0.1:1/x\": only https:// addresses are allowed");

    HttpsRequest injected;
    injected.url = "https://127.0.0.1:1/x";
    injected.headers = {"apikey: a\r\nX-Other: b"};
    EXPECT_EQ(transport.perform(injected).error,
              "refused to send a request whose address or headers hold a line break");
}

TEST(BackendAddress, HostAndBasePathAreSplitAtTheFirstSlash) {
    EXPECT_EQ(hostOfUrl("https://api.example.org/functions/v1"), "api.example.org");
    EXPECT_EQ(pathOfUrl("https://api.example.org/functions/v1"), "/functions/v1");
    EXPECT_EQ(hostOfUrl("api.example.org:8443/x"), "api.example.org:8443");
    EXPECT_EQ(basePathOfUrl("https://api.example.org"), "/functions/v1");
    EXPECT_EQ(BackendClient(BackendConfig{"https://h:1/base", "", "", "", "", ""}).urlFor("/a b"),
              "https://h:1/base/a%20b");
}

TEST(BackendAddress, PercentEncodingKeepsOnlyUnreservedBytes) {
    EXPECT_EQ(percentEncode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(percentEncode("a/b?c=d&e#f%"), "a%2Fb%3Fc%3Dd%26e%23f%25");
    EXPECT_EQ(percentEncode(std::string("\0\x7F\xFF", 3)), "%00%7F%FF");
    EXPECT_EQ(encodeUnsafeUrlBytes("/p?a=1&b=%41"), "/p?a=1&b=%41");
    EXPECT_EQ(encodeUnsafeUrlBytes("/p q\"<>\\^`{|}#\n"), "/p%20q%22%3C%3E%5C%5E%60%7B%7C%7D%23%0A");
}

}  // namespace
