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

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <future>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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
    EXPECT_EQ(error, "create temporary file for " + dir.file("missing/installation_id") + ": No such file or directory");
    EXPECT_EQ(id, "");
}

struct IdResult {
    bool ok = false;
    std::string id;
    std::string error;
};

// loadOrCreateInstallationId on a thread of its own. Still running after five
// seconds is a failure (it blocks on a pipe); the pipes it may block on are
// then opened from this side until it returns, so the test ends either way.
IdResult loadWithoutBlocking(const std::string& folder, const std::vector<std::string>& fifos) {
    auto call = std::async(std::launch::async, [folder] {
        IdResult r;
        r.ok = loadOrCreateInstallationId(folder, r.id, r.error);
        return r;
    });
    if (call.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "loadOrCreateInstallationId still blocks after 5 s";
        std::signal(SIGPIPE, SIG_IGN);
        std::vector<int> readEnds;
        while (call.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            for (const std::string& fifo : fifos) {
                const int r = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                if (r >= 0)
                    readEnds.push_back(r);  // kept open: a blocked writer writes into it
                const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (w >= 0)
                    ::close(w);  // wakes a blocked reader, which then reads the end of the file
            }
        }
        for (int fd : readEnds)
            ::close(fd);
    }
    return call.get();
}

bool isFifo(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

bool isRegular(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isLink(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST(InstallationId, APipeOrALinkToOneUnderTheNameIsLeftAsItIsAndGivesNoIdentifier) {
    TempDir dir;
    const std::string path = dir.file("installation_id");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    IdResult r = loadWithoutBlocking(dir.path(), {path});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "read " + path + ": not a regular file; it was left as it is");
    EXPECT_EQ(r.id, "");
    EXPECT_TRUE(isFifo(path)) << "the pipe was replaced";

    // The same through a link, which stays a link.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    const std::string pipe = dir.file("elsewhere");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(pipe.c_str(), path.c_str()), 0);
    r = loadWithoutBlocking(dir.path(), {pipe});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "read " + path + ": not a regular file; it was left as it is");
    EXPECT_TRUE(isLink(path));
    EXPECT_TRUE(isFifo(pipe));

    // And a folder.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    r = loadWithoutBlocking(dir.path(), {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "read " + path + ": not a regular file; it was left as it is");
}

TEST(InstallationId, APipeOrALinkAtTheOldTemporaryNameIsNeverOpened) {
    TempDir dir;
    const std::string path = dir.file("installation_id");
    const std::string temporary = dir.file("installation_id.tmp");
    ASSERT_EQ(::mkfifo(temporary.c_str(), 0600), 0);
    IdResult r = loadWithoutBlocking(dir.path(), {temporary});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(isInstallationId(r.id)) << r.id;
    ASSERT_TRUE(isRegular(path)) << "the identity is no regular file (the pipe renamed over it?)";
    EXPECT_EQ(qv::test::readFile(path), r.id + "\n");
    EXPECT_TRUE(isFifo(temporary)) << "the pipe was opened or replaced";

    // A link there is not written through: the file it names keeps its text.
    ASSERT_EQ(::unlink(temporary.c_str()), 0);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    const std::string victim = dir.file("victim");
    ASSERT_TRUE(qv::test::writeFile(victim, "keep me\n"));
    ASSERT_EQ(::symlink(victim.c_str(), temporary.c_str()), 0);
    r = loadWithoutBlocking(dir.path(), {});
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(isRegular(path));
    EXPECT_EQ(qv::test::readFile(path), r.id + "\n");
    EXPECT_EQ(qv::test::readFile(victim), "keep me\n");
    EXPECT_TRUE(isLink(temporary));

    // Nothing else is left in the folder: no temporary file of a new name.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 3) << "installation_id, the link and its target";
}

TEST(OnlineServices, APipeAsTheIdentityTurnsUsageReportsOffWithALineAndNeverBlocks) {
    std::string printed;
    OutputCapture capture([&printed](OutputStream, std::string_view text) { printed += text; });
    TempDir dir;
    const std::string path = dir.file("installation_id");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    BackendConfig config;
    config.baseUrl = "https://backend.invalid/functions/v1";
    config.accessKey = "key";
    auto made = std::async(std::launch::async, [&] {
        auto online = std::make_unique<OnlineServices>(config, std::vector<std::string>{}, dir.path());
        online->startUpdateCheck();
        return online;
    });
    if (made.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the online services block on the pipe";
        while (made.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            const int w = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (w >= 0)
                ::close(w);
        }
    }
    const std::unique_ptr<OnlineServices> online = made.get();
    EXPECT_FALSE(online->usageReportsOn());
    EXPECT_EQ(printed, "  [Online] No installation identity (read " + path +
                           ": not a regular file; it was left as it is): usage reports are off.\n"
                           "  [Online] No update server is configured: the update check is off.\n");
    online->sendUsagePing("", "launch");
    EXPECT_EQ(onlineWorkers().running(), 0);
    EXPECT_TRUE(isFifo(path));
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
