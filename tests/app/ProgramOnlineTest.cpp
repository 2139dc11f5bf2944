// The quorvane program's online services at start-up, as a separate process
// pointed at a loopback HTTPS server through the environment, or at nothing.

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/HttpsTestServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qv::test {
namespace {

constexpr int kWaitMs = 20000;

using Environment = std::vector<std::pair<std::string, std::string>>;

class ProgramOnlineTest : public ::testing::Test {
protected:
    Environment env(Environment online) const {
        Environment all = {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()},
                           {"QUORVANE_SHM_DIR", home.path() + "shm"}};
        all.insert(all.end(), online.begin(), online.end());
        return all;
    }
    std::string appData() const { return home.path() + "config/QuorVane/"; }

    TempDir home;
};

TEST_F(ProgramOnlineTest, ChecksForAnUpdateAndReportsTheLaunchInTheBackground) {
    HttpsTestServer server;
    ASSERT_TRUE(server.isRunning()) << server.error();
    server.serveFile("version.json", R"({"version":"0.7.0","url":"https://example.org/QuorVane-Setup.exe","notes":"n"})");

    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH},
                              env({{"QV_BACKEND_URL", server.url("/functions/v1")},
                                   {"QV_BACKEND_KEY", "key"},
                                   {"QV_UPDATE_URL", server.url("/files/version.json")},
                                   {"QV_BACKEND_CA_FILE", server.caFile()},
                                   {"QV_USAGE_TOKEN", "tok"}}),
                              home.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for iRacing -- get into a session...", kWaitMs)) << program.output();
    EXPECT_TRUE(program.waitForOutput("  [UpdateCheck] Version 0.7.0 is available (this is 0.6.103).\n", kWaitMs))
        << program.output();
    eventually([&] { return server.requests().size() >= 2; }, kWaitMs);
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kWaitMs));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();

    const std::string id = readFile(appData() + "installation_id");
    ASSERT_EQ(id.size(), 37u) << id;
    int pings = 0;
    for (const auto& request : server.requests()) {
        if (request["path"] != "/functions/v1/ping")
            continue;
        ++pings;
        EXPECT_EQ(request["body"], R"({"machine_id":")" + id.substr(0, 36) +
                                       R"(","token":"tok","version":"0.6.103","sim":"","event":"launch"})");
    }
    EXPECT_EQ(pings, 1);
    EXPECT_EQ(program.output().find("[Online]"), std::string::npos) << program.output();
}

// A server's version text and a rejected environment value are printed with
// their control characters neutralised: no escape sequence reaches the terminal.
TEST_F(ProgramOnlineTest, EscapeSequencesFromAServerOrTheEnvironmentNeverReachTheTerminal) {
    HttpsTestServer server;
    ASSERT_TRUE(server.isRunning()) << server.error();
    server.serveFile("version.json",
                     R"({"version":"9.0.0\u001b]0;owned\u0007\u001b[2J","url":"https://example.org/s.exe","notes":"n"})");
    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH},
                              env({{"QV_UPDATE_URL", server.url("/files/version.json")},
                                   {"QV_BACKEND_CA_FILE", server.caFile()},
                                   {"QV_BACKEND_URL", "http://x\x1b[2J"}}),
                              home.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for iRacing -- get into a session...", kWaitMs)) << program.output();
    EXPECT_TRUE(program.waitForOutput("  [UpdateCheck] Version 9.0.0?]0;owned??[2J is available", kWaitMs))
        << program.output();
    EXPECT_TRUE(program.waitForOutput("  [Online] QV_BACKEND_URL \"http://x?[2J\" is not an https:// address", kWaitMs))
        << program.output();
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kWaitMs));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    EXPECT_EQ(program.output().find('\x1b'), std::string::npos) << "no escape character printed";
    EXPECT_EQ(program.output().find('\x07'), std::string::npos);
}

// A pipe where the installation identity is kept blocked the start-up for
// ever in open(): no window, no audio, no console line. It is left as it is
// with a console line, usage reports are off, and the start goes on.
TEST_F(ProgramOnlineTest, APipeInPlaceOfTheIdentityIsLeftAloneWithALineAndTheStartGoesOn) {
    std::filesystem::create_directories(appData());
    const std::string path = appData() + "installation_id";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);

    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH},
                              env({{"QV_BACKEND_URL", "https://backend.invalid/functions/v1"},
                                   {"QV_BACKEND_KEY", "key"},
                                   {"QV_UPDATE_URL", ""}}),
                              home.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for iRacing -- get into a session...", kWaitMs)) << program.output();
    EXPECT_TRUE(program.waitForOutput("  [Online] No installation identity (read " + path +
                                          ": not a regular file; it was left as it is): usage reports are off.\n",
                                      kWaitMs))
        << program.output();
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kWaitMs));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    struct stat st{};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced";
}

// A link to a pipe at the name the identity used to be written to first: it
// is never opened, the identity is made and the launch is reported.
TEST_F(ProgramOnlineTest, ALinkToAPipeAtTheOldTemporaryNameIsNeverOpened) {
    HttpsTestServer server;
    ASSERT_TRUE(server.isRunning()) << server.error();
    std::filesystem::create_directories(appData());
    const std::string pipe = home.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(pipe.c_str(), (appData() + "installation_id.tmp").c_str()), 0);

    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH},
                              env({{"QV_BACKEND_URL", server.url("/functions/v1")},
                                   {"QV_BACKEND_KEY", "key"},
                                   {"QV_UPDATE_URL", ""},
                                   {"QV_BACKEND_CA_FILE", server.caFile()}}),
                              home.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for iRacing -- get into a session...", kWaitMs)) << program.output();
    eventually([&] { return !server.requests().empty(); }, kWaitMs);
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kWaitMs));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();

    const std::string id = readFile(appData() + "installation_id");
    ASSERT_EQ(id.size(), 37u) << id;
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0]["path"], "/functions/v1/ping");
    EXPECT_NE(server.requests()[0]["body"].get<std::string>().find(id.substr(0, 36)), std::string::npos);
    EXPECT_EQ(program.output().find("installation identity"), std::string::npos) << program.output();
}

TEST_F(ProgramOnlineTest, WithNoServerConfiguredItSaysSoOnceAndSendsNothing) {
    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH},
                              env({{"QV_BACKEND_URL", ""}, {"QV_UPDATE_URL", ""}, {"QV_BACKEND_KEY", ""}}),
                              home.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for iRacing -- get into a session...", kWaitMs)) << program.output();
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(kWaitMs));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    const std::string output = program.output();
    const std::string line =
        "  [Online] No server is configured: the update check, usage reports and the community catalogue are off.\n";
    ASSERT_NE(output.find(line), std::string::npos) << output;
    EXPECT_EQ(output.find(line), output.rfind(line));
    EXPECT_EQ(readFile(appData() + "installation_id"), "");
}

}  // namespace
}  // namespace qv::test
