// The backend configuration: defaults, environment, checks; the installation
// identity; what the online services say and do with nothing configured.

#include "app/BackendConfig.h"
#include "app/InstallationId.h"
#include "app/OnlineServices.h"
#include "app/OnlineWorkers.h"
#include "app/UsageReport.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>

using namespace qv;
using qv::test::TempDir;

namespace {

EnvironmentLookup lookupIn(const std::map<std::string, std::string>& variables) {
    return [&variables](const char* name) -> const char* {
        const auto it = variables.find(name);
        return it == variables.end() ? nullptr : it->second.c_str();
    };
}

TEST(BackendConfig, TheEnvironmentOverridesEachDefaultAndEmptySwitchesItOff) {
    const BackendConfig defaults{"https://build.example/functions/v1", "built-in-key", "https://build.example/version.json",
                                 "/etc/built.pem", "built-token", ""};
    const std::map<std::string, std::string> variables = {
        {"QV_BACKEND_URL", "https://127.0.0.1:4443/functions/v1"}, {"QV_UPDATE_URL", ""}, {"QV_USAGE_TOKEN", "t"}};
    const BackendConfig config = applyEnvironment(defaults, lookupIn(variables));
    EXPECT_EQ(config.baseUrl, "https://127.0.0.1:4443/functions/v1");
    EXPECT_EQ(config.accessKey, "built-in-key");
    EXPECT_EQ(config.updateUrl, "");
    EXPECT_EQ(config.caFile, "/etc/built.pem");
    EXPECT_EQ(config.usageToken, "t");
    EXPECT_FALSE(config.hasUpdateServer());
}

TEST(BackendConfig, AddressesThatAreNotHttpsAreSwitchedOffWithAReason) {
    std::vector<std::string> problems;
    const BackendConfig config = validateBackendConfig(
        {"http://api.example.org/functions/v1", "key\r\nX: y", "https://example.org/version.json/", "", "", ""},
        &problems);
    EXPECT_EQ(config.baseUrl, "");
    EXPECT_EQ(config.accessKey, "");
    EXPECT_EQ(config.updateUrl, "https://example.org/version.json/");
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0],
              "QV_BACKEND_URL \"http://api.example.org/functions/v1\" is not an https:// address: usage reports and "
              "the community catalogue are off.");
    EXPECT_EQ(problems[1], "QV_BACKEND_KEY holds a line break and is ignored.");

    EXPECT_EQ(validateBackendConfig({"https://h.example/functions/v1//", "", "", "", "", ""}, nullptr).baseUrl,
              "https://h.example/functions/v1");
}

TEST(BackendConfig, TheDownloadPageComesFromTheEnvironmentAndMustBeHttps) {
    BackendConfig defaults;
    defaults.downloadPageUrl = "https://build.example/download";
    const std::map<std::string, std::string> plain = {{"QV_DOWNLOAD_PAGE_URL", "http://mirror.example/download"}};
    std::vector<std::string> problems;
    const BackendConfig refused = validateBackendConfig(applyEnvironment(defaults, lookupIn(plain)), &problems);
    EXPECT_FALSE(refused.hasDownloadPage());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "QV_DOWNLOAD_PAGE_URL \"http://mirror.example/download\" is not an https:// address: "
                           "\"Check for Updates\" has no download page.");
    const std::map<std::string, std::string> none;
    EXPECT_EQ(validateBackendConfig(applyEnvironment(defaults, lookupIn(none)), nullptr).downloadPageUrl,
              "https://build.example/download");
}

TEST(BackendConfig, HttpsAddressesNeedAHostAndNoBlanks) {
    EXPECT_TRUE(isHttpsUrl("https://example.org"));
    EXPECT_TRUE(isHttpsUrl("HTTPS://127.0.0.1:8443/v"));
    EXPECT_FALSE(isHttpsUrl("https://"));
    EXPECT_FALSE(isHttpsUrl("https:///path"));
    EXPECT_FALSE(isHttpsUrl("https://exa mple.org"));
    EXPECT_FALSE(isHttpsUrl("https://example.org/\xC3\xA9"));
    EXPECT_FALSE(isHttpsUrl("ftp://example.org"));
    EXPECT_FALSE(isHttpsUrl(" https://example.org"));
}

TEST(InstallationId, IsMadeOnceAndKeptInTheFolder) {
    TempDir dir;
    std::string first, second, error;
    ASSERT_TRUE(loadOrCreateInstallationId(dir.path(), first, error)) << error;
    EXPECT_TRUE(isInstallationId(first)) << first;
    EXPECT_EQ(qv::test::readFile(dir.file("installation_id")), first + "\n");
    ASSERT_TRUE(loadOrCreateInstallationId(dir.path(), second, error));
    EXPECT_EQ(first, second);

    std::string other;
    ASSERT_TRUE(makeInstallationId(other, error));
    EXPECT_NE(other, first);
}

TEST(InstallationId, AFileWithoutAnIdentifierIsReplaced) {
    TempDir dir;
    qv::test::writeFile(dir.file("installation_id"), "00000000-0000-0000-0000-000000000000\n");
    std::string id, error;
    ASSERT_TRUE(loadOrCreateInstallationId(dir.path(), id, error));
    EXPECT_TRUE(isInstallationId(id));
    EXPECT_EQ(qv::test::readFile(dir.file("installation_id")), id + "\n");
}

TEST(InstallationId, AFolderThatCannotBeWrittenGivesAnError) {
    TempDir dir;
    std::string id, error;
    EXPECT_FALSE(loadOrCreateInstallationId(dir.file("missing/"), id, error));
    EXPECT_EQ(error, "cannot write " + dir.file("missing/installation_id.tmp"));
    EXPECT_EQ(id, "");
}

TEST(OnlineServices, WithNothingConfiguredOneLineSaysSoAndNothingStarts) {
    std::string printed;
    OutputCapture capture([&printed](OutputStream, std::string_view text) { printed += text; });
    TempDir dir;
    OnlineServices online(BackendConfig{}, {}, dir.path());
    online.startUpdateCheck();
    online.sendUsagePing("", "launch");
    online.sendUsagePing("iRacing", "sim_connect");
    EXPECT_EQ(printed,
              "  [Online] No server is configured: the update check, usage reports and the community catalogue are "
              "off.\n");
    EXPECT_EQ(onlineWorkers().running(), 0);
    EXPECT_FALSE(online.usageReportsOn());
    EXPECT_EQ(qv::test::readFile(dir.file("installation_id")), "");  // no identity made
    EXPECT_FALSE(backendConfig().hasBackend());
}

TEST(OnlineServices, TheConfigurationProblemsArePrintedBeforeTheStatus) {
    std::string printed;
    OutputCapture capture([&printed](OutputStream, std::string_view text) { printed += text; });
    TempDir dir;
    OnlineServices online(BackendConfig{}, {"QV_UPDATE_URL \"x\" is not an https:// address: the update check is off."},
                          dir.path());
    online.startUpdateCheck();
    online.startUpdateCheck();
    EXPECT_EQ(printed,
              "  [Online] QV_UPDATE_URL \"x\" is not an https:// address: the update check is off.\n"
              "  [Online] No server is configured: the update check, usage reports and the community catalogue are "
              "off.\n");
}

}  // namespace
